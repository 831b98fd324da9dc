#include "e2e/glintor_process.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/http_client.h"
#include "common/test_helpers.h"

using testing_helpers::thread_count;
using testing_helpers::wait_until;

namespace e2e {

GlintorProcess::~GlintorProcess()
{
    if (handle) {
        if (running()) {
            TerminateProcess(handle, 99);
            WaitForSingleObject(handle, 5000);
        }
        CloseHandle(handle);
    }
}

bool GlintorProcess::start(DWORD milliseconds)
{
    // GLINTOR_PROGRAM names another build of the program (the release's 32-bit one, say).
    const char* other = std::getenv("GLINTOR_PROGRAM");
    std::string program = other && *other ? other : testing_helpers::program_folder() + "glintor.exe";
    std::string command = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    handle = info.hProcess;
    id = info.dwProcessId;
    // Start-up is over when the message loop first waits for input.
    WaitForInputIdle(handle, milliseconds);
    wait_until(
        [this] {
            main_dialog = find_window_of(id, "#32770", kDialogCaption);
            return main_dialog != nullptr || !running();
        },
        milliseconds);
    if (!main_dialog) {
        std::printf("glintor.exe did not show its dialog (running: %d)\n", running());
        return false;
    }
    // The dialog exists early in start-up, before its controls do; the port field is filled
    // only after the hot keys are registered and the server has started, just before the tray
    // icon is added.
    auto port_text = [this] { return control_text(GetDlgItem(main_dialog, 1001)); };
    wait_until([&] { return !port_text().empty() || !running(); }, milliseconds);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(main_dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, milliseconds, &ignored);
    const bool started = running() && !port_text().empty();
    if (!started) std::printf("glintor.exe did not finish its start-up (running: %d)\n", running());
    return started;
}

bool GlintorProcess::attach()
{
    main_dialog = FindWindowA("#32770", kDialogCaption);
    if (!main_dialog) return false;
    GetWindowThreadProcessId(main_dialog, &id);
    handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id);
    return handle != nullptr;
}

std::string linux_process_folder()
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return std::string();
    std::string found;
    do {
        const std::string name = entry.cFileName;
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string command_line = testing_helpers::read_file("Z:\\proc\\" + name + "\\cmdline");
        if (command_line.find("glintor.exe") != std::string::npos && command_line.find("e2e_") == std::string::npos)
            found = "Z:\\proc\\" + name + "\\";
    } while (found.empty() && FindNextFileA(find, &entry));
    FindClose(find);
    return found;
}

bool wait_for_copy(const GlintorProcess& glintor, int threads)
{
    wait_until([&] { return thread_count(glintor.process_id()) > threads; }, 1000);
    return wait_until([&] { return thread_count(glintor.process_id()) <= threads; }, 10000);
}

std::string control_text(HWND control)
{
    char text[512] = {0};
    DWORD_PTR copied = 0;
    // WM_GETTEXT is carried across processes; GetWindowText would not ask the control.
    if (!SendMessageTimeoutA(control, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             5000, &copied))
        return std::string();
    return std::string(text, strnlen(text, sizeof(text)));
}

DWORD GlintorProcess::wait_for_exit(DWORD milliseconds)
{
    if (WaitForSingleObject(handle, milliseconds) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = 0xdeadbeef;
    GetExitCodeProcess(handle, &code);
    return code;
}

bool GlintorProcess::running() const
{
    return handle && WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
}

namespace {
struct WindowSearch {
    DWORD process_id;
    const char* class_name;
    const char* caption;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process_id) return TRUE;
    char text[256] = {0};
    if (search->class_name) {
        GetClassNameA(window, text, sizeof(text));
        if (lstrcmpA(text, search->class_name) != 0) return TRUE;
    }
    if (search->caption) {
        GetWindowTextA(window, text, sizeof(text));
        if (lstrcmpA(text, search->caption) != 0) return TRUE;
    }
    search->found = window;
    return FALSE;
}
}  // namespace

HWND find_window_of(DWORD process_id, const char* class_name, const char* caption)
{
    WindowSearch search = {process_id, class_name, caption, nullptr};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND wait_for_popup_menu(DWORD process_id, DWORD milliseconds)
{
    HWND menu = nullptr;
    wait_until(
        [&] {
            menu = find_window_of(process_id, "#32768", nullptr);
            return menu != nullptr && IsWindowVisible(menu);
        },
        milliseconds);
    return menu && IsWindowVisible(menu) ? menu : nullptr;
}

void press_keys(std::initializer_list<WORD> keys)
{
    for (WORD key : keys) {
        INPUT input[2] = {};
        input[0].type = INPUT_KEYBOARD;
        input[0].ki.wVk = key;
        input[1] = input[0];
        input[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, input, sizeof(INPUT));
        Sleep(30);
    }
}

bool set_control_text(HWND control, const std::string& text)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                               &result) != 0;
}

