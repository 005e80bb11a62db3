// The frei0r module in the real clients, as Debian ships them: ffmpeg's frei0r
// filter on an image and on a clip whose centre the host animates, MLT's melt with
// keyframes and with Kdenlive's and Shotcut's project files, and GStreamer, the
// last three from an installation made by `cmake --install`. Each result is
// compared with what `solvane render` makes of the same image with the same values:
// the same plug-in on the same pixels, so the bytes are equal. The editors'
// descriptions are checked against the parameters the module declares.
// The frei0r module exists for Linux only.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "cli/PngImage.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;
using Tamrin::Solvane::Test::sameBytes;
using Tamrin::Solvane::Test::sameImage;

namespace {

const std::string kSample = "examples/sample.png"; // 640 × 400

bool installed(const std::string& program) { return Support::runCommand("command -v " + program) == 0; }

class Frei0rClientsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch = std::make_unique<Support::ScratchFolder>();
        folder = scratch->str();
    }

    // A command run from the repository root, with the build folder as the frei0r module path, named relative to
    // the root as the README names it.
    int run(const std::string& command, std::string* log)
    {
        const std::string build =
            std::filesystem::relative(SOLVANE_BINARY_DIR, Support::sourcePath("")).generic_string();
        return Support::runCommand(
            "cd " + Support::sourcePath("") + " && export FREI0R_PATH=" + build + " && " + command, log);
    }

    // The sample through `solvane render` with these options, as 8-bit RGBA.
    Cli::RgbaImage solvane(const std::string& options)
    {
        const std::string output = folder + "/solvane-" + std::to_string(renders++) + ".png";
        std::string log;
        const std::string command =
            Support::solvanePath() + " render " + Support::sourcePath(kSample) + " " + output + " " + options;
        EXPECT_EQ(Support::runCommand(command, &log), 0) << log;
        return Cli::readPng(output);
    }

    // An MLT profile of the sample's own size with square pixels, so that MLT hands the frame over unscaled.
    std::string sampleProfile()
    {
        const std::string profile = folder + "/sample.profile";
        std::ofstream(profile) << "description=640x400 square pixels\nframe_rate_num=25\nframe_rate_den=1\n"
                                  "width=640\nheight=400\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                  "display_aspect_num=8\ndisplay_aspect_den=5\ncolorspace=709\n";
        return profile;
    }

    // Frames 0 to count - 1 that MLT's avformat consumer wrote as PATTERN (with %02d), compared each with
    // `solvane render` of the sample at the centre (in pixels) that frame should have.
    void expectFramesAtCentres(const std::string& pattern, const std::vector<std::pair<int, int>>& centres,
                               const std::string& options = "")
    {
        for (std::size_t i = 0; i < centres.size(); ++i) {
            char name[512];
            std::snprintf(name, sizeof name, pattern.c_str(), static_cast<int>(i));
            ASSERT_TRUE(std::filesystem::exists(name)) << name;
            const std::string centre =
                std::to_string(centres[i].first) + "," + std::to_string(centres[i].second);
            EXPECT_TRUE(sameImage("frame-" + std::to_string(i), Cli::readPng(name),
                                  solvane("--center " + centre + " " + options)))
                << "frame " << i << ", centre " << centre;
        }
    }

    // Installs the build into a prefix in the test's folder, as a user would, and runs the command there with the
    // installed frei0r folder first on FREI0R_PATH and the system's after it (Shotcut's projects use its blends).
    // Under a virtual X display where there is one: MLT's Qt services (Kdenlive's track blend) need X.
    int runInstalled(const std::string& command, std::string* log)
    {
        const std::string prefix = folder + "/prefix";
        if (!std::filesystem::exists(prefix)) {
            EXPECT_EQ(Support::runCommand("cmake --install " + std::string(SOLVANE_BINARY_DIR) + " --prefix " + prefix,
                                          log),
                      0)
                << *log;
        }
        const std::string display = installed("xvfb-run") ? virtualDisplay() : "";
        return Support::runCommand("cd " + Support::sourcePath("") + " && export FREI0R_PATH=" + prefix +
                                       "/lib/frei0r-1:/usr/lib/frei0r-1 SOLVANE_QUIET=1 GST_REGISTRY=" + folder +
                                       "/gst-registry.bin && " + display + command,
                                   log);
    }

    // xvfb-run -a takes the first free display number from 99 up, and two runs started at once (ctest -j) can take
    // the same one; starting the search from a number of the shell's own process id keeps parallel tests apart.
    static std::string virtualDisplay() { return "xvfb-run -a -n $((200 + $$ % 20000)) "; }

    // The module's parameters (name, default) as MLT lists them.
    std::vector<std::pair<std::string, double>> moduleParameters()
    {
        std::string listing;
        EXPECT_EQ(run("SOLVANE_QUIET=1 melt -query filter=frei0r.ostrel_solvane", &listing), 0) << listing;
        std::vector<std::pair<std::string, double>> parameters;
        const std::regex line(R"(\n\s+(title|default): ([^\n]*))");
        for (std::sregex_iterator it(listing.begin(), listing.end(), line), end; it != end; ++it) {
            if ((*it)[1] == "title") {
                parameters.emplace_back((*it)[2], 0.0);
            } else if (!parameters.empty()) {
                parameters.back().second = std::stod((*it)[2]);
            }
        }
        return parameters;
    }

    std::unique_ptr<Support::ScratchFolder> scratch;
    std::string folder;
    int renders = 0;
};

