#pragma once
#include <QDialog>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QSlider;
class QCheckBox;
class QTimer;

// The three panels under the view, one per tab. They keep no state of their own beyond their
// widgets (and the Trackball panel's nudge mode): every control writes straight into the
// settings, the trackball, the maps or the view paths.

class VisualizerDialog : public QDialog {
    Q_OBJECT
public:
    VisualizerDialog();
    void setSelectedModel(int i);
    // The model box, to which opened files add their models.
    QComboBox* modelBox() const { return modelComboBox; }
    void setSelectedAttribute(int i);

private slots:
    void toggleSphere();
    void toggleTexture();
    void modelSelectionChanged(int i);
    void attributeSelectionChanged(int i);

private:
    void createVisualizationGroupBox();
    void createModelGroupBox();
    void createAttributeGroupBox();

    QGroupBox* visualizationGroupBox = nullptr;
    QGridLayout* visualizationLayout = nullptr;
    QGroupBox* modelGroupBox = nullptr;
    QGridLayout* modelLayout = nullptr;
    QComboBox* modelComboBox = nullptr;
    QGroupBox* attributeGroupBox = nullptr;
    QGridLayout* attributeLayout = nullptr;
    QComboBox* attributeComboBox = nullptr;
    QGridLayout* mainLayout = nullptr;
};

class TrackballDialog : public QDialog {
    Q_OBJECT
public:
    TrackballDialog();
    void setSelectedModel(int i);
    // The model box, to which opened files add their models.
    QComboBox* modelBox() const { return modelComboBox; }
    int getNudgeMode() const;
    void setNudgeStrengthSliderValue(int v);
    void setFrictionStrengthSliderValue(int v);

private slots:
    void toggleSphere();
    void toggleTexture();
    void modelSelectionChanged(int i);
    void setNudgeStrength(int v);
    void setFrictionStrength(int v);
    void toggleOff();
    void toggleRecommendedSettings();
    void toggleSliderSettings();

private:
    void createStrengthGroupBox();
    void createModelGroupBox();
    void createNudgeModeGroupBox();
    void createVisualizationGroupBox();
    // Both strengths to the recommended values and the sliders to match (56 and 11).
    void applyRecommendedStrengths();

    QGroupBox* strengthGroupBox = nullptr;
    QGridLayout* strengthLayout = nullptr;
    QSlider* nudgeSlider = nullptr;
    QSlider* frictionSlider = nullptr;
    QLabel* nudgeLabel = nullptr;
    QLabel* frictionLabel = nullptr;
    QGroupBox* nudgeModeGroupBox = nullptr;
    QGridLayout* nudgeModeLayout = nullptr;
    QGroupBox* modelGroupBox = nullptr;
    QGridLayout* modelLayout = nullptr;
    QComboBox* modelComboBox = nullptr;
    QGroupBox* visualizationGroupBox = nullptr;
    QGridLayout* visualizationLayout = nullptr;
    QGridLayout* mainLayout = nullptr;
    int nudgeMode = 1; // 0 Off, 1 Recommended Settings, 2 Slider Settings
};

class ScrubberDialog : public QDialog {
    Q_OBJECT
public:
    ScrubberDialog();
    void setSelectedModel(int i);
    // The model box, to which opened files add their models.
    QComboBox* modelBox() const { return modelComboBox; }
    void setViewpathSliderRange(int max);
    void setViewpathSliderValue(int v);

private slots:
    void toggleSphere();
    void toggleTexture();
    void modelSelectionChanged(int i);
    void toggleTurntable();
    void toggleOrbit();
    void playViewpath();
    void setViewpoint(int i);
    void idle();

private:
    void createModelGroupBox();
    void createViewpathModeGroupBox();
    void createViewpathGroupBox();
    void createVisualizationGroupBox();

    QTimer* viewpathTimer = nullptr;
    QGroupBox* modelGroupBox = nullptr;
    QGridLayout* modelLayout = nullptr;
    QComboBox* modelComboBox = nullptr;
    QGroupBox* viewpathModeGroupBox = nullptr;
    QGridLayout* viewpathModeLayout = nullptr;
    QGroupBox* viewpathGroupBox = nullptr;
    QGridLayout* viewpathLayout = nullptr;
    QSlider* viewpathSlider = nullptr;
    QCheckBox* playCheckBox = nullptr;
    QGroupBox* visualizationGroupBox = nullptr;
    QGridLayout* visualizationLayout = nullptr;
    QGridLayout* mainLayout = nullptr;
};
