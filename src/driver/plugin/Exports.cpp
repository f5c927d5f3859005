#include "tallowcam/Exports.h"

// Filled in with the driver object.
