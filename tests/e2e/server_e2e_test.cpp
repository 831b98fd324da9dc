// The web server of the real program, driven over loopback.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/http_client.h"
#include "common/jpeg_decode.h"
#include "common/test_helpers.h"
#include "e2e/glintor_process.h"
#include "support/platform.h"
#include "support/xx_log.h"

using namespace e2e;
using namespace testing_helpers;

namespace {

// Processor time of the program's Linux process in clock ticks (user and system), from /proc:
// Wine reports none through GetProcessTimes for another process. -1 when not found.
long processor_ticks()
{
    const std::string folder = linux_process_folder();
    const std::string stat = folder.empty() ? std::string() : read_file(folder + "stat");
    const size_t after_name = stat.rfind(") ");
    if (after_name == std::string::npos) return -1;
    std::istringstream fields(stat.substr(after_name + 2));
    std::string field;
    long utime = -1, stime = -1;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::atol(field.c_str());
        if (i == 15) stime = std::atol(field.c_str());
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

// The program's diagnostic log switched on (its file made) for this object's lifetime; file and
// folder go on every path, so no later program finds the log on.
class LogSwitch {
public:
    LogSwitch()
    {
        CreateDirectoryA(folder.c_str(), nullptr);
        std::ofstream create(path, std::ios::binary);
    }
    ~LogSwitch()
    {
        DeleteFileA(path.c_str());
        RemoveDirectoryA(folder.c_str());
    }
    std::string content() const { return read_file(path); }

private:
    const std::string folder = glintor::ansi_from_wide(get_home_folder()) + "aeromoss";
    const std::string path = folder + "\\snap.log";
};

class ServerE2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = e2e::quiet_settings_on_free_port();
    }
    void TearDown() override { clear_settings(); }
    int port = 0;
};

TEST_F(ServerE2ETest, TheIdleProgramUsesNextToNoProcessorTime)
{
    GlintorProcess glintor;
    ASSERT_TRUE(glintor.start());
    DWORD value = 0;
    ASSERT_TRUE(raw_dword("server_running", value));
    ASSERT_EQ(1u, value);
    // What start-up left to do is done once the program wakes fewer than five times in 200 ms.
    const std::string folder = linux_process_folder();
    ASSERT_TRUE(wait_until([&] { const long woken = wake_ups(folder); Sleep(200); return wake_ups(folder) - woken < 5; }, 10000));
    const long before = processor_ticks(), woken_before = wake_ups(folder);
    ASSERT_GT(woken_before, 0) << "the program's process was not found";
    const DWORD start = GetTickCount();
    // Long enough to catch a loop that polls or spins (clock ticks are 10 ms).
    Sleep(5000);
    const long used = processor_ticks() - before, woken = wake_ups(folder) - woken_before;
    const DWORD elapsed = GetTickCount() - start;
    const double percent = 100.0 * used * 10.0 / elapsed;
    std::printf("idle program: %.2f%% of one core, %ld wake-ups (of %ld) over %lu ms\n", percent, woken, woken_before, elapsed);
    EXPECT_LT(percent, 1.0) << "used " << used << " ticks of processor time in " << elapsed << " ms";
    EXPECT_LT(woken, 25) << "a poll wakes the program dozens of times a second";
    EXPECT_EQ(0u, exit_through_tray_menu(glintor));
}

TEST_F(ServerE2ETest, APortInUseShowsAsTheErrorStateAndIsLogged)
{
    LogSwitch log;
    SOCKET holder = hold_port(port);
    ASSERT_NE(INVALID_SOCKET, holder);
    {
        GlintorProcess glintor;
        ASSERT_TRUE(glintor.start());
        DWORD value = 0xdeadbeef;
        EXPECT_TRUE(raw_dword("server_running", value));
        EXPECT_EQ(0u, value);
        EXPECT_EQ(0u, exit_through_tray_menu(glintor));
    }
    closesocket(holder);

    const std::string expected = "    -**### WARNING ###**-: error binding listening socket to port" + std::to_string(port) + "\r\n";
    const std::string content = log.content();
    EXPECT_NE(std::string::npos, content.find("SnapshotServer::serverThread()\r\n" + expected)) << content;

    // The next start does not try again: the user enables the server from the menu.
    GlintorProcess again;
    ASSERT_TRUE(again.start());
    EXPECT_FALSE(http_exchange(port, "GET /", 3000).connected);
    EXPECT_EQ(0u, exit_through_tray_menu(again));
}

