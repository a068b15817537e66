// The three control panels as real widgets, shown and clicked: their group boxes, widgets and
// initial states, and what each control writes into the settings, the trackball, the maps and
// the view paths.
#include "RenderingSetting.h"
#include "dialog.h"
#include "extTrackball.h"
#include "support.h"
#include "textureManager.h"
#include "view_util.h"
#include "viewPath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>

#include <filesystem>
#include <unistd.h>

using namespace viewtest;

namespace {

template <typename T> T* childNamed(QWidget* panel, const QString& text) {
    for (T* w : panel->findChildren<T*>())
        if (w->text() == text) return w;
    return nullptr;
}

QGroupBox* groupAt(QWidget* panel, int column) {
    auto* grid = qobject_cast<QGridLayout*>(panel->layout());
    if (!grid || !grid->itemAtPosition(0, column)) return nullptr;
    return qobject_cast<QGroupBox*>(grid->itemAtPosition(0, column)->widget());
}

// The widget at (row, column) of a group box's own grid.
QWidget* inGroup(QGroupBox* box, int row, int column) {
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid || !grid->itemAtPosition(row, column)) return nullptr;
    return grid->itemAtPosition(row, column)->widget();
}

void click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, w->height() / 2));
}

class PanelTest : public testing::Test {
protected:
    void SetUp() override {
        RenderingSetting& s = RenderingSetting::_instance;
        s.displayMode = 0;
        s.selectedModel = 0;
        s.selectedAttribute = 0;
        s.orbitType = 1;
        s.throwing = false;
        s.playing = false;
        s.modelChanged = false;
        ExtTrackball& t = ExtTrackball::_instance;
        t.nudgeStrength = 0;
        t.frictionStrength = 0;
        t.restartPath = false;
    }
};

// Changes the working directory while alive (the data tree is found relative to it).
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& dir)
        : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(previous); }

private:
    std::filesystem::path previous;
};

} // namespace

TEST_F(PanelTest, VisualizerPanelHoldsModelAttributeAndVisualizationGroups) {
    VisualizerDialog panel;
    panel.show();
    ASSERT_TRUE(groupAt(&panel, 0) && groupAt(&panel, 1) && groupAt(&panel, 2));
    EXPECT_EQ(groupAt(&panel, 0)->title(), "Model");
    EXPECT_EQ(groupAt(&panel, 1)->title(), "Attribute");
    EXPECT_EQ(groupAt(&panel, 2)->title(), "Visualization");
    EXPECT_EQ(panel.layout()->sizeConstraint(), QLayout::SetMinimumSize);
    // The layout's minimum-size constraint raises the panel's own 10 x 100 minimum to its content.
    EXPECT_GE(panel.minimumWidth(), 10);
    EXPECT_GE(panel.minimumHeight(), 100);

    auto* models = qobject_cast<QComboBox*>(inGroup(groupAt(&panel, 0), 0, 0));
    auto* attributes = qobject_cast<QComboBox*>(inGroup(groupAt(&panel, 1), 0, 0));
    ASSERT_TRUE(models && attributes);
    ASSERT_EQ(models->count(), 2);
    EXPECT_EQ(models->itemText(0), "torus");
    EXPECT_EQ(models->itemText(1), "box");
    ASSERT_EQ(attributes->count(), 3);
    EXPECT_EQ(attributes->itemText(2), "side");
    EXPECT_EQ(models->currentIndex(), 0);
    EXPECT_EQ(attributes->currentIndex(), 0);

    auto* sphere = qobject_cast<QRadioButton*>(inGroup(groupAt(&panel, 2), 0, 0));
    auto* texture = qobject_cast<QRadioButton*>(inGroup(groupAt(&panel, 2), 1, 0));
    ASSERT_TRUE(sphere && texture);
    EXPECT_EQ(sphere->text(), "Sphere");
    EXPECT_EQ(texture->text(), "Texture");
    EXPECT_TRUE(sphere->isChecked());
    // Filling the combos selected nothing.
    EXPECT_FALSE(RenderingSetting::_instance.modelChanged);
}

