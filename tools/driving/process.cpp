#include "driving/process.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/messages.h"

namespace driving {

bool wait_until(const std::function<bool()>& condition, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        // This thread's windows (a pattern on the screen, say) keep painting meanwhile.
        pump_messages();
        if (condition()) return true;
        if (GetTickCount() - start >= milliseconds) return condition();
        Sleep(5);
    }
}

void pump_messages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

std::string program_folder()
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    PathRemoveFileSpecA(path);
    return std::string(path) + "\\";
}

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
    std::string program = other && *other ? other : program_folder() + "glintor.exe";
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

HWND wait_for_confirmation(DWORD process_id, DWORD milliseconds)
{
    HWND box = nullptr;
    wait_until([&] { return (box = find_window_of(process_id, "#32770", "Quorvex")) != nullptr; }, milliseconds);
    return box;
}

void answer_confirmation(HWND box, int button)
{
    PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
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

bool choose_from_tray_menu(const GlintorProcess& glintor, int ups_from_bottom, DWORD milliseconds)
{
    PostMessageA(glintor.dialog(), kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
    HWND menu_window = wait_for_popup_menu(glintor.process_id(), milliseconds);
    if (!menu_window) return false;
    // The menu's own loop must be running before it is given keys.
    DWORD thread = GetWindowThreadProcessId(glintor.dialog(), nullptr);
    bool in_menu = wait_until(
        [&] {
            GUITHREADINFO info = {};
            info.cbSize = sizeof(info);
            return GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMENUMODE);
        },
        milliseconds);
    if (!in_menu) return false;
    // The keys go to the menu window itself: keys typed through SendInput reach the program
    // only while it is the X server's focus, which a hidden dialog does not reliably become.
    for (int i = 0; i < ups_from_bottom; ++i) post_key(menu_window, VK_UP);
    post_key(menu_window, VK_RETURN);
    return true;
}

DWORD exit_through_tray_menu(GlintorProcess& glintor, DWORD milliseconds)
{
    if (!choose_from_tray_menu(glintor, kUpsToExit, milliseconds)) return STILL_ACTIVE;
    return glintor.wait_for_exit(milliseconds);
}

}  // namespace driving
