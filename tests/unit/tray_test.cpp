// The tray icon's record, its tooltip and the server item's caption in every state.
#include <gtest/gtest.h>

#include <atomic>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <shlobj.h>

#include "common/http_client.h"
#include "common/in_process.h"
#include "common/test_helpers.h"
#include "app/messages.h"
#include "resources/resource.h"

using namespace testing_helpers;

namespace {

struct Status {
    int icon;
    std::string tooltip;
    std::string server_item;
};

class TrayTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        port = free_port();
        set_raw_dword("port_number", static_cast<DWORD>(port));
        set_raw_dword("play_sent_sound", 0);
        set_raw_dword("auto_snapshot", 0);
    }
    void start_program() { controller = std::make_unique<SnapshotSystem>(); }
    Status status()
    {
        pump_messages();
        Status s{0xbd, controller->tray_record.szTip, ""};
        for (int id : {IDI_DISABLED, IDI_SENDING, IDI_AUTO, IDI_AUTO_ASK, IDI_STORED, IDI_STORED_ASK})
            if (controller->tray_record.hIcon == SnapshotSystem::tray_icon(static_cast<WORD>(id))) s.icon = id;
        char caption[64];
        memset(caption, 0xbd, sizeof(caption));
        GetMenuStringA(controller->tray_menu.get(), ID_TRAY_SERVER, caption, sizeof(caption), MF_BYCOMMAND);
        s.server_item = caption;
        return s;
    }
    void expect_status(int icon, const std::string& tooltip, const std::string& item)
    {
        Status s = status();
        EXPECT_EQ(icon, s.icon);
        EXPECT_EQ(tooltip, s.tooltip);
        EXPECT_EQ(item, s.server_item);
    }
    int port = 0;
};

// Whether the shell shows the icon of this record.
bool shown(NOTIFYICONDATAA record)
{
    return Shell_NotifyIconA(NIM_MODIFY, &record) != FALSE;
}

BOOL WINAPI shell_not_ready(DWORD, PNOTIFYICONDATAA)
{
    return FALSE;
}

// What the shell was told, which it answered.
std::vector<DWORD> told;
BOOL WINAPI recording_shell(DWORD action, PNOTIFYICONDATAA record)
{
    told.push_back(action);
    return Shell_NotifyIconA(action, record);
}

TEST_F(TrayTest, DisabledAtStartUpAndGoneAtExit)
{
    start_program();
    expect_status(IDI_DISABLED, "Glintor: webserver disabled", "enable webserver");
    // Windows keeps the icon of a window that is gone until the pointer passes over it.
    told.clear();
    SnapshotSystem::notify_icon_call = &recording_shell;
    controller.reset();
    SnapshotSystem::notify_icon_call = &Shell_NotifyIconA;
    EXPECT_EQ(std::vector<DWORD>{NIM_DELETE}, told) << "the icon stays after exit";
}

TEST_F(TrayTest, AnIconTheShellWasNotReadyForIsAddedByTheRetry)
{
    set_raw_dword("server_running", 1);
    SnapshotSystem::notify_icon_call = &shell_not_ready;
    start_program();
    SnapshotSystem::notify_icon_call = &Shell_NotifyIconA;
    EXPECT_FALSE(shown(controller->tray_record));
    EXPECT_TRUE(wait_until([&] { return shown(controller->tray_record); }, 10000)) << "no retry";
    expect_status(IDI_STORED, "Glintor: waiting for connection", "disable webserver");
}

TEST_F(TrayTest, APortInUseIsTheErrorStateAndEnablingOnAFreedPortWorks)
{
    SOCKET holder = hold_port(port);
    ASSERT_NE(INVALID_SOCKET, holder);
    set_raw_dword("server_running", 1);
    start_program();
    expect_status(IDI_DISABLED, "Glintor: error initialing weserver. Try another port.", "enable webserver");
    EXPECT_TRUE(controller->server.has_server_error());
    closesocket(holder);
    controller->on_menu_command(ID_TRAY_SERVER);
    expect_status(IDI_STORED, "Glintor: waiting for connection", "disable webserver");
    EXPECT_FALSE(controller->server.has_server_error());
    EXPECT_TRUE(http_exchange(port, "GET /", 2000).connected);
}

