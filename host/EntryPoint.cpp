#include "host/EntryPoint.h"

#include <new>

#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextRegistry.h"
#include "host/Parameters.h"
#include "host/PiplResource.h"
#include "host/PluginState.h"
#include "host/RenderCommand.h"
#include "host/StringTable.h"
#include "host/SuiteHolder.h"
#include "solvane/Version.h"

namespace Tamrin {
namespace Solvane {

namespace {

constexpr char kAboutFormat[] = "%s v%d.%d\r%s";
constexpr int kMajorVersion = SOLVANE_VERSION_MAJOR;
constexpr int kMinorVersion = SOLVANE_VERSION_MINOR;

PF_Err about(PF_InData* in_data, PF_OutData* out_data)
{
    SuiteHolder ansi(in_data, kPFANSISuite, kPFANSISuiteVersion1);
    ansi.get<PF_ANSICallbacksSuite1>()->sprintf(out_data->return_msg, kAboutFormat, Pipl::kEffectName,
                                                 kMajorVersion, kMinorVersion, Pipl::kEffectName);
    return PF_Err_NONE;
}

PF_Err globalSetUp(PF_InData* in_data, PF_OutData* out_data)
{
    out_data->my_version = Pipl::kEffectVersion;
    out_data->out_flags = Pipl::kOutFlags;
    out_data->out_flags2 = Pipl::kOutFlags2;

    // A host that sets the effect up again without setting it down first (a
    // front end that reloads its own module over the loaded plug-in does) gets a
    // clean start: the earlier contexts and every object made in them go first.
    if (sharedContext() != nullptr) {
        openglSetDown();
    }

    PluginState::makeStrings(in_data);
    // A second set-up in the same load finds the renderer gone with the last set-down.
    PluginState::renderer();
    openglSetUp();
    return PF_Err_NONE;
}

PF_Err globalSetDown()
{
    openglSetDown();
    PluginState::destroyStrings();
    return PF_Err_NONE;
}

PF_Err paramsSetUp(PF_InData* in_data, PF_OutData* out_data)
{
    // Parameters declared before any global set-up get their names from a table
    // of the default language rather than from a missing one.
    const StringTable* strings = PluginState::strings();
    if (strings == nullptr) {
        StringTable fallback(1);
        return declareParameters(in_data, out_data, fallback);
    }
    return declareParameters(in_data, out_data, *strings);
}

PF_Err dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output)
{
    const bool answered = cmd == PF_Cmd_ABOUT || cmd == PF_Cmd_GLOBAL_SETUP || cmd == PF_Cmd_GLOBAL_SETDOWN ||
                          cmd == PF_Cmd_PARAMS_SETUP || cmd == PF_Cmd_RENDER;
    if (answered && cmd != PF_Cmd_GLOBAL_SETDOWN && (in_data == nullptr || out_data == nullptr)) {
        throw static_cast<int>(PF_Err_BAD_CALLBACK_PARAM);
    }
    switch (cmd) {
    case PF_Cmd_ABOUT:
        return about(in_data, out_data);
    case PF_Cmd_GLOBAL_SETUP:
        return globalSetUp(in_data, out_data);
    case PF_Cmd_GLOBAL_SETDOWN:
        return globalSetDown();
    case PF_Cmd_PARAMS_SETUP:
        return paramsSetUp(in_data, out_data);
    case PF_Cmd_RENDER:
        renderFrame(in_data, params, output);
        return PF_Err_NONE;
    default:
        return PF_Err_NONE;
    }
}

} // namespace

} // namespace Solvane
} // namespace Tamrin

// Nothing may unwind into the host. Integer codes raised inside a command (13: a
// suite is missing, 4: no memory for a handle, 516: a bad format or frame) become
// PF_Err_BAD_CALLBACK_PARAM: one code for every integer failure, kept on purpose
// (docs/architecture.md), as hosts and stored projects know it. Memory exhaustion becomes PF_Err_OUT_OF_MEMORY; a
// failed OpenGL context and anything else unexpected, PF_Err_INTERNAL_STRUCT_DAMAGED.
extern "C" SOLVANE_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                                PF_ParamDef* params[], PF_LayerDef* output, void* /*extra*/)
{
    using namespace Tamrin::Solvane;
    try {
        return dispatch(cmd, in_data, out_data, params, output);
    } catch (int) {
        return PF_Err_BAD_CALLBACK_PARAM;
    } catch (const AESDK_OpenGL_Fault&) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}
