// The tray icon, its tooltip and the server item of the tray menu: the program's status.
#include <cstring>

#include "app/messages.h"
#include "app/snapshot_system.h"
#include "resources/resource.h"

void SnapshotSystem::set_tray_icon(WORD icon_id, const std::string& tooltip, bool add)
{
    const HICON icon = icon_id ? LoadIconA(app_instance, MAKEINTRESOURCEA(icon_id)) : nullptr;
    // The shell shows this already (a refresh after a quick request, say): telling it again
    // costs a message to the shell's process for nothing.
    const std::string shown(tray_record.szTip, strnlen(tray_record.szTip, sizeof(tray_record.szTip)));
    if (icon && !add && tray_record.hIcon == icon && shown == tooltip.substr(0, sizeof(tray_record.szTip) - 1)) return;
    tray_record = {};
    tray_record.cbSize = sizeof(NOTIFYICONDATAA);
    tray_record.hWnd = dialog;
    tray_record.uID = kTrayIconId;
    tray_record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_record.uCallbackMessage = kTrayCallbackMessage;
    tray_record.hIcon = icon;
    // szTip holds 127 characters and the terminator; longer texts are cut.
    strncpy(tray_record.szTip, tooltip.c_str(), sizeof(tray_record.szTip) - 1);
    DWORD action = icon_id == 0 ? NIM_DELETE : (add ? NIM_ADD : NIM_MODIFY);
    Shell_NotifyIconA(action, &tray_record);
}

bool SnapshotSystem::on_dialog_thread() const
{
    return !dialog || GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId();
}

void SnapshotSystem::update_status()
{
    StatusView view = {server.is_serving_client(), server.get_client_address()};
    if (!on_dialog_thread()) {
        // The server thread never waits for the main thread: it leaves what it saw and posts
        // a refresh. Under load one queued refresh shows the latest state, instead of a queue
        // that grows by two refreshes for every request served.
        xxScopedLock hold(&posted_status_lock);
        posted_status = view;
        if (!status_posted) status_posted = PostMessageA(dialog, WM_APP_UPDATE_STATUS, 0, 0) != FALSE;
        return;
    }
    show_status(view);
}

void SnapshotSystem::on_status_posted()
{
    StatusView view;
    {
        xxScopedLock hold(&posted_status_lock);
        view = posted_status;
        status_posted = false;
    }
    show_status(view);
}

void SnapshotSystem::show_status(const StatusView& view)
{
    WORD icon = IDI_DISABLED;
    std::string tooltip;
    const char* caption;
    if (server.get_server_running()) {
        if (view.serving) {
            icon = IDI_SENDING;
            tooltip = "Glintor: sending screenshot to " + view.client_address;
        } else {
            tooltip = "Glintor: waiting for connection";
            bool automatic = server.get_auto_snapshot();
            bool asking = server.get_ask_before_sending_snapshot();
            icon = automatic ? (asking ? IDI_AUTO_ASK : IDI_AUTO) : (asking ? IDI_STORED_ASK : IDI_STORED);
        }
        caption = "disable webserver";
    } else {
        tooltip = server.has_server_error() ? "Glintor: error initialing weserver. Try another port."
                                            : "Glintor: webserver disabled";
        caption = "enable webserver";
    }
    set_tray_icon(icon, tooltip, false);

    MENUITEMINFOA item = {};
    item.cbSize = sizeof(MENUITEMINFOA);
    item.fMask = MIIM_STRING | MIIM_FTYPE;
    item.fType = MFT_STRING;
    item.dwTypeData = const_cast<char*>(caption);
    SetMenuItemInfoA(GetSubMenu(tray_menu, 0), ID_TRAY_SERVER, FALSE, &item);
}

void SnapshotSystem::update_auto_snapshot_check()
{
    CheckMenuItem(tray_menu, ID_TRAY_AUTO_SNAPSHOT,
                  MF_BYCOMMAND | (server.get_auto_snapshot() ? MF_CHECKED : MF_UNCHECKED));
}
