// The texts every client shows for the effect's controls. Threshold works the other
// way round from what a "threshold" suggests: the prefilter passes pixels brighter
// than 1 - threshold, so 0 lights nothing and 100 % everything. Each description a
// user reads must say so, and the controls carry the plug-in's own names.
// The frei0r module, OBS and GIMP exist for Linux only.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/RenderOptions.h"
#include "frei0r/Frei0rParameters.h"
#include "support/HostTestSupport.h"

using namespace Tamrin::Solvane;
namespace Support = Tamrin::Solvane::Test;

namespace {

std::string shipped(const std::string& relative)
{
    std::ifstream file(Support::sourcePath(relative), std::ios::binary);
    EXPECT_TRUE(file.good()) << relative;
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string lower(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Every file that carries a description of the controls for a client, with the words its
// Threshold description must hold. solvane's man page is made from the option table in
// cli/RenderOptions.cpp, so that row covers it.
struct ShippedText {
    const char* file;
    const char* says;
};

const std::vector<ShippedText> kTexts = {
    {"cli/RenderOptions.cpp", "pixels brighter than 100-PCT % shine"},
    {"docs/command-line.md", "pixels brighter than 100-PCT % shine"},
    {"frei0r/Frei0rParameters.cpp", "pixels brighter than 1 - Threshold shine"},
    {"frei0r/kdenlive/frei0r_ostrel_solvane.xml", "pixels brighter than 100 - Threshold per cent shine"},
    {"frei0r/shotcut/ostrel_solvane/ui.qml", "pixels brighter than 100 - Threshold per cent shine"},
    {"obs/data/locale/en-US.ini", "pixels brighter than 100 - Threshold per cent shine"},
    {"obs/data/locale/zh-CN.ini", "亮度高于 100 减去此值"},
    {"gimp/GimpPlugin.cpp", "pixels brighter than 100 - threshold per cent shine"},
};

TEST(ShippedTexts, ThresholdIsDescribedAsHowMuchShinesNeverAsALowerBound)
{
    for (const ShippedText& text : kTexts) {
        const std::string content = shipped(text.file);
        EXPECT_NE(content.find(text.says), std::string::npos) << text.file;
        // The old wording said the opposite of what the control does.
        for (const char* wrong : {"above which", "brightness above", "threshold above"}) {
            EXPECT_EQ(lower(content).find(wrong), std::string::npos) << text.file << ": " << wrong;
        }
    }
    // What the frei0r hosts (ffmpeg, MLT, GStreamer) show, and solvane's help, as the programs hand them out.
    const std::string frei0r = Frei0r::Frei0rParameters::describe(Frei0r::Frei0rParameters::kThreshold).explanation;
    EXPECT_NE(frei0r.find("brighter than 1 - Threshold"), std::string::npos) << frei0r;
    const std::string help = Cli::renderOptionsHelp();
    EXPECT_NE(help.find("brighter than 100-PCT %"), std::string::npos) << help;
}

TEST(ShippedTexts, CentreDescriptionsKeepToTheRangeGstreamerHolds)
{
    // GStreamer holds every frei0r double to 0 to 1; the description it shows says where more is possible.
    for (int index : {Frei0r::Frei0rParameters::kCenterX, Frei0r::Frei0rParameters::kCenterY}) {
        const std::string text = Frei0r::Frei0rParameters::describe(index).explanation;
        EXPECT_NE(text.find("0 to 1;"), std::string::npos) << text;
        EXPECT_NE(text.find("not GStreamer"), std::string::npos) << text;
    }
}

TEST(ShippedTexts, ControlsCarryThePluginsOwnNames)
{
    // The plug-in declares "Threshold Smooth" and "Center"; no client renames them.
    for (const ShippedText& text : kTexts) {
        const std::string content = shipped(text.file);
        EXPECT_EQ(content.find("Threshold Smoothness\""), std::string::npos) << text.file;
        EXPECT_EQ(content.find("Centre _"), std::string::npos) << text.file;
        EXPECT_EQ(content.find("Centre X"), std::string::npos) << text.file;
    }
    EXPECT_NE(shipped("obs/data/locale/en-US.ini").find("=\"Threshold Smooth\"\n"), std::string::npos);
    EXPECT_NE(shipped("gimp/GimpPlugin.cpp").find("\"Center _X (px):\""), std::string::npos);
}

} // namespace

#endif
