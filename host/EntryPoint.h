#pragma once

#include "host/HostInterface.h"

#if defined(_WIN32)
#define SOLVANE_EXPORT __declspec(dllexport)
#else
#define SOLVANE_EXPORT __attribute__((visibility("default")))
#endif

// The plug-in's one exported function: the host drives everything through it.
extern "C" SOLVANE_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                                PF_ParamDef* params[], PF_LayerDef* output, void* extra);
