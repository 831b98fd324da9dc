// Screen capture against a known pattern on the real (virtual) screen.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "common/in_process.h"
#include "common/jpeg_decode.h"
#include "common/test_helpers.h"
#include "capture/capture_steps.h"
#include "resources/resource.h"
#include "support/platform.h"

using namespace testing_helpers;

namespace {

long working_set_kib()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<long>(counters.WorkingSetSize >> 10);
}

// A framed window with a plain client area, above the pattern.
HWND make_framed_window(DWORD extended_style = 0)
{
    return make_painted_window(Paint::plain, {500, 300, 820, 540}, WS_OVERLAPPEDWINDOW, WS_EX_TOPMOST | extended_style);
}

class CaptureTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        set_raw_dword("auto_snapshot", 0);
        set_raw_dword("image_quality", 100);
        set_raw_dword("include_mouse_pointer", 0);
        set_raw_dword("play_snapshot_sound", 0);
        controller = std::make_unique<SnapshotSystem>();
        pattern = std::make_unique<PatternWindow>();
        screen_width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        screen_height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        SetCursorPos(screen_width - 1, screen_height - 1);
        pump_messages();
    }
    void TearDown() override
    {
        pattern.reset();
        ControllerTest::TearDown();
    }
    std::string current_bytes()
    {
        std::shared_ptr<const unsigned char[]> data;
        int32_t size = 0;
        server().get_snapshot(data, size);
        return data ? std::string(reinterpret_cast<const char*>(data.get()), size) : std::string();
    }
    // Captures and decodes.
    Image capture(int32_t x, int32_t y, int32_t w, int32_t h)
    {
        server().Snapshot(x, y, w, h);
        Image image;
        EXPECT_TRUE(decode_jpeg(current_bytes(), image));
        return image;
    }
    std::unique_ptr<PatternWindow> pattern;
    int screen_width = 0;
    int screen_height = 0;
};

TEST_F(CaptureTest, WholeScreen)
{
    const int before = temp_jpeg_file_count();
    Image image = capture(0, 0, -1, -1);
    EXPECT_EQ(screen_width, image.width);
    EXPECT_EQ(screen_height, image.height);
    EXPECT_EQ(0, blocks_off_pattern(image));
    EXPECT_EQ(before, temp_jpeg_file_count()) << "a temporary file was left behind";
    // Here the copy takes Wine's path, in bands; Windows' is one copy.
    EXPECT_TRUE(glintor::running_under_wine());
}

TEST_F(CaptureTest, ExplicitRectangles)
{
    Image image = capture(100, 50, 400, 300);
    EXPECT_EQ(400, image.width);
    EXPECT_EQ(300, image.height);
    EXPECT_EQ(0, blocks_off_pattern(image, 100, 50));

    image = capture(7, 9, 1001, 200);
    EXPECT_EQ(1001, image.width);
    EXPECT_EQ(200, image.height);
    EXPECT_EQ(0, blocks_off_pattern(image, 7, 9));
    // The right edge is the screen's, not the padding's.
    EXPECT_TRUE(near_colour(pattern_colour(7 + 1000, 9 + 100), image.at(1000, 100)));

    // Width without height is no explicit rectangle: the settings decide (whole screen).
    image = capture(0, 0, 300, 0);
    EXPECT_EQ(screen_width, image.width);
}

TEST_F(CaptureTest, StoredAreaInAutoMode)
{
    set_raw_dword("auto_snapshot", 1);
    set_raw_dword("auto_snapshot_mode", 2);
    set_raw_dword("auto_selection_start_x", 300);
    set_raw_dword("auto_selection_start_y", 200);
    set_raw_dword("auto_selection_stop_x", 100);
    set_raw_dword("auto_selection_stop_y", 50);
    Image image = capture(0, 0, -1, -1);
    EXPECT_EQ(200, image.width);
    EXPECT_EQ(150, image.height);
    EXPECT_EQ(0, blocks_off_pattern(image, 100, 50));

    set_raw_dword("auto_selection_stop_x", 300);  // equal x corners: no area
    image = capture(0, 0, -1, -1);
    EXPECT_EQ(screen_width, image.width);
    EXPECT_EQ(screen_height, image.height);

    set_raw_dword("auto_snapshot", 0);  // auto mode off: the mode does not count
    set_raw_dword("auto_selection_stop_x", 100);
    image = capture(0, 0, -1, -1);
    EXPECT_EQ(screen_width, image.width);
}

