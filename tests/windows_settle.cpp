// Under wine, a test process may crash in wine's own code as it ends: SDL_Quit kills
// SDL's multimedia timer, the system's timer thread then leaves on its own, and wine 8
// can fault that thread if the process ends while it is still on its way out. The game
// is done by then, so before the process ends, the tests wait for every other thread of
// this process to be gone.
#include <gtest/gtest.h>

#include <windows.h>
// tlhelp32.h needs windows.h first.
#include <tlhelp32.h>

namespace {

// The threads of this process other than the calling one, or -1 when they cannot be
// listed.
int other_threads() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const DWORD process = GetCurrentProcessId();
    const DWORD self = GetCurrentThreadId();
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == process && entry.th32ThreadID != self) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

class SettleThreads : public ::testing::Environment {
  public:
    void TearDown() override {
        // A thread still running after two seconds is not leaving: end as things are.
        constexpr DWORD LIMIT_MS = 2000;
        const DWORD start = GetTickCount();
        while (other_threads() > 0 && GetTickCount() - start < LIMIT_MS) {
            Sleep(1);
        }
    }
};

[[maybe_unused]] ::testing::Environment* const settle =
    ::testing::AddGlobalTestEnvironment(new SettleThreads);

}  // namespace
