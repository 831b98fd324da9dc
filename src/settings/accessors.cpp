// The typed settings: each getter holds the registry value name and its default, each setter
// writes the value at once. The registry is the only store.
#include "app/snapshot_system.h"
#include "server/snapshot_server.h"

namespace {
// Host of a public service that answers a GET of "/" with the caller's address and nothing else.
const char* const kDefaultAddressService = "api.ipify.org";
// Placeholder shown until the user types the host name viewers should use.
const char* const kDefaultManualAddress = "my.host.name";
}  // namespace

int32_t SnapshotServer::get_port_number() const { return owner->read_dword("port_number", 2000); }
int32_t SnapshotServer::get_image_quality() const { return owner->read_dword("image_quality", 60); }
int32_t SnapshotServer::get_auto_snapshot_mode() const { return owner->read_dword("auto_snapshot_mode", 0); }
bool SnapshotServer::get_auto_snapshot() const { return owner->read_bool("auto_snapshot", true); }
int32_t SnapshotServer::get_auto_selection_start_x() const { return owner->read_dword("auto_selection_start_x", 0); }
int32_t SnapshotServer::get_auto_selection_start_y() const { return owner->read_dword("auto_selection_start_y", 0); }
int32_t SnapshotServer::get_auto_selection_stop_x() const { return owner->read_dword("auto_selection_stop_x", 0); }
int32_t SnapshotServer::get_auto_selection_stop_y() const { return owner->read_dword("auto_selection_stop_y", 0); }
bool SnapshotServer::get_ask_before_sending_snapshot() const
{
    return owner->read_bool("ask_before_sending_snapshot", false);
}
int32_t SnapshotServer::get_copy_address_mode() const { return owner->read_dword("copy_address_mode", 0); }
std::string SnapshotServer::get_manual_copy_address() const
{
    return owner->read_string("manual_copy_address", kDefaultManualAddress);
}
std::string SnapshotServer::get_remote_service_copy_address() const
{
    return owner->read_string("remote_service_copy_address", kDefaultAddressService);
}
std::string SnapshotServer::get_snapshot_save_folder() const { return owner->read_string("snapshot_save_folder", ""); }
bool SnapshotServer::get_save_auto_snapshots() const { return owner->read_bool("save_auto_snapshots", true); }
bool SnapshotServer::get_play_sent_sound() const { return owner->read_bool("play_sent_sound", true); }
bool SnapshotServer::get_play_snapshot_sound() const { return owner->read_bool("play_snapshot_sound", true); }
std::string SnapshotServer::get_sent_sound_path() const { return owner->read_string("sent_sound_path", ""); }
std::string SnapshotServer::get_snapshot_sound_path() const { return owner->read_string("snapshot_sound_path", ""); }
bool SnapshotServer::get_include_mouse_pointer() const { return owner->read_bool("include_mouse_pointer", true); }
int32_t SnapshotServer::get_session_counter() const { return owner->read_dword("session_counter", 0); }
int32_t SnapshotServer::get_alltime_counter() const { return owner->read_dword("alltime_counter", 0); }
bool SnapshotServer::get_copy_on_snap() const { return owner->read_bool("copy_on_snap", true); }

void SnapshotServer::set_image_quality(int32_t value) { owner->write_dword("image_quality", value); }
void SnapshotServer::set_auto_snapshot_mode(int32_t value) { owner->write_dword("auto_snapshot_mode", value); }
void SnapshotServer::set_auto_snapshot(bool value) { owner->write_bool("auto_snapshot", value); }
void SnapshotServer::set_ask_before_sending_snapshot(bool value)
{
    owner->write_bool("ask_before_sending_snapshot", value);
}
void SnapshotServer::set_copy_address_mode(int32_t value) { owner->write_dword("copy_address_mode", value); }
void SnapshotServer::set_manual_copy_address(const std::string& value)
{
    owner->write_string("manual_copy_address", value);
}
void SnapshotServer::set_remote_service_copy_address(const std::string& value)
{
    owner->write_string("remote_service_copy_address", value);
}
void SnapshotServer::set_snapshot_save_folder(const std::string& value)
{
    owner->write_string("snapshot_save_folder", value);
}
void SnapshotServer::set_save_auto_snapshots(bool value) { owner->write_bool("save_auto_snapshots", value); }
void SnapshotServer::set_play_sent_sound(bool value) { owner->write_bool("play_sent_sound", value); }
void SnapshotServer::set_play_snapshot_sound(bool value) { owner->write_bool("play_snapshot_sound", value); }
void SnapshotServer::set_sent_sound_path(const std::string& value) { owner->write_string("sent_sound_path", value); }
void SnapshotServer::set_snapshot_sound_path(const std::string& value)
{
    owner->write_string("snapshot_sound_path", value);
}
void SnapshotServer::set_include_mouse_pointer(bool value) { owner->write_bool("include_mouse_pointer", value); }
void SnapshotServer::set_alltime_counter(int32_t value) { owner->write_dword("alltime_counter", value); }
void SnapshotServer::set_copy_on_snap(bool value) { owner->write_bool("copy_on_snap", value); }

void SnapshotServer::set_auto_selection_start(int32_t x, int32_t y)
{
    owner->write_dword("auto_selection_start_x", x);
    owner->write_dword("auto_selection_start_y", y);
}

void SnapshotServer::set_auto_selection_stop(int32_t x, int32_t y)
{
    owner->write_dword("auto_selection_stop_x", x);
    owner->write_dword("auto_selection_stop_y", y);
}

void SnapshotServer::set_session_counter(int32_t value)
{
    xxScopedLock hold(&counter_lock);
    owner->write_dword("session_counter", value);
}

void SnapshotServer::count_sent_snapshot()
{
    // The lock is re-entrant, so set_session_counter may take it again inside.
    xxScopedLock hold(&counter_lock);
    set_session_counter(get_session_counter() + 1);
    set_alltime_counter(get_alltime_counter() + 1);
}

void SnapshotServer::set_port_number(int32_t value)
{
    if (get_port_number() == value) return;
    owner->write_dword("port_number", value);
    if (get_server_running()) {
        stop_server();
        start_server();
    }
}
