// solvane as a new user meets it: help for one command, the About text on a terminal, an output named for a format
// it does not write, the plug-in's OpenGL identification only when asked for or when something failed, and listings
// that cannot reach standard output. Run through the POSIX shell, as a user runs it.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "cli/RenderOptions.h"
#include "support/HostTestSupport.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane;
using Tamrin::Solvane::Test::readFile;
using Tamrin::Solvane::Test::runCommand;
using Tamrin::Solvane::Test::ScratchFolder;

namespace {

struct Result {
    int status = -1;
    std::string output; // standard output
    std::string errors; // standard error
};

// solvane with these arguments, its standard output and standard error apart.
Result solvane(const std::string& arguments, const ScratchFolder& folder)
{
    Result run;
    const std::string out = folder / "stdout.txt";
    const std::string err = folder / "stderr.txt";
    std::string both;
    run.status =
        runCommand("( " + Tamrin::Solvane::Test::solvanePath() + " " + arguments + " > " + out + " 2> " + err + " )",
                   &both);
    run.output = readFile(out);
    run.errors = readFile(err);
    return run;
}

std::string sample() { return Tamrin::Solvane::Test::sourcePath("examples/sample.png"); }

// The identification blocks of the plug-in's contexts in a text.
int identificationBlocks(const std::string& text)
{
    const std::regex block("\nOpenGL Version:  [^\n]+\nOpenGL Vendor:   [^\n]+\nOpenGL Renderer: [^\n]+\n"
                           "OpenGL Revision: [^\n]+\n\n");
    return static_cast<int>(std::distance(std::sregex_iterator(text.begin(), text.end(), block),
                                          std::sregex_iterator()));
}

} // namespace

TEST(CommandLine, RenderHelpInEveryFormListsTheRenderOptions)
{
    const ScratchFolder folder;
    for (const std::string arguments : {"render --help", "render -h", "help render", "render in.png out.png --help",
                                        "--quiet render --help"}) {
        SCOPED_TRACE(arguments);
        const Result run = solvane(arguments, folder);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(run.errors, "");
        EXPECT_EQ(run.output.rfind("usage: solvane ", 0), 0u) << run.output;
        for (const Cli::RenderOptionText& option : Cli::renderOptionTexts()) {
            EXPECT_NE(run.output.find("  " + option.synopsis), std::string::npos) << option.name;
        }
    }
    const Result version = solvane("help version", folder);
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.output.find("solvane --version"), std::string::npos) << version.output;
    EXPECT_EQ(version.output.find("--threshold"), std::string::npos);
    EXPECT_EQ(solvane("help frobnicate", folder).status, 2);
    EXPECT_EQ(solvane("help render params", folder).status, 2);
}

TEST(CommandLine, AboutEndsItsLinesForATerminal)
{
    const ScratchFolder folder;
    const Result about = solvane("about", folder);
    ASSERT_EQ(about.status, 0) << about.errors;
    EXPECT_EQ(about.output, "Ostrel Solvane v1.0\nOstrel Solvane\n");
}

TEST(CommandLine, AnOutputNamedForAnotherFormatIsAUsageErrorThatWritesNothing)
{
    const ScratchFolder folder;
    for (const std::string name : {"out.gif", "out.EXR", "clip.mp4", "out.frame"}) {
        SCOPED_TRACE(name);
        const Result run = solvane("render " + sample() + " " + (folder / name), folder);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.errors.find(name), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find(".png"), std::string::npos) << run.errors;
    }
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"stderr.txt", "stdout.txt"}));
    // A name with no extension is written as PNG, as before.
    const Result other = solvane("--quiet render " + sample() + " " + (folder / "out"), folder);
    EXPECT_EQ(other.status, 0) << other.errors;
    EXPECT_EQ(readFile(folder / "out").compare(1, 3, "PNG"), 0);
}

TEST(CommandLine, TheOpenGLIdentificationShowsWithVerboseOrAFailure)
{
    const ScratchFolder folder;
    const std::string out = folder / "out.png";
    const Result plain = solvane("render " + sample() + " " + out, folder);
    ASSERT_EQ(plain.status, 0) << plain.errors;
    EXPECT_EQ(plain.errors.find("OpenGL"), std::string::npos) << plain.errors;

    // With --verbose, before or after the command: every context's block, as the plug-in wrote it.
    for (const std::string& arguments : std::vector<std::string>{"--verbose render " + sample() + " " + out,
                                                                  "render -v " + sample() + " " + out, "-v params",
                                                                  "params --verbose"}) {
        SCOPED_TRACE(arguments);
        const Result verbose = solvane(arguments, folder);
        EXPECT_EQ(verbose.status, 0) << verbose.errors;
        EXPECT_GE(identificationBlocks(verbose.errors), 1) << verbose.errors;
        EXPECT_EQ(identificationBlocks(verbose.output), 0);
    }
    EXPECT_EQ(solvane("params", folder).errors, "");

    // A render that fails after the plug-in made its contexts (the output device is full): the blocks come before
    // the error, which stays the last line; --quiet still drops them.
    const Result failed = solvane("render " + sample() + " /dev/full", folder);
    EXPECT_EQ(failed.status, 1);
    EXPECT_GE(identificationBlocks(failed.errors), 1) << failed.errors;
    EXPECT_GT(failed.errors.rfind("solvane: error: "), failed.errors.rfind("OpenGL Revision:")) << failed.errors;
    const Result quiet = solvane("--quiet render " + sample() + " /dev/full", folder);
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.errors.find("OpenGL"), std::string::npos) << quiet.errors;
}

TEST(CommandLine, ListingsToAFullOrClosedStandardOutputFail)
{
    for (const std::string command : {"version", "--version", "help", "help render", "render --help", "about"}) {
        for (const std::string redirection : {"> /dev/full", ">&-"}) {
            SCOPED_TRACE(command + " " + redirection);
            std::string errors;
            // Standard error goes to the test, and only then is standard output taken away.
            const int status = runCommand("( " + Tamrin::Solvane::Test::solvanePath() + " " + command + " 2>&1 " + redirection + " )",
                                          &errors);
            EXPECT_EQ(status, 1);
            EXPECT_NE(errors.find("solvane: error: standard output: cannot write: "), std::string::npos) << errors;
        }
    }
}
#endif
