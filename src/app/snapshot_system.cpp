#include "app/snapshot_system.h"

#include "app/messages.h"
#include "resources/resource.h"

HINSTANCE app_instance = nullptr;
SnapshotSystem* active_controller = nullptr;

namespace {
// How long exit waits for address copies still running; each is bounded by its network
// time-outs, so this is only a last guard.
constexpr DWORD kWorkerExitWait = 30000;
}  // namespace

SnapshotSystem::SnapshotSystem()
    : dialog(nullptr),
      selection_x1(0),
      selection_y1(0),
      selection_x2(0),
      selection_y2(0),
      tray_menu(nullptr),
      tray_record()
{
    server.set_owner(this);
    dialog = CreateDialogParamA(app_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, main_dialog_proc,
                                reinterpret_cast<LPARAM>(this));
    tray_menu = LoadMenuA(app_instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    RegisterHotKey(dialog, kHotKeySnapshotArea, MOD_CONTROL, VK_SNAPSHOT);
    RegisterHotKey(dialog, kHotKeySnapshotAll, MOD_SHIFT, VK_SNAPSHOT);
    if (server.get_server_running()) server.start_server();
    fill_preferences();
    set_tray_icon(IDI_STORED, "", true);
    update_status();
}

SnapshotSystem::~SnapshotSystem()
{
    UnregisterHotKey(dialog, kHotKeySnapshotArea);
    UnregisterHotKey(dialog, kHotKeySnapshotAll);
    set_tray_icon(0, "", false);
    // Address copies use the dialog and the server: let them finish first.
    worker.wait_for_runs(kWorkerExitWait);
    if (tray_menu) DestroyMenu(tray_menu);
    if (dialog) DestroyWindow(dialog);
    // The server stops its thread and waits for it as it is destroyed; then the worker goes.
}

void SnapshotSystem::start_address_copy()
{
    xxCallback<void*, SnapshotSystem> task(this, &SnapshotSystem::copy_address_to_clipboard);
    worker.set_callback(task);
    worker.start();
}
