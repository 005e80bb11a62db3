#pragma once

#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {

// The OpenGL work inside the host's commands. Each saves the caller's current
// OpenGL binding first and gives it back before returning, also when a failure
// leaves early.

// Global set-up: creates the shared context.
void openglSetUp();

// Global set-down: deletes every OpenGL object of the render target and the
// renderer with a plug-in context current, then destroys every context.
void openglSetDown();

// One frame: the input layer of params[0] through the effect into the output world.
// Failures are thrown as integer host codes.
void renderFrame(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output);

} // namespace Solvane
} // namespace Tamrin
