// The preferences, the hot keys, the overlay and the tray menu of the real program, used as a
// person would use them.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "app/messages.h"
#include "common/http_client.h"
#include "common/jpeg_decode.h"
#include "common/test_helpers.h"
#include "e2e/glintor_process.h"
#include "resources/resource.h"

using namespace e2e;
using namespace testing_helpers;

namespace {

// Whether something was put on the clipboard since it had this sequence number. Asks without
// opening the clipboard: opened, it would keep the program's copy from opening it.
bool copied_since(DWORD sequence)
{
    return wait_until([&] { return GetClipboardSequenceNumber() != sequence; }, 10000);
}

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = e2e::quiet_settings_on_free_port();
    }
    void TearDown() override
    {
        if (glintor.running()) exit_through_tray_menu(glintor);
        clear_settings();
    }
    void start() { ASSERT_TRUE(glintor.start()); }
    HWND control(int id) { return GetDlgItem(glintor.dialog(), id); }
    bool enabled(int id) { return IsWindowEnabled(control(id)) != FALSE; }
    void show_preferences()
    {
        ASSERT_TRUE(choose_from_tray_menu(glintor, kUpsToPreferences));
        ASSERT_TRUE(wait_until([&] { return IsWindowVisible(glintor.dialog()) != FALSE; }, 5000));
    }
    std::string current_image() { return http_exchange(port, "GET / HTTP/1.1\r\n\r\n").bytes; }

    int port = 0;
    GlintorProcess glintor;
};

