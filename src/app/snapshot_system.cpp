#include "app/snapshot_system.h"

#include "app/messages.h"
#include "resources/resource.h"

HINSTANCE app_instance = nullptr;
SnapshotSystem* active_controller = nullptr;

namespace {
// How long exit waits for address copies still running: longer than the network time-outs
// that bound the connection to the address service and its reply.
constexpr DWORD kWorkerExitWait = 12000;
// The exit code when exit ended the process over a copy still running: not a clean exit.
constexpr UINT kAbandonedCopyExitCode = 2;
}  // namespace

SnapshotSystem::SnapshotSystem()
    : dialog(nullptr),
      selection_x1(0),
      selection_y1(0),
      selection_x2(0),
      selection_y2(0),
      tray_record()
{
    server.set_owner(this);
    dialog = CreateDialogParamA(app_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, main_dialog_proc,
                                reinterpret_cast<LPARAM>(this));
    owned_dialog.reset(dialog);
    tray_menu.reset(LoadMenuA(app_instance, MAKEINTRESOURCEA(IDR_TRAYMENU)));
    RegisterHotKey(dialog, kHotKeySnapshotArea, MOD_CONTROL, VK_SNAPSHOT);
    RegisterHotKey(dialog, kHotKeySnapshotAll, MOD_SHIFT, VK_SNAPSHOT);
    if (server.get_server_running()) server.start_server();
    fill_preferences();
    // Only now: the port field's focus loss writes the port into it, and a filled port field
    // tells an onlooker that start-up is over.
    drop_focus();
    add_tray_icon();
    update_status();
}

SnapshotSystem::~SnapshotSystem()
{
    UnregisterHotKey(dialog, kHotKeySnapshotArea);
    UnregisterHotKey(dialog, kHotKeySnapshotAll);
    KillTimer(dialog, kTrayRetryTimer);
    KillTimer(dialog, kScratchReleaseTimer);
    KillTimer(dialog, kMenuSnapshotTimer);
    set_tray_icon(0, "", false);
    // A request still being served uses this object (the status and refills it posts to the
    // dialog): the server thread ends before anything here goes. server_running is not
    // written, so the next start finds the user's last choice.
    server.stop_server_thread();
    // Address copies use the dialog and the server. A name look-up or another program that
    // holds the clipboard can keep one beyond its network time-outs: rather than destroy
    // what it still uses, the process ends here, after the shutdown the user sees.
    if (!worker.wait_for_runs(kWorkerExitWait)) ExitProcess(kAbandonedCopyExitCode);
}

void SnapshotSystem::start_address_copy()
{
    xxCallback<void*, SnapshotSystem> task(this, &SnapshotSystem::copy_address_to_clipboard);
    worker.set_callback(task);
    worker.start();
}