TEST_F(PanelTest, TrackballPanelStartsRecommendedWithBothSlidersDisabledAtZero) {
    TrackballDialog panel;
    panel.show();
    EXPECT_EQ(groupAt(&panel, 0)->title(), "Model");
    EXPECT_EQ(groupAt(&panel, 1)->title(), "Nudge Mode");
    EXPECT_EQ(groupAt(&panel, 2)->title(), "Strength");
    EXPECT_EQ(groupAt(&panel, 3)->title(), "Visualization");

    QGroupBox* modes = groupAt(&panel, 1);
    EXPECT_EQ(qobject_cast<QRadioButton*>(inGroup(modes, 0, 0))->text(), "Off");
    EXPECT_EQ(qobject_cast<QRadioButton*>(inGroup(modes, 1, 0))->text(), "Recommended Settings");
    EXPECT_EQ(qobject_cast<QRadioButton*>(inGroup(modes, 2, 0))->text(), "Slider Settings");
    EXPECT_TRUE(qobject_cast<QRadioButton*>(inGroup(modes, 1, 0))->isChecked());
    EXPECT_EQ(panel.getNudgeMode(), 1);

    QGroupBox* strength = groupAt(&panel, 2);
    EXPECT_EQ(strength->layout()->sizeConstraint(), QLayout::SetMinimumSize);
    EXPECT_EQ(qobject_cast<QLabel*>(inGroup(strength, 0, 0))->text(), "Nudge:");
    EXPECT_EQ(qobject_cast<QLabel*>(inGroup(strength, 1, 0))->text(), "Friction:");
    auto* nudge = qobject_cast<QSlider*>(inGroup(strength, 0, 1));
    auto* friction = qobject_cast<QSlider*>(inGroup(strength, 1, 1));
    ASSERT_TRUE(nudge && friction);
    EXPECT_EQ(nudge->orientation(), Qt::Horizontal);
    EXPECT_EQ(nudge->minimum(), 0);
    EXPECT_EQ(nudge->maximum(), 100);
    EXPECT_EQ(nudge->singleStep(), 1);
    EXPECT_EQ(nudge->pageStep(), 10);
    EXPECT_EQ(nudge->tickInterval(), 10);
    EXPECT_EQ(nudge->tickPosition(), QSlider::TicksBelow);
    EXPECT_EQ(friction->minimum(), 0);
    EXPECT_EQ(friction->maximum(), 40);
    EXPECT_EQ(friction->singleStep(), 1);
    EXPECT_EQ(friction->pageStep(), 4);
    EXPECT_EQ(friction->tickInterval(), 4);
    EXPECT_EQ(friction->tickPosition(), QSlider::TicksBelow);
    EXPECT_EQ(nudge->value(), 0);
    EXPECT_EQ(friction->value(), 0);
    EXPECT_FALSE(nudge->isEnabled());
    EXPECT_FALSE(friction->isEnabled());
}

TEST_F(PanelTest, NudgeModesSetStrengthsAndSliders) {
    TrackballDialog panel;
    panel.show();
    QGroupBox* strength = groupAt(&panel, 2);
    auto* nudge = qobject_cast<QSlider*>(inGroup(strength, 0, 1));
    auto* friction = qobject_cast<QSlider*>(inGroup(strength, 1, 1));
    ExtTrackball& t = ExtTrackball::_instance;

    click(childNamed<QRadioButton>(&panel, "Off"));
    EXPECT_EQ(panel.getNudgeMode(), 0);
    EXPECT_EQ(t.nudgeStrength, 0.0f);
    EXPECT_EQ(t.frictionStrength, 0.0f);
    EXPECT_EQ(nudge->value(), 0);
    EXPECT_EQ(friction->value(), 0);

    click(childNamed<QRadioButton>(&panel, "Recommended Settings"));
    EXPECT_EQ(panel.getNudgeMode(), 1);
    // 0.56 * 100 and 100 * 0.11, truncated: 56 and 11 (in double the second would give 10).
    EXPECT_EQ(nudge->value(), 56);
    EXPECT_EQ(friction->value(), 11);
    EXPECT_FALSE(nudge->isEnabled());
    EXPECT_FALSE(friction->isEnabled());
    EXPECT_EQ(t.nudgeStrength, 0.56f);
    EXPECT_EQ(t.frictionStrength, 0.11f);

    click(childNamed<QRadioButton>(&panel, "Slider Settings"));
    EXPECT_EQ(panel.getNudgeMode(), 2);
    EXPECT_TRUE(nudge->isEnabled());
    EXPECT_TRUE(friction->isEnabled());
    EXPECT_EQ(nudge->value(), 56);
    EXPECT_EQ(friction->value(), 11);

    // The user's own slider moves set the strengths, friction up to 0.40.
    friction->setFocus();
    QTest::keyClick(friction, Qt::Key_End);
    EXPECT_EQ(friction->value(), 40);
    EXPECT_EQ(t.frictionStrength, 0.4f);
    QTest::keyClick(nudge, Qt::Key_PageUp);
    EXPECT_EQ(nudge->value(), 66);
    EXPECT_EQ(t.nudgeStrength, 0.66f);
    QTest::keyClick(nudge, Qt::Key_Left);
    EXPECT_EQ(t.nudgeStrength, 0.65f);

    // Slider mode restarts from the recommended values.
    click(childNamed<QRadioButton>(&panel, "Recommended Settings"));
    click(childNamed<QRadioButton>(&panel, "Slider Settings"));
    EXPECT_EQ(friction->value(), 11);
    EXPECT_EQ(t.frictionStrength, 0.11f);
}

