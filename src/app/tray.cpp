// The tray icon, its tooltip and the server item of the tray menu: the program's status.
#include <cstring>

#include "app/messages.h"
#include "app/snapshot_system.h"
#include "resources/resource.h"

SnapshotSystem::NotifyIconFunction SnapshotSystem::notify_icon_call = &Shell_NotifyIconA;

HICON SnapshotSystem::tray_icon(WORD icon_id)
{
    // At the small-icon size, not LoadIconA's large one that the shell would scale the 16 x 16
    // art back down from. Shared: the system keeps one per resource and size.
    return static_cast<HICON>(LoadImageA(app_instance, MAKEINTRESOURCEA(icon_id), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                         GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

bool SnapshotSystem::set_tray_icon(WORD icon_id, const std::string& tooltip, bool add)
{
    const HICON icon = icon_id ? tray_icon(icon_id) : nullptr;
    // The shell shows this already (a refresh after a quick request, say): telling it again
    // costs a message to the shell's process for nothing.
    const std::string shown(tray_record.szTip, strnlen(tray_record.szTip, sizeof(tray_record.szTip)));
    if (icon && !add && tray_record.hIcon == icon && shown == tooltip.substr(0, sizeof(tray_record.szTip) - 1)) return true;
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
    return notify_icon_call(action, &tray_record) != FALSE;
}

void SnapshotSystem::add_tray_icon()
{
    // At logon the shell may not be ready: the add fails or times out, and "TaskbarCreated"
    // does not always follow. Without an icon the user cannot reach the program, so the add
    // is tried again every few seconds until the shell takes it.
    bool shown = set_tray_icon(IDI_STORED, "", true);
    // The shell refuses to add an icon it still has ("TaskbarCreated" without a restart).
    if (!shown) shown = notify_icon_call(NIM_MODIFY, &tray_record) != FALSE;
    tray_icon_missing = !shown;
    if (tray_icon_missing)
        SetTimer(dialog, kTrayRetryTimer, kTrayRetryMilliseconds, nullptr);
    else
        KillTimer(dialog, kTrayRetryTimer);
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
        // a refresh for it.
        xxScopedLock hold(&posted_status_lock);
        // Each refresh costs a call into the shell's process. When the main thread falls
        // behind a quick run of requests, only the last two are kept: the last viewer's
        // "sending" and what followed it. The queue, and the time the main thread needs to
        // catch up (the tray menu waits behind it), stay bounded.
        // A full queue already has a refresh posted for each of its entries.
        const bool full = posted_statuses.size() >= kPostedStatusesKept;
        if (full) posted_statuses.pop_front();
        posted_statuses.push_back(view);
        if (!full && !PostMessageA(dialog, WM_APP_UPDATE_STATUS, 0, 0)) posted_statuses.pop_back();
        return;
    }
    show_status(view);
}

void SnapshotSystem::on_status_posted()
{
    StatusView view;
    {
        xxScopedLock hold(&posted_status_lock);
        if (posted_statuses.empty()) return;
        view = std::move(posted_statuses.front());
        posted_statuses.pop_front();
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
    // While the icon is missing there is nothing to modify; the retry adds it and shows this.
    if (!tray_icon_missing) set_tray_icon(icon, tooltip, false);

    MENUITEMINFOA item = {};
    item.cbSize = sizeof(MENUITEMINFOA);
    item.fMask = MIIM_STRING | MIIM_FTYPE;
    item.fType = MFT_STRING;
    item.dwTypeData = const_cast<char*>(caption);
    SetMenuItemInfoA(GetSubMenu(tray_menu.get(), 0), ID_TRAY_SERVER, FALSE, &item);
}

void SnapshotSystem::update_auto_snapshot_check()
{
    CheckMenuItem(tray_menu.get(), ID_TRAY_AUTO_SNAPSHOT,
                  MF_BYCOMMAND | (server.get_auto_snapshot() ? MF_CHECKED : MF_UNCHECKED));
}
