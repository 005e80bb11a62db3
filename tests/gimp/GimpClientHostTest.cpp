// The GIMP plug-in's side of the client core: the last values GIMP hands back (kept by an earlier run, perhaps of
// another version) are settled into the declared ranges with one line each, and a plug-in that cannot start or
// render says why: the EGL cause, and the driver's log of a program that does not build.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "gimp/ShaftRenderer.h"
#include "gimp/ShaftValues.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

TEST(GimpClient, KeptValuesOutsideTheirRangesOrNotNumbersAreSettledWithOneLineEach)
{
    Gimp::ShaftRenderer renderer(Support::pluginPath());
    const Gimp::LayerPlace layer{10, 20, 200, 100};
    const Gimp::ShaftValues defaults = Gimp::ShaftValues::declaredDefaults(renderer.declared(), layer);
    Gimp::ShaftValues kept = defaults;
    kept.threshold = 400.0;
    kept.exposure = std::numeric_limits<double>::quiet_NaN();
    kept.shineLength = -7;
    kept.quality = 12;
    kept.centerX = std::numeric_limits<double>::infinity();
    kept.centerY = 20 + 1.0e6;
    std::vector<std::string> notes;
    kept.settle(renderer.declared(), layer, notes);
    EXPECT_DOUBLE_EQ(kept.threshold, 100.0);
    EXPECT_DOUBLE_EQ(kept.exposure, defaults.exposure);
    EXPECT_EQ(kept.shineLength, 0);
    EXPECT_EQ(kept.quality, 3);
    EXPECT_DOUBLE_EQ(kept.centerX, defaults.centerX);
    EXPECT_DOUBLE_EQ(kept.centerY, 20 + StandIn::kLargestCoordinate);
    EXPECT_EQ(notes.size(), 6u);
    EXPECT_EQ(kept.problem(renderer.declared(), layer), "");

    Gimp::ShaftValues good = defaults;
    notes.clear();
    good.settle(renderer.declared(), layer, notes);
    EXPECT_TRUE(notes.empty());
}

// Makes the renderer and renders one small layer; exits 3 with the failure's words when either fails.
[[noreturn]] void renderOneLayer(const std::string& plugin)
{
    setenv("SOLVANE_QUIET", "1", 1);
    try {
        Gimp::ShaftRenderer renderer(plugin);
        const Gimp::LayerPlace layer{0, 0, 64, 48};
        StandIn::HostWorld input(64, 48);
        StandIn::HostWorld output(64, 48);
        renderer.render(Gimp::ShaftValues::declaredDefaults(renderer.declared(), layer), layer, 1.0, input, output);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        std::exit(3);
    }
    std::exit(0);
}

[[noreturn]] void renderWithoutEgl(const std::string& plugin)
{
    setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent", 1);
    renderOneLayer(plugin);
}

// Each in a process of its own: EGL reads its variables once a process.
TEST(GimpClientDeathTest, APluginWhoseOpenGlCannotStartIsExplainedByItsCause)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(renderWithoutEgl(Support::pluginPath()), ::testing::ExitedWithCode(3),
                "could not be loaded: .*no EGL display could be opened");
}

TEST(GimpClientDeathTest, AProgramThatDoesNotBuildCarriesTheDriversLog)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Support::ScratchFolder scratch("solvane-gimp-client");
    std::string bytes = Support::readFile(Support::pluginPath());
    for (std::size_t at = bytes.find("out vec2 uv;"); at != std::string::npos; at = bytes.find("out vec2 uv;", at)) {
        bytes.replace(at, 12, "out vec2 ux;");
    }
    Support::writeFile(scratch / "broken.aex", bytes);
    EXPECT_EXIT(renderOneLayer(scratch / "broken.aex"), ::testing::ExitedWithCode(3),
                "did not render the 64x48 layer: .*the plug-in reported:\nShader vert error:");
}

} // namespace