TEST_F(CommandsTest, TheDialogShowsTheDefaults)
{
    clear_settings();
    set_raw_dword("port_number", static_cast<DWORD>(port));
    start();
    EXPECT_EQ(std::to_string(port), control_text(control(IDC_PORT)));
    EXPECT_EQ("60", control_text(control(IDC_QUALITY_NUMBER)));
    DWORD_PTR position = 0;
    SendMessageTimeoutA(control(IDC_QUALITY), TBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
    EXPECT_EQ(60u, position);
    EXPECT_TRUE(is_checked(control(IDC_MODE_ALL)));
    EXPECT_FALSE(is_checked(control(IDC_MODE_ACTIVE_WINDOW)));
    EXPECT_FALSE(is_checked(control(IDC_MODE_AREA)));
    EXPECT_TRUE(is_checked(control(IDC_ADDRESS_LOCAL)));
    EXPECT_FALSE(is_checked(control(IDC_ASK_BEFORE_SENDING)));
    EXPECT_TRUE(is_checked(control(IDC_INCLUDE_POINTER)));
    EXPECT_TRUE(is_checked(control(IDC_COPY_ON_SNAP)));
    for (int id : {IDC_SNAPSHOT_SOUND_LABEL, IDC_SNAPSHOT_SOUND_PATH, IDC_SNAPSHOT_SOUND_BROWSE, IDC_SENT_SOUND_LABEL,
                   IDC_SENT_SOUND_PATH, IDC_SENT_SOUND_BROWSE})
        EXPECT_TRUE(enabled(id)) << id;
    EXPECT_FALSE(is_checked(control(IDC_DONT_SAVE_AUTO)));
    EXPECT_EQ("api.ipify.org", control_text(control(IDC_SERVICE_ADDRESS)));
    EXPECT_EQ("0", control_text(control(IDC_SESSION_COUNT)));
}

TEST_F(CommandsTest, AStoredAreaModeTicksSnapshotArea)
{
    set_raw_dword("auto_snapshot_mode", 2);
    set_raw_dword("play_snapshot_sound", 1);
    start();
    EXPECT_TRUE(is_checked(control(IDC_MODE_AREA)));
    EXPECT_FALSE(is_checked(control(IDC_MODE_ALL)));
}

TEST_F(CommandsTest, EachControlWritesItsSettingAtOnce)
{
    set_raw_dword("play_snapshot_sound", 1);
    set_raw_dword("play_sent_sound", 1);
    start();
    const struct {
        int id;
        const char* setting;
    } edits[] = {{IDC_SNAPSHOT_SOUND_PATH, "snapshot_sound_path"}, {IDC_SENT_SOUND_PATH, "sent_sound_path"},
                 {IDC_SAVE_FOLDER, "snapshot_save_folder"},       {IDC_SERVICE_ADDRESS, "remote_service_copy_address"},
                 {IDC_MANUAL_ADDRESS, "manual_copy_address"}};
    for (const auto& e : edits) {
        const std::string text = std::string("C:\\typed\\") + e.setting;
        ASSERT_TRUE(set_control_text(control(e.id), text));
        EXPECT_EQ(text, stored_text(e.setting)) << e.setting;
    }
    ASSERT_TRUE(set_control_text(control(IDC_MANUAL_ADDRESS), std::string(300, 'm')));
    EXPECT_EQ(std::string(254, 'm'), stored_text("manual_copy_address"));

    const struct {
        int id;
        const char* setting;
        DWORD after_click;
    } boxes[] = {{IDC_ASK_BEFORE_SENDING, "ask_before_sending_snapshot", 1}, {IDC_INCLUDE_POINTER, "include_mouse_pointer", 0},
                 {IDC_DONT_SAVE_AUTO, "save_auto_snapshots", 0},         {IDC_COPY_ON_SNAP, "copy_on_snap", 0},
                 {IDC_PLAY_SNAPSHOT_SOUND, "play_snapshot_sound", 0},    {IDC_PLAY_SENT_SOUND, "play_sent_sound", 0}};
    for (const auto& b : boxes) {
        ASSERT_TRUE(click_button(control(b.id)));
        EXPECT_EQ(b.after_click, stored(b.setting)) << b.setting;
    }
    // The sound boxes enable their path controls at once.
    for (int id : {IDC_SNAPSHOT_SOUND_LABEL, IDC_SNAPSHOT_SOUND_PATH, IDC_SNAPSHOT_SOUND_BROWSE, IDC_SENT_SOUND_LABEL,
                   IDC_SENT_SOUND_PATH, IDC_SENT_SOUND_BROWSE})
        EXPECT_FALSE(enabled(id)) << id;
    ASSERT_TRUE(click_button(control(IDC_PLAY_SNAPSHOT_SOUND)));
    EXPECT_TRUE(enabled(IDC_SNAPSHOT_SOUND_PATH));
    EXPECT_TRUE(enabled(IDC_SNAPSHOT_SOUND_BROWSE));
    EXPECT_TRUE(enabled(IDC_SNAPSHOT_SOUND_LABEL));
    EXPECT_FALSE(enabled(IDC_SENT_SOUND_PATH));

    ASSERT_TRUE(click_button(control(IDC_ADDRESS_MANUAL)));
    EXPECT_EQ(2u, stored("copy_address_mode"));
    EXPECT_FALSE(is_checked(control(IDC_ADDRESS_LOCAL)));
    ASSERT_TRUE(click_button(control(IDC_ADDRESS_SERVICE)));
    EXPECT_EQ(1u, stored("copy_address_mode"));
    ASSERT_TRUE(click_button(control(IDC_MODE_ACTIVE_WINDOW)));
    EXPECT_EQ(1u, stored("auto_snapshot_mode"));
    ASSERT_TRUE(click_button(control(IDC_MODE_AREA)));
    EXPECT_EQ(2u, stored("auto_snapshot_mode"));
    ASSERT_TRUE(click_button(control(IDC_MODE_ALL)));
    EXPECT_EQ(0u, stored("auto_snapshot_mode"));
}

TEST_F(CommandsTest, TheSoundFileChooserStoresTheChoiceAndNothingElse)
{
    set_raw_string("sent_sound_path", "C:\\before.wav");
    // Copies go into the program's current folder, which choosing a file must not move.
    set_raw_string("snapshot_save_folder", ".");
    const std::string sounds = make_temp_folder("glintor-e2e-sounds-");
    const std::string sound = sounds + "\\pick.wav";
    std::ofstream(sound) << "RIFF";
    start();
    auto open_chooser = [&](int button) {
        PostMessageA(control(button), BM_CLICK, 0, 0);
        HWND chooser = nullptr;
        wait_until([&] { return (chooser = find_window_of(glintor.process_id(), nullptr, "select Sound File")) != nullptr; },
                   20000);
        return chooser;
    };
    for (int button : {IDC_SNAPSHOT_SOUND_BROWSE, IDC_SENT_SOUND_BROWSE}) {
        HWND chooser = open_chooser(button);
        ASSERT_TRUE(chooser) << "no chooser for button " << button;
        PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(wait_until([&] { return !IsWindow(chooser); }, 10000));
    }
    EXPECT_EQ("C:\\before.wav", stored_text("sent_sound_path"));
    // The dialog stored the empty path when it was filled at start-up; cancelling kept it.
    EXPECT_EQ("", stored_text("snapshot_sound_path"));

    HWND chooser = open_chooser(IDC_SENT_SOUND_BROWSE);
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(set_control_text(GetDlgItem(chooser, cmb13), sound));
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(wait_until([&] { return stored_text("sent_sound_path") == sound; }, 10000))
        << "stored " << stored_text("sent_sound_path");
    press_chord(VK_SHIFT, VK_SNAPSHOT);
    char current[MAX_PATH] = {0};
    GetCurrentDirectoryA(MAX_PATH, current);
    const std::string started_in = std::string(current) + "\\glintor1.jpg";
    EXPECT_TRUE(wait_until([&] { return !read_file(started_in).empty(); }, 10000)) << "no copy in " << current;
    DeleteFileA(started_in.c_str());
    remove_folder(sounds);
}

TEST_F(CommandsTest, DraggingTheQualityTrackbarStoresEveryPosition)
{
    start();
    show_preferences();
    RECT bar;
    GetWindowRect(control(IDC_QUALITY), &bar);
    const int y = (bar.top + bar.bottom) / 2;
    // From the thumb at 60 towards the right end; each position is stored while the button
    // is still down, not only when the thumb is let go.
    const int thumb_x = bar.left + 5 + (bar.right - bar.left - 10) * 60 / 100;
    auto position = [&] {
        DWORD_PTR at = 0;
        SendMessageTimeoutA(control(IDC_QUALITY), TBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &at);
        return static_cast<DWORD>(at);
    };
    mouse_to(thumb_x, y);
    mouse_button(true);
    std::vector<DWORD> seen;
    for (int step = 1; step <= 4; ++step) {
        mouse_to(thumb_x + (bar.right - 8 - thumb_x) * step / 4, y);
        EXPECT_TRUE(wait_until([&] { return stored("image_quality") == position(); }, 5000))
            << "stored " << stored("image_quality") << " at " << position();
        EXPECT_EQ(std::to_string(position()), control_text(control(IDC_QUALITY_NUMBER)));
        seen.push_back(position());
    }
    mouse_button(false);
    EXPECT_GT(seen.front(), 60u);
    EXPECT_GT(seen.back(), seen.front());
}

TEST_F(CommandsTest, ThePortRule)
{
    set_raw_dword("server_running", 0);
    start();
    const struct {
        const char* text;
        DWORD stored_after;
    } cases[] = {{"2001", 2001}, {"2002.9", 2002}, {"0", 0},       {"2001x", 0},     {"-1", 0},
                 {"65536", 0},   {"3000", 3000},   {"", 3000},     {"65535", 65535}, {"12ab", 65535}};
    for (const auto& c : cases) {
        ASSERT_TRUE(set_control_text(control(IDC_PORT), c.text));
        EXPECT_EQ(c.stored_after, stored("port_number")) << "after \"" << c.text << "\"";
    }
    // Leaving the edit shows the stored port again.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(control(IDC_PORT), WM_KILLFOCUS, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    EXPECT_EQ("65535", control_text(control(IDC_PORT)));
}

TEST_F(CommandsTest, ShiftPrintTakesTheWholeScreenAndKeepsServingIt)
{
    const std::string folder = make_temp_folder("glintor-e2e-copies-");
    set_raw_string("snapshot_save_folder", folder);
    set_raw_dword("copy_address_mode", 2);
    set_raw_string("manual_copy_address", "viewer.example");
    start();
    PatternWindow pattern;
    const DWORD clipboard = GetClipboardSequenceNumber();
    press_chord(VK_SHIFT, VK_SNAPSHOT);
    ASSERT_TRUE(wait_until([&] { return stored("auto_snapshot") == 0; }, 10000));
    const std::string copy = folder + "\\glintor1.jpg";
    ASSERT_TRUE(wait_until([&] { return !read_file(copy).empty(); }, 10000));
    EXPECT_TRUE(copied_since(clipboard));
    EXPECT_EQ("http://viewer.example:" + std::to_string(port), clipboard_text());
    const std::string first = current_image();
    // Whole images compared; a failure prints their sizes, not their bytes.
    EXPECT_TRUE(kResponseHeader + read_file(copy) == first) << "served " << first.size() << " bytes";
    EXPECT_TRUE(first == current_image()) << "the snapshot changed without a new one being taken";
    Image image;
    ASSERT_TRUE(decode_jpeg(first.substr(kResponseHeader.size()), image));
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), image.width);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), image.height);
    remove_folder(folder);
}