TEST_F(PanelTest, OffStopsAThrowAndForgetsThePredictedPath) {
    TrackballDialog panel;
    panel.show();
    click(childNamed<QRadioButton>(&panel, "Slider Settings"));
    RenderingSetting::_instance.throwing = true;
    ExtTrackball::_instance.predictedThrowPath.assign(5, vec(1, 2, 0));
    click(childNamed<QRadioButton>(&panel, "Off"));
    EXPECT_FALSE(RenderingSetting::_instance.throwing);
    EXPECT_TRUE(ExtTrackball::_instance.predictedThrowPath.empty());
    EXPECT_EQ(ExtTrackball::_instance.nudgeStrength, 0.0f);
    EXPECT_EQ(ExtTrackball::_instance.frictionStrength, 0.0f);
    for (QSlider* s : panel.findChildren<QSlider*>()) {
        EXPECT_FALSE(s->isEnabled());
        EXPECT_EQ(s->value(), 0);
    }
    // Setting the sliders from the window emits only real changes.
    panel.setNudgeStrengthSliderValue(30);
    EXPECT_EQ(ExtTrackball::_instance.nudgeStrength, 0.3f);
    panel.setFrictionStrengthSliderValue(7);
    EXPECT_EQ(ExtTrackball::_instance.frictionStrength, 0.07f);
}

TEST_F(PanelTest, ModelChoiceMarksTheModelChangedAndDropsThePredictedThrow) {
    VisualizerDialog visualizer;
    TrackballDialog trackball;
    for (QDialog* panel : {static_cast<QDialog*>(&visualizer), static_cast<QDialog*>(&trackball)}) {
        RenderingSetting::_instance.selectedModel = 0;
        RenderingSetting::_instance.modelChanged = false;
        ExtTrackball::_instance.predictedThrowPath.assign(3, vec());
        auto* combo = qobject_cast<QComboBox*>(inGroup(groupAt(panel, 0), 0, 0));
        combo->setCurrentIndex(1);
        EXPECT_EQ(RenderingSetting::_instance.selectedModel, 1);
        EXPECT_TRUE(RenderingSetting::_instance.modelChanged);
        EXPECT_TRUE(ExtTrackball::_instance.predictedThrowPath.empty());
        // The same index again emits nothing.
        RenderingSetting::_instance.modelChanged = false;
        combo->setCurrentIndex(1);
        EXPECT_FALSE(RenderingSetting::_instance.modelChanged);
    }
    visualizer.setSelectedModel(0);
    EXPECT_EQ(RenderingSetting::_instance.selectedModel, 0);
}

TEST_F(PanelTest, AttributeChoiceReloadsTheGoodnessMapOnlyOnAChange) {
    textureManager& maps = textureManager::_instance;
    maps.LoadPGMImage(RenderingSetting::_instance.goodnessFilePath());
    maps.LoadVGFImageB(RenderingSetting::_instance.gradientFilePath());
    ASSERT_NE(maps.mapData, nullptr);
    VisualizerDialog panel;
    const float* before = maps.mapData;
    panel.setSelectedAttribute(0);
    EXPECT_EQ(maps.mapData, before) << "the selected attribute again reloads nothing";

    panel.setSelectedAttribute(1);
    EXPECT_EQ(RenderingSetting::_instance.selectedAttribute, 1);
    ASSERT_NE(maps.mapData, before);
    // "top": goodness (1 + cos phi) / 2, 1 at row 0 of every column.
    EXPECT_EQ(maps.mapData[0], 1.0f);
    EXPECT_EQ(maps.mapData[3 * 5], 1.0f);
    panel.setSelectedAttribute(0);
}

TEST_F(PanelTest, DisplayButtonsOfThePanelsAreIndependent) {
    VisualizerDialog visualizer;
    TrackballDialog trackball;
    ScrubberDialog scrubber;
    for (QDialog* p : std::initializer_list<QDialog*>{&visualizer, &trackball, &scrubber})
        p->show();
    click(childNamed<QRadioButton>(&visualizer, "Texture"));
    EXPECT_EQ(RenderingSetting::_instance.displayMode, 1);
    EXPECT_TRUE(childNamed<QRadioButton>(&trackball, "Sphere")->isChecked());
    EXPECT_TRUE(childNamed<QRadioButton>(&scrubber, "Sphere")->isChecked());
    click(childNamed<QRadioButton>(&scrubber, "Texture"));
    click(childNamed<QRadioButton>(&trackball, "Sphere"));
    EXPECT_EQ(RenderingSetting::_instance.displayMode, 0);
    EXPECT_TRUE(childNamed<QRadioButton>(&visualizer, "Texture")->isChecked());
    EXPECT_TRUE(childNamed<QRadioButton>(&scrubber, "Texture")->isChecked());
}