// Every match of a regular expression's first group in a text.
std::vector<std::string> matches(const std::string& text, const std::string& expression)
{
    std::vector<std::string> found;
    const std::regex pattern(expression);
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
        found.push_back((*it)[1]);
    }
    return found;
}

TEST_F(Frei0rClientsTest, FfmpegFilterGivesTheImageSolvaneRenders)
{
    if (!installed("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed (scripts/setup.sh installs it)";
    }
    // The README's command, with its output in the test's folder.
    std::string log;
    const std::string readme = folder + "/shafts.png";
    ASSERT_EQ(run("ffmpeg -v error -y -i " + kSample +
                      " -vf \"frei0r=filter_name=ostrel_solvane:filter_params=0.5|0|0.65625|0.375|1|0.1|0.5|n\""
                      " -update 1 " + readme,
                  &log),
              0)
        << log;
    EXPECT_TRUE(sameImage("shafts", Cli::readPng(readme), solvane("--center 420,150")));

    // Every parameter away from its default, booleans as ffmpeg writes them.
    const std::string changed = folder + "/changed.png";
    ASSERT_EQ(run("ffmpeg -v error -y -i " + kSample +
                      " -vf \"frei0r=filter_name=ostrel_solvane:filter_params=0.3|0.2|0.25|0.4|0.5|0.6|0|y\""
                      " -update 1 " + changed,
                  &log),
              0)
        << log;
    EXPECT_TRUE(sameImage("changed", Cli::readPng(changed),
                          solvane("--threshold 30 --threshold-smooth 20 --center 160,160 --shine-length 1024 "
                                  "--exposure 60 --quality high --ray-only")));
}

// ffmpeg 5.1 hands the module frames whose rows are padded to 16 pixels: a width it pads is refused, so that ffmpeg
// fails instead of writing scrambled frames, and the chain the refusal shows (pad, the filter, crop) renders.
TEST_F(Frei0rClientsTest, FfmpegRefusesAWidthItPadsAndTheAdvisedChainRenders)
{
    if (!installed("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed (scripts/setup.sh installs it)";
    }
    std::string log;
    const std::string refused = folder + "/refused.png";
    EXPECT_NE(run("ffmpeg -v error -y -i " + kSample + " -vf \"crop=600:400:0:0,frei0r=filter_name=ostrel_solvane\""
                  " -update 1 " + refused,
                  &log),
              0)
        << log;
    EXPECT_FALSE(std::filesystem::exists(refused));
    const std::string advice = "-vf \"pad=608:ih,frei0r=filter_name=ostrel_solvane:filter_params=...,crop=600:ih:0:0\"";
    EXPECT_NE(log.find("pads the rows of a frame 600 pixels wide"), std::string::npos) << log;
    ASSERT_NE(log.find(advice), std::string::npos) << log;

    // The advised chain, the parameters at their defaults, against solvane on the padded picture cropped back.
    const std::string chain = "pad=608:ih,frei0r=filter_name=ostrel_solvane,crop=600:ih:0:0";
    const std::string rendered = folder + "/padded-chain.png";
    ASSERT_EQ(run("ffmpeg -v error -y -i " + kSample + " -vf \"crop=600:400:0:0," + chain + "\" -update 1 " +
                      rendered,
                  &log),
              0)
        << log;
    const std::string padded = folder + "/padded.png", expected = folder + "/padded-expected.png";
    ASSERT_EQ(run("ffmpeg -v error -y -i " + kSample + " -vf crop=600:400:0:0,pad=608:ih -pix_fmt rgba " + padded +
                      " && " + Support::solvanePath() + " --quiet render " + padded + " " + folder +
                      "/padded-solvane.png && ffmpeg -v error -y -i " + folder +
                      "/padded-solvane.png -vf crop=600:ih:0:0 -pix_fmt rgba " + expected,
                  &log),
              0)
        << log;
    EXPECT_TRUE(sameImage("padded-chain", Cli::readPng(rendered), Cli::readPng(expected)));

    // A width of a multiple of 16 that is not one of 32 or 64 is taken as it is.
    const std::string taken = folder + "/taken.png";
    EXPECT_EQ(run("ffmpeg -v error -y -i " + kSample + " -vf \"crop=624:400:0:0,frei0r=filter_name=ostrel_solvane\""
                  " -update 1 " + taken,
                  &log),
              0)
        << log;
}

TEST_F(Frei0rClientsTest, FfmpegClipWithAnimatedCentreIsStableAndCleanOnStandardOutput)
{
    if (!installed("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed (scripts/setup.sh installs it)";
    }
    // ffmpeg's sendcmd moves the centre between frames (25 per second): frames 0-1 left, 2-3 middle, 4-5 right.
    const std::string commands = folder + "/centre.cmd";
    std::ofstream(commands) << "0.00 frei0r filter_params '0.5|0|0.25|0.5|1|0.1|0.5|n';\n"
                               "0.07 frei0r filter_params '0.5|0|0.5|0.5|1|0.1|0.5|n';\n"
                               "0.15 frei0r filter_params '0.5|0|0.75|0.5|1|0.1|0.5|n';\n";
    // Raw frames on ffmpeg's standard output, where the plug-in's diagnostics must not land.
    const std::string clip = folder + "/clip.rgba";
    std::string log;
    ASSERT_EQ(run("(ffmpeg -v error -loop 1 -i " + kSample + " -frames:v 6 -vf \"sendcmd=f=" + commands +
                      ",frei0r=filter_name=ostrel_solvane:filter_params=0.5|0|0.5|0.5|1|0.1|0.5|n\""
                      " -f rawvideo -pix_fmt rgba - > " + clip + ")",
                  &log),
              0)
        << log;
    std::ifstream file(clip, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::size_t frameBytes = 640 * 400 * 4;
    ASSERT_EQ(bytes.size(), 6 * frameBytes) << log;
    auto frame = [&](int index) {
        return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(index * frameBytes),
                                         bytes.begin() + static_cast<std::ptrdiff_t>((index + 1) * frameBytes));
    };

    EXPECT_TRUE(sameImage("frame-1-against-0", 640, 400, frame(1), frame(0)));
    EXPECT_TRUE(sameImage("frame-3-against-2", 640, 400, frame(3), frame(2)));
    EXPECT_TRUE(sameImage("frame-5-against-4", 640, 400, frame(5), frame(4)));
    EXPECT_FALSE(sameBytes(frame(0), frame(2)));
    EXPECT_FALSE(sameBytes(frame(2), frame(4)));
    EXPECT_TRUE(sameImage("frame-0", 640, 400, frame(0), solvane("--center 160,200").pixels));
    EXPECT_TRUE(sameImage("frame-2", 640, 400, frame(2), solvane("--center 320,200").pixels));
    EXPECT_TRUE(sameImage("frame-4", 640, 400, frame(4), solvane("--center 480,200").pixels));
}

TEST_F(Frei0rClientsTest, MeltRendersThroughTheModule)
{
    if (!installed("melt")) {
        GTEST_SKIP() << "melt is not installed (scripts/setup.sh installs it)";
    }
    const std::string profile = sampleProfile();
    const std::string output = folder + "/melt.png";
    std::string log;
    ASSERT_EQ(run("melt -silent -profile " + profile + " " + kSample +
                      " in=0 out=0 -attach frei0r.ostrel_solvane Threshold=0.3 'Ray Only=1'"
                      " -consumer avformat:" + output + " real_time=-1 vcodec=png pix_fmt=rgba update=1",
                  &log),
              0)
        << log;
    ASSERT_TRUE(std::filesystem::exists(output)) << log;
    EXPECT_TRUE(sameImage("melt", Cli::readPng(output), solvane("--threshold 30 --ray-only")));

    // With its default profile (720 × 576) MLT makes a filter at the image's size, closes it and unloads the module
    // without f0r_deinit, then loads it again for one at the profile's size: the plug-in must come through that.
    const std::string scaled = folder + "/melt-scaled.png";
    ASSERT_EQ(run("melt -silent " + kSample + " in=0 out=0 -attach frei0r.ostrel_solvane -consumer avformat:" +
                      scaled + " real_time=-1 vcodec=png pix_fmt=rgba update=1",
                  &log),
              0)
        << log;
    const Cli::RgbaImage image = Cli::readPng(scaled);
    EXPECT_EQ(image.width, 720);
    EXPECT_EQ(image.height, 576);
}

TEST_F(Frei0rClientsTest, MeltKeyframesMoveTheCentreOffTheFrame)
{
    if (!installed("melt")) {
        GTEST_SKIP() << "melt is not installed (scripts/setup.sh installs it)";
    }
    // MLT animates doubles only: the centre as two keyframed doubles, starting a quarter of the width left of
    // the frame. Linear keys: x = -0.25 + 0.25 * frame, y = 0.25 + 0.0625 * frame, exact in pixels.
    std::string log;
    ASSERT_EQ(run("melt -silent -profile " + sampleProfile() + " " + kSample +
                      " in=0 out=4 -attach frei0r.ostrel_solvane 'Center X=0=-0.25;4=0.75' 'Center Y=0=0.25;4=0.5'"
                      " 'Ray Only=1' -consumer avformat:" + folder + "/melt%02d.png real_time=-1 vcodec=png pix_fmt=rgba"
                      " start_number=0",
                  &log),
              0)
        << log;
    expectFramesAtCentres(folder + "/melt%02d.png", {{-160, 100}, {0, 125}, {160, 150}, {320, 175}, {480, 200}},
                          "--ray-only");
}

TEST_F(Frei0rClientsTest, QuietEnvironmentSilencesThePluginInTheClients)
{
    if (!installed("melt") || !installed("ffmpeg")) {
        GTEST_SKIP() << "melt or ffmpeg is not installed (scripts/setup.sh installs them)";
    }
    // melt -query makes an instance, so the plug-in is set up and makes a context.
    const std::string query = "melt -query filter=frei0r.ostrel_solvane";
    std::string log;
    ASSERT_EQ(run(query, &log), 0) << log;
    EXPECT_NE(log.find("OpenGL Version"), std::string::npos) << log;
    ASSERT_EQ(run("SOLVANE_QUIET=1 " + query, &log), 0) << log;
    EXPECT_EQ(log.find("OpenGL"), std::string::npos) << log;
    EXPECT_NE(log.find("Center X"), std::string::npos) << log;

    // ffmpeg -v error prints nothing at all for a good run.
    ASSERT_EQ(run("SOLVANE_QUIET=1 ffmpeg -v error -y -i " + kSample +
                      " -vf frei0r=filter_name=ostrel_solvane -update 1 " + folder + "/quiet.png",
                  &log),
              0)
        << log;
    EXPECT_EQ(log, "");
    EXPECT_TRUE(sameImage("quiet", Cli::readPng(folder + "/quiet.png"), solvane("")));
}

TEST_F(Frei0rClientsTest, InstallPutsEachFileWhereItsProgramReadsIt)
{
    if (!installed("melt")) {
        GTEST_SKIP() << "melt is not installed (scripts/setup.sh installs it)";
    }
    std::string log;
    ASSERT_EQ(runInstalled("melt -query filter=frei0r.ostrel_solvane", &log), 0) << log;
    for (const char* file : {"lib/frei0r-1/ostrel_solvane.so", "lib/frei0r-1/OstrelSolvane.aex",
                             "share/kdenlive/effects/frei0r_ostrel_solvane.xml",
                             "share/shotcut/qml/filters/ostrel_solvane/meta.qml",
                             "share/shotcut/qml/filters/ostrel_solvane/ui.qml",
                             "share/shotcut/qml/filters/ostrel_solvane/vui.qml"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/prefix/" + file)) << file;
    }
    // MLT found the installed module, and the module the plug-in beside it.
    EXPECT_NE(log.find("identifier: frei0r.ostrel_solvane"), std::string::npos) << log;
    EXPECT_NE(log.find("title: Center Y"), std::string::npos) << log;
}

TEST_F(Frei0rClientsTest, KdenliveDescriptionIsValidXmlForTheModulesParameters)
{
    if (!installed("melt") || !installed("xmllint")) {
        GTEST_SKIP() << "melt or xmllint is not installed (scripts/setup.sh installs them)";
    }
    const std::string description = Support::sourcePath("frei0r/kdenlive/frei0r_ostrel_solvane.xml");
    std::string log;
    ASSERT_EQ(Support::runCommand("xmllint --noout " + description, &log), 0) << log;
    std::ifstream file(description);
    const std::string xml{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_NE(xml.find(R"(<effect LC_NUMERIC="C" tag="frei0r.ostrel_solvane" id="frei0r.ostrel_solvane">)"),
              std::string::npos);

    // Kdenlive sets each parameter by its name, which must be the module's, with the module's default, in range.
    const auto module = moduleParameters();
    const auto parameters = matches(xml, R"((<parameter [^>]*>))");
    ASSERT_EQ(parameters.size(), module.size()) << xml;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::string& parameter = parameters[i];
        auto attribute = [&](const std::string& name) {
            const auto found = matches(parameter, " " + name + R"(="([^"]*)\")");
            return found.empty() ? std::string() : found.front();
        };
        EXPECT_EQ(attribute("name"), module[i].first);
        EXPECT_DOUBLE_EQ(std::stod(attribute("default")), module[i].second) << parameter;
        if (attribute("name").rfind("Center ", 0) == 0) {
            // Hundredths of a per cent at least: whole ones are 19-pixel steps across a 1920-pixel frame.
            EXPECT_GE(attribute("decimals").empty() ? 0 : std::stoi(attribute("decimals")), 2) << parameter;
        }
        if (attribute("type") == "animated") {
            const double factor = std::stod(attribute("factor"));
            EXPECT_LE(std::stod(attribute("min")), module[i].second * factor) << parameter;
            EXPECT_GE(std::stod(attribute("max")), module[i].second * factor) << parameter;
        }
    }
    EXPECT_NE(xml.find(R"(type="list" name="Quality" default="0.5" paramlist="0;0.5;1")"), std::string::npos);
    EXPECT_NE(xml.find(R"(type="bool" name="Ray Only")"), std::string::npos);
}

TEST_F(Frei0rClientsTest, ShotcutFilterIsValidQmlForTheModulesParameters)
{
    if (!installed("melt") || !installed("qmllint")) {
        GTEST_SKIP() << "melt or qmllint is not installed (scripts/setup.sh installs them)";
    }
    const auto module = moduleParameters();
    auto isParameter = [&](const std::string& name) {
        return std::any_of(module.begin(), module.end(), [&](const auto& p) { return p.first == name; });
    };
    for (const char* name : {"meta.qml", "ui.qml", "vui.qml"}) {
        const std::string path = Support::sourcePath(std::string("frei0r/shotcut/ostrel_solvane/") + name);
        std::string log;
        EXPECT_EQ(Support::runCommand("qmllint " + path, &log), 0) << name << ": " << log;
        std::ifstream file(path);
        const std::string qml{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        // Every MLT property the files name is one of the module's parameters.
        auto names = matches(qml, R"(property: '([^']*)')");
        for (const auto& more : {matches(qml, R"(property string \w+: '([^']*)')"),
                                 matches(qml, R"(simpleProperties: \[([^\]]*)\])")}) {
            for (const auto& found : more) {
                for (const auto& quoted : matches(found.front() == '\'' ? found : "'" + found + "'", "'([^']*)'")) {
                    names.push_back(quoted);
                }
            }
        }
        for (const auto& property : names) {
            EXPECT_TRUE(isParameter(property)) << name << ": " << property;
        }
        if (std::string(name) == "vui.qml" && installed("qmlscene") && installed("xvfb-run") &&
            std::filesystem::exists("/usr/share/shotcut/qml/modules/Shotcut/Controls/VuiBase.qml")) {
            // The overlay loads with Shotcut's own controls; only Shotcut's objects (filter, producer, video) are
            // missing here, which the engine reports at run time without failing the load.
            const std::string load = "qmlscene --quit -I /usr/share/shotcut/qml/modules " + path;
            EXPECT_EQ(Support::runCommand(virtualDisplay() + load, &log), 0)
                << log;
            // Dragged in place of Shotcut's program (tests/data/shotcut/Harness.qml): a diagonal drag moves both
            // values, and with keyframes on writes them at the playhead.
            const std::string harness = "qmlscene --quit -I /usr/share/shotcut/qml/modules " +
                                        Support::sourcePath("tests/data/shotcut/Overlay.qml");
            EXPECT_EQ(Support::runCommand("timeout 60 " + virtualDisplay() + harness, &log), 0) << log;
            EXPECT_NE(log.find("ALL PASSED"), std::string::npos) << log;
            EXPECT_EQ(log.find("FAIL"), std::string::npos) << log;
        }
        if (std::string(name) == "ui.qml") {
            // Properties of the panel's items are seen by Shotcut's controls inside them; one named after an object
            // Shotcut gives its views hides that object from them (a "keyframes" row property broke every keyframe
            // button, whose click shows Shotcut's Keyframes panel by that name).
            for (const auto& property : matches(qml, R"(property \w+ (\w+):)")) {
                for (const char* shotcut : {"keyframes", "parameters", "filter", "producer", "metadata", "application",
                                            "profile", "video", "settings", "preset"}) {
                    EXPECT_NE(property, shotcut) << "ui.qml declares a property named " << property;
                }
            }
        }
        if (std::string(name) == "meta.qml") {
            EXPECT_NE(qml.find("mlt_service: 'frei0r.ostrel_solvane'"), std::string::npos);
            EXPECT_EQ(names.size(), 12u) << qml; // six keyframed parameters, each in both lists
        }
    }
}

// Both editors' projects are MLT XML: melt renders them as the editors' own export would.
TEST_F(Frei0rClientsTest, EditorProjectsRenderEachFrameAtItsCentre)
{
    if (!installed("melt")) {
        GTEST_SKIP() << "melt is not installed (scripts/setup.sh installs it)";
    }
    const struct {
        const char* project;
        std::vector<std::pair<int, int>> centres;
        const char* options;
    } projects[] = {
        // Center X keyed from -25 % to 75 %, Center Y from 25 % to 50 % over frames 0 to 4, exposure 30 %.
        {"light-shafts.kdenlive", {{-160, 100}, {0, 125}, {160, 150}, {320, 175}, {480, 200}}, "--exposure 30"},
        // Center X from 125 % to 25 %, Center Y from -25 % to 75 %: from beyond the top-right corner inwards.
        {"light-shafts.mlt", {{800, -100}, {640, 0}, {480, 100}, {320, 200}, {160, 300}},
         "--threshold 40 --threshold-smooth 10 --shine-length 1024 --quality high"},
    };
    for (const auto& project : projects) {
        SCOPED_TRACE(project.project);
        const std::string frames = folder + "/" + project.project + "%02d.png";
        std::string log;
        ASSERT_EQ(runInstalled(std::string("melt -silent tests/data/") + project.project + " -consumer avformat:" +
                                   frames + " real_time=-1 vcodec=png pix_fmt=rgba start_number=0",
                               &log),
                  0)
            << log;
        expectFramesAtCentres(frames, project.centres, project.options);
    }
}

// Keyframes on several parameters as Shotcut saves them: each frame equals `solvane render` with the same keys.
TEST_F(Frei0rClientsTest, ShotcutKeyframesRenderEachFrameAtItsValues)
{
    if (!installed("melt")) {
        GTEST_SKIP() << "melt is not installed (scripts/setup.sh installs it)";
    }
    const std::string frames = folder + "/keyframes%02d.png";
    std::string log;
    ASSERT_EQ(runInstalled("melt -silent tests/data/light-shafts-keyframes.mlt -consumer avformat:" + frames +
                               " real_time=-1 vcodec=png pix_fmt=rgba start_number=0",
                           &log),
              0)
        << log;
    for (int frame = 0; frame < 5; ++frame) {
        char name[512];
        std::snprintf(name, sizeof name, frames.c_str(), frame);
        ASSERT_TRUE(std::filesystem::exists(name)) << name;
        // The sample as a one-frame sequence numbered by the frame, so that its keyframes fall as in the project.
        const std::string input = folder + "/in" + std::to_string(frame) + ".png";
        std::filesystem::copy_file(Support::sourcePath(kSample), input,
                                   std::filesystem::copy_options::overwrite_existing);
        const std::string output = folder + "/solvane-keyframes%d.png";
        const std::string command = Support::solvanePath() + " render " + folder + "/in%d.png " + output +
                                    " --frames " + std::to_string(frame) + "-" + std::to_string(frame) +
                                    " --fps 25 --threshold 0:40 4:80 --threshold-smooth 10 --center 0:320,160 4:480,160"
                                    " --shine-length 1024 --exposure 0:10 4:30 --quality high";
        ASSERT_EQ(Support::runCommand(command, &log), 0) << log;
        EXPECT_TRUE(sameBytes(Cli::readPng(name).pixels,
                              Cli::readPng(folder + "/solvane-keyframes" + std::to_string(frame) + ".png").pixels))
            << "frame " << frame;
    }
}

TEST_F(Frei0rClientsTest, GstreamerPipelineGivesTheImageSolvaneRenders)
{
    if (!installed("gst-launch-1.0")) {
        GTEST_SKIP() << "gst-launch-1.0 is not installed (scripts/setup.sh installs it)";
    }
    // gst-plugins-bad registers the module under its name as frei0r-filter-light-shafts, its parameters as dashed
    // names, and shows the name and explanation as the element's long name and description (Pitivi lists and
    // searches the long name).
    const std::string output = folder + "/gstreamer.rgba";
    std::string log;
    ASSERT_EQ(runInstalled("gst-inspect-1.0 frei0r-filter-light-shafts", &log), 0) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(Long-name\s+Light Shafts\n)"))) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(Description\s+Ostrel Solvane light shafts: )"))) << log;
    ASSERT_EQ(runInstalled("gst-launch-1.0 -q filesrc location=" + kSample +
                               " ! pngdec ! videoconvert ! video/x-raw,format=RGBA"
                               " ! frei0r-filter-light-shafts center-x=0.65625 center-y=0.375 exposure=0.3"
                               " quality=0 ray-only=true ! filesink location=" + output,
                           &log),
              0)
        << log;
    std::ifstream file(output, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(sameImage("gstreamer", 640, 400, bytes,
                          solvane("--center 420,150 --exposure 30 --quality high --ray-only").pixels));
}

} // namespace

#endif
