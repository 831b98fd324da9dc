// Starting and ending the real program as a user does.
#include <gtest/gtest.h>

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

TEST_F(LifecycleTest, RunsHiddenHoldingBothHotKeysAndEndsFromTheTrayMenu)
{
    ASSERT_TRUE(hot_key_free(MOD_CONTROL));
    ASSERT_TRUE(hot_key_free(MOD_SHIFT));

    GlintorProcess glintor;
    ASSERT_TRUE(glintor.start());
    EXPECT_FALSE(IsWindowVisible(glintor.dialog()));
    EXPECT_FALSE(hot_key_free(MOD_CONTROL)) << "Ctrl+Print is not held";
    EXPECT_FALSE(hot_key_free(MOD_SHIFT)) << "Shift+Print is not held";

    EXPECT_EQ(0u, exit_through_tray_menu(glintor));
    EXPECT_TRUE(hot_key_free(MOD_CONTROL));
    EXPECT_TRUE(hot_key_free(MOD_SHIFT));
}

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

}  // namespace
