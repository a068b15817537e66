// The real main window under a display: construction order, tabs, menu, instruction box, keys and
// the mode switch.
#include "RenderingSetting.h"
#include "dialog.h"
#include "extTrackball.h"
#include "glwidget.h"
#include "mainwindow.h"
#include "support.h"

#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSlider>
#include <QSurfaceFormat>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace testsupport;

namespace {

struct SeenBox {
    QString title;
    QString text;
    bool windowVisible = false;
    int count = 0;
};

// Watches for the modal instruction box, records what it shows and closes it.
SeenBox* closeInstructionBoxes() {
    static SeenBox seen;
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.windowVisible = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<MainWindow*>(w) && w->isVisible()) seen.windowVisible = true;
        ++seen.count;
        box->close();
    });
    timer->start();
    return &seen;
}

SeenBox* boxes = nullptr;
MainWindow* window = nullptr;

QString instructionFile() {
    return QString::fromStdString(readFile("../instructions.htm"));
}

// Restores the switches the tests touch, so each test starts from the start-up values.
class Window : public testing::Test {
protected:
    void SetUp() override {
        RenderingSetting& s = RenderingSetting::_instance;
        if (s.saveViewpath) s.toggleSaveViewpath();
        s.showPaths = false;
        s.displayMode = 0;
    }
};

} // namespace

TEST_F(Window, InstructionBoxShowsTheFileOverTheVisibleWindowAtStart) {
    ASSERT_GE(boxes->count, 1);
    EXPECT_TRUE(boxes->windowVisible);
    EXPECT_EQ(boxes->title, "Instructions");
    EXPECT_EQ(boxes->text, instructionFile());
}

TEST_F(Window, TitleSizeAndLayout) {
    EXPECT_EQ(window->windowTitle(), "Orvalis");
    QTabWidget* tabs = window->tabs();
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "Visualizer");
    EXPECT_EQ(tabs->tabText(1), "Trackball");
    EXPECT_EQ(tabs->tabText(2), "Orbit");
    EXPECT_EQ(tabs->widget(0), window->visualizerPanel());
    EXPECT_EQ(tabs->widget(1), window->trackballPanel());
    EXPECT_EQ(tabs->widget(2), window->scrubberPanel());
    EXPECT_FALSE(tabs->tabsClosable());
    auto* scroll = window->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->widget(), window->view());
    EXPECT_EQ(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(scroll->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_GE(scroll->width(), 950);
    EXPECT_GE(scroll->height(), 480);
    // The view area stands above the tabs.
    EXPECT_LT(scroll->mapTo(window, QPoint(0, 0)).y(), tabs->mapTo(window, QPoint(0, 0)).y());
}

TEST_F(Window, HelpMenuAboutShowsTheKeptText) {
    QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->text(), "&Help");
    ASSERT_NE(menus[0]->menu(), nullptr);
    QList<QAction*> items = menus[0]->menu()->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->text(), "&About");
    const int before = boxes->count;
    items[0]->trigger();
    EXPECT_EQ(boxes->count, before + 1);
    EXPECT_EQ(boxes->title, "Instructions");
    EXPECT_EQ(boxes->text, instructionFile());
}

TEST_F(Window, SpaceTwiceReturnsToTheSphere) {
    RenderingSetting& s = RenderingSetting::_instance;
    QTest::keyClick(window->view(), Qt::Key_Space);
    EXPECT_EQ(s.displayMode, 1);
    QTest::keyClick(window->view(), Qt::Key_Space);
    EXPECT_EQ(s.displayMode, 0);
}

TEST_F(Window, VTwiceRestoresThePathOverlays) {
    RenderingSetting& s = RenderingSetting::_instance;
    for (bool start : {false, true}) {
        s.showPaths = start;
        QTest::keyClick(window->view(), Qt::Key_V);
        EXPECT_EQ(s.showPaths, !start);
        QTest::keyClick(window->view(), Qt::Key_V);
        EXPECT_EQ(s.showPaths, start);
    }
}

TEST_F(Window, DTogglesRecording) {
    RenderingSetting& s = RenderingSetting::_instance;
    QTest::keyClick(window->view(), Qt::Key_D);
    EXPECT_TRUE(s.saveViewpath);
    QTest::keyClick(window->view(), Qt::Key_D);
    EXPECT_FALSE(s.saveViewpath);
}