TEST_F(TrayTest, WaitingInEachCombinationOfTheTwoSettings)
{
    set_raw_dword("server_running", 1);
    start_program();
    const struct {
        bool automatic, asking;
        int icon;
    } cases[] = {{true, false, IDI_AUTO}, {true, true, IDI_AUTO_ASK}, {false, false, IDI_STORED}, {false, true, IDI_STORED_ASK}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "auto " << c.automatic << ", asking " << c.asking);
        controller->server.set_auto_snapshot(c.automatic);
        controller->server.set_ask_before_sending_snapshot(c.asking);
        controller->update_status();
        expect_status(c.icon, "Glintor: waiting for connection", "disable webserver");
        controller->update_auto_snapshot_check();
        const UINT state = GetMenuState(controller->tray_menu.get(), ID_TRAY_AUTO_SNAPSHOT, MF_BYCOMMAND);
        EXPECT_EQ(c.automatic, (state & MF_CHECKED) != 0);
    }
    // A refresh leaves nothing behind: Windows ends a program at 10,000 GDI objects.
    const int gdi_before = free_gdi_handles();
    for (int i = 0; i < 200; ++i) {
        controller->server.set_auto_snapshot(i % 2 == 0);
        controller->update_status();
    }
    EXPECT_GE(free_gdi_handles(), gdi_before - 5) << "of " << gdi_before << ", after 200 refreshes";
}

TEST_F(TrayTest, ServingAClientShowsItsAddressThenWaitingAgain)
{
    set_raw_dword("server_running", 1);
    set_raw_dword("ask_before_sending_snapshot", 1);
    start_program();
    std::thread client([&] { http_exchange(port, "GET / HTTP/1.1\r\n\r\n", 20000); });
    HWND box = wait_for_confirmation(GetCurrentProcessId(), 10000);
    ASSERT_TRUE(box);
    // The server thread posted what it saw; this thread shows it.
    EXPECT_TRUE(wait_until([&] { return status().icon == IDI_SENDING; }, 5000));
    expect_status(IDI_SENDING, "Glintor: sending screenshot to 127.0.0.1", "disable webserver");
    answer_confirmation(box, IDNO);
    client.join();
    EXPECT_TRUE(wait_until([&] { return status().icon == IDI_STORED_ASK; }, 5000));
    expect_status(IDI_STORED_ASK, "Glintor: waiting for connection", "disable webserver");
}

TEST_F(TrayTest, RequestsOverBeforeTheTrayLooksShowTheLastViewerAndQueueNoMore)
{
    set_raw_dword("server_running", 1);
    start_program();
    pump_messages();
    // Both of the server thread's refreshes are posted before each connection closes; what
    // the main thread has not yet shown is kept to the last request's two.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(http_exchange(port, "GET / HTTP/1.1\r\n\r\n").closed);
    std::vector<std::string> shown;
    MSG posted;
    while (PeekMessageA(&posted, controller->dialog, WM_APP_UPDATE_STATUS, WM_APP_UPDATE_STATUS, PM_REMOVE)) {
        DispatchMessageA(&posted);
        const bool sending = controller->tray_record.hIcon == SnapshotSystem::tray_icon(IDI_SENDING);
        shown.push_back(std::string(sending ? "sending icon, " : "") + controller->tray_record.szTip);
    }
    const std::vector<std::string> expected = {"sending icon, Glintor: sending screenshot to 127.0.0.1",
                                               "Glintor: waiting for connection"};
    EXPECT_EQ(expected, shown);
}

TEST_F(TrayTest, ARestartedShellGetsTheIconAgain)
{
    set_raw_dword("server_running", 1);
    start_program();
    // A restarted shell has lost the icon; the record still says what it showed.
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &controller->tray_record));
    SendMessageA(controller->dialog, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    expect_status(IDI_STORED, "Glintor: waiting for connection", "disable webserver");
    EXPECT_TRUE(shown(controller->tray_record)) << "the shell has no icon";
}

