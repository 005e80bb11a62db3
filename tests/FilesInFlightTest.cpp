#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "cli/System.h"
#include "support/Workbench.h"

using namespace Tamrin::Solvane::Cli;
using Tamrin::Solvane::Test::ScratchFolder;

namespace {

bool exists(const std::string& path) { return std::ifstream(path).good(); }

} // namespace

// A signal's handler runs while another thread has made a temporary file and not yet registered it: the handler
// waits for the registration and removes the file, instead of leaving it behind.
TEST(FilesInFlightTest, AHandlerWaitsForAFileBeingMadeAndRemovesIt)
{
    const ScratchFolder folder;
    const std::string path = folder / "made.tmp";
    std::atomic<bool> made{false};
    int slot = -1;
    std::thread maker([&] {
        const System::RegisteringFileInFlight registering;
        std::ofstream(path) << "half";
        made = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        slot = System::registerFileInFlight(path);
    });
    while (!made) {
        std::this_thread::yield();
    }
    System::removeFilesInFlight([](const char* name) { std::remove(name); });
    maker.join();
    EXPECT_GE(slot, 0);
    EXPECT_FALSE(exists(path));
    System::releaseFileInFlight(slot);

    // A released file is the caller's again: a later signal leaves it.
    std::ofstream(path) << "finished";
    System::removeFilesInFlight([](const char* name) { std::remove(name); });
    EXPECT_TRUE(exists(path));
}
