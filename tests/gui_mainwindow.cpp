// The real main window under a display: construction order, tabs, menu,
// instruction box, keys and the mode switch.
#include "RenderingSetting.h"
#include "dialog.h"
#include "extTrackball.h"
#include "support.h"
#include "view_util.h"

#include <QMenuBar>
#include <QScrollArea>
#include <QSlider>
#include <QTabWidget>

#include <array>

using namespace testsupport;
using namespace viewtest;

namespace {

MainWindow* window = nullptr;

QString instructionFile() {
    return QString::fromStdString(readFile("../instructions.htm"));
}

// One window for all the tests; each starts from the start-up values of the switches it touches.
class Window : public testing::Test {
protected:
    static void SetUpTestSuite() { window = openWindow().release(); }
    static void TearDownTestSuite() {
        delete window;
        window = nullptr;
    }
    void SetUp() override {
        RenderingSetting& s = RenderingSetting::_instance;
        if (s.saveViewpath) s.toggleSaveViewpath();
        s.showPaths = false;
        s.displayMode = 0;
    }
};

} // namespace

TEST_F(Window, InstructionBoxShowsTheFileOverTheVisibleWindowAtStart) {
    ASSERT_GE(seenBox.count, 1);
    EXPECT_TRUE(seenBox.overVisibleWindow);
    EXPECT_EQ(seenBox.title, "Instructions");
    EXPECT_EQ(seenBox.text, instructionFile());
}

TEST_F(Window, TitleSizeAndLayout) {
    EXPECT_EQ(window->windowTitle(), "Orvalis");
    QTabWidget* tabs = window->tabs();
    const std::pair<const char*, QWidget*> panels[] = {{"Visualizer", window->visualizerPanel()},
                                                       {"Trackball", window->trackballPanel()},
                                                       {"Orbit", window->scrubberPanel()}};
    ASSERT_EQ(tabs->count(), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(tabs->tabText(k) == panels[k].first && tabs->widget(k) == panels[k].second);
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
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Help");
    ASSERT_NE(menus[1]->menu(), nullptr);
    QList<QAction*> items = menus[1]->menu()->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->text(), "&About");
    seenBox = {};
    closeNextBox();
    items[0]->trigger();
    EXPECT_EQ(seenBox.count, 1);
    EXPECT_EQ(seenBox.title, "Instructions");
    EXPECT_EQ(seenBox.text, instructionFile());
}

TEST_F(Window, SpaceVAndDEachFlipTheirOwnSwitchAndOtherKeysChangeNothing) {
    RenderingSetting& s = RenderingSetting::_instance;
    auto state = [&] {
        return std::array<int, 4>{s.displayMode, s.showPaths, s.saveViewpath, s.applicationMode};
    };
    const auto start = state();
    for (auto [key, k] : {std::pair{Qt::Key_Space, 0}, {Qt::Key_V, 1}, {Qt::Key_D, 2}}) {
        auto flipped = start;
        flipped[size_t(k)] = 1 - flipped[size_t(k)];
        QTest::keyClick(window->view(), key);
        EXPECT_EQ(state(), flipped) << k;
        QTest::keyClick(window->view(), key);
        EXPECT_EQ(state(), start) << k;
    }
    s.displayMode = 1;
    s.showPaths = true;
    const auto changed = state();
    for (Qt::Key key : {Qt::Key_A, Qt::Key_Escape, Qt::Key_Return, Qt::Key_1, Qt::Key_Left}) {
        QTest::keyClick(window->view(), key);
        EXPECT_EQ(state(), changed) << key;
    }
}

TEST_F(Window, EachTabSetsItsModeStrengthsAndPaths) {
    RenderingSetting& s = RenderingSetting::_instance;
    ExtTrackball& t = ExtTrackball::_instance;
    // Trackball: the recommended strengths, on the sliders too, no paths, no
    // predicted throw.
    window->tabs()->setCurrentIndex(0);
    s.showPaths = true;
    t.predictedThrowPath.assign(3, vec(1, 2, 0));
    window->tabs()->setCurrentIndex(1);
    EXPECT_TRUE(s.applicationMode == 1 && t.nudgeStrength == 0.56f && t.frictionStrength == 0.11f);
    EXPECT_TRUE(!s.showPaths && t.predictedThrowPath.empty() && s.selectedAttribute == 0);
    QList<QSlider*> sliders = window->trackballPanel()->findChildren<QSlider*>();
    ASSERT_EQ(sliders.size(), 2);
    QList<int> values = {sliders[0]->value(), sliders[1]->value()};
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (QList<int>{11, 56}));
    // Orbit, entered with the nudge on: paths shown, nudge off.
    window->tabs()->setCurrentIndex(2);
    EXPECT_TRUE(s.applicationMode == 3 && t.nudgeStrength == 0.0f && s.showPaths);
    // Visualizer, entered from Trackball with the nudge on and the paths shown.
    window->tabs()->setCurrentIndex(1);
    ASSERT_EQ(t.nudgeStrength, 0.56f);
    s.showPaths = true;
    s.selectedAttribute = 1;
    window->tabs()->setCurrentIndex(0);
    EXPECT_TRUE(s.applicationMode == 2 && t.nudgeStrength == 0.0f);
    EXPECT_TRUE(s.selectedAttribute == 0 && !s.showPaths);
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

int main(int argc, char** argv) {
    return runGuiTests(argc, argv);
}
