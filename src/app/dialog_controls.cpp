// What each preferences control does: every change is stored at once.
#include "app/snapshot_system.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {
// Paths and addresses are read with this limit, so at most 254 characters are stored.
constexpr int kTextLimit = 255;
constexpr int kPortTextLimit = 50;
const char* const kHelpPage = "help.html";

// Puts the current folder back as it was found when it goes out of scope. The choosers may move
// it to the folder the user browsed to (OFN_NOCHANGEDIR "is ineffective for GetOpenFileName"),
// and the program would then hold that folder for the rest of its run: it could not be deleted,
// nor its drive ejected, and copies to a relative folder would land there.
class CurrentFolderKept {
public:
    CurrentFolderKept() : folder(GetCurrentDirectoryW(0, nullptr), L'\0')
    {
        if (folder.empty() || GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), &folder[0]) == 0) folder.clear();
    }
    ~CurrentFolderKept()
    {
        if (!folder.empty()) SetCurrentDirectoryW(folder.c_str());
    }
    CurrentFolderKept(const CurrentFolderKept&) = delete;
    CurrentFolderKept& operator=(const CurrentFolderKept&) = delete;

private:
    std::wstring folder;
};
}  // namespace

std::string SnapshotSystem::control_text(int control, int limit)
{
    std::vector<char> text(static_cast<size_t>(limit), '\0');
    GetDlgItemTextA(dialog, control, text.data(), limit);
    return std::string(text.data());
}

bool SnapshotSystem::is_ticked(int control)
{
    return SendDlgItemMessageA(dialog, control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SnapshotSystem::on_trackbar_moved()
{
    const int position = static_cast<int>(SendDlgItemMessageA(dialog, IDC_QUALITY, TBM_GETPOS, 0, 0));
    SetDlgItemInt(dialog, IDC_QUALITY_NUMBER, static_cast<UINT>(position), TRUE);
    server.set_image_quality(position);
}

void SnapshotSystem::on_port_changed()
{
    const std::string text = control_text(IDC_PORT, kPortTextLimit);
    if (text.empty()) return;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    // Truncated toward zero, the value must be a port; text the conversion left over, a
    // negative value or one past 65535 is not stored (the edit shows the port again later).
    if (*end != '\0' || !(number > -1.0 && number < 65536.0)) return;
    server.set_port_number(static_cast<int32_t>(number));
    update_status();
}

void SnapshotSystem::choose_sound_file(bool sent)
{
    static const char filter[] = "Wave Sound (*.wav)\0*.wav\0";  // the literal adds the final NUL
    char file[256] = {0};
    const std::string current = sent ? server.get_sent_sound_path() : server.get_snapshot_sound_path();
    strncpy(file, current.c_str(), sizeof(file) - 1);
    OPENFILENAMEA chooser = {};
    chooser.lStructSize = sizeof(chooser);
    chooser.hwndOwner = dialog;
    chooser.hInstance = app_instance;
    chooser.lpstrFilter = filter;
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = file;
    chooser.nMaxFile = sizeof(file);
    chooser.lpstrTitle = "select Sound File";
    chooser.lpstrDefExt = "wav";
    chooser.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_LONGNAMES | OFN_ENABLESIZING;
    {
        CurrentFolderKept kept;
        if (!GetOpenFileNameA(&chooser)) return;
    }
    SetDlgItemTextA(dialog, sent ? IDC_SENT_SOUND_PATH : IDC_SNAPSHOT_SOUND_PATH, file);
    if (sent)
        server.set_sent_sound_path(file);
    else
        server.set_snapshot_sound_path(file);
}

void SnapshotSystem::choose_save_folder()
{
    BROWSEINFOA browse = {};
    browse.hwndOwner = dialog;
    browse.lpszTitle = "select a folder to save to";
    browse.ulFlags = BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST item = nullptr;
    {
        CurrentFolderKept kept;
        item = SHBrowseForFolderA(&browse);
    }
    if (!item) return;
    char path[MAX_PATH] = {0};
    if (SHGetPathFromIDListA(item, path)) {
        server.set_snapshot_save_folder(path);
        fill_preferences();
    }
    IMalloc* shell_allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shell_allocator))) {
        shell_allocator->Free(item);
        shell_allocator->Release();
    }
}

void SnapshotSystem::choose_auto_area()
{
    // An overlay open already (an area snapshot) owns the selection: leave it alone.
    if (overlay_is_open()) return;
    selection_x1 = server.get_auto_selection_start_x();
    selection_y1 = server.get_auto_selection_start_y();
    selection_x2 = server.get_auto_selection_stop_x();
    selection_y2 = server.get_auto_selection_stop_y();
    if (!run_overlay()) return;
    const RECT area = normalised_selection();
    if (area.left == area.right || area.top == area.bottom) return;
    server.set_auto_selection_start(area.left, area.top);
    server.set_auto_selection_stop(area.right, area.bottom);
    // Ticks "snapshot area", whose own notification stores the mode.
    SendDlgItemMessageA(dialog, IDC_MODE_AREA, BM_CLICK, 0, 0);
}

