#include "DataDir.h"
#include "RenderingSetting.h"
#include "commandLine.h"
#include "mainwindow.h"
#include "meshOpener.h"
#include "openController.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QTimer>

#include <cstdio>

namespace {

// Runs before the static objects are built: the settings object must not read the lists before
// the command line has chosen the data tree (see readLists in main).
__attribute__((constructor(101))) void readListsInMain() {
    RenderingSetting::listsReadLater = true;
}

// With files, the tree is ../Data when there is one, else the user's own; every file is read and
// named before any window exists, so that a bad one ends the start with one line.
bool planFiles(const CommandLine& line, std::vector<OpenPlan>& plans) {
    bool ok = true;
    for (const std::string& file : line.files) {
        const std::string refused = unopenable(file);
        if (!refused.empty()) std::fprintf(stderr, "orvalis: %s\n", refused.c_str());
        ok = ok && refused.empty();
    }
    if (!ok) return false;
    std::string root = "..";
    if (!startFolderHoldsTree()) {
        root = userTreeRoot();
        const std::string failed = makeUserTree(root);
        if (!failed.empty()) {
            std::fprintf(stderr, "orvalis: %s\n", failed.c_str());
            return false;
        }
    }
    setDataRoot(root);
    RenderingSetting& settings = RenderingSetting::_instance;
    settings.readLists(true);
    for (const std::string& file : line.files) {
        OpenPlan plan;
        std::string refused = planOpen(file, line.up, plan);
        if (refused.empty() && plan.bake) refused = treeNotWritable(root);
        if (!refused.empty()) {
            std::fprintf(stderr, "orvalis: %s\n", refused.c_str());
            ok = false;
            continue;
        }
        if (!plan.listed) appendModelName(plan.name);
        if (plan.bake) addPendingModel(plan);
        plans.push_back(plan);
    }
    if (ok) settings.selectedModel = modelIndex(plans.front().name);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine line = parseCommandLine(argc, argv);
    if (line.help || line.version) {
        std::fputs(line.help ? helpText().c_str() : versionText().c_str(), stdout);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "orvalis: %s (see orvalis --help)\n", line.error.c_str());
        return 2;
    }
    std::vector<OpenPlan> plans;
    if (line.files.empty())
        RenderingSetting::_instance.readLists();
    else if (!planFiles(line, plans))
        return 1;

    // The fixed-function drawing (lights, matrix stack, glBegin/glEnd) needs a compatibility
    // profile context.
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);

    QApplication app(argc, argv);
    MainWindow window(line.files.empty());
    OpenController* opener = window.opener();
    // For scripted runs (tests, benchmarks): end once every file given is baked.
    if (qEnvironmentVariableIsSet("ORVALIS_QUIT_WHEN_BAKED"))
        QObject::connect(opener, &OpenController::allBaked, &app, &QApplication::quit,
                         Qt::QueuedConnection);
    QTimer::singleShot(0, opener, [opener, plans] { opener->bakePlanned(plans); });
    return app.exec();
}
