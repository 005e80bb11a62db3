// The text side of the solvane command line: the plug-in's lines sorted as they arrive, the output formats it
// refuses, and the man page and bash completion made from the same tables as `solvane help`.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/ImageFile.h"
#include "cli/Manual.h"
#include "cli/PluginLines.h"
#include "cli/RenderOptions.h"
#include "support/HostTestSupport.h"

using namespace Tamrin::Solvane;
using namespace Tamrin::Solvane::Cli;

namespace {

const std::string kBlock = "\nOpenGL Version:  4.5\nOpenGL Vendor:   Mesa\nOpenGL Renderer: llvmpipe (LLVM 15.0.6)\n"
                           "OpenGL Revision: 32957 (gl.xml)\n\n";
const std::string kShaderError = "Shader frag error:\n0:12(3): error: syntax error\n\n";
const std::string kDeviceLine = "SOLVANE_EGL_DEVICE=9: no such device; choosing automatically\n";

struct Sorted {
    std::string shown;
    std::string held;
};

// The lines handed over in pieces of `piece` bytes (0: all at once).
Sorted sort(const std::string& text, std::size_t piece)
{
    PluginLines lines;
    Sorted sorted;
    const std::size_t step = piece == 0 ? text.size() : piece;
    for (std::size_t at = 0; at < text.size(); at += step) {
        sorted.shown += lines.add(text.substr(at, step));
    }
    sorted.shown += lines.finish();
    sorted.held = lines.takeIdentification();
    return sorted;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every command name and alias, and every render option and its alias.
std::vector<std::string> everyName()
{
    std::vector<std::string> names;
    for (const Command& command : commands()) {
        names.push_back(command.name);
        std::istringstream aliases(command.aliases);
        for (std::string alias; aliases >> alias;) {
            names.push_back(alias);
        }
    }
    for (const RenderOptionText& option : renderOptionTexts()) {
        names.push_back(option.name);
        if (!option.alias.empty()) {
            names.push_back(option.alias);
        }
    }
    return names;
}

} // namespace

TEST(PluginLines, HoldsIdentificationBlocksBackWhateverPiecesTheyArriveIn)
{
    const std::string text = kDeviceLine + kBlock + kBlock + kShaderError + "framebuffer incomplete:36054\n";
    for (std::size_t piece : {0, 1, 2, 7, 64}) {
        const Sorted sorted = sort(text, piece);
        EXPECT_EQ(sorted.shown, kDeviceLine + kShaderError + "framebuffer incomplete:36054\n") << "pieces of " << piece;
        EXPECT_EQ(sorted.held, kBlock + kBlock) << "pieces of " << piece;
    }
    // Line ends of a text stream, as Windows writes them.
    std::string crlf;
    for (char c : kBlock) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_EQ(sort(crlf + kDeviceLine, 3).held, crlf);
}

TEST(PluginLines, WhatOnlyLooksLikeABlockIsShownUnchanged)
{
    // A block cut short at the end of the output, a block without its first blank line, and blank lines of a
    // shader log are the plug-in's lines as they stand.
    const std::string cutShort = "\nOpenGL Version:  4.5\nOpenGL Vendor:   Mesa\n";
    const std::string noBlank = "OpenGL Version:  4.5\nOpenGL Vendor:   Mesa\nOpenGL Renderer: x\nOpenGL Revision: 1\n\n";
    for (const std::string& text : {cutShort, noBlank, kShaderError + "\n\n", std::string("no line end")}) {
        for (std::size_t piece : {0, 1, 5}) {
            const Sorted sorted = sort(text, piece);
            EXPECT_EQ(sorted.shown, text) << "pieces of " << piece;
            EXPECT_EQ(sorted.held, "");
        }
    }
    // Taken once, the held blocks are gone.
    PluginLines lines;
    EXPECT_EQ(lines.add(kBlock + kDeviceLine), kDeviceLine);
    EXPECT_EQ(lines.takeIdentification(), kBlock);
    EXPECT_EQ(lines.takeIdentification(), "");
}

TEST(ImageFormats, AnOutputNamedForAFormatNotWrittenIsRefused)
{
    // Formats solvane does not write, in either case, in a sequence's name or after other dots.
    for (const std::string name : {"dir/frame_%04d.gif", "clip.mp4", "a.b.Exr", "out.bmp", "out.tmp"}) {
        EXPECT_EQ(formatForOutputName(name), std::nullopt) << name;
    }
    // Names without any extension are written as PNG, as they always were: special files, a dot in a folder's name.
    for (const std::string name : {"out", "/dev/stdout", "dir.jpg/out"}) {
        EXPECT_EQ(formatForOutputName(name), ImageFormat::Png) << name;
    }
    EXPECT_NE(writtenExtensions().find(".png"), std::string::npos);
}

TEST(Manual, ManPageAndCompletionListEveryCommandAndOption)
{
    const std::string page = manualPage(fileText(Tamrin::Solvane::Test::sourcePath("cli/solvane.1.in")));
    const std::string completion = bashCompletion(fileText(Tamrin::Solvane::Test::sourcePath("cli/solvane.bash-completion.in")));
    // No place of the frames is left unfilled (an option's text may hold a lone '@', the one-digit frame number).
    const std::regex place("@[A-Z_]+@");
    EXPECT_FALSE(std::regex_search(page, place));
    EXPECT_FALSE(std::regex_search(completion, place));
    for (const Command& command : commands()) {
        EXPECT_TRUE(std::regex_search(page, std::regex("\\.TP\n\\.BR? " + std::string(command.name) + "[ \n]")))
            << command.name;
    }
    // Every name in bold in a tag of the lists: the item's own, or an alias after it.
    for (const std::string& name : everyName()) {
        const std::string roff = roffText(name);
        EXPECT_TRUE(page.find("\n.B " + roff + "\n") != std::string::npos ||
                    page.find("\n.BR " + roff + " \"") != std::string::npos ||
                    page.find(", \\fB" + roff + "\\fR") != std::string::npos)
            << name;
    }
    for (const RenderOptionText& option : renderOptionTexts()) {
        EXPECT_NE(page.find(roffText(option.name)), std::string::npos) << option.name;
        EXPECT_NE(completion.find(" " + option.name + " "), std::string::npos) << option.name;
    }
    const std::size_t commandList = completion.find("local commands=\"");
    ASSERT_NE(commandList, std::string::npos);
    const std::string listed = completion.substr(commandList, completion.find('\n', commandList) - commandList);
    for (const Command& command : commands()) {
        EXPECT_NE(listed.find(command.name), std::string::npos) << command.name;
    }
    // The options that take a value, so that bash completes no option name in the value's place.
    EXPECT_NE(completion.find("--threshold | --threshold-smooth | --center"), std::string::npos);
    EXPECT_EQ(completion.find("--ray-only |"), std::string::npos);
}

TEST(Manual, TheBuiltFilesAreTheTablesOfThisBuild)
{
    const std::string built = std::string(SOLVANE_BINARY_DIR) + "/cli/";
    const std::string page = fileText(built + "solvane.1");
    const std::string completion = fileText(built + "solvane.bash-completion");
    if (page.empty() && completion.empty()) {
        GTEST_SKIP() << "this build makes no man page (Windows)";
    }
    EXPECT_EQ(page, manualPage(fileText(Tamrin::Solvane::Test::sourcePath("cli/solvane.1.in"))));
    EXPECT_EQ(completion, bashCompletion(fileText(Tamrin::Solvane::Test::sourcePath("cli/solvane.bash-completion.in"))));
}

TEST(Manual, FramesWithUnknownOrUnclosedPlacesAreRefused)
{
    EXPECT_THROW(manualPage("@COMMANDS@\n@NOSUCH@\n"), std::invalid_argument);
    EXPECT_THROW(bashCompletion("words=\"@COMMANDS\"\n"), std::invalid_argument);
    EXPECT_THROW(bashCompletion("@EFFECT_OPTIONS@"), std::invalid_argument);
    // Text that roff would read as a request or an escape is shown as it stands.
    EXPECT_EQ(roffText(".hidden -x 'q' a\\b\n'quoted"), "\\&.hidden \\-x 'q' a\\eb\n\\&'quoted");
}

TEST(CommandHelp, RenderHelpListsEveryRenderOptionAndOtherCommandsTheirUsage)
{
    const std::string render = commandHelpText(*findCommand("render"));
    for (const RenderOptionText& option : renderOptionTexts()) {
        EXPECT_NE(render.find("  " + option.synopsis), std::string::npos) << option.name;
    }
    const std::string version = commandHelpText(*findCommand("--version"));
    EXPECT_EQ(version.find("--threshold"), std::string::npos);
    EXPECT_NE(version.find("solvane --version"), std::string::npos) << version;
}
