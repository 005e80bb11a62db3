#include "standin/SubstituteHost.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace Tamrin {
namespace Solvane {
namespace StandIn {

namespace {

std::atomic<SubstituteHost*> gActiveHost{nullptr};

constexpr SPErr kSuiteNotFound = 1;

SubstituteHost& host()
{
    SubstituteHost* active = gActiveHost.load();
    if (!active) {
        std::fprintf(stderr, "solvane: a plug-in called the host outside of a command\n");
        std::abort();
    }
    return *active;
}

// --- interaction and utility callbacks -------------------------------------------------------------

PF_Err SOLVANE_HOST_CALL checkoutParam(PF_ProgPtr, PF_ParamIndex index, A_long time, A_long, A_u_long,
                                       PF_ParamDef* param)
{
    return host().checkoutParam(index, time, param);
}

PF_Err SOLVANE_HOST_CALL checkinParam(PF_ProgPtr, PF_ParamDef* param) { return host().checkinParam(param); }

PF_Err SOLVANE_HOST_CALL addParam(PF_ProgPtr, PF_ParamIndex index, PF_ParamDef* def)
{
    return host().addParam(index, def);
}

char* SOLVANE_HOST_CALL ansiStrcpy(char* destination, const char* source) { return std::strcpy(destination, source); }

PF_Err SOLVANE_HOST_CALL getPixelData8(PF_EffectWorld* world, PF_PixelPtr, PF_Pixel8** pixels)
{
    if (!world || !pixels) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *pixels = static_cast<PF_Pixel8*>(world->data);
    return PF_Err_NONE;
}

// --- suites -------------------------------------------------------------------------------------------

SPErr SOLVANE_HOST_CALL acquireSuite(const char* name, A_long version, const void** suite)
{
    return host().acquireSuite(name, version, suite);
}

SPErr SOLVANE_HOST_CALL releaseSuite(const char* name, A_long version) { return host().releaseSuite(name, version); }

int SOLVANE_HOST_CALL ansiSprintf(char* buffer, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsprintf(buffer, format, arguments);
    va_end(arguments);
    return written;
}

double SOLVANE_HOST_CALL mathAtan(double v) { return std::atan(v); }
double SOLVANE_HOST_CALL mathAtan2(double a, double b) { return std::atan2(a, b); }
double SOLVANE_HOST_CALL mathCeil(double v) { return std::ceil(v); }
double SOLVANE_HOST_CALL mathCos(double v) { return std::cos(v); }
double SOLVANE_HOST_CALL mathExp(double v) { return std::exp(v); }
double SOLVANE_HOST_CALL mathFabs(double v) { return std::fabs(v); }
double SOLVANE_HOST_CALL mathFloor(double v) { return std::floor(v); }
double SOLVANE_HOST_CALL mathFmod(double a, double b) { return std::fmod(a, b); }
double SOLVANE_HOST_CALL mathHypot(double a, double b) { return std::hypot(a, b); }
double SOLVANE_HOST_CALL mathLog(double v) { return std::log(v); }
double SOLVANE_HOST_CALL mathLog10(double v) { return std::log10(v); }
double SOLVANE_HOST_CALL mathPow(double a, double b) { return std::pow(a, b); }
double SOLVANE_HOST_CALL mathSin(double v) { return std::sin(v); }
double SOLVANE_HOST_CALL mathSqrt(double v) { return std::sqrt(v); }
double SOLVANE_HOST_CALL mathTan(double v) { return std::tan(v); }
double SOLVANE_HOST_CALL mathAsin(double v) { return std::asin(v); }
double SOLVANE_HOST_CALL mathAcos(double v) { return std::acos(v); }

const PF_ANSICallbacksSuite1 kAnsiSuite = {mathAtan, mathAtan2, mathCeil,  mathCos,  mathExp,    mathFabs,
                                           mathFloor, mathFmod, mathHypot, mathLog,  mathLog10,  mathPow,
                                           mathSin,  mathSqrt,  mathTan,   ansiSprintf, ansiStrcpy, mathAsin,
                                           mathAcos};

PF_Err SOLVANE_HOST_CALL appGetBgColor(void*) { return PF_Err_NONE; }
PF_Err SOLVANE_HOST_CALL appGetColor(A_long, void*) { return PF_Err_NONE; }
PF_Err SOLVANE_HOST_CALL appGetLanguage(char* tag)
{
    // Five characters and a NUL, as the host writes them.
    std::strncpy(tag, host().languageTag().c_str(), 5);
    tag[5] = '\0';
    return PF_Err_NONE;
}
PF_Err SOLVANE_HOST_CALL appGetPersonalInfo(void*) { return PF_Err_NONE; }
PF_Err SOLVANE_HOST_CALL appGetFontStyleSheet(A_long, void*, std::int16_t*, std::int16_t*, std::int16_t*)
{
    return PF_Err_NONE;
}

const PFAppSuite7 kAppSuite = {appGetBgColor, appGetColor, appGetLanguage, appGetPersonalInfo, appGetFontStyleSheet};

// A handle is a pointer to the block's address; the block's size sits in front of it.
struct HandleBlock {
    void* data;
    std::uint64_t size;
};

PF_Handle SOLVANE_HOST_CALL handleNew(std::uint64_t size) { return host().newHandle(size); }
void* SOLVANE_HOST_CALL handleLock(PF_Handle handle) { return host().lockHandle(handle); }
void SOLVANE_HOST_CALL handleUnlock(PF_Handle handle) { host().unlockHandle(handle); }
void SOLVANE_HOST_CALL handleDispose(PF_Handle handle) { host().disposeHandle(handle); }
std::uint64_t SOLVANE_HOST_CALL handleSize(PF_Handle handle)
{
    return handle ? reinterpret_cast<HandleBlock*>(handle)->size : 0;
}
PF_Err SOLVANE_HOST_CALL handleResize(std::uint64_t, PF_Handle*) { return PF_Err_OUT_OF_MEMORY; }

const PF_HandleSuite2 kHandleSuite = {handleNew, handleLock, handleUnlock, handleDispose, handleSize, handleResize};

} // namespace

std::int32_t scaledToInt32(double value, double unitsPerOne)
{
    const double scaled = std::round(value * unitsPerOne);
    if (std::isnan(scaled)) {
        return 0;
    }
    if (scaled >= 2147483647.0) {
        return INT32_MAX;
    }
    if (scaled <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(scaled);
}

PF_Fixed fixedFromDouble(double value) { return scaledToInt32(value, 65536.0); }

double doubleFromFixed(PF_Fixed value) { return value / 65536.0; }

const PF_ParamDef* declaredAs(const std::vector<HostParameter>& declared, PF_ParamIndex index, PF_ParamType type)
{
    const auto position = static_cast<std::size_t>(index);
    if (index < 0 || position >= declared.size() || declared[position].declared.param_type != type) {
        return nullptr;
    }
    return &declared[position].declared;
}

SubstituteHost::SubstituteHost(PF_EntryPointFunc entryPoint, std::string languageTag)
    : entry_(entryPoint), language_(std::move(languageTag))
{
    SubstituteHost* expected = nullptr;
    if (!gActiveHost.compare_exchange_strong(expected, this)) {
        throw std::logic_error("only one substitute host can be active at a time");
    }
    utils_.ansi.strcpy = ansiStrcpy;
    utils_.get_pixel_data8 = getPixelData8;
    basic_.AcquireSuite = StandIn::acquireSuite;
    basic_.ReleaseSuite = StandIn::releaseSuite;
    inData_.inter.checkout_param = StandIn::checkoutParam;
    inData_.inter.checkin_param = StandIn::checkinParam;
    inData_.inter.add_param = StandIn::addParam;
    inData_.utils = &utils_;
    inData_.pica_basicP = &basic_;
    inData_.effect_ref = reinterpret_cast<PF_ProgPtr>(this);
    inData_.version_major = 13;
    inData_.version_minor = 27;
    setFrameRate(24, 1);

    HostParameter layer;
    layer.declared.param_type = PF_Param_LAYER;
    layer.current = layer.declared;
    layer.name = "Input";
    parameters_.push_back(layer);
}

SubstituteHost::~SubstituteHost() { gActiveHost.store(nullptr); }

SubstituteHost* SubstituteHost::active() { return gActiveHost.load(); }

void SubstituteHost::setFrameRate(A_u_long timeScale, A_long timeStep)
{
    inData_.time_scale = timeScale;
    inData_.time_step = timeStep;
}

PF_Err SubstituteHost::command(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output)
{
    return entry_(cmd, &inData_, &outData_, params, output, nullptr);
}

PF_Err SubstituteHost::about(std::string& text)
{
    const PF_Err error = command(PF_Cmd_ABOUT);
    text.assign(outData_.return_msg, strnlen(outData_.return_msg, sizeof outData_.return_msg));
    return error;
}

PF_Err SubstituteHost::globalSetUp() { return command(PF_Cmd_GLOBAL_SETUP); }

PF_Err SubstituteHost::paramsSetUp()
{
    parameters_.resize(1);
    addParamCalls_ = 0;
    return command(PF_Cmd_PARAMS_SETUP);
}

PF_Err SubstituteHost::globalSetDown() { return command(PF_Cmd_GLOBAL_SETDOWN); }

PF_Err SubstituteHost::render(HostWorld& input, HostWorld& output, A_long time)
{
    inData_.current_time = time;
    inData_.width = input.width();
    inData_.height = input.height();
    currentInput_ = &input.def();

    // The params array as a host hands it over: the layer, then every parameter at this time.
    std::vector<PF_ParamDef> values(parameters_.size());
    std::vector<PF_ParamDef*> pointers(parameters_.size());
    for (std::size_t i = 0; i < parameters_.size(); ++i) {
        values[i] = valueAt(static_cast<PF_ParamIndex>(i), time);
        pointers[i] = &values[i];
    }
    const PF_Err error = command(PF_Cmd_RENDER, pointers.data(), &output.def());
    currentInput_ = nullptr;
    return error;
}

HostParameter& SubstituteHost::parameter(PF_ParamIndex index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= parameters_.size()) {
        throw std::out_of_range("no parameter " + std::to_string(index));
    }
    return parameters_[static_cast<std::size_t>(index)];
}

void SubstituteHost::setFixedSlider(PF_ParamIndex index, double value)
{
    parameter(index).current.u.fd.value = fixedFromDouble(value);
}

void SubstituteHost::setSlider(PF_ParamIndex index, A_long value) { parameter(index).current.u.sd.value = value; }

void SubstituteHost::setPoint(PF_ParamIndex index, double x, double y)
{
    HostParameter& p = parameter(index);
    p.current.u.td.x_value = fixedFromDouble(x);
    p.current.u.td.y_value = fixedFromDouble(y);
    p.pointInPercent = false;
}

void SubstituteHost::setPopup(PF_ParamIndex index, A_long choice) { parameter(index).current.u.pd.value = choice; }

void SubstituteHost::setCheckbox(PF_ParamIndex index, bool on) { parameter(index).current.u.bd.value = on ? 1 : 0; }

PF_ParamDef SubstituteHost::valueAt(PF_ParamIndex index, A_long time) const
{
    const HostParameter& p = parameters_.at(static_cast<std::size_t>(index));
    PF_ParamDef def = p.current;
    const int layerWidth = currentInput_ ? currentInput_->width : inData_.width;
    const int layerHeight = currentInput_ ? currentInput_->height : inData_.height;
    if (index == 0) {
        if (currentInput_) {
            def.u.ld = *currentInput_;
        }
        return def;
    }
    if (def.param_type == PF_Param_POINT && p.pointInPercent) {
        def.u.td.x_value = fixedFromDouble(doubleFromFixed(def.u.td.x_value) * layerWidth / 100.0);
        def.u.td.y_value = fixedFromDouble(doubleFromFixed(def.u.td.y_value) * layerHeight / 100.0);
    }
    if (p.animate) {
        const double seconds = inData_.time_scale ? static_cast<double>(time) / inData_.time_scale : 0.0;
        p.animate(def, seconds, layerWidth, layerHeight);
    }
    return def;
}

PF_Err SubstituteHost::addParam(PF_ParamIndex index, const PF_ParamDef* def)
{
    ++addParamCalls_;
    if (faults.failAddParamAt != 0 && addParamCalls_ == faults.failAddParamAt) {
        return PF_Err_OUT_OF_MEMORY;
    }
    if (!def || index != -1) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    HostParameter p;
    p.declared = *def;
    p.current = *def;
    p.name.assign(def->name, strnlen(def->name, sizeof def->name));
    if (def->param_type == PF_Param_POPUP && def->u.pd.namesptr) {
        p.choices = def->u.pd.namesptr;
    }
    p.pointInPercent = def->param_type == PF_Param_POINT;
    parameters_.push_back(p);
    return PF_Err_NONE;
}

PF_Err SubstituteHost::checkoutParam(PF_ParamIndex index, A_long time, PF_ParamDef* def)
{
    if (!def) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (index == faults.failCheckoutIndex) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= parameters_.size()) {
        return PF_Err_INVALID_INDEX;
    }
    *def = valueAt(index, time);
    ++checkoutsOpen_;
    return PF_Err_NONE;
}

PF_Err SubstituteHost::checkinParam(PF_ParamDef* def)
{
    if (!def) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    --checkoutsOpen_;
    return PF_Err_NONE;
}

SPErr SubstituteHost::acquireSuite(const char* name, A_long version, const void** suite)
{
    if (!name || !suite) {
        return kSuiteNotFound;
    }
    if (faults.refusedSuites.count(name) != 0) {
        return kSuiteNotFound;
    }
    const std::string wanted(name);
    if (wanted == kPFANSISuite && version == kPFANSISuiteVersion1) {
        *suite = &kAnsiSuite;
    } else if (wanted == kPFAppSuite && version == kPFAppSuiteVersion7) {
        *suite = &kAppSuite;
    } else if (wanted == kPFHandleSuite && version == kPFHandleSuiteVersion2) {
        *suite = &kHandleSuite;
    } else {
        return kSuiteNotFound;
    }
    ++suitesHeld_;
    ++counts.suiteAcquisitions;
    return 0;
}

SPErr SubstituteHost::releaseSuite(const char*, A_long)
{
    --suitesHeld_;
    ++counts.suiteReleases;
    return 0;
}

PF_Handle SubstituteHost::newHandle(std::uint64_t size)
{
    counts.lastHandleSize = size;
    if (faults.failHandleAllocation) {
        return nullptr;
    }
    auto* block = static_cast<HandleBlock*>(std::malloc(sizeof(HandleBlock)));
    if (!block) {
        return nullptr;
    }
    block->size = size;
    block->data = std::malloc(size ? size : 1);
    if (!block->data) {
        std::free(block);
        return nullptr;
    }
    ++handlesAlive_;
    ++counts.handlesMade;
    return reinterpret_cast<PF_Handle>(block);
}

void* SubstituteHost::lockHandle(PF_Handle handle)
{
    ++counts.handleLocks;
    return handle ? *handle : nullptr;
}

void SubstituteHost::unlockHandle(PF_Handle)
{
    ++counts.handleUnlocks;
}

void SubstituteHost::disposeHandle(PF_Handle handle)
{
    if (!handle) {
        return;
    }
    auto* block = reinterpret_cast<HandleBlock*>(handle);
    std::free(block->data);
    std::free(block);
    --handlesAlive_;
    ++counts.handlesDisposed;
}

std::string describeError(PF_Err error)
{
    switch (error) {
    case PF_Err_NONE:
        return "no error";
    case PF_Err_OUT_OF_MEMORY:
        return "out of memory (4)";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
        return "internal failure (512)";
    case PF_Err_INVALID_INDEX:
        return "invalid parameter index (513)";
    case PF_Err_BAD_CALLBACK_PARAM:
        return "bad callback parameter (516): the plug-in could not complete the command";
    default:
        return "host error " + std::to_string(error);
    }
}

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