bool click_button(HWND button)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

bool is_checked(HWND button)
{
    DWORD_PTR state = 0;
    SendMessageTimeoutA(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return state == BST_CHECKED;
}

void press_chord(WORD modifier, WORD key)
{
    INPUT input[4] = {};
    for (auto& i : input) i.type = INPUT_KEYBOARD;
    input[0].ki.wVk = modifier;
    input[1].ki.wVk = key;
    input[2].ki.wVk = key;
    input[2].ki.dwFlags = KEYEVENTF_KEYUP;
    input[3].ki.wVk = modifier;
    input[3].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(4, input, sizeof(INPUT));
}

void mouse_to(int x, int y)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((x * 65535.0) / (GetSystemMetrics(SM_CXSCREEN) - 1) + 0.5);
    input.mi.dy = static_cast<LONG>((y * 65535.0) / (GetSystemMetrics(SM_CYSCREEN) - 1) + 0.5);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(INPUT));
    // The move reaches the display asynchronously; a button pressed before it lands would be
    // pressed at the old place.
    wait_until(
        [&] {
            POINT at;
            return GetCursorPos(&at) && at.x == x && at.y == y;
        },
        1000);
}

void mouse_button(bool down)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof(INPUT));
}

void drag(POINT from, POINT to)
{
    mouse_to(from.x, from.y);
    Sleep(50);
    mouse_button(true);
    Sleep(50);
    for (int step = 1; step <= 10; ++step) {
        mouse_to(from.x + (to.x - from.x) * step / 10, from.y + (to.y - from.y) * step / 10);
        Sleep(20);
    }
    mouse_button(false);
}

HWND wait_for_overlay(DWORD process_id, DWORD milliseconds)
{
    HWND overlay = nullptr;
    wait_until(
        [&] {
            overlay = find_window_of(process_id, "#32770", "");
            RECT r = {0, 0, 0, 0};
            if (overlay) GetWindowRect(overlay, &r);
            return overlay && IsWindowVisible(overlay) && r.right - r.left == GetSystemMetrics(SM_CXVIRTUALSCREEN) &&
                   r.bottom - r.top == GetSystemMetrics(SM_CYVIRTUALSCREEN);
        },
        milliseconds);
    return overlay && IsWindowVisible(overlay) ? overlay : nullptr;
}

void post_key(HWND window, WORD key)
{
    UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    PostMessageA(window, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageA(window, WM_KEYUP, key, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

bool choose_from_tray_menu(const GlintorProcess& glintor, int ups_from_bottom)
{
    PostMessageA(glintor.dialog(), kTrayCallback, kTrayIconId, WM_RBUTTONUP);
    HWND menu_window = wait_for_popup_menu(glintor.process_id(), 5000);
    if (!menu_window) return false;
    // The menu's own loop must be running before it is given keys.
    DWORD thread = GetWindowThreadProcessId(glintor.dialog(), nullptr);
    bool in_menu = wait_until(
        [&] {
            GUITHREADINFO info = {};
            info.cbSize = sizeof(info);
            return GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMENUMODE);
        },
        5000);
    if (!in_menu) return false;
    // The keys go to the menu window itself: keys typed through SendInput reach the program
    // only while it is the X server's focus, which a hidden dialog does not reliably become.
    for (int i = 0; i < ups_from_bottom; ++i) post_key(menu_window, VK_UP);
    post_key(menu_window, VK_RETURN);
    return true;
}

DWORD exit_through_tray_menu(GlintorProcess& glintor)
{
    if (!choose_from_tray_menu(glintor, kUpsToExit)) return STILL_ACTIVE;
    return glintor.wait_for_exit(15000);
}

int quiet_settings_on_free_port()
{
    testing_helpers::clear_settings();
    const int port = testing_helpers::free_port();
    testing_helpers::set_raw_dword("port_number", static_cast<DWORD>(port));
    testing_helpers::set_raw_dword("play_sent_sound", 0);
    testing_helpers::set_raw_dword("play_snapshot_sound", 0);
    return port;
}

}  // namespace e2e
