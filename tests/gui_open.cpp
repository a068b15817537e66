// Opening users' mesh files in the running window, against a data tree of the test's own: File >
// Open through the dialog, dropped files, the model shown at once and its maps arriving from the
// background bake, a second open that bakes nothing, Cancel and a refused file.
#include "DataDir.h"
#include "Geometry.h"
#include "RenderingSetting.h"
#include "dialog.h"
#include "extTrackball.h"
#include "mesh_util.h"
#include "meshOpener.h"
#include "openController.h"
#include "support.h"
#include "textureManager.h"
#include "view_util.h"

#include <QComboBox>
#include <QFileDialog>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QUrl>

#include <cstring>

using namespace viewtest;
using namespace testsupport;
using meshtest::lumpText;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> boxItems(QComboBox* box) {
    std::vector<std::string> items;
    for (int k = 0; k < box->count(); ++k)
        items.push_back(box->itemText(k).toStdString());
    return items;
}

class Opening : public testing::Test {
protected:
    static void SetUpTestSuite() {
        tree = new TempDir;
        ASSERT_EQ(makeUserTree(tree->path()), "");
        writeFile(tree->path() / "lump.obj", lumpText("obj", 0.3));
        const ProcessResult baked = runProcess(
            {ORVALIS_BAKE_BIN, "--root", tree->path(), "--up", "y", "--quiet", "lump.obj"},
            tree->path());
        ASSERT_EQ(baked.exitStatus, 0) << baked.err;
        setDataRoot(tree->path());
        RenderingSetting::_instance.readLists();
        qputenv("ORVALIS_BAKE", ORVALIS_BAKE_BIN);
        window = openWindow().release();
    }
    static void TearDownTestSuite() {
        delete window;
        delete tree;
    }

    OpenController* opener() { return window->opener(); }
    QComboBox* box(int panel) {
        return panel == 0   ? window->visualizerPanel()->modelBox()
               : panel == 1 ? window->trackballPanel()->modelBox()
                            : window->scrubberPanel()->modelBox();
    }
    void paintOnce() {
        const long long frames = window->view()->framesPainted();
        window->view()->update();
        ASSERT_TRUE(waitUntil([&] { return window->view()->framesPainted() > frames; }));
    }
    // The viewing direction after the same short drag from the same orientation.
    vec dragFrom(const double (&start)[16], float nudge) {
        std::memcpy(ab_quat, start, sizeof ab_quat);
        ExtTrackball::_instance.nudgeStrength = nudge;
        QWidget* view = window->view();
        press(view, {200, 240});
        for (int k = 1; k <= 8; ++k)
            move(view, {200 + 12 * k, 240 + 3 * k});
        const vec end(ab_quat[2], ab_quat[6], ab_quat[10]);
        release(view, {296, 264});
        RenderingSetting::_instance.throwing = false;
        return end;
    }
    double nudgeBend() {
        double start[16];
        std::memcpy(start, ab_quat, sizeof start);
        const vec plain = dragFrom(start, 0), nudged = dragFrom(start, 0.56f);
        std::memcpy(ab_quat, start, sizeof start);
        return std::hypot(plain.x - nudged.x, plain.y - nudged.y, plain.z - nudged.z);
    }

    static TempDir* tree;
    static MainWindow* window;
    TempDir files;
};
TempDir* Opening::tree = nullptr;
MainWindow* Opening::window = nullptr;

