#include "dialog.h"

#include "RenderingSetting.h"
#include "extTrackball.h"
#include "glwidget.h"
#include "textureManager.h"
#include "viewPath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

namespace {

// A horizontal 0..100 slider with ticks every 10 below the groove; its valueChanged(int) drives
// the given slot.
template <typename Panel> QSlider* createSlider(Panel* panel, void (Panel::*slot)(int)) {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, 100);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setTickInterval(10);
    slider->setTickPosition(QSlider::TicksBelow);
    QObject::connect(slider, &QSlider::valueChanged, panel, slot);
    return slider;
}

// The model list, one entry per name in list order. The selection signal is connected by the
// caller after filling, so filling selects nothing.
QComboBox* createModelComboBox() {
    auto* combo = new QComboBox;
    for (char* name : RenderingSetting::_instance.modelNames)
        combo->addItem(QObject::tr(name));
    return combo;
}

template <typename Panel>
QGroupBox* createVisualizationBox(Panel* panel, QGridLayout*& layout, void (Panel::*sphere)(),
                                  void (Panel::*texture)()) {
    auto* box = new QGroupBox(QObject::tr("Visualization"));
    layout = new QGridLayout;
    auto* sphereButton = new QRadioButton(QObject::tr("Sphere"));
    auto* textureButton = new QRadioButton(QObject::tr("Texture"));
    sphereButton->setChecked(true);
    QObject::connect(sphereButton, &QRadioButton::clicked, panel, sphere);
    QObject::connect(textureButton, &QRadioButton::clicked, panel, texture);
    layout->addWidget(sphereButton, 0, 0);
    layout->addWidget(textureButton, 1, 0);
    box->setLayout(layout);
    return box;
}

void finishPanel(QDialog* panel, QGridLayout* mainLayout) {
    mainLayout->setSizeConstraint(QLayout::SetMinimumSize);
    panel->setLayout(mainLayout);
    panel->setMinimumSize(10, 100);
}

} // namespace

// ---- Visualizer

VisualizerDialog::VisualizerDialog() {
    createVisualizationGroupBox();
    createModelGroupBox();
    createAttributeGroupBox();
    mainLayout = new QGridLayout;
    mainLayout->addWidget(modelGroupBox, 0, 0);
    mainLayout->addWidget(attributeGroupBox, 0, 1);
    mainLayout->addWidget(visualizationGroupBox, 0, 2);
    finishPanel(this, mainLayout);
}

void VisualizerDialog::createVisualizationGroupBox() {
    visualizationGroupBox =
        createVisualizationBox(this, visualizationLayout, &VisualizerDialog::toggleSphere,
                               &VisualizerDialog::toggleTexture);
}

void VisualizerDialog::createModelGroupBox() {
    modelGroupBox = new QGroupBox(tr("Model"));
    modelLayout = new QGridLayout;
    modelComboBox = createModelComboBox();
    connect(modelComboBox, &QComboBox::currentIndexChanged, this,
            &VisualizerDialog::modelSelectionChanged);
    modelLayout->addWidget(modelComboBox, 0, 0);
    modelGroupBox->setLayout(modelLayout);
}

void VisualizerDialog::createAttributeGroupBox() {
    attributeGroupBox = new QGroupBox(tr("Attribute"));
    attributeLayout = new QGridLayout;
    attributeComboBox = new QComboBox;
    for (char* name : RenderingSetting::_instance.attributeNames)
        attributeComboBox->addItem(tr(name));
    connect(attributeComboBox, &QComboBox::currentIndexChanged, this,
            &VisualizerDialog::attributeSelectionChanged);
    attributeLayout->addWidget(attributeComboBox, 0, 0);
    attributeGroupBox->setLayout(attributeLayout);
}

void VisualizerDialog::setSelectedModel(int i) {
    modelComboBox->setCurrentIndex(i);
}

void VisualizerDialog::setSelectedAttribute(int i) {
    attributeComboBox->setCurrentIndex(i);
}

void VisualizerDialog::toggleSphere() {
    RenderingSetting::_instance.displayMode = 0;
}

