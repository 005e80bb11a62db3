#pragma once

#include <functional>

#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {

class LightShaftRenderer;

// The steps of one frame, in their order, for callers that watch them.
enum class FrameStep { Upload, Render, Finish, Readback };

// The OpenGL steps of one frame, with a plug-in context current and the renderer's
// settings read: checks the frame and its ray box against OpenGL's limits, sizes
// the render target to the layer and pushes its layer, uploads the input world,
// renders the light shafts, finishes the frame through the channel-order pass, and
// reads it back into the output world. Throws 516 for a frame beyond OpenGL's
// side limits (before anything is made), a world the transfer refuses, a program of
// the frame that did not compile or link, or an output framebuffer that is not
// complete; std::bad_alloc for a float surface the driver will not store (before
// anything is made) or one it ran out of memory for; and the read-back's codes. The
// output world is written by the last step only. `afterStep`, when given, is called
// after each step (the bench times them, tests record their OpenGL calls).
void runFrameSequence(LightShaftRenderer& renderer, PF_InData* in_data, PF_LayerDef* input, PF_LayerDef* output,
                      const std::function<void(FrameStep)>& afterStep = {});

} // namespace Solvane
} // namespace Tamrin
