#include "host/PluginState.h"

#include <memory>

#include "host/StringTable.h"
#include "renderer/LightShaftRenderer.h"

namespace Tamrin {
namespace Solvane {

namespace {

struct State {
    std::unique_ptr<LightShaftRenderer> renderer;
    std::unique_ptr<StringTable> strings;
};

State& state()
{
    // Deliberately never destroyed (see the class comment).
    static State* const held = new State();
    return *held;
}

// The renderer exists from the library's load, as the host expects of an effect's
// process-wide objects.
[[maybe_unused]] const bool kRendererMadeAtLoad = (PluginState::renderer(), true);

} // namespace

LightShaftRenderer& PluginState::renderer()
{
    State& s = state();
    if (!s.renderer) {
        s.renderer = std::make_unique<LightShaftRenderer>();
    }
    return *s.renderer;
}

void PluginState::destroyRenderer()
{
    state().renderer.reset();
}

const StringTable* PluginState::strings()
{
    return state().strings.get();
}

void PluginState::makeStrings(PF_InData* in_data)
{
    State& s = state();
    s.strings.reset();
    s.strings = std::make_unique<StringTable>(in_data);
}

void PluginState::destroyStrings()
{
    state().strings.reset();
}

} // namespace Solvane
} // namespace Tamrin
