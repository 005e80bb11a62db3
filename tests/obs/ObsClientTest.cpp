// The OBS filter's side of the client core, without OBS running: settings that a scene collection holds but the
// controls cannot (beyond the ranges, beyond what an int holds, of the wrong type) are settled with one line each, the
// defaults come from the plug-in's declaration, and a plug-in that cannot start or render says why: the EGL cause,
// and the driver's log of a program that does not build.
#include <gtest/gtest.h>
#include <obs.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "obs/FilterSettings.h"
#include "obs/LoadedPlugin.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

// The module's texts come from OBS's locale files, which this program does not load: the key stands for its text.
extern "C" const char* obs_module_text(const char* key) { return key; }

namespace {

struct Settings {
    explicit Settings(const char* json) : data(obs_data_create_from_json(json)) {}
    ~Settings() { obs_data_release(data); }
    obs_data_t* data;
};

TEST(ObsClient, SettingsTheControlsCannotHoldAreSettledWithOneLineNamingEach)
{
    const StandIn::EffectDeclaration declaration;
    Settings settings(R"({"threshold": 250.5, "threshold_smoothness": "soft", "exposure": -1e300,
                          "shine_length": 9223372036854775807, "quality": -4294967297, "ray_only": 1,
                          "center_x": 1e6, "center_y": 12.5})");
    std::vector<std::string> notes;
    const StandIn::EffectValues values = Obs::readSettings(settings.data, declaration, notes);
    EXPECT_DOUBLE_EQ(values.threshold, 100.0);
    EXPECT_DOUBLE_EQ(values.thresholdSmooth, declaration.defaults().thresholdSmooth);
    EXPECT_DOUBLE_EQ(values.exposure, 0.0);
    EXPECT_EQ(values.shineLength, 2048); // not the low 32 bits of the stored number
    EXPECT_EQ(values.quality, 1);
    EXPECT_EQ(values.rayOnly, declaration.defaults().rayOnly); // a number where a flag belongs
    EXPECT_DOUBLE_EQ(values.centerX, 1000.0);
    EXPECT_DOUBLE_EQ(values.centerY, 12.5);
    ASSERT_EQ(notes.size(), 7u);
    EXPECT_EQ(notes[0], "threshold: 250.5 lies outside 0 to 100; 100 is used");
    EXPECT_EQ(notes[1], "threshold_smoothness: not a number; the default 0 is used");
    for (const char* key : {"exposure", "shine_length", "quality", "ray_only", "center_x"}) {
        bool named = false;
        for (const std::string& note : notes) {
            named = named || note.rfind(std::string(key) + ":", 0) == 0;
        }
        EXPECT_TRUE(named) << key;
    }

    // Settings as the controls make them: taken as they are, with nothing said.
    Settings good(R"({"threshold": 35.0, "shine_length": 900, "quality": 3, "ray_only": true, "center_x": -40.0})");
    notes.clear();
    const StandIn::EffectValues kept = Obs::readSettings(good.data, declaration, notes);
    EXPECT_TRUE(notes.empty());
    EXPECT_DOUBLE_EQ(kept.threshold, 35.0);
    EXPECT_EQ(kept.shineLength, 900);
    EXPECT_EQ(kept.quality, 3);
    EXPECT_TRUE(kept.rayOnly);
    EXPECT_DOUBLE_EQ(kept.centerX, -40.0);
    EXPECT_DOUBLE_EQ(kept.centerY, declaration.defaults().centerY);
}

TEST(ObsClient, DefaultsAreTheDeclarationsForEverySettingOfTheTable)
{
    const StandIn::EffectDeclaration declaration = Obs::LoadedPlugin::instance().load();
    Settings settings("{}");
    Obs::writeDefaults(settings.data, declaration);
    std::vector<std::string> notes;
    const StandIn::EffectValues values = Obs::readSettings(settings.data, declaration, notes);
    EXPECT_TRUE(notes.empty());
    for (const Obs::FilterSetting& setting : Obs::filterSettings()) {
        EXPECT_DOUBLE_EQ(setting.get(values), setting.get(declaration.defaults())) << setting.key;
        EXPECT_TRUE(obs_data_has_default_value(settings.data, setting.key)) << setting.key;
    }
}

// In a process of its own (the plug-in is loaded once a process, and EGL reads its variables once).
TEST(ObsClientDeathTest, APluginWhoseOpenGlCannotStartIsExplainedByItsCause)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent", 1);
            setenv("SOLVANE_QUIET", "1", 1);
            try {
                Obs::LoadedPlugin::instance().load();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s\n", e.what());
                std::exit(std::string(e.what()).find("SOLVANE_PLUGIN names") == std::string::npos ? 3 : 4);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(3), "no EGL display could be opened");
}

// Loads the plug-in that SOLVANE_PLUGIN names and renders one frame; exits 3 with the failure's words when it fails.
[[noreturn]] void renderOneFrame(const std::string& plugin)
{
    setenv("SOLVANE_PLUGIN", plugin.c_str(), 1);
    setenv("SOLVANE_QUIET", "1", 1);
    const StandIn::EffectDeclaration declaration = Obs::LoadedPlugin::instance().load();
    StandIn::HostWorld input(64, 48);
    StandIn::HostWorld output(64, 48);
    std::string report;
    const PF_Err error = Obs::LoadedPlugin::instance().render(declaration.defaults(), input, output, report);
    std::fprintf(stderr, "%s\n", StandIn::renderFailureCause(error, 64, 48, report).c_str());
    std::exit(error == PF_Err_NONE ? 0 : 3);
}

TEST(ObsClientDeathTest, AProgramThatDoesNotBuildCarriesTheDriversLog)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Support::ScratchFolder scratch("solvane-obs-client");
    std::string bytes = Support::readFile(Support::pluginPath());
    for (std::size_t at = bytes.find("out vec2 uv;"); at != std::string::npos; at = bytes.find("out vec2 uv;", at)) {
        bytes.replace(at, 12, "out vec2 ux;");
    }
    Support::writeFile(scratch / "broken.aex", bytes);
    EXPECT_EXIT(renderOneFrame(scratch / "broken.aex"), ::testing::ExitedWithCode(3),
                "the plug-in reported:\nShader vert error:");
}

} // namespace