void VisualizerDialog::toggleTexture() {
    RenderingSetting::_instance.displayMode = 1;
}

void VisualizerDialog::modelSelectionChanged(int i) {
    RenderingSetting::_instance.selectedModel = i;
    RenderingSetting::_instance.modelChanged = true;
    ExtTrackball::_instance.predictedThrowPath.clear();
}

void VisualizerDialog::attributeSelectionChanged(int i) {
    RenderingSetting& settings = RenderingSetting::_instance;
    // The texture lives in the view's context, which has to be current for the upload. The old
    // texture is not deleted first: the loader releases it once the new one is in place, so a
    // file that fails to load leaves the previous attribute showing, as its map data stays too.
    ViewContext context;
    settings.selectedAttribute = i;
    textureManager::_instance.LoadPGMImage(settings.goodnessFilePath());
}

// ---- Trackball

TrackballDialog::TrackballDialog() {
    createStrengthGroupBox();
    createModelGroupBox();
    createNudgeModeGroupBox();
    createVisualizationGroupBox();
    mainLayout = new QGridLayout;
    mainLayout->addWidget(modelGroupBox, 0, 0);
    mainLayout->addWidget(nudgeModeGroupBox, 0, 1);
    mainLayout->addWidget(strengthGroupBox, 0, 2);
    mainLayout->addWidget(visualizationGroupBox, 0, 3);
    finishPanel(this, mainLayout);
}

void TrackballDialog::createStrengthGroupBox() {
    ExtTrackball& trackball = ExtTrackball::_instance;
    strengthGroupBox = new QGroupBox(tr("Strength"));
    strengthLayout = new QGridLayout;
    strengthLayout->setSizeConstraint(QLayout::SetMinimumSize);

    nudgeLabel = new QLabel(tr("Nudge:"));
    nudgeSlider = createSlider(this, &TrackballDialog::setNudgeStrength);
    nudgeSlider->setValue(static_cast<int>(trackball.nudgeStrength * 100));

    frictionLabel = new QLabel(tr("Friction:"));
    frictionSlider = createSlider(this, &TrackballDialog::setFrictionStrength);
    frictionSlider->setRange(0, 40);
    frictionSlider->setPageStep(4);
    frictionSlider->setTickInterval(4);
    frictionSlider->setValue(static_cast<int>(100 * trackball.frictionStrength));

    strengthLayout->addWidget(nudgeLabel, 0, 0);
    strengthLayout->addWidget(nudgeSlider, 0, 1);
    strengthLayout->addWidget(frictionLabel, 1, 0);
    strengthLayout->addWidget(frictionSlider, 1, 1);
    nudgeSlider->setEnabled(false);
    frictionSlider->setEnabled(false);
    strengthGroupBox->setLayout(strengthLayout);
}

void TrackballDialog::createModelGroupBox() {
    modelGroupBox = new QGroupBox(tr("Model"));
    modelLayout = new QGridLayout;
    modelComboBox = createModelComboBox();
    connect(modelComboBox, &QComboBox::currentIndexChanged, this,
            &TrackballDialog::modelSelectionChanged);
    modelLayout->addWidget(modelComboBox, 0, 0);
    modelGroupBox->setLayout(modelLayout);
}

void TrackballDialog::createNudgeModeGroupBox() {
    nudgeModeGroupBox = new QGroupBox(tr("Nudge Mode"));
    nudgeModeLayout = new QGridLayout;
    auto* off = new QRadioButton(tr("Off"));
    auto* recommended = new QRadioButton(tr("Recommended Settings"));
    auto* slider = new QRadioButton(tr("Slider Settings"));
    connect(off, &QRadioButton::clicked, this, &TrackballDialog::toggleOff);
    connect(recommended, &QRadioButton::clicked, this, &TrackballDialog::toggleRecommendedSettings);
    connect(slider, &QRadioButton::clicked, this, &TrackballDialog::toggleSliderSettings);
    // Checking the button does not run its slot: the recommended strengths arrive with a click or
    // with entering the Trackball tab.
    recommended->setChecked(true);
    nudgeModeLayout->addWidget(off, 0, 0);
    nudgeModeLayout->addWidget(recommended, 1, 0);
    nudgeModeLayout->addWidget(slider, 2, 0);
    nudgeModeGroupBox->setLayout(nudgeModeLayout);
}