TEST_F(CaptureTest, ActiveWindowModeTakesTheClientOfAShownWindowWhereItIs)
{
    set_raw_dword("auto_snapshot", 1);
    set_raw_dword("auto_snapshot_mode", 1);
    HWND framed = make_framed_window();
    SetForegroundWindow(framed);
    ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == framed; }, 5000));
    pump_messages();
    RECT client;
    GetClientRect(framed, &client);
    Image image;
    // The window manager may still be drawing it; the client area must come out plain.
    bool plain = wait_until(
        [&] {
            pump_messages();
            image = capture(0, 0, -1, -1);
            return image.width > 4 && near_colour(kPlainColour, image.at(0, 0)) &&
                   near_colour(kPlainColour, image.at(image.width - 1, image.height - 1)) &&
                   near_colour(kPlainColour, image.at(image.width / 2, image.height / 2));
        },
        5000);
    EXPECT_TRUE(plain);
    EXPECT_EQ(client.right, image.width);
    EXPECT_EQ(client.bottom, image.height);
    DestroyWindow(framed);

    const RECT screen = read_virtual_screen();
    // Hidden (as the program's own dialog stays in front after its tray menu) or minimised:
    // no window the user looks at, so the whole screen.
    HWND hidden = CreateWindowExA(0, "STATIC", "hidden", WS_POPUP, 10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
    HWND minimised = make_framed_window();
    ShowWindow(minimised, SW_MINIMIZE);
    for (HWND window : {hidden, minimised}) {
        const CaptureArea area = server().choose_area(0, 0, -1, -1, screen, Pointer(), window);
        EXPECT_EQ(screen_width, area.width) << (window == hidden ? "hidden" : "minimised");
        EXPECT_EQ(screen_height, area.height);
    }
    // A mirrored (right-to-left) window: its client's (0, 0) is at its right edge.
    HWND mirrored = make_framed_window(WS_EX_LAYOUTRTL);
    RECT frame;
    GetWindowRect(mirrored, &frame);
    GetClientRect(mirrored, &client);
    const CaptureArea area = server().choose_area(0, 0, -1, -1, screen, Pointer(), mirrored);
    EXPECT_EQ(client.right, area.width);
    EXPECT_TRUE(area.origin.x >= frame.left && area.origin.x + area.width <= frame.right)
        << "client from " << area.origin.x << ", " << area.width << " wide; frame " << frame.left << " to " << frame.right;
    for (HWND window : {hidden, minimised, mirrored}) DestroyWindow(window);
}

TEST_F(CaptureTest, ATemporaryFolderTheCodePageCannotNameTakesTheSnapshot)
{
    wchar_t temp[MAX_PATH] = {0};
    GetTempPathW(MAX_PATH, temp);
    // A Cyrillic user name on a system whose code page is not Cyrillic.
    const std::wstring folder = std::wstring(temp) + L"\x0414\x043c\x0438\x0442\x0440\x0438\x0439";
    BOOL unwritable = FALSE;
    WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, nullptr, 0, nullptr, &unwritable);
    ASSERT_TRUE(unwritable) << "the code page " << GetACP() << " can write the name";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    wchar_t saved_tmp[MAX_PATH] = {0}, saved_temp[MAX_PATH] = {0};
    GetEnvironmentVariableW(L"TMP", saved_tmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", saved_temp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    SetEnvironmentVariableW(L"TEMP", folder.c_str());
    server().Snapshot(0, 0, 64, 48);
    SetEnvironmentVariableW(L"TMP", saved_tmp);
    SetEnvironmentVariableW(L"TEMP", saved_temp);
    EXPECT_FALSE(current_bytes().empty()) << "no snapshot";
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str())) << "the capture left a file in the folder";
}

