// The client core that solvane, the frei0r module, the OBS filter and the GIMP plug-in share: values a client did
// not make settled into their ranges with one line naming them, the declaration's defaults and ranges, the plug-in's
// report split from its other lines, paths refused before anything opens them, and the plug-in's thread after a
// job that threw.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>

#include "host/ParameterIndex.h"
#include "host/Parameters.h"
#include "host/StringTable.h"
#include "renderer/RenderSettings.h"
#include "standin/EffectValues.h"
#include "standin/PluginClient.h"
#include "standin/PluginLibrary.h"
#include "standin/PluginThread.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::StandIn;

namespace {

std::string failureOf(const std::string& path)
{
    try {
        PluginLibrary::readRegistrationResource(path);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

TEST(ClientCore, ValuesAClientDidNotMakeComeIntoRangeOrCountAsTheDefaultWithOneLine)
{
    std::string note;
    EXPECT_DOUBLE_EQ(settledValue("threshold", 40.0, 50.0, {0.0, 100.0}, note), 40.0);
    EXPECT_EQ(note, "");
    // Beyond what an int holds, at either end: the nearest end, never a wrapped value.
    EXPECT_DOUBLE_EQ(settledValue("shine_length", 9.0e18, 2048.0, {0.0, 2048.0}, note), 2048.0);
    EXPECT_EQ(note, "shine_length: 9e+18 lies outside 0 to 2048; 2048 is used");
    EXPECT_DOUBLE_EQ(settledValue("quality", -3.0e9, 2.0, {1.0, 3.0}, note), 1.0);
    EXPECT_NE(note.find("quality:"), std::string::npos);
    // A value of the wrong type, and one that is not finite: the default.
    EXPECT_DOUBLE_EQ(settledValue("exposure", std::nullopt, 10.0, {0.0, 100.0}, note), 10.0);
    EXPECT_EQ(note, "exposure: not a number; the default 10 is used");
    EXPECT_DOUBLE_EQ(settledValue("exposure", std::numeric_limits<double>::infinity(), 10.0, {0.0, 100.0}, note),
                     10.0);
    EXPECT_EQ(note, "exposure: inf is not a finite number; the default 10 is used");
}

TEST(ClientCore, TheDeclarationGivesDefaultsRangesAndTheHostsCoordinateLimit)
{
    SubstituteHost host(nullptr);
    StringTable strings{1};
    ASSERT_EQ(declareParameters(&host.inData(), &host.outData(), strings), PF_Err_NONE);
    const EffectDeclaration declaration(host.parameters());
    const PF_ParamDef& shine = host.parameters()[kParamShineLength].declared;
    EXPECT_EQ(declaration.defaults().shineLength, shine.u.sd.dephault);
    EXPECT_DOUBLE_EQ(declaration.shineLength().high, shine.u.sd.valid_max);
    EXPECT_DOUBLE_EQ(declaration.threshold().high,
                     doubleFromFixed(host.parameters()[kParamThreshold].declared.u.fd.valid_max));
    EXPECT_EQ(declaration.qualityChoices(), 3);
    EXPECT_DOUBLE_EQ(declaration.defaults().centerX, 50.0);

    EffectValues wild = declaration.defaults();
    wild.threshold = 1.0e300;
    wild.exposure = std::nan("");
    wild.shineLength = -5;
    wild.quality = 99;
    const EffectValues bounded = declaration.bounded(wild);
    EXPECT_DOUBLE_EQ(bounded.threshold, declaration.threshold().high);
    EXPECT_DOUBLE_EQ(bounded.exposure, declaration.defaults().exposure);
    EXPECT_EQ(bounded.shineLength, static_cast<int>(declaration.shineLength().low));
    EXPECT_EQ(bounded.quality, 3);

    // The centre reaches the plug-in within what the host's 16.16 point holds.
    declaration.apply(host, wild, 1.0e12, -std::numeric_limits<double>::infinity());
    RenderSettings settings{};
    readSettings(&host.inData(), settings);
    EXPECT_DOUBLE_EQ(settings.center.x, kLargestCoordinate);
    EXPECT_DOUBLE_EQ(settings.center.y, 0.0);
    EXPECT_EQ(settings.quality, 2); // the popup's third choice, counted from 0
}

TEST(ClientCore, ThePluginsReportIsSplitFromItsOtherLinesOnceEach)
{
    const std::string identification = "OpenGL vendor: x\nOpenGL version: 3.3\n";
    const std::string log = "Shader vert error:\n0:3: 'ux' : undeclared";
    const PluginLines split = splitPluginLines(identification + log + "\n\n" + log + "\n\n");
    EXPECT_EQ(split.before, identification);
    EXPECT_EQ(split.report, log);
    EXPECT_EQ(splitPluginLines(identification).report, "");
    EXPECT_EQ(splitPluginLines(identification).before, identification);

    const std::string message = describeRenderFailure(PF_Err_OUT_OF_MEMORY, 12288, 8192, 3, log);
    EXPECT_EQ(message.rfind("the plug-in could not render the frame (12288x8192, Low quality): out of memory", 0), 0u)
        << message;
    EXPECT_NE(message.find("1536 MiB"), std::string::npos) << message;
    EXPECT_NE(message.find("; the plug-in reported:\n" + log), std::string::npos) << message;
}

TEST(ClientCore, APluginPathThatIsNoRegularFileIsRefusedBeforeItIsOpened)
{
    Tamrin::Solvane::Test::ScratchFolder scratch("solvane-client-core");
    EXPECT_EQ(failureOf(""), "the plug-in file: empty path");
    EXPECT_EQ(failureOf(scratch.str()), scratch.str() + ": is a directory, not the plug-in file");
#ifndef _WIN32
    EXPECT_NE(failureOf("/dev/null").find("/dev/null: is not a regular file"), std::string::npos);
#endif
    EXPECT_NE(failureOf(scratch / "missing.aex").find("cannot open the plug-in file"), std::string::npos);
}

TEST(ClientCore, AJobThatThrowsLeavesTheThreadsLaterJobsAlone)
{
    PluginThread thread;
    EXPECT_THROW(thread.run([] { throw std::runtime_error("first"); }), std::runtime_error);
    int ran = 0;
    EXPECT_NO_THROW(thread.run([&] { ++ran; }));
    EXPECT_NO_THROW(thread.run([&] { ++ran; }));
    EXPECT_EQ(ran, 2);
    try {
        thread.run([] { throw std::invalid_argument("second"); });
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "second");
    }
}

// Sets or (with null) removes an environment variable, on both systems.
void setVariable(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

TEST(ClientCore, ThePluginIsTheOneTheEnvironmentNamesElseTheOneBesideTheClient)
{
    const char* saved = std::getenv("SOLVANE_PLUGIN");
    const std::string kept = saved ? saved : "";
    setVariable("SOLVANE_PLUGIN", nullptr);
    EXPECT_EQ(clientPluginPath("/beside/OstrelSolvane.aex"), "/beside/OstrelSolvane.aex");
    setVariable("SOLVANE_PLUGIN", "/named/Other.aex");
    EXPECT_EQ(clientPluginPath("/beside/OstrelSolvane.aex"), "/named/Other.aex");
    setVariable("SOLVANE_PLUGIN", saved ? kept.c_str() : nullptr);
}

} // namespace
