#include "e2e/glintor_process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/http_client.h"
#include "common/test_helpers.h"

using testing_helpers::thread_ids;
using testing_helpers::wait_until;

namespace e2e {

std::string linux_process_folder()
{
    return testing_helpers::linux_folder_of("glintor.exe", "e2e_");
}

bool wait_for_copy(const GlintorProcess& glintor, const std::set<DWORD>& before)
{
    const auto newcomers = [&] {
        const std::set<DWORD> now = thread_ids(glintor.process_id());
        return std::any_of(now.begin(), now.end(), [&](DWORD id) { return before.count(id) == 0; });
    };
    // Not asked of a copy that may be over already; callers whose service saw it check that.
    wait_until(newcomers, 1000);
    return wait_until([&] { return !newcomers(); }, 10000);
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