TEST_F(CaptureTest, ThePointerIsDrawnWhenAskedAndClippedAtTheEdge)
{
    // A point in the middle of a block, so that the pattern around it is plain.
    const int px = 96 * 5 + 30, py = 96 * 3 + 30;
    SetCursorPos(px, py);
    pump_messages();
    const COLORREF block = pattern_colour(px, py);
    auto pointer_visible = [&](const Image& image, int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1 && y < image.height; ++y)
            for (int x = x0; x < x1 && x < image.width; ++x)
                if (!near_colour(block, image.at(x, y), 40)) return true;
        return false;
    };

    Image without = capture(0, 0, -1, -1);
    EXPECT_FALSE(pointer_visible(without, px, py, px + 12, py + 18));

    set_raw_dword("include_mouse_pointer", 1);
    Image with = capture(0, 0, -1, -1);
    EXPECT_TRUE(pointer_visible(with, px, py, px + 12, py + 18)) << "no pointer at its place";
    EXPECT_FALSE(pointer_visible(with, px - 24, py - 24, px - 8, py - 8)) << "pointer drawn elsewhere";

    // A rectangle whose right edge runs just right of the pointer: only its left part shows.
    Image clipped = capture(px - 60, py - 20, 62, 60);
    EXPECT_EQ(62, clipped.width);
    EXPECT_TRUE(pointer_visible(clipped, 60, 20, 62, 38));
}

TEST_F(CaptureTest, CopiesFollowTheSettingsAndMatchTheServedBytes)
{
    const std::string folder = make_temp_folder("glintor-copies-");
    set_raw_string("snapshot_save_folder", folder);

    server().Snapshot(0, 0, 200, 100);  // auto mode off: always saved
    const std::string first = folder + "\\glintor1.jpg";
    EXPECT_EQ(current_bytes(), read_file(first));

    set_raw_dword("auto_snapshot", 1);
    set_raw_dword("save_auto_snapshots", 0);
    server().Snapshot(0, 0, 200, 100);
    EXPECT_FALSE(file_exists(folder + "\\glintor2.jpg"));

    set_raw_dword("save_auto_snapshots", 1);
    server().Snapshot(0, 0, 200, 100);
    EXPECT_EQ(current_bytes(), read_file(folder + "\\glintor2.jpg"));
    remove_folder(folder);
}

// Another capture takes the first name between the look for a free one and the file's creation.
std::string taken_name;
HANDLE WINAPI taken_meanwhile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how,
                              DWORD attributes, HANDLE pattern)
{
    if (taken_name.empty()) std::ofstream(taken_name = path, std::ios::binary) << "the other capture's";
    return CreateFileA(path, access, share, security, how, attributes, pattern);
}

TEST_F(CaptureTest, ACopyNameTakenMeanwhileIsLeftAloneAndTheNextIsUsed)
{
    const std::string folder = make_temp_folder("glintor-copies-");
    set_raw_string("snapshot_save_folder", folder);
    taken_name.clear();
    server().create_copy_call = &taken_meanwhile;
    server().Snapshot(0, 0, 64, 48);
    EXPECT_EQ("the other capture's", read_file(folder + "\\glintor1.jpg"));
    EXPECT_TRUE(current_bytes() == read_file(folder + "\\glintor2.jpg")) << "no copy beside it";
    remove_folder(folder);
}

TEST_F(CaptureTest, CapturesOfTheSameSizeShowTheScreenAsItIsNow)
{
    // The capture keeps its bitmap and buffers between captures of one size: the second must
    // still be a fresh copy of the screen.
    Image first = capture(500, 300, 320, 240);
    EXPECT_EQ(0, blocks_off_pattern(first, 500, 300));
    HWND framed = make_framed_window();
    RECT client;
    GetClientRect(framed, &client);
    POINT corner = {0, 0};
    ClientToScreen(framed, &corner);
    Image second = capture(500, 300, 320, 240);
    DestroyWindow(framed);
    pump_messages();
    const int x = corner.x - 500 + client.right / 2, y = corner.y - 300 + client.bottom / 2;
    EXPECT_TRUE(near_colour(kPlainColour, second.at(x, y))) << std::hex << second.at(x, y);
}

