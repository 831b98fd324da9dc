// The main dialog's procedure: every user command of the program arrives here, from the tray
// icon and its menu, the two hot keys and the preferences controls.
#include "app/snapshot_system.h"

#include <commctrl.h>

#include "app/messages.h"
#include "resources/resource.h"

namespace {

// Sent to top-level windows when the shell (re)starts: the tray icon must be added again.
const UINT taskbar_created = RegisterWindowMessageA("TaskbarCreated");

void on_init_dialog(HWND window, LPARAM lParam)
{
    active_controller = reinterpret_cast<SnapshotSystem*>(lParam);
    HWND trackbar = GetDlgItem(window, IDC_QUALITY);
    SendMessageA(trackbar, TBM_SETRANGEMIN, FALSE, 0);
    SendMessageA(trackbar, TBM_SETRANGEMAX, FALSE, 100);
    SendMessageA(trackbar, TBM_SETPAGESIZE, 0, 10);
}

}  // namespace

void SnapshotSystem::on_tray_callback(WPARAM wParam, LPARAM lParam)
{
    if (wParam != kTrayIconId) return;
    switch (LOWORD(lParam)) {
    case WM_LBUTTONDBLCLK:
        start_address_copy();
        break;
    case WM_RBUTTONUP:
        show_tray_menu();
        break;
    default:
        break;
    }
}

void SnapshotSystem::show_tray_menu()
{
    if (!tray_menu) return;
    HMENU popup = GetSubMenu(tray_menu.get(), 0);
    if (!popup) return;
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    // The menu closes when the user clicks elsewhere only if our window is in the foreground.
    SetForegroundWindow(dialog);
    UINT command = static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD, cursor.x, cursor.y, 0, dialog, nullptr));
    on_menu_command(command);
    PostMessageA(dialog, WM_NULL, 0, 0);
}

void SnapshotSystem::on_menu_command(UINT command)
{
    switch (command) {
    case ID_TRAY_PREFERENCES:
        show_preferences();
        break;
    case ID_TRAY_EXIT:
        PostQuitMessage(0);
        break;
    case ID_TRAY_SERVER:
        if (server.get_server_running())
            server.stop_server();
        else
            server.start_server();
        fill_preferences();
        update_status();
        break;
    case ID_TRAY_SNAPSHOT_ALL:
        // Once the menu has faded out: the fading item would be in the picture.
        SetTimer(dialog, kMenuSnapshotTimer, kMenuFadeMilliseconds, nullptr);
        break;
    case ID_TRAY_SNAPSHOT_AREA:
        snapshot_area();
        break;
    case ID_TRAY_AUTO_SNAPSHOT:
        server.set_auto_snapshot(!server.get_auto_snapshot());
        update_auto_snapshot_check();
        update_status();
        break;
    case ID_TRAY_COPY_ADDRESS:
        start_address_copy();
        break;
    default:
        break;
    }
}

void SnapshotSystem::show_preferences()
{
    // Centred once, at start: after a monitor has gone (undocking) it could open off every one.
    SendMessageA(dialog, DM_REPOSITION, 0, 0);
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
}

void SnapshotSystem::on_timer(UINT_PTR timer)
{
    if (timer == kMenuSnapshotTimer) {
        KillTimer(dialog, kMenuSnapshotTimer);
        snapshot_all();
        return;
    }
    if (timer == kScratchReleaseTimer) {
        if (server.release_idle_scratch()) KillTimer(dialog, kScratchReleaseTimer);
        return;
    }
    if (timer != kTrayRetryTimer) return;
    add_tray_icon();
    if (!tray_icon_missing) update_status();
}

bool SnapshotSystem::watch_kept_scratch()
{
    if (!dialog) return false;
    if (!on_dialog_thread()) return PostMessageA(dialog, WM_APP_SCRATCH_KEPT, 0, 0) != FALSE;
    return SetTimer(dialog, kScratchReleaseTimer, kScratchCheckMilliseconds, nullptr) != 0;
}

void SnapshotSystem::drop_focus()
{
    // Hidden, the dialog needs no keyboard focus; a focused edit would blink its caret twice
    // a second for nobody, and under Wine each blink wakes the program and asks the X server.
    // Shown again, the dialog gives the focus to its first control.
    SetFocus(nullptr);
}

void SnapshotSystem::on_shell_restarted()
{
    add_tray_icon();
    update_status();
}

void SnapshotSystem::on_hot_key(int id)
{
    // The identifiers are negative; only the low 32 bits of wParam carry them.
    if (id == kHotKeySnapshotAll) snapshot_all();
    if (id == kHotKeySnapshotArea) snapshot_area();
}

INT_PTR CALLBACK main_dialog_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        on_init_dialog(window, lParam);
        return TRUE;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (wParam == VK_ESCAPE) ShowWindow(window, SW_HIDE);
        return TRUE;
    case WM_CLOSE:
        ShowWindow(window, SW_HIDE);
        return TRUE;
    case WM_SHOWWINDOW:
        if (!wParam && active_controller) active_controller->drop_focus();
        return FALSE;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (active_controller) active_controller->on_trackbar_moved();
        return TRUE;
    case WM_COMMAND:
        if (active_controller) active_controller->on_command(LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    case WM_HOTKEY:
        if (active_controller) active_controller->on_hot_key(static_cast<int>(static_cast<uint32_t>(wParam)));
        return TRUE;
    case kTrayCallbackMessage:
        if (active_controller) active_controller->on_tray_callback(wParam, lParam);
        return FALSE;
    case WM_APP_UPDATE_STATUS:
        if (active_controller) active_controller->on_status_posted();
        return TRUE;
    case WM_APP_FILL_PREFERENCES:
        if (active_controller) active_controller->fill_preferences();
        return TRUE;
    case WM_APP_SHOW_PREFERENCES:
        if (active_controller) active_controller->show_preferences();
        return TRUE;
    case WM_APP_SCRATCH_KEPT:
        if (active_controller) active_controller->watch_kept_scratch();
        return TRUE;
    case WM_TIMER:
        if (active_controller) active_controller->on_timer(wParam);
        return TRUE;
    default:
        if (message == taskbar_created && taskbar_created != 0 && active_controller) {
            active_controller->on_shell_restarted();
            return TRUE;
        }
        return FALSE;
    }
}