TEST_F(ServerE2ETest, TheLogTellsEachStepOfARequestAndItsCaptureAtItsDepth)
{
    LogSwitch log;
    set_raw_dword("auto_snapshot_mode", 2);
    set_raw_dword("auto_selection_stop_x", 64);
    set_raw_dword("auto_selection_stop_y", 48);
    GlintorProcess glintor;
    ASSERT_TRUE(glintor.start());
    const size_t first = http_exchange(port, "GET /").bytes.size();
    // The active window without a client area: nothing to capture, the previous image goes out.
    set_raw_dword("auto_snapshot_mode", 1);
    HWND empty = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "empty", WS_POPUP | WS_VISIBLE, 10, 10, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(empty);
    ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == empty; }, 5000));
    EXPECT_EQ(first, http_exchange(port, "GET /").bytes.size());
    EXPECT_EQ(0u, exit_through_tray_menu(glintor));
    DestroyWindow(empty);

    char window[16];
    std::snprintf(window, sizeof(window), "%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(empty)));
    const std::string request =
        "    SnapshotServer::handle_client\n"
        "        received following buffer (size: 5)\nGET /\n\n"
        "        getting peer name\n"
        "        getting ip string\n"
        "        setting sys tray\n"
        "        has auto snapshot?\n"
        "        SnapshotServer::Snapshot\n"
        "            created DC\n"
        "            created compatible\n";
    const std::string sent = "        has image?\n"
                             "        sending image\n"
                             "        image sent. Size: " + std::to_string(first - kResponseHeader.size()) + "\n";
    // An empty rectangle takes the same steps, up to the writer's refusal.
    const std::string steps = "            created compatible bitmap\n"
                              "            selected previous\n"
                              "            blitted\n"
                              "            filling bitmap\n"
                              "            no error during snapshot\n"
                              "            temp file name: *\n";
    const std::string expected = "SnapshotServer::serverThread()\n" + request + "            active window: *\n" + steps +
                                 sent + request + "            active window: " + window + "\n" + steps +
                                 "            -**###  ERROR  ###**-: error opening temp file\n" + sent +
                                 "    closing listening socket\n";
    // The lines as written, with the varying handle and file name starred.
    std::istringstream lines(log.content());
    std::string got, line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (const std::string varying : {"active window: ", "temp file name: "}) {
            const size_t at = line.find(varying);
            if (at != std::string::npos && line.find(window) == std::string::npos) line = line.substr(0, at) + varying + "*";
        }
        got += line + "\n";
    }
    EXPECT_EQ(expected, got);
}

// Also run on a display with a second monitor left of the primary one (scripts/test.sh).
TEST_F(ServerE2ETest, AnAutoSnapshotRequestShowsTheScreen)
{
    if (std::getenv("GLINTOR_MONITOR_LEFT")) {
        ASSERT_LT(GetSystemMetrics(SM_XVIRTUALSCREEN), 0) << "no monitor left of the primary one";
    }
    set_raw_dword("image_quality", 100);
    set_raw_dword("include_mouse_pointer", 0);
    PatternWindow pattern;
    GlintorProcess glintor;
    ASSERT_TRUE(glintor.start());
    Reply reply = http_exchange(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_EQ(kResponseHeader, reply.bytes.substr(0, kResponseHeader.size()));
    Image image;
    ASSERT_TRUE(decode_jpeg(reply.bytes.substr(kResponseHeader.size()), image));
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), image.width);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), image.height);
    EXPECT_EQ(0, blocks_off_pattern(image)) << "blocks that do not show the pattern";
    DWORD count = 0;
    EXPECT_TRUE(raw_dword("alltime_counter", count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(0u, exit_through_tray_menu(glintor));
}

}  // namespace