TEST_F(CaptureTest, AtTheScreensEdgeTheScreenShowsAndBeyondItIsBlack)
{
    // 1001 wide: the bitmap's padding columns reach past the right edge.
    Image image = capture(screen_width - 1001, 0, 1001, 100);
    EXPECT_EQ(0, blocks_off_pattern(image, screen_width - 1001, 0));
    // The same size again, reusing the kept bitmap, now half past the edge.
    image = capture(screen_width - 500, 0, 1001, 100);
    EXPECT_TRUE(near_colour(pattern_colour(screen_width - 250, 50), image.at(250, 50))) << std::hex << image.at(250, 50);
    EXPECT_TRUE(near_colour(RGB(0, 0, 0), image.at(750, 50), 8)) << std::hex << image.at(750, 50);
}

TEST_F(CaptureTest, TheAreaButtonLeavesAnOpenOverlaysSelectionAlone)
{
    set_raw_dword("copy_on_snap", 0);
    set_raw_dword("auto_selection_start_x", 100);
    set_raw_dword("auto_selection_start_y", 100);
    set_raw_dword("auto_selection_stop_x", 300);
    set_raw_dword("auto_selection_stop_y", 300);
    // Handled inside the area snapshot's overlay loop, before the drag ends.
    PostMessageA(controller->dialog, WM_COMMAND, MAKEWPARAM(IDC_MODE_AREA_SELECT, BN_CLICKED), 0);
    // Released whenever it shows, however late: an overlay left open would hang the case.
    std::thread releaser([] {
        PostMessageA(wait_for_overlay(GetCurrentProcessId(), 60000), WM_LBUTTONUP, 0, MAKELPARAM(40, 30));
    });
    controller->snapshot_area();
    releaser.join();
    const SnapshotSystem& c = *controller;
    EXPECT_EQ("0 0 40 30", std::to_string(c.selection_x1) + " " + std::to_string(c.selection_y1) + " " +
                               std::to_string(c.selection_x2) + " " + std::to_string(c.selection_y2));
}

TEST_F(CaptureTest, TheKeptSetIsGivenBackWhenIdleAndCapturesGoOnAfterwards)
{
    if (!memory_growth_measurable()) GTEST_SKIP() << "the debug heap holds freed blocks back";
    const std::set<DWORD> threads = thread_ids(GetCurrentProcessId());
    capture(0, 0, -1, -1);
    const long kept = working_set_kib();
    // The image buffer at least goes back to the system; the bitmap's memory may stay with the
    // platform's allocator once earlier captures have been given back.
    const long image = static_cast<long>(screen_width) * screen_height * 3 / 1024;
    EXPECT_TRUE(wait_until([&] { return working_set_kib() < kept - image / 2; }, 10000))
        << "still " << working_set_kib() << " KiB after " << kept << " KiB with the set kept";
    // The give-back starts no thread, whose stack the idle program would keep.
    EXPECT_EQ(threads, thread_ids(GetCurrentProcessId()));
    EXPECT_EQ(0, blocks_off_pattern(capture(0, 0, -1, -1)));
}

TEST_F(CaptureTest, RepeatedAndSimultaneousCapturesLeakNoMemoryAndNoGdiObject)
{
    set_raw_dword("include_mouse_pointer", 1);  // the pointer's bitmaps too
    auto two_at_once = [&] {
        std::thread other([&] { server().Snapshot(0, 0, -1, -1); });
        server().Snapshot(0, 0, -1, -1);
        other.join();
    };
    two_at_once();
    const int gdi_before = free_gdi_handles();
    const long before = working_set_kib() >> 10;
    // Two captures at once need two sets of bitmap and buffers; one is kept afterwards. Sets
    // that piled up would hold megabytes per round.
    for (int i = 0; i < 10; ++i) two_at_once();
    const long per_capture = static_cast<long>(screen_width) * screen_height * 7 >> 20;
    if (memory_growth_measurable()) {
        EXPECT_LT((working_set_kib() >> 10) - before, per_capture) << "before " << before << " MiB";
    }
    EXPECT_GE(free_gdi_handles(), gdi_before - 5) << "of " << gdi_before << ", after 20 captures";
}

TEST_F(CaptureTest, NothingToCaptureKeepsThePreviousSnapshot)
{
    server().Snapshot(0, 0, 100, 100);
    const std::string before = current_bytes();
    ASSERT_FALSE(before.empty());
    // An area far too large for a bitmap.
    server().Snapshot(0, 0, 200000, 200000);
    EXPECT_EQ(before, current_bytes());
}

}  // namespace
