// Only in the guarded-heap build (GLINTOR_GUARD_HEAP): each memory fault, made by a child
// process of this program, ends that child with the heap's report.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

volatile char sink;

// The child's part: "--fault=KIND" on the command line makes that fault, then ends cleanly
// (which the report must forestall).
const bool child = [] {
    const char* kind = std::strstr(GetCommandLineA(), "--fault=");
    if (!kind) return false;
    kind += 8;
    // Through a volatile pointer: the compiler is not to see (and warn of) the faults made here.
    char* volatile block = static_cast<char*>(std::malloc(100));
    if (std::strncmp(kind, "past", 4) == 0) {
        static_cast<volatile char*>(block)[100] = 1;  // one byte past the block, kept though freed next
        std::free(block);
    } else if (std::strncmp(kind, "freed", 5) == 0) {
        std::free(block);
        sink = block[0];
    } else if (std::strncmp(kind, "twice", 5) == 0) {
        std::free(block);
        std::free(block);
    } else {
        std::free(block);
    }
    ExitProcess(0);
}();

DWORD child_exit(const char* kind)
{
    char program[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string command = std::string("\"") + program + "\" --fault=" + kind;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return 0xdeadbeef;
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(info.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code;
}

TEST(GuardedHeapTest, EachFaultEndsTheProcessWithTheHeapsReport)
{
    EXPECT_EQ(0u, child_exit("none")) << "a sound child";
    for (const char* kind : {"past", "freed", "twice"}) EXPECT_EQ(3u, child_exit(kind)) << kind;
}

}  // namespace
