#include "cli/System.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace Tamrin {
namespace Solvane {
namespace Cli {
namespace System {

namespace {

// The files a signal removes. A handler may run on any thread at any moment, so the names live in fixed buffers and
// a slot counts only once its name is complete.
constexpr int kSlots = 8;
constexpr std::size_t kPathBytes = 4096;
char gInFlight[kSlots][kPathBytes];
std::atomic<bool> gSlotUsed[kSlots];
std::atomic<bool> gSlotReady[kSlots];
// Threads between making a file in flight and registering it.
std::atomic<int> gRegistering{0};

} // namespace

int registerFileInFlight(const std::string& path)
{
    if (path.size() >= kPathBytes) {
        return -1;
    }
    for (int slot = 0; slot < kSlots; ++slot) {
        bool expected = false;
        if (gSlotUsed[slot].compare_exchange_strong(expected, true)) {
            std::memcpy(gInFlight[slot], path.c_str(), path.size() + 1);
            gSlotReady[slot].store(true);
            return slot;
        }
    }
    return -1;
}

void releaseFileInFlight(int slot)
{
    if (slot < 0 || slot >= kSlots) {
        return;
    }
    gSlotReady[slot].store(false);
    gSlotUsed[slot].store(false);
}

void beginRegistering() { gRegistering.fetch_add(1); }

void endRegistering() { gRegistering.fetch_sub(1); }

void removeFilesInFlight(void (*remove)(const char* path))
{
    // Making and registering a file takes microseconds; a second is a bound, never a wait anyone sees. The thread
    // that registers never runs this handler meanwhile: its signals are held.
    for (int waited = 0; gRegistering.load() > 0 && waited < 1000; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (int slot = 0; slot < kSlots; ++slot) {
        if (gSlotReady[slot].load()) {
            remove(gInFlight[slot]);
        }
    }
}

} // namespace System
} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