std::string SnapshotSystem::help_page()
{
    // The help page ships beside the program.
    char folder[MAX_PATH] = {0};
    GetModuleFileNameA(app_instance, folder, MAX_PATH);
    char* last_separator = strrchr(folder, '\\');
    if (last_separator) last_separator[1] = '\0';
    return std::string(folder) + kHelpPage;
}

void SnapshotSystem::open_help()
{
    ShellExecuteA(dialog, nullptr, help_page().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void SnapshotSystem::on_command(int control, int notification)
{
    if (control == IDC_PORT)
        on_port_notified(notification);
    else if (notification == EN_CHANGE || notification == EN_KILLFOCUS)
        on_text_changed(control);
    else if (notification == BN_CLICKED && !on_tick_clicked(control))
        on_button_clicked(control);
}

void SnapshotSystem::on_port_notified(int notification)
{
    if (notification == EN_CHANGE) on_port_changed();
    if (notification == EN_KILLFOCUS) SetDlgItemInt(dialog, IDC_PORT, static_cast<UINT>(server.get_port_number()), TRUE);
}

void SnapshotSystem::on_text_changed(int control)
{
    void (SnapshotServer::*store)(const std::string&) = nullptr;
    switch (control) {
    case IDC_SNAPSHOT_SOUND_PATH: store = &SnapshotServer::set_snapshot_sound_path; break;
    case IDC_SENT_SOUND_PATH: store = &SnapshotServer::set_sent_sound_path; break;
    case IDC_SAVE_FOLDER: store = &SnapshotServer::set_snapshot_save_folder; break;
    case IDC_SERVICE_ADDRESS: store = &SnapshotServer::set_remote_service_copy_address; break;
    case IDC_MANUAL_ADDRESS: store = &SnapshotServer::set_manual_copy_address; break;
    default: return;
    }
    (server.*store)(control_text(control, kTextLimit));
}

bool SnapshotSystem::on_tick_clicked(int control)
{
    const bool ticked = is_ticked(control);
    switch (control) {
    case IDC_ASK_BEFORE_SENDING:
        server.set_ask_before_sending_snapshot(ticked);
        update_status();
        return true;
    case IDC_INCLUDE_POINTER:
        server.set_include_mouse_pointer(ticked);
        return true;
    case IDC_DONT_SAVE_AUTO:
        // Ticked means "don't save": the setting is its opposite.
        server.set_save_auto_snapshots(!ticked);
        return true;
    case IDC_PLAY_SNAPSHOT_SOUND: server.set_play_snapshot_sound(ticked); break;
    case IDC_PLAY_SENT_SOUND: server.set_play_sent_sound(ticked); break;
    case IDC_COPY_ON_SNAP: server.set_copy_on_snap(ticked); break;
    default: return false;
    }
    fill_preferences();
    return true;
}

void SnapshotSystem::on_button_clicked(int control)
{
    switch (control) {
    case IDC_SNAPSHOT_SOUND_BROWSE: choose_sound_file(false); break;
    case IDC_SENT_SOUND_BROWSE: choose_sound_file(true); break;
    case IDC_SAVE_FOLDER_BROWSE: choose_save_folder(); break;
    case IDC_MODE_AREA_SELECT: choose_auto_area(); break;
    case IDC_HELP_BUTTON: open_help(); break;
    case IDC_CLEAR:
        server.set_session_counter(0);
        fill_preferences();
        break;
    case IDC_ADDRESS_LOCAL:
    case IDC_ADDRESS_SERVICE:
    case IDC_ADDRESS_MANUAL:
        if (is_ticked(IDC_ADDRESS_LOCAL)) server.set_copy_address_mode(0);
        if (is_ticked(IDC_ADDRESS_SERVICE)) server.set_copy_address_mode(1);
        if (is_ticked(IDC_ADDRESS_MANUAL)) server.set_copy_address_mode(2);
        break;
    case IDC_MODE_ALL:
    case IDC_MODE_ACTIVE_WINDOW:
    case IDC_MODE_AREA:
        if (is_ticked(IDC_MODE_ALL)) server.set_auto_snapshot_mode(0);
        if (is_ticked(IDC_MODE_ACTIVE_WINDOW)) server.set_auto_snapshot_mode(1);
        if (is_ticked(IDC_MODE_AREA)) server.set_auto_snapshot_mode(2);
        break;
    default: break;
    }
}
