// Starting and ending the real program as a user does.
#include <gtest/gtest.h>

#include <thread>

#include "common/http_client.h"
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
    set_raw_dword("session_counter", 5);
    set_raw_dword("alltime_counter", 9);
    ASSERT_TRUE(hot_key_free(MOD_CONTROL));
    ASSERT_TRUE(hot_key_free(MOD_SHIFT));
    GlintorProcess glintor;
    ASSERT_TRUE(glintor.start());
    EXPECT_FALSE(IsWindowVisible(glintor.dialog()));
    EXPECT_FALSE(hot_key_free(MOD_CONTROL)) << "Ctrl+Print is not held";
    EXPECT_FALSE(hot_key_free(MOD_SHIFT)) << "Shift+Print is not held";
    // Every start begins a new session count.
    EXPECT_EQ(0u, stored("session_counter"));
    EXPECT_EQ(9u, stored("alltime_counter"));

    // A viewer gets the screen (ServerE2ETest looks at the picture).
    ASSERT_GT(http_exchange(port, "GET /").bytes.size(), kResponseHeader.size());

    // Ctrl+Print: the overlay; Escape closes it and the program serves on.
    press_chord(VK_CONTROL, VK_SNAPSHOT);
    HWND overlay = wait_for_overlay(glintor.process_id(), 20000);
    ASSERT_NE(nullptr, overlay) << "Ctrl+Print opened no overlay";
    post_key(overlay, VK_ESCAPE);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(overlay); }, 10000)) << "Escape did not close the overlay";

    // Asked before each sending: No sends nothing, Yes the snapshot.
    set_raw_dword("ask_before_sending_snapshot", 1);
    for (int answer : {IDNO, IDYES}) {
        std::string got = "<no reply>";
        std::thread viewer([&] { got = http_exchange(port, "GET /", 30000).bytes; });
        HWND box = wait_for_confirmation(glintor.process_id(), 20000);
        EXPECT_TRUE(box);
        if (box) answer_confirmation(box, answer);
        viewer.join();
        EXPECT_EQ(answer == IDYES, got.size() > kResponseHeader.size()) << got.size() << " bytes after " << answer;
    }
    EXPECT_EQ(2u, stored("session_counter"));
    EXPECT_EQ(11u, stored("alltime_counter"));

    EXPECT_EQ(0u, exit_through_tray_menu(glintor));
    EXPECT_TRUE(hot_key_free(MOD_CONTROL));
    EXPECT_TRUE(hot_key_free(MOD_SHIFT));
    // Exit is no choice to switch the server off: the next start serves again.
    EXPECT_EQ(1u, stored("server_running"));
}

}  // namespace
