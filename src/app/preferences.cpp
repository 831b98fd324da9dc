// The preferences dialog: every control loaded from the settings, with the enabling rules.
#include "app/snapshot_system.h"

#include <commctrl.h>

#include "app/messages.h"
#include "resources/resource.h"

namespace {

void set_check(HWND dialog, int id, bool ticked)
{
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void tick(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, BST_CHECKED, 0);
}

void enable_controls(HWND dialog, std::initializer_list<int> ids, bool enabled)
{
    for (int id : ids) EnableWindow(GetDlgItem(dialog, id), enabled);
}

}  // namespace

void SnapshotSystem::fill_preferences()
{
    if (!on_dialog_thread()) {
        // Only the main thread touches the dialog; another thread asks it to. One request in
        // the queue is enough: the refill reads every setting afresh when it runs, so a burst
        // of requests costs one refill, not one per request served.
        if (!fill_pending.exchange(true) && !PostMessageA(dialog, WM_APP_FILL_PREFERENCES, 0, 0)) fill_pending = false;
        return;
    }
    fill_pending = false;
    const int32_t quality = server.get_image_quality();
    set_trackbar_pos(IDC_QUALITY, quality);
    SetDlgItemInt(dialog, IDC_QUALITY_NUMBER, static_cast<UINT>(quality), TRUE);
    SetDlgItemInt(dialog, IDC_PORT, static_cast<UINT>(server.get_port_number()), TRUE);
    SetDlgItemTextA(dialog, IDC_SERVICE_ADDRESS, server.get_remote_service_copy_address().c_str());
    SetDlgItemTextA(dialog, IDC_MANUAL_ADDRESS, server.get_manual_copy_address().c_str());

    switch (server.get_auto_snapshot_mode()) {
    case 0: tick(dialog, IDC_MODE_ALL); break;
    case 1: tick(dialog, IDC_MODE_ACTIVE_WINDOW); break;
    case 2: tick(dialog, IDC_MODE_AREA); break;
    default: break;
    }
    switch (server.get_copy_address_mode()) {
    case 0: tick(dialog, IDC_ADDRESS_LOCAL); break;
    case 1: tick(dialog, IDC_ADDRESS_SERVICE); break;
    case 2: tick(dialog, IDC_ADDRESS_MANUAL); break;
    default: break;
    }

    set_check(dialog, IDC_COPY_ON_SNAP, server.get_copy_on_snap());
    set_check(dialog, IDC_ASK_BEFORE_SENDING, server.get_ask_before_sending_snapshot());
    const bool snapshot_sound_on = server.get_play_snapshot_sound();
    set_check(dialog, IDC_PLAY_SNAPSHOT_SOUND, snapshot_sound_on);
    enable_controls(dialog, {IDC_SNAPSHOT_SOUND_LABEL, IDC_SNAPSHOT_SOUND_PATH, IDC_SNAPSHOT_SOUND_BROWSE},
                    snapshot_sound_on);
    SetDlgItemTextA(dialog, IDC_SNAPSHOT_SOUND_PATH, server.get_snapshot_sound_path().c_str());
    const bool sent_sound_on = server.get_play_sent_sound();
    set_check(dialog, IDC_PLAY_SENT_SOUND, sent_sound_on);
    enable_controls(dialog, {IDC_SENT_SOUND_LABEL, IDC_SENT_SOUND_PATH, IDC_SENT_SOUND_BROWSE}, sent_sound_on);
    SetDlgItemTextA(dialog, IDC_SENT_SOUND_PATH, server.get_sent_sound_path().c_str());
    SetDlgItemTextA(dialog, IDC_SAVE_FOLDER, server.get_snapshot_save_folder().c_str());
    // "don't save auto snapshots" is ticked when auto snapshots are not saved.
    set_check(dialog, IDC_DONT_SAVE_AUTO, !server.get_save_auto_snapshots());
    set_check(dialog, IDC_INCLUDE_POINTER, server.get_include_mouse_pointer());
    SetDlgItemTextA(dialog, IDC_ALLTIME_COUNT, std::to_string(server.get_alltime_counter()).c_str());
    SetDlgItemTextA(dialog, IDC_SESSION_COUNT, std::to_string(server.get_session_counter()).c_str());
    update_auto_snapshot_check();
}

void SnapshotSystem::set_trackbar_pos(int control_id, int position)
{
    HWND trackbar = GetDlgItem(dialog, control_id);
    // While the user operates the trackbar it keeps the position the user gave it.
    if (GetFocus() == trackbar) return;
    SendMessageA(trackbar, TBM_SETPOS, FALSE, position - 1);
    SendMessageA(trackbar, TBM_SETPOS, TRUE, position);
    SendMessageA(trackbar, TBM_SETPOS, FALSE, position + 1);
    SendMessageA(trackbar, TBM_SETPOS, TRUE, position);
}