void TrackballDialog::createVisualizationGroupBox() {
    visualizationGroupBox = createVisualizationBox(
        this, visualizationLayout, &TrackballDialog::toggleSphere, &TrackballDialog::toggleTexture);
}

void TrackballDialog::setSelectedModel(int i) {
    modelComboBox->setCurrentIndex(i);
}

int TrackballDialog::getNudgeMode() const {
    return nudgeMode;
}

void TrackballDialog::setNudgeStrengthSliderValue(int v) {
    nudgeSlider->setValue(v);
}

void TrackballDialog::setFrictionStrengthSliderValue(int v) {
    frictionSlider->setValue(v);
}

void TrackballDialog::toggleSphere() {
    RenderingSetting::_instance.displayMode = 0;
}

void TrackballDialog::toggleTexture() {
    RenderingSetting::_instance.displayMode = 1;
}

void TrackballDialog::modelSelectionChanged(int i) {
    RenderingSetting::_instance.selectedModel = i;
    RenderingSetting::_instance.modelChanged = true;
    ExtTrackball::_instance.predictedThrowPath.clear();
}

void TrackballDialog::setNudgeStrength(int v) {
    ExtTrackball::_instance.nudgeStrength = static_cast<float>(v / 100.0);
}

void TrackballDialog::setFrictionStrength(int v) {
    ExtTrackball::_instance.frictionStrength = static_cast<float>(v / 100.0);
}

void TrackballDialog::toggleOff() {
    ExtTrackball& trackball = ExtTrackball::_instance;
    frictionSlider->setEnabled(false);
    nudgeSlider->setEnabled(false);
    trackball.frictionStrength = 0;
    trackball.nudgeStrength = 0;
    nudgeSlider->setValue(0);
    frictionSlider->setValue(0);
    nudgeMode = 0;
    RenderingSetting::_instance.throwing = false;
    trackball.predictedThrowPath.clear();
}

void TrackballDialog::applyRecommendedStrengths() {
    ExtTrackball& trackball = ExtTrackball::_instance;
    trackball.nudgeStrength = trackball.recommendedNudgeStrength;
    trackball.frictionStrength = trackball.recommendedFrictionStrength;
    // Truncated from float products: 0.11f * 100 is 11 in float but 10.99... in double.
    const float nudge = trackball.recommendedNudgeStrength * 100.0f;
    const float friction = 100.0f * trackball.recommendedFrictionStrength;
    nudgeSlider->setValue(static_cast<int>(nudge));
    frictionSlider->setValue(static_cast<int>(friction));
}

void TrackballDialog::toggleRecommendedSettings() {
    nudgeSlider->setEnabled(false);
    frictionSlider->setEnabled(false);
    applyRecommendedStrengths();
    nudgeMode = 1;
    ExtTrackball::_instance.predictedThrowPath.clear();
}

void TrackballDialog::toggleSliderSettings() {
    nudgeSlider->setEnabled(true);
    frictionSlider->setEnabled(true);
    applyRecommendedStrengths();
    nudgeMode = 2;
    ExtTrackball::_instance.predictedThrowPath.clear();
}

// ---- Orbit

ScrubberDialog::ScrubberDialog() {
    viewpathTimer = new QTimer(this);
    connect(viewpathTimer, &QTimer::timeout, this, &ScrubberDialog::idle);
    viewpathTimer->start(20);

    createModelGroupBox();
    createViewpathModeGroupBox();
    createViewpathGroupBox();
    createVisualizationGroupBox();
    mainLayout = new QGridLayout;
    mainLayout->addWidget(modelGroupBox, 0, 0);
    mainLayout->addWidget(viewpathModeGroupBox, 0, 1);
    mainLayout->addWidget(viewpathGroupBox, 0, 2);
    mainLayout->addWidget(visualizationGroupBox, 0, 3);
    finishPanel(this, mainLayout);
}

