#pragma once

#include <cstdint>

#include "common/Vec2.h"
#include "host/HostInterface.h"
#include "host/ParameterIndex.h"
#include "renderer/RenderSettings.h"

namespace Tamrin {
namespace Solvane {

class StringTable;

// Declares the parameters to the host with names from the table. Returns 0 or the
// first non-zero result of add_param, unchanged.
PF_Err declareParameters(PF_InData* in_data, PF_OutData* out_data, const StringTable& strings);

// Reads every parameter at the current time into the settings. A parameter that
// cannot be checked out, or has another kind, leaves its field as it was.
void readSettings(PF_InData* in_data, RenderSettings& settings);

// Typed readers: each checks the parameter out, converts and stores its value, and
// checks it in again; true when the value was stored.
bool readCheckbox(PF_InData* in_data, PF_ParamIndex index, bool& destination);
bool readNumber(PF_InData* in_data, PF_ParamIndex index, double& destination);
bool readPercent(PF_InData* in_data, PF_ParamIndex index, double& destination);
bool readPopup(PF_InData* in_data, PF_ParamIndex index, std::int32_t& destination);
bool readPoint(PF_InData* in_data, PF_ParamIndex index, Vec2& destination);

} // namespace Solvane
} // namespace Tamrin
