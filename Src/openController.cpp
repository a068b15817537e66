#include "openController.h"

#include "DataDir.h"
#include "RenderingSetting.h"
#include "bakeJob.h"
#include "dialog.h"
#include "extTrackball.h"
#include "glwidget.h"
#include "textureManager.h"
#include "viewPath.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include <cstdio>

OpenController::OpenController(const OpenTargets& targets)
    : QObject(targets.window), parts(targets) {
    open = new QAction(tr("&Open…"), this);
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &OpenController::chooseFiles);

    label = new QLabel;
    bar = new QProgressBar;
    bar->setRange(0, 1000);
    bar->setMaximumWidth(200);
    cancel = new QPushButton(tr("Cancel"));
    connect(cancel, &QPushButton::clicked, this, &OpenController::cancelCurrent);
    QStatusBar* status = parts.window->statusBar();
    status->addPermanentWidget(label);
    status->addPermanentWidget(bar);
    status->addPermanentWidget(cancel);
    label->hide();
    bar->hide();
    cancel->hide();
    // Shown once there is something to say: until then the view keeps the window's full height.
    status->hide();
}

OpenController::~OpenController() = default;

void OpenController::report(const QString& line) {
    std::fprintf(stderr, "orvalis: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    parts.window->statusBar()->show();
    parts.window->statusBar()->showMessage(line);
}

QComboBox* OpenController::modelBox(int panel) const {
    switch (panel) {
    case 0:
        return parts.visualizer->modelBox();
    case 1:
        return parts.trackball->modelBox();
    default:
        return parts.scrubber->modelBox();
    }
}

void OpenController::addToPanels(const std::string& name) {
    for (int panel = 0; panel < 3; ++panel) {
        QSignalBlocker quiet(modelBox(panel));
        modelBox(panel)->addItem(tr(name.c_str()));
    }
}

void OpenController::chooseFiles() {
    QFileDialog dialog(parts.window, tr("Open a mesh"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters({tr("Meshes (*.off *.obj *.ply *.smf *.OFF *.OBJ *.PLY *.SMF)"),
                           tr("OFF (*.off *.OFF)"), tr("OBJ (*.obj *.OBJ)"),
                           tr("PLY (*.ply *.PLY)"), tr("SMF (*.smf *.SMF)")});
    auto* up = new QComboBox;
    up->setObjectName("upAxis");
    up->addItem(tr("usual for the format: +y for OBJ and PLY, +z for OFF and SMF"), QString());
    for (const char* axis : {"x", "-x", "y", "-y", "z", "-z"})
        up->addItem(axis[0] == '-' ? QString(axis) : QString("+") + axis, QString(axis));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        const int row = grid->rowCount();
        grid->addWidget(new QLabel(tr("Up axis:")), row, 0);
        grid->addWidget(up, row, 1, 1, grid->columnCount() - 1);
    }
    if (dialog.exec() != QDialog::Accepted) return;
    openFiles(dialog.selectedFiles(), up->currentData().toString());
}

void OpenController::openFiles(const QStringList& files, const QString& up) {
    RenderingSetting& settings = RenderingSetting::_instance;
    const std::string shownBefore = settings.modelNames[settings.selectedModel];
    bool first = true;
    for (const QString& file : files) {
        OpenPlan plan;
        const std::string refused = planOpen(file.toStdString(), up.toStdString(), plan);
        if (!refused.empty()) {
            report(QString::fromStdString(refused));
            continue;
        }
        const std::string readOnly = plan.bake ? treeNotWritable(getResourcePath("")) : "";
        if (!readOnly.empty()) {
            report(file + ": " + QString::fromStdString(readOnly));
            continue;
        }
        if (!plan.listed) {
            appendModelName(plan.name);
            addToPanels(plan.name);
        }
        if (plan.bake) {
            addPendingModel(plan);
            queue.push_back({plan, shownBefore});
        }
        if (first) select(modelIndex(plan.name));
        first = false;
    }
    startNext();
}

void OpenController::bakePlanned(const std::vector<OpenPlan>& plans) {
    for (const OpenPlan& plan : plans)
        if (plan.bake) queue.push_back({plan, {}});
    startNext();
}

bool OpenController::acceptsDrop(const QMimeData* mime) const {
    if (!mime->hasUrls()) return false;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && !meshFormat(url.toLocalFile().toStdString()).empty()) return true;
    return false;
}

void OpenController::drop(const QMimeData* mime) {
    QStringList files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    openFiles(files, {});
}

void OpenController::select(int index) {
    RenderingSetting& settings = RenderingSetting::_instance;
    settings.selectedModel = index;
    settings.modelChanged = true;
    for (int panel = 0; panel < 3; ++panel) {
        QSignalBlocker quiet(modelBox(panel));
        modelBox(panel)->setCurrentIndex(index);
    }
    ExtTrackball::_instance.predictedThrowPath.clear();
    loadOrbit();
    parts.view->update();
}

void OpenController::loadOrbit() {
    RenderingSetting& settings = RenderingSetting::_instance;
    viewPath& path = viewPath::_instance;
    if (pendingModel(settings.modelNames[settings.selectedModel])) {
        // No orbit until it is baked; the previous model's would lead the view astray.
        path.pathPoints.clear();
        path.turntablePoints.clear();
        path.currentIndex = 0;
        return;
    }
    const int n = path.loadViewPath(settings.viewpointFilePath());
    if (n > 0) {
        path.calculateTurnTablePath();
        parts.scrubber->setViewpathSliderRange(n - 1);
        parts.scrubber->setViewpathSliderValue(0);
        path.currentIndex = 0;
    }
}

void OpenController::startNext() {
    if (job) return;
    if (queue.empty()) {
        label->hide();
        bar->hide();
        cancel->hide();
        emit allBaked();
        return;
    }
    current = queue.front();
    queue.pop_front();
    const OpenPlan& plan = current.plan;
    job = std::make_unique<BakeJob>(
        QString::fromStdString(getResourcePath("")), QString::fromStdString(plan.name),
        QString::fromStdString(plan.stamp.up), QString::fromStdString(plan.path));
    connect(job.get(), &BakeJob::progress, bar, &QProgressBar::setValue);
    connect(job.get(), &BakeJob::finished, this, &OpenController::jobFinished,
            Qt::QueuedConnection);
    label->setText(tr("Baking the maps of %1").arg(QString::fromStdString(plan.name)));
    bar->setValue(0);
    parts.window->statusBar()->show();
    label->show();
    bar->show();
    cancel->show();
    cancel->setEnabled(true);
    job->start();
}

void OpenController::cancelCurrent() {
    if (job && !job->cancel())
        parts.window->statusBar()->showMessage(
            tr("%1: the maps are being written; they are kept").arg(job->name));
}

void OpenController::jobFinished(bool ok, const QString& reason) {
    if (!job) return;
    job.reset();
    const Queued done = current;
    removePendingModel(done.plan.name);
    const QString name = QString::fromStdString(done.plan.name);
    if (ok) {
        parts.window->statusBar()->showMessage(tr("%1: maps ready").arg(name));
        loadArrivedMaps(done.plan.name);
    } else {
        report(QString::fromStdString(done.plan.path) + ": not baked: " + reason);
        undo(done);
    }
    emit bakeFinished(name, ok);
    startNext();
}

void OpenController::loadArrivedMaps(const std::string& name) {
    RenderingSetting& settings = RenderingSetting::_instance;
    if (modelIndex(name) != settings.selectedModel) return;
    {
        ViewContext context;
        textureManager::_instance.LoadPGMImage(settings.goodnessFilePath());
        textureManager::_instance.LoadVGFImageB(settings.gradientFilePath());
    }
    loadOrbit();
    parts.view->update();
}

void OpenController::undo(const Queued& queued) {
    RenderingSetting& settings = RenderingSetting::_instance;
    const int index = modelIndex(queued.plan.name);
    if (index < 0) return;
    const bool shown = settings.selectedModel == index;
    if (!queued.plan.listed && settings.modelNames.size() > 1) {
        for (int panel = 0; panel < 3; ++panel) {
            QSignalBlocker quiet(modelBox(panel));
            modelBox(panel)->removeItem(index);
        }
        removeModelName(index);
        if (!shown) return;
        const int before = modelIndex(queued.shownBefore);
        select(before >= 0 ? before : 0);
    } else if (!queued.plan.listed) {
        // The only model there is: it stays shown from its file, without maps.
        addPendingModel(queued.plan);
    } else if (shown) {
        select(index);
    }
}
