// The process-wide objects. They are defined in this one translation unit so that they are
// built in this order before main and destroyed in the reverse order after it returns; no
// destructor uses another singleton.
#include "RenderingSetting.h"
#include "extTrackball.h"
#include "textureManager.h"
#include "viewPath.h"

viewPath viewPath::_instance;
textureManager textureManager::_instance;
RenderingSetting RenderingSetting::_instance;
ExtTrackball ExtTrackball::_instance;
camera camera::_instance;
coordinateTransform coordinateTransform::_instance;

// The recorder writes down the trackball's orientation; the link is made here, where both are
// known, so that the path module needs nothing of the trackball.
const double* viewPath::recordedOrientation = ab_quat;
