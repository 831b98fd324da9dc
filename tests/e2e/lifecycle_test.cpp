// Starting and ending the real program as a user does.
#include <gtest/gtest.h>

#include <thread>

#include "common/http_client.h"
#include "common/jpeg_decode.h"
#include "common/test_helpers.h"
#include "e2e/glintor_process.h"

using namespace e2e;
using namespace testing_helpers;

namespace {

// Whether this process could take the hot key now (it gives it back at once).
bool hot_key_free(UINT modifiers)
{
    if (!RegisterHotKey(nullptr, 0x0bd, modifiers, VK_SNAPSHOT)) return false;
    UnregisterHotKey(nullptr, 0x0bd);
    return true;
}

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clear_settings();
        set_raw_dword("server_running", 0);
    }
    void TearDown() override { clear_settings(); }
};

TEST_F(LifecycleTest, PreferencesShowAndEscapeOrCloseOnlyHide)
{
    GlintorProcess glintor;
    ASSERT_TRUE(glintor.start());

    ASSERT_TRUE(choose_from_tray_menu(glintor, kUpsToPreferences));
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(glintor.dialog()) != FALSE; }, 5000));

    SetForegroundWindow(glintor.dialog());
    press_keys({VK_ESCAPE});
    EXPECT_TRUE(wait_until([&] { return !IsWindowVisible(glintor.dialog()); }, 5000)) << "Escape did not hide it";
    EXPECT_TRUE(glintor.running());

    ASSERT_TRUE(choose_from_tray_menu(glintor, kUpsToPreferences));
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(glintor.dialog()) != FALSE; }, 5000));
    PostMessageA(glintor.dialog(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(wait_until([&] { return !IsWindowVisible(glintor.dialog()); }, 5000)) << "close did not hide it";
    EXPECT_TRUE(glintor.running());

    EXPECT_EQ(0u, exit_through_tray_menu(glintor));
}

TEST_F(LifecycleTest, EveryStartBeginsANewSessionCount)
{
    set_raw_dword("session_counter", 5);
    set_raw_dword("alltime_counter", 9);
    GlintorProcess glintor;
    ASSERT_TRUE(glintor.start());
    DWORD session = 0xdeadbeef, alltime = 0xdeadbeef;
    EXPECT_TRUE(raw_dword("session_counter", session));
    EXPECT_TRUE(raw_dword("alltime_counter", alltime));
    EXPECT_EQ(0u, session);
    EXPECT_EQ(9u, alltime);
    EXPECT_EQ(0u, exit_through_tray_menu(glintor));
}

TEST_F(LifecycleTest, ASecondCopyShowsTheFirstsPreferencesAndEnds)
{
    const int port = quiet_settings_on_free_port();
    GlintorProcess first, second;
    ASSERT_TRUE(first.start());
    EXPECT_FALSE(second.start(20000)) << "a second copy runs";
    EXPECT_EQ(0u, second.wait_for_exit(5000));
    EXPECT_TRUE(wait_until([&] { return IsWindowVisible(first.dialog()) != FALSE; }, 5000)) << "no preferences shown";
    EXPECT_EQ(1u, stored("server_running"));
    EXPECT_GT(http_exchange(port, "GET /").bytes.size(), kResponseHeader.size());
    EXPECT_EQ(0u, exit_through_tray_menu(first));
}

// What a user does in one session, start to exit.
TEST_F(LifecycleTest, AUsersSessionFromStartToExit)
{
    const int port = quiet_settings_on_free_port();
    set_raw_dword("image_quality", 100);
    set_raw_dword("include_mouse_pointer", 0);
    set_raw_dword("copy_on_snap", 0);
    // Only snapshots taken by hand are saved.
    const std::string folder = make_temp_folder("glintor-session-");
    set_raw_string("snapshot_save_folder", folder);
    set_raw_dword("save_auto_snapshots", 0);
    ASSERT_TRUE(hot_key_free(MOD_CONTROL));
    ASSERT_TRUE(hot_key_free(MOD_SHIFT));
    PatternWindow pattern;
    GlintorProcess glintor;
    ASSERT_TRUE(glintor.start());
    EXPECT_FALSE(IsWindowVisible(glintor.dialog()));
    EXPECT_FALSE(hot_key_free(MOD_CONTROL)) << "Ctrl+Print is not held";
    EXPECT_FALSE(hot_key_free(MOD_SHIFT)) << "Shift+Print is not held";

    // A viewer gets the screen (ServerE2ETest looks at the picture).
    ASSERT_GT(http_exchange(port, "GET /").bytes.size(), kResponseHeader.size());

    // Shift+Print: auto mode off, and that snapshot (saved as the first copy) is served as it is.
    press_chord(VK_SHIFT, VK_SNAPSHOT);
    const std::string copy = folder + "\\glintor1.jpg";
    ASSERT_TRUE(wait_until([&] { return !read_file(copy).empty(); }, 20000)) << "Shift+Print took no snapshot";
    DWORD automatic = 0xdeadbeef;
    EXPECT_TRUE(raw_dword("auto_snapshot", automatic) && automatic == 0) << automatic;
    const std::string stored = kResponseHeader + read_file(copy);
    // Whole images compared; a failure prints their sizes, not their bytes.
    auto serves_stored = [&](const std::string& got) {
        return testing::AssertionResult(got == stored) << "got " << got.size() << " bytes, the stored " << stored.size();
    };
    EXPECT_TRUE(serves_stored(http_exchange(port, "GET /").bytes));

    // Ctrl+Print: the overlay; Escape closes it and the program serves on.
    press_chord(VK_CONTROL, VK_SNAPSHOT);
    HWND overlay = wait_for_overlay(glintor.process_id(), 20000);
    ASSERT_NE(nullptr, overlay) << "Ctrl+Print opened no overlay";
    post_key(overlay, VK_ESCAPE);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(overlay); }, 10000)) << "Escape did not close the overlay";
    EXPECT_TRUE(serves_stored(http_exchange(port, "GET /").bytes));

    // Asked before each sending: No sends nothing, Yes the snapshot.
    set_raw_dword("ask_before_sending_snapshot", 1);
    for (int answer : {IDNO, IDYES}) {
        std::string got = "<no reply>";
        std::thread viewer([&] { got = http_exchange(port, "GET /", 30000).bytes; });
        HWND box = wait_for_confirmation(glintor.process_id(), 20000);
        EXPECT_TRUE(box);
        if (box) answer_confirmation(box, answer);
        viewer.join();
        if (answer == IDYES)
            EXPECT_TRUE(serves_stored(got)) << "Yes";
        else
            EXPECT_EQ(0u, got.size()) << "No";
    }

    EXPECT_EQ(0u, exit_through_tray_menu(glintor));
    EXPECT_TRUE(hot_key_free(MOD_CONTROL));
    EXPECT_TRUE(hot_key_free(MOD_SHIFT));
    // Exit is no choice to switch the server off: the next start serves again.
    EXPECT_EQ(1u, testing_helpers::stored("server_running"));
    remove_folder(folder);
}

}  // namespace