TEST_F(CommandsTest, CtrlPrintAreaDraggedOnTheOverlay)
{
    set_raw_dword("image_quality", 100);
    set_raw_dword("include_mouse_pointer", 0);
    set_raw_dword("copy_on_snap", 0);
    // Taken in auto mode: saved only when auto snapshots are.
    const std::string folder = make_temp_folder("glintor-e2e-copies-");
    set_raw_string("snapshot_save_folder", folder);
    set_raw_dword("save_auto_snapshots", 0);
    start();
    PatternWindow pattern;

    mouse_to(500, 400);
    press_chord(VK_CONTROL, VK_SNAPSHOT);
    ASSERT_NE(nullptr, wait_for_overlay(glintor.process_id(), 10000));
    drag(POINT{500, 400}, POINT{100, 100});
    ASSERT_TRUE(wait_until([&] { return stored("auto_snapshot") == 0; }, 10000));
    pump_messages();
    EXPECT_FALSE(file_exists(folder + "\\glintor1.jpg")) << "saved although auto snapshots are not";
    remove_folder(folder);
    const std::string area = current_image();
    Image image;
    ASSERT_TRUE(decode_jpeg(area.substr(kResponseHeader.size()), image));
    EXPECT_EQ(400, image.width);
    EXPECT_EQ(300, image.height);
    EXPECT_EQ(0, blocks_off_pattern(image, 100, 100));

    // A click without movement takes nothing; neither does Esc during a drag.
    set_raw_dword("auto_snapshot", 1);
    press_chord(VK_CONTROL, VK_SNAPSHOT);
    ASSERT_NE(nullptr, wait_for_overlay(glintor.process_id(), 10000));
    mouse_to(300, 300);
    Sleep(50);
    mouse_button(true);
    Sleep(50);
    mouse_button(false);
    ASSERT_TRUE(wait_until([&] { return stored("auto_snapshot") == 0; }, 10000));
    EXPECT_EQ(area, current_image());

    press_chord(VK_CONTROL, VK_SNAPSHOT);
    HWND overlay = wait_for_overlay(glintor.process_id(), 10000);
    ASSERT_NE(nullptr, overlay);
    mouse_to(600, 500);
    Sleep(50);
    mouse_button(true);
    mouse_to(200, 200);
    Sleep(50);
    press_keys({VK_ESCAPE});
    ASSERT_TRUE(wait_until([&] { return !IsWindow(overlay) || !IsWindowVisible(overlay); }, 10000));
    mouse_button(false);
    EXPECT_EQ(area, current_image());
}