TEST_F(Opening, DialogShowsTheMeshAtOnceThenItsMapsWithoutMovingTheView) {
    window->tabs()->setCurrentIndex(1);
    const fs::path file = files / "knot.ply";
    writeFile(file, lumpText("ply", 0.5, 10, 14));
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString(file));
        auto* up = dialog->findChild<QComboBox*>("upAxis");
        up->setCurrentIndex(up->findData("y"));
        static_cast<QDialog*>(dialog)->accept();
    });
    opener()->openAction()->trigger();
    const int knot = modelIndex("knot");
    ASSERT_EQ(knot, 1);
    for (int panel = 0; panel < 3; ++panel) {
        EXPECT_EQ(boxItems(box(panel)), (std::vector<std::string>{"lump", "knot"}));
        EXPECT_EQ(box(panel)->currentIndex(), knot);
    }
    ASSERT_TRUE(opener()->baking());
    paintOnce();
    EXPECT_EQ(window->view()->geometryData()->model.ntris, 2 * 10 * 14);
    // Until the maps arrive the maps are flat: nudging bends nothing.
    EXPECT_LT(nudgeBend(), 1e-12);
    paintOnce();
    const QImage preview = window->view()->grabFramebuffer();
    double shown[16];
    std::memcpy(shown, ab_quat, sizeof shown);

    QSignalSpy finished(opener(), &OpenController::bakeFinished);
    ASSERT_TRUE(finished.wait(180000));
    EXPECT_EQ(finished[0][0].toString(), "knot");
    EXPECT_TRUE(finished[0][1].toBool());
    paintOnce();
    EXPECT_EQ(std::memcmp(shown, ab_quat, sizeof shown), 0);
    const textureManager& maps = textureManager::_instance;
    EXPECT_NE(maps.textureId, 0u);
    ASSERT_EQ(maps.mapWidth * maps.mapHeight, 360 * 180);
    float lo = 1, hi = 0;
    for (int c = 0; c < 360 * 180; ++c) {
        lo = std::min(lo, maps.mapData[3 * c]);
        hi = std::max(hi, maps.mapData[3 * c]);
    }
    EXPECT_EQ(hi - lo, 1.0f);
    EXPECT_GT(nudgeBend(), 1e-3);

    // The model read back from the tree draws the very pixels the preview drew.
    RenderingSetting::_instance.modelChanged = true;
    paintOnce();
    std::memcpy(ab_quat, shown, sizeof shown);
    paintOnce();
    const QImage baked = window->view()->grabFramebuffer();
    const int half = baked.width() / 2;
    EXPECT_EQ(preview.copy(0, 0, half, half), baked.copy(0, 0, half, half));
}

TEST_F(Opening, SameFileDroppedAgainBakesNothingAndCancelLeavesTheTreeAsItWas) {
    const auto before = treeSnapshot(tree->path());
    ASSERT_EQ(before.count("Data/Attributes/knot/knot.source"), 1u);
    auto dropFile = [&](const fs::path& file) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(window, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(window, &drop);
    };
    RenderingSetting& settings = RenderingSetting::_instance;
    settings.selectedModel = 0;
    const fs::path same = files / "knot.ply";
    writeFile(same, lumpText("ply", 0.5, 10, 14));
    dropFile(same);
    EXPECT_FALSE(opener()->baking());
    EXPECT_EQ(settings.modelNames.size(), 2u);
    EXPECT_EQ(settings.selectedModel, 1);

    fs::create_directory(files / "other");
    writeFile(files / "other/knot.ply", lumpText("ply", 0.8));
    dropFile(files / "other/knot.ply");
    ASSERT_EQ(modelIndex("knot-2"), 2);
    EXPECT_EQ(box(2)->itemText(2), "knot-2");
    ASSERT_TRUE(opener()->baking());
    auto* bar = window->statusBar()->findChild<QProgressBar*>();
    ASSERT_TRUE(waitUntil([&] { return bar->value() > 0; }, 60000));
    QSignalSpy finished(opener(), &OpenController::bakeFinished);
    QTest::mouseClick(opener()->cancelButton(), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_FALSE(finished[0][1].toBool());
    EXPECT_EQ(modelIndex("knot-2"), -1);
    EXPECT_EQ(boxItems(box(0)), (std::vector<std::string>{"lump", "knot"}));
    EXPECT_EQ(settings.selectedModel, 1);
    EXPECT_EQ(treeSnapshot(tree->path()), before);
}

TEST_F(Opening, RefusedFileLeavesListsModelAndTreeAsTheyWere) {
    const auto before = treeSnapshot(tree->path());
    paintOnce();
    const int shownTriangles = window->view()->geometryData()->model.ntris;
    const fs::path bad = files / "broken.ply";
    writeFile(bad, "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nend_header\n1\n");
    opener()->openFiles({QString::fromStdString(bad)}, {});
    EXPECT_TRUE(window->statusBar()->currentMessage().contains("broken.ply"));
    EXPECT_FALSE(opener()->baking());
    EXPECT_EQ(boxItems(box(1)), (std::vector<std::string>{"lump", "knot"}));
    EXPECT_EQ(RenderingSetting::_instance.selectedModel, 1);
    paintOnce();
    EXPECT_EQ(window->view()->geometryData()->model.ntris, shownTriangles);
    EXPECT_EQ(treeSnapshot(tree->path()), before);
}

} // namespace

int main(int argc, char** argv) {
    return runGuiTests(argc, argv);
}