void ScrubberDialog::createModelGroupBox() {
    modelGroupBox = new QGroupBox(tr("Model"));
    modelLayout = new QGridLayout;
    modelComboBox = createModelComboBox();
    connect(modelComboBox, &QComboBox::currentIndexChanged, this,
            &ScrubberDialog::modelSelectionChanged);
    modelLayout->addWidget(modelComboBox, 0, 0);
    modelGroupBox->setLayout(modelLayout);
}

void ScrubberDialog::createViewpathModeGroupBox() {
    viewpathModeGroupBox = new QGroupBox(tr("Orbit Mode"));
    viewpathModeLayout = new QGridLayout;
    auto* turntable = new QRadioButton(tr("turntable"));
    auto* orbit = new QRadioButton(tr("our orbit"));
    connect(turntable, &QRadioButton::clicked, this, &ScrubberDialog::toggleTurntable);
    connect(orbit, &QRadioButton::clicked, this, &ScrubberDialog::toggleOrbit);
    orbit->setChecked(true);
    viewpathModeLayout->addWidget(turntable, 0, 0);
    viewpathModeLayout->addWidget(orbit, 1, 0);
    viewpathModeGroupBox->setLayout(viewpathModeLayout);
}

void ScrubberDialog::createViewpathGroupBox() {
    viewpathGroupBox = new QGroupBox(tr("Orbit"));
    viewpathLayout = new QGridLayout;
    playCheckBox = new QCheckBox(tr("play"));
    playCheckBox->setChecked(false);
    connect(playCheckBox, &QCheckBox::clicked, this, &ScrubberDialog::playViewpath);
    viewpathSlider = createSlider(this, &ScrubberDialog::setViewpoint);
    viewpathSlider->setValue(0);
    viewPath::_instance.currentIndex = 0;
    viewpathLayout->addWidget(playCheckBox, 0, 0);
    viewpathLayout->addWidget(viewpathSlider, 1, 0);
    viewpathGroupBox->setLayout(viewpathLayout);
}

void ScrubberDialog::createVisualizationGroupBox() {
    visualizationGroupBox = createVisualizationBox(
        this, visualizationLayout, &ScrubberDialog::toggleSphere, &ScrubberDialog::toggleTexture);
}

void ScrubberDialog::setSelectedModel(int i) {
    modelComboBox->setCurrentIndex(i);
}

void ScrubberDialog::setViewpathSliderRange(int max) {
    viewpathSlider->setRange(0, max);
}

void ScrubberDialog::setViewpathSliderValue(int v) {
    viewpathSlider->setValue(v);
}

void ScrubberDialog::toggleSphere() {
    RenderingSetting::_instance.displayMode = 0;
}

void ScrubberDialog::toggleTexture() {
    RenderingSetting::_instance.displayMode = 1;
}

void ScrubberDialog::modelSelectionChanged(int i) {
    RenderingSetting& settings = RenderingSetting::_instance;
    viewPath& path = viewPath::_instance;
    settings.selectedModel = i;
    settings.modelChanged = true;
    const int n = path.loadViewPath(settings.viewpointFilePath());
    if (n > 0) {
        path.calculateTurnTablePath();
        viewpathSlider->setRange(0, n - 1);
        viewpathSlider->setValue(0);
        path.currentIndex = 0;
    }
    ExtTrackball::_instance.predictedThrowPath.clear();
}

void ScrubberDialog::toggleTurntable() {
    RenderingSetting::_instance.orbitType = 0;
}

void ScrubberDialog::toggleOrbit() {
    RenderingSetting::_instance.orbitType = 1;
}

void ScrubberDialog::playViewpath() {
    ExtTrackball::_instance.restartPath = true;
    RenderingSetting::_instance.playing = !RenderingSetting::_instance.playing;
}

void ScrubberDialog::setViewpoint(int i) {
    viewPath::_instance.currentIndex = i;
}

void ScrubberDialog::idle() {
    viewpathSlider->setValue(viewPath::_instance.currentIndex);
}
