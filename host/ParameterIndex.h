#pragma once

#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {

// The effect's seven parameters after the input layer. Their order, ids, kinds,
// ranges and defaults are what the host stores in projects.
enum ParameterIndex : PF_ParamIndex {
    kParamInput = 0,
    kParamThreshold = 1,
    kParamThresholdSmooth = 2,
    kParamCenter = 3,
    kParamShineLength = 4,
    kParamExposure = 5,
    kParamQuality = 6,
    kParamRayOnly = 7,
    kParamCount = 8
};

} // namespace Solvane
} // namespace Tamrin
