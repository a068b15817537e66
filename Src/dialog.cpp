#include "dialog.h"
// placeholder: being written
VisualizerDialog::VisualizerDialog() {}
void VisualizerDialog::setSelectedModel(int) {}
void VisualizerDialog::setSelectedAttribute(int) {}
void VisualizerDialog::toggleSphere() {}
void VisualizerDialog::toggleTexture() {}
void VisualizerDialog::modelSelectionChanged(int) {}
void VisualizerDialog::attributeSelectionChanged(int) {}
TrackballDialog::TrackballDialog() {}
void TrackballDialog::setSelectedModel(int) {}
int TrackballDialog::getNudgeMode() const { return nudgeMode; }
void TrackballDialog::setNudgeStrengthSliderValue(int) {}
void TrackballDialog::setFrictionStrengthSliderValue(int) {}
void TrackballDialog::toggleSphere() {}
void TrackballDialog::toggleTexture() {}
void TrackballDialog::modelSelectionChanged(int) {}
void TrackballDialog::setNudgeStrength(int) {}
void TrackballDialog::setFrictionStrength(int) {}
void TrackballDialog::toggleOff() {}
void TrackballDialog::toggleRecommendedSettings() {}
void TrackballDialog::toggleSliderSettings() {}
ScrubberDialog::ScrubberDialog() {}
void ScrubberDialog::setSelectedModel(int) {}
void ScrubberDialog::setViewpathSliderRange(int) {}
void ScrubberDialog::setViewpathSliderValue(int) {}
void ScrubberDialog::toggleSphere() {}
void ScrubberDialog::toggleTexture() {}
void ScrubberDialog::modelSelectionChanged(int) {}
void ScrubberDialog::toggleTurntable() {}
void ScrubberDialog::toggleOrbit() {}
void ScrubberDialog::playViewpath() {}
void ScrubberDialog::setViewpoint(int) {}
void ScrubberDialog::idle() {}