TEST_F(TrayTest, TheMenuPostsANullMessageAfterItCloses)
{
    start_program();
    // The menu is dismissed whenever it shows, however late: a menu left open would hang the case.
    std::atomic<bool> returned{false};
    std::thread dismisser([&] {
        HWND menu = nullptr;
        wait_until([&] { return returned || ((menu = FindWindowA("#32768", nullptr)) && IsWindowVisible(menu)); }, 60000);
        if (menu) PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    MSG stale;
    while (PeekMessageA(&stale, controller->dialog, WM_NULL, WM_NULL, PM_REMOVE)) {
    }
    controller->on_tray_callback(7194, WM_RBUTTONUP);
    returned = true;
    dismisser.join();
    // A filter of WM_NULL to WM_NULL takes any message: look at what is there.
    MSG posted = {};
    posted.message = 0xbdbd;
    bool null_posted = false;
    while (!null_posted && PeekMessageA(&posted, controller->dialog, 0, 0, PM_REMOVE)) null_posted = posted.message == WM_NULL;
    EXPECT_TRUE(null_posted) << "last message " << std::hex << posted.message;
}

TEST_F(TrayTest, TheFolderChooserStoresAndShowsTheFolderAndHelpIsThePageBesideTheProgram)
{
    start_program();
    const std::string folder = make_temp_folder("glintor-chosen-");
    // Answered whenever it shows, however late: a chooser left open would hang the case.
    std::thread chooser([&] {
        HWND box = nullptr;
        wait_until([&] { return (box = GetLastActivePopup(controller->dialog)) != controller->dialog; }, 60000);
        // The chooser may still fill its tree, which selects its first folder: select until it holds.
        const HWND tree = FindWindowExA(box, nullptr, "SysTreeView32", nullptr);
        wait_until([&] {
            SendMessageA(box, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
            char text[MAX_PATH] = {0};
            TVITEMA item = {TVIF_TEXT, TreeView_GetSelection(tree), 0, 0, text, MAX_PATH, 0, 0, 0, 0};
            return TreeView_GetItem(tree, &item) && folder.substr(folder.rfind('\\') + 1) == text;
        }, 10000);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    controller->choose_save_folder();
    chooser.join();
    EXPECT_EQ(folder, stored_text("snapshot_save_folder"));
    char shown_text[MAX_PATH] = {0};
    GetDlgItemTextA(controller->dialog, IDC_SAVE_FOLDER, shown_text, MAX_PATH);
    EXPECT_EQ(folder, shown_text);
    remove_folder(folder);
    EXPECT_EQ(program_folder() + "help.html", SnapshotSystem::help_page());
    EXPECT_TRUE(file_exists(SnapshotSystem::help_page()));
}

// Also run on a screen scaled to 150 % (scripts/test.sh, Wine 10), where the dialog grows with
// its font: every control must still lie inside it and show its whole text.
TEST_F(TrayTest, ThePreferencesShowEveryControlWhole)
{
    start_program();
    const HWND dialog = controller->dialog;
    RECT inside;
    GetClientRect(dialog, &inside);
    int measured = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        SCOPED_TRACE(testing::Message() << "control " << GetDlgCtrlID(child));
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= inside.right && r.bottom <= inside.bottom)
            << r.left << "," << r.top << " to " << r.right << "," << r.bottom << " in " << inside.right << "x" << inside.bottom;
        char text[256] = {0}, kind[16] = {0};
        GetWindowTextA(child, text, sizeof(text));
        GetClassNameA(child, kind, sizeof(kind));
        const LONG style = GetWindowLongA(child, GWL_STYLE) & 0xF;
        const bool tick = _stricmp(kind, "Button") == 0 && style != BS_PUSHBUTTON && style != BS_DEFPUSHBUTTON;
        if (!*text || (_stricmp(kind, "Static") != 0 && _stricmp(kind, "Button") != 0) || style == BS_GROUPBOX) continue;
        HDC dc = GetDC(child);
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0)));
        // Wrapped to the control's width (minus a tick box's mark), the text must fit its height.
        const LONG room = r.right - r.left - (tick ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 0);
        RECT need = {0, 0, room, 0};
        DrawTextA(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK | (tick ? DT_SINGLELINE : 0));
        SelectObject(dc, old);
        ReleaseDC(child, dc);
        EXPECT_LE(need.bottom, r.bottom - r.top) << "\"" << text << "\" is cut off";
        EXPECT_LE(need.right, room) << "\"" << text << "\"";
        ++measured;
    }
    EXPECT_GT(measured, 10);
}

}  // namespace