TEST_F(CommandsTest, ADoubleClickAndACancelledAreaSnapshotCopyTheAddress)
{
    set_raw_dword("copy_address_mode", 2);
    start();
    const std::string address = ":" + std::to_string(port);
    set_raw_string("manual_copy_address", "double.example");
    DWORD clipboard = GetClipboardSequenceNumber();
    PostMessageA(glintor.dialog(), kTrayCallbackMessage, kTrayIconId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(copied_since(clipboard));
    EXPECT_EQ("http://double.example" + address, clipboard_text());
    EXPECT_FALSE(IsWindowVisible(glintor.dialog()));

    // "copy on snap" copies even when the area is cancelled and nothing is taken.
    set_raw_string("manual_copy_address", "cancelled.example");
    press_chord(VK_CONTROL, VK_SNAPSHOT);
    HWND overlay = wait_for_overlay(glintor.process_id(), 10000);
    ASSERT_NE(nullptr, overlay);
    clipboard = GetClipboardSequenceNumber();
    post_key(overlay, VK_ESCAPE);
    EXPECT_TRUE(copied_since(clipboard));
    EXPECT_EQ("http://cancelled.example" + address, clipboard_text());
}

TEST_F(CommandsTest, TheAreaButtonStoresTheNormalisedArea)
{
    start();
    mouse_to(300, 250);
    PostMessageA(control(IDC_MODE_AREA_SELECT), BM_CLICK, 0, 0);
    ASSERT_NE(nullptr, wait_for_overlay(glintor.process_id(), 10000));
    drag(POINT{300, 250}, POINT{100, 120});
    ASSERT_TRUE(wait_until([&] { return stored("auto_snapshot_mode") == 2; }, 10000));
    EXPECT_EQ(100u, stored("auto_selection_start_x"));
    EXPECT_EQ(120u, stored("auto_selection_start_y"));
    EXPECT_EQ(300u, stored("auto_selection_stop_x"));
    EXPECT_EQ(250u, stored("auto_selection_stop_y"));
    EXPECT_TRUE(is_checked(control(IDC_MODE_AREA)));

    // A drag without width stores nothing.
    mouse_to(400, 100);
    PostMessageA(control(IDC_MODE_AREA_SELECT), BM_CLICK, 0, 0);
    ASSERT_NE(nullptr, wait_for_overlay(glintor.process_id(), 10000));
    drag(POINT{400, 100}, POINT{400, 300});
    ASSERT_TRUE(wait_until([&] { return wait_for_overlay(glintor.process_id(), 0) == nullptr; }, 10000));
    EXPECT_EQ(100u, stored("auto_selection_start_x"));
    EXPECT_EQ(300u, stored("auto_selection_stop_x"));
}

TEST_F(CommandsTest, CountsRiseWhileTheDialogIsOpenAndClearLeavesTheAllTimeCount)
{
    set_raw_dword("alltime_counter", 41);
    start();
    show_preferences();
    EXPECT_FALSE(http_exchange(port, "GET / HTTP/1.1\r\n\r\n").bytes.empty());
    EXPECT_TRUE(wait_until([&] { return control_text(control(IDC_SESSION_COUNT)) == "1"; }, 5000));
    EXPECT_EQ("42", control_text(control(IDC_ALLTIME_COUNT)));
    ASSERT_TRUE(click_button(control(IDC_CLEAR)));
    EXPECT_EQ("0", control_text(control(IDC_SESSION_COUNT)));
    EXPECT_EQ("42", control_text(control(IDC_ALLTIME_COUNT)));
    EXPECT_EQ(0u, stored("session_counter"));
    EXPECT_EQ(42u, stored("alltime_counter"));
}

TEST_F(CommandsTest, TheServerAndAutoSnapshotItemsOfTheTrayMenu)
{
    start();
    ASSERT_TRUE(choose_from_tray_menu(glintor, kUpsToServer));
    ASSERT_TRUE(wait_until([&] { return stored("server_running") == 0; }, 10000));
    EXPECT_FALSE(http_exchange(port, "GET /", 3000).connected);
    ASSERT_TRUE(choose_from_tray_menu(glintor, kUpsToServer));
    ASSERT_TRUE(wait_until([&] { return stored("server_running") == 1; }, 10000));
    EXPECT_TRUE(http_exchange(port, "GET /").connected);

    ASSERT_TRUE(choose_from_tray_menu(glintor, kUpsToAutoSnapshot));
    EXPECT_TRUE(wait_until([&] { return stored("auto_snapshot") == 0; }, 5000));
    ASSERT_TRUE(choose_from_tray_menu(glintor, kUpsToAutoSnapshot));
    EXPECT_TRUE(wait_until([&] { return stored("auto_snapshot") == 1; }, 5000));
}

}  // namespace
