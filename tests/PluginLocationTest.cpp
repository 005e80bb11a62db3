// Where solvane looks for the plug-in when no --plugin is given: beside itself first, then the frei0r folder of its
// installation (relative to its folder, or absolute), and the path beside it for the error when there is none.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/PluginLocation.h"

namespace fs = std::filesystem;
using Tamrin::Solvane::Cli::findPlugin;

namespace {

class PluginLocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Several worktrees run the same tests on one machine: a folder of this run's own.
        const auto run = std::chrono::steady_clock::now().time_since_epoch().count();
        root_ = fs::temp_directory_path() / ("solvane-location-" + std::to_string(run) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "bin");
        fs::create_directories(root_ / "lib" / "frei0r-1");
        fs::create_directories(root_ / "elsewhere");
        self_ = (root_ / "bin" / "solvane").string();
    }
    void TearDown() override { fs::remove_all(root_); }
    static void touch(const fs::path& path) { std::ofstream(path) << "x"; }

    fs::path root_;
    std::string self_;
};

TEST_F(PluginLocationTest, TakesThePluginBesideTheProgramFirstThenTheInstalledOnesInOrder)
{
    const fs::path installed = root_ / "lib" / "frei0r-1" / "OstrelSolvane.aex";
    const fs::path absolute = root_ / "elsewhere" / "OstrelSolvane.aex";
    const std::string besideSelf = (root_ / "bin" / "OstrelSolvane.aex").string();

    // None there: the path beside the program, for the error message.
    EXPECT_EQ(findPlugin(self_, "../lib/frei0r-1", (root_ / "elsewhere").string()), besideSelf);
    touch(absolute);
    EXPECT_EQ(fs::path(findPlugin(self_, "../lib/frei0r-1", (root_ / "elsewhere").string())), absolute);
    touch(installed);
    EXPECT_EQ(fs::canonical(findPlugin(self_, "../lib/frei0r-1", (root_ / "elsewhere").string())),
              fs::canonical(installed));
    // No relative folder known (it depends on the prefix): the absolute one.
    EXPECT_EQ(fs::path(findPlugin(self_, "", (root_ / "elsewhere").string())), absolute);
    touch(besideSelf);
    EXPECT_EQ(findPlugin(self_, "../lib/frei0r-1", (root_ / "elsewhere").string()), besideSelf);
}

TEST_F(PluginLocationTest, AFolderOfThePluginsNameIsNotThePlugin)
{
    fs::create_directories(root_ / "lib" / "frei0r-1" / "OstrelSolvane.aex");
    EXPECT_EQ(findPlugin(self_, "../lib/frei0r-1", ""), (root_ / "bin" / "OstrelSolvane.aex").string());
}

} // namespace
