#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "standin/HostWorld.h"
#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {
namespace StandIn {

// Faults the host can inject, to see how the plug-in copes. Only the tests and solvane_stress set them; they stay in
// the shipped stand-in (docs/architecture.md, "Kept on purpose"), where they are off and cost a comparison a call.
struct HostFaults {
    std::set<std::string> refusedSuites; // suite names AcquireSuite refuses
    bool failHandleAllocation = false;   // the handle suite has no memory
    int failAddParamAt = 0;              // the Nth add_param call (from 1) fails; 0: none
    int failCheckoutIndex = -1;          // checking out this parameter index fails; -1: none
};

// Running totals of what the plug-in asked of the host's suites, for tests and solvane_stress (kept in the shipped
// stand-in with the faults above).
struct HostCounts {
    int suiteAcquisitions = 0;
    int suiteReleases = 0;
    int handlesMade = 0;
    int handlesDisposed = 0;
    int handleLocks = 0;
    int handleUnlocks = 0;
    std::uint64_t lastHandleSize = 0; // the size last asked for, also when the allocation failed
};

// What the host keeps of one declared parameter: the definition as declared, and
// its current value in the host's own representation.
struct HostParameter {
    PF_ParamDef declared{};
    PF_ParamDef current{};
    std::string name;         // copied from the definition
    std::string choices;      // popup choices, copied
    bool pointInPercent = false; // a point not yet set by the user: its value is in per cent of the layer
    // When set, answers a checkout with the value at a time (seconds): keyframes.
    std::function<void(PF_ParamDef&, double seconds, int layerWidth, int layerHeight)> animate;
};

// A stand-in for the compositing host: it provides the records, callbacks and
// suites the plug-in uses, keeps the declared parameters and their values, and
// drives the plug-in's commands in the host's order. One instance is active per
// process at a time (the suites reach it through a process-wide pointer).
class SubstituteHost {
public:
    explicit SubstituteHost(PF_EntryPointFunc entryPoint, std::string languageTag = "en_US");
    ~SubstituteHost();

    SubstituteHost(const SubstituteHost&) = delete;
    SubstituteHost& operator=(const SubstituteHost&) = delete;

    PF_Err about(std::string& text);
    PF_Err globalSetUp();
    PF_Err paramsSetUp();
    PF_Err globalSetDown();
    // Renders the input into the output at the given frame time (time / timeScale seconds).
    PF_Err render(HostWorld& input, HostWorld& output, A_long time = 0);
    // Any command, with the host's records as they stand.
    PF_Err command(PF_Cmd cmd, PF_ParamDef** params = nullptr, PF_LayerDef* output = nullptr);

    // Host time base: frames of 1 / fps seconds.
    void setFrameRate(A_u_long timeScale, A_long timeStep);

    // The declared parameters, by index (index 0 is the input layer).
    std::vector<HostParameter>& parameters() { return parameters_; }
    HostParameter& parameter(PF_ParamIndex index);

    // Set values as a user does in the effect's controls, in the host's units.
    void setFixedSlider(PF_ParamIndex index, double value);
    void setSlider(PF_ParamIndex index, A_long value);
    void setPoint(PF_ParamIndex index, double x, double y);
    void setPopup(PF_ParamIndex index, A_long choice);
    void setCheckbox(PF_ParamIndex index, bool on);

    // The value a checkout would give at a time, as the host computes it.
    PF_ParamDef valueAt(PF_ParamIndex index, A_long time) const;

    HostFaults faults;
    PF_InData& inData() { return inData_; }
    PF_OutData& outData() { return outData_; }
    const std::string& languageTag() const { return language_; }

    // Bookkeeping that tests read: suites held now, handles alive now, calls made.
    int suitesHeld() const { return suitesHeld_; }
    int handlesAlive() const { return handlesAlive_; }
    int checkoutsOpen() const { return checkoutsOpen_; }
    int addParamCalls() const { return addParamCalls_; }
    HostCounts counts;

    // Called through the C callbacks.
    PF_Err addParam(PF_ParamIndex index, const PF_ParamDef* def);
    PF_Err checkoutParam(PF_ParamIndex index, A_long time, PF_ParamDef* def);
    PF_Err checkinParam(PF_ParamDef* def);
    SPErr acquireSuite(const char* name, A_long version, const void** suite);
    SPErr releaseSuite(const char* name, A_long version);
    PF_Handle newHandle(std::uint64_t size);
    void* lockHandle(PF_Handle handle);
    void unlockHandle(PF_Handle handle);
    void disposeHandle(PF_Handle handle);

    static SubstituteHost* active();

private:
    PF_EntryPointFunc entry_;
    std::string language_;
    PF_InData inData_{};
    PF_OutData outData_{};
    PF_UtilCallbacks utils_{};
    SPBasicSuite basic_{};
    std::vector<HostParameter> parameters_;
    PF_LayerDef* currentInput_ = nullptr;
    int suitesHeld_ = 0;
    int handlesAlive_ = 0;
    int checkoutsOpen_ = 0;
    int addParamCalls_ = 0;
};

// A value counted in steps of 1 / unitsPerOne (the host's 16.16 fixed point, its time
// in ticks), rounded to the nearest step and kept within 32 bits; 0 for a value that
// is not a number.
std::int32_t scaledToInt32(double value, double unitsPerOne);

// A value in the host's 16.16 fixed point, rounded to the nearest step and kept within its range.
PF_Fixed fixedFromDouble(double value);
double doubleFromFixed(PF_Fixed value);

// The definition the plug-in declared at `index` when it is of the kind `type`; null when there is none there or it
// is of another kind (a client reads the declared defaults through it, trusting nothing of the layout).
const PF_ParamDef* declaredAs(const std::vector<HostParameter>& declared, PF_ParamIndex index, PF_ParamType type);

// A one-line explanation of a host error code, for messages.
std::string describeError(PF_Err error);

} // namespace StandIn
} // namespace Solvane
} // namespace Tamrin