TEST_F(Window, OtherKeysChangeNothing) {
    RenderingSetting& s = RenderingSetting::_instance;
    s.displayMode = 1;
    s.showPaths = true;
    for (Qt::Key key : {Qt::Key_A, Qt::Key_Escape, Qt::Key_Return, Qt::Key_1, Qt::Key_Left}) {
        QTest::keyClick(window->view(), key);
        EXPECT_EQ(s.displayMode, 1);
        EXPECT_TRUE(s.showPaths);
        EXPECT_FALSE(s.saveViewpath);
        EXPECT_EQ(s.applicationMode, 2);
    }
}

TEST_F(Window, TrackballTabInstallsTheRecommendedStrengths) {
    RenderingSetting& s = RenderingSetting::_instance;
    ExtTrackball& t = ExtTrackball::_instance;
    s.showPaths = true;
    t.predictedThrowPath.assign(3, vec(1, 2, 0));
    window->tabs()->setCurrentIndex(1);
    EXPECT_EQ(s.applicationMode, 1);
    EXPECT_EQ(t.nudgeStrength, 0.56f);
    EXPECT_EQ(t.frictionStrength, 0.11f);
    EXPECT_FALSE(s.showPaths);
    EXPECT_TRUE(t.predictedThrowPath.empty());
    EXPECT_EQ(s.selectedAttribute, 0);
}

TEST_F(Window, OrbitTabShowsPathsAndTurnsTheNudgeOff) {
    RenderingSetting& s = RenderingSetting::_instance;
    ExtTrackball& t = ExtTrackball::_instance;
    window->tabs()->setCurrentIndex(1);
    window->tabs()->setCurrentIndex(2);
    EXPECT_EQ(s.applicationMode, 3);
    EXPECT_EQ(t.nudgeStrength, 0.0f);
    EXPECT_TRUE(s.showPaths);
}

TEST_F(Window, VisualizerTabResetsAttributeAndHidesPaths) {
    RenderingSetting& s = RenderingSetting::_instance;
    ExtTrackball& t = ExtTrackball::_instance;
    // Entered from the Trackball tab, whose nudge is on, with the paths shown.
    window->tabs()->setCurrentIndex(1);
    ASSERT_EQ(t.nudgeStrength, 0.56f);
    s.showPaths = true;
    s.selectedAttribute = 1;
    window->tabs()->setCurrentIndex(0);
    EXPECT_EQ(s.applicationMode, 2);
    EXPECT_EQ(t.nudgeStrength, 0.0f);
    EXPECT_EQ(s.selectedAttribute, 0);
    EXPECT_FALSE(s.showPaths);
}

TEST_F(Window, LeavingVisualizerWithAnotherAttributeReloadsTheFirst) {
    RenderingSetting& s = RenderingSetting::_instance;
    window->tabs()->setCurrentIndex(0);
    s.selectedAttribute = 2;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    window->tabs()->setCurrentIndex(1);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(s.selectedAttribute, 0);
    // The reload reaches the texture the view draws with, not only the numbers.
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("Successfully load ../Data/Attributes/torus/torus_front.pgm"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Successfully load ../Data/Attributes/torus/torus_front.vgf"),
              std::string::npos)
        << out;

    // With the first attribute already selected only the gradient is reloaded.
    window->tabs()->setCurrentIndex(0);
    testing::internal::CaptureStdout();
    window->tabs()->setCurrentIndex(1);
    const std::string second = testing::internal::GetCapturedStdout();
    EXPECT_EQ(second.find(".pgm"), std::string::npos) << second;
    EXPECT_NE(second.find("Successfully load ../Data/Attributes/torus/torus_front.vgf"),
              std::string::npos)
        << second;
}

TEST_F(Window, TrackballSlidersShowTheRecommendedValues) {
    window->tabs()->setCurrentIndex(0);
    window->tabs()->setCurrentIndex(1);
    QList<QSlider*> sliders = window->trackballPanel()->findChildren<QSlider*>();
    ASSERT_EQ(sliders.size(), 2);
    QList<int> values = {sliders[0]->value(), sliders[1]->value()};
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (QList<int>{11, 56}));
}

int main(int argc, char** argv) {
    QSurfaceFormat format;
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    boxes = closeInstructionBoxes();
    MainWindow w;
    window = &w;
    if (!QTest::qWaitForWindowExposed(&w)) return 1;
    const int result = RUN_ALL_TESTS();
    window = nullptr;
    return result;
}