TEST_F(PanelTest, OrbitPanelPlaysSelectsThePathTypeAndFollowsTheIndex) {
    viewPath::_instance.currentIndex = 9;
    ScrubberDialog panel;
    panel.show();
    EXPECT_EQ(viewPath::_instance.currentIndex, 0) << "building the panel starts at point 0";
    EXPECT_EQ(groupAt(&panel, 0)->title(), "Model");
    EXPECT_EQ(groupAt(&panel, 1)->title(), "Orbit Mode");
    EXPECT_EQ(groupAt(&panel, 2)->title(), "Orbit");
    EXPECT_EQ(groupAt(&panel, 3)->title(), "Visualization");
    QGroupBox* modes = groupAt(&panel, 1);
    auto* turntable = qobject_cast<QRadioButton*>(inGroup(modes, 0, 0));
    auto* orbit = qobject_cast<QRadioButton*>(inGroup(modes, 1, 0));
    EXPECT_EQ(turntable->text(), "turntable");
    EXPECT_EQ(orbit->text(), "our orbit");
    EXPECT_TRUE(orbit->isChecked());
    click(turntable);
    EXPECT_EQ(RenderingSetting::_instance.orbitType, 0);
    click(orbit);
    EXPECT_EQ(RenderingSetting::_instance.orbitType, 1);

    auto* play = qobject_cast<QCheckBox*>(inGroup(groupAt(&panel, 2), 0, 0));
    auto* slider = qobject_cast<QSlider*>(inGroup(groupAt(&panel, 2), 1, 0));
    ASSERT_TRUE(play && slider);
    EXPECT_EQ(play->text(), "play");
    EXPECT_FALSE(play->isChecked());
    EXPECT_EQ(slider->maximum(), 100);
    click(play);
    EXPECT_TRUE(play->isChecked());
    EXPECT_TRUE(RenderingSetting::_instance.playing);
    EXPECT_TRUE(ExtTrackball::_instance.restartPath);
    ExtTrackball::_instance.restartPath = false;
    click(play);
    EXPECT_FALSE(play->isChecked());
    EXPECT_FALSE(RenderingSetting::_instance.playing);
    EXPECT_TRUE(ExtTrackball::_instance.restartPath);

    // The slider sets the index; the panel's timer makes the slider follow the index.
    slider->setValue(17);
    EXPECT_EQ(viewPath::_instance.currentIndex, 17);
    viewPath::_instance.currentIndex = 42;
    EXPECT_TRUE(waitUntil([&] { return slider->value() == 42; }, 500));
    panel.setViewpathSliderRange(199);
    panel.setViewpathSliderValue(150);
    EXPECT_EQ(viewPath::_instance.currentIndex, 150);
}

TEST_F(PanelTest, OrbitPanelModelChoiceLoadsThatModelsPath) {
    ScrubberDialog panel;
    auto* combo = qobject_cast<QComboBox*>(inGroup(groupAt(&panel, 0), 0, 0));
    auto* slider = qobject_cast<QSlider*>(inGroup(groupAt(&panel, 2), 1, 0));
    viewPath::_instance.currentIndex = 5;
    combo->setCurrentIndex(1);
    EXPECT_EQ(RenderingSetting::_instance.selectedModel, 1);
    EXPECT_TRUE(RenderingSetting::_instance.modelChanged);
    // The fixture's orbits hold 100 points: 200 entries with the midpoints.
    ASSERT_EQ(viewPath::_instance.pathPoints.size(), 200u);
    EXPECT_EQ(viewPath::_instance.turntablePoints.size(), 200u);
    EXPECT_EQ(slider->maximum(), 199);
    EXPECT_EQ(slider->value(), 0);
    EXPECT_EQ(viewPath::_instance.currentIndex, 0);

    // A model whose orbit file is missing leaves the slider's range as it was.
    testsupport::TempDir dir;
    testsupport::copyFixtureTree(dir.path());
    std::filesystem::remove(dir / "Data/Orbits/torus_orbit.txt");
    std::filesystem::create_directories(dir / "run");
    WorkingDirectory cwd(dir / "run");
    slider->setRange(0, 150);
    combo->setCurrentIndex(0);
    EXPECT_EQ(RenderingSetting::_instance.selectedModel, 0);
    EXPECT_EQ(slider->maximum(), 150);
    EXPECT_TRUE(viewPath::_instance.pathPoints.empty());
}

int main(int argc, char** argv) {
    return runGuiTests(argc, argv);
}
