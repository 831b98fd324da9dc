// The web server and snapshot engine: holds the current snapshot and serves it over TCP from a
// thread of its own. The settings accessors live here too; they forward to the registry
// primitives of the owning controller.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_steps.h"
#include "support/handles.h"
#include "support/xx_critical_section.h"
#include "support/xx_thread.h"

class SnapshotSystem;

// An accepted connection made ready for its exchange: blocking, with its time-outs, no delay.
void prepare_client_socket(SOCKET client);
// The connection's peer as dotted numbers, or empty when it cannot be read.
std::string peer_address(SOCKET client);

// Answers No to a send confirmation that the thread shows, if it shows one.
void refuse_confirmation(DWORD thread_id);

// The send time-out of an accepted connection: one piece of a reply waits no longer for a
// stalled client.
constexpr DWORD kSendTimeout = 10000;

class SnapshotServer {
public:
    SnapshotServer();
    ~SnapshotServer();
    SnapshotServer(const SnapshotServer&) = delete;
    SnapshotServer& operator=(const SnapshotServer&) = delete;

    // Stores the owner and starts a new session count.
    void set_owner(SnapshotSystem* new_owner);

    void start_server();
    void stop_server();
    // Ends the server thread and waits for it, without recording a choice in server_running:
    // what exit does, so that the next start finds the user's last choice.
    void stop_server_thread();
    // The server thread's body: listens on port_number and serves one connection at a time.
    void serverThread(void* unused);
    // Serves one accepted connection; the caller closes it. Always 0.
    int handle_client(SOCKET client);
    // The address viewers use ("http://" + host + ":" + port), or empty when no host was found.
    std::string get_shared_address();
    // Takes a snapshot of the screen (or of the given rectangle) as the current snapshot.
    void Snapshot(int32_t x, int32_t y, int32_t width, int32_t height);
    // What a snapshot takes: the given rectangle (relative to the virtual screen's corner),
    // else what the auto-snapshot settings choose (the active window's client area, the stored
    // area), else the whole virtual screen.
    CaptureArea choose_area(int32_t x, int32_t y, int32_t width, int32_t height, const RECT& virtual_screen,
                            const Pointer& pointer, HWND foreground) const;
    bool get_server_running() const;
    bool has_server_error() const;
    bool is_serving_client() const;
    std::string get_client_address() const;

    // The current snapshot: the JPEG bytes and their length, read together. A holder of the
    // bytes keeps them alive while a capture installs a newer snapshot.
    void get_snapshot(std::shared_ptr<const unsigned char[]>& data, int32_t& size) const;
    void install_snapshot(std::shared_ptr<const unsigned char[]> data, int32_t size);

    // Settings (registry value names; defaults in the definitions).
    int32_t get_port_number() const;
    void set_port_number(int32_t value);
    int32_t get_image_quality() const;
    void set_image_quality(int32_t value);
    int32_t get_auto_snapshot_mode() const;
    void set_auto_snapshot_mode(int32_t value);
    bool get_auto_snapshot() const;
    void set_auto_snapshot(bool value);
    int32_t get_auto_selection_start_x() const;
    int32_t get_auto_selection_start_y() const;
    int32_t get_auto_selection_stop_x() const;
    int32_t get_auto_selection_stop_y() const;
    void set_auto_selection_start(int32_t x, int32_t y);
    void set_auto_selection_stop(int32_t x, int32_t y);
    bool get_ask_before_sending_snapshot() const;
    void set_ask_before_sending_snapshot(bool value);
    int32_t get_copy_address_mode() const;
    void set_copy_address_mode(int32_t value);
    std::string get_manual_copy_address() const;
    void set_manual_copy_address(const std::string& value);
    std::string get_remote_service_copy_address() const;
    void set_remote_service_copy_address(const std::string& value);
    std::string get_snapshot_save_folder() const;
    void set_snapshot_save_folder(const std::string& value);
    bool get_save_auto_snapshots() const;
    void set_save_auto_snapshots(bool value);
    bool get_play_sent_sound() const;
    void set_play_sent_sound(bool value);
    bool get_play_snapshot_sound() const;
    void set_play_snapshot_sound(bool value);
    std::string get_sent_sound_path() const;
    void set_sent_sound_path(const std::string& value);
    std::string get_snapshot_sound_path() const;
    void set_snapshot_sound_path(const std::string& value);
    bool get_include_mouse_pointer() const;
    void set_include_mouse_pointer(bool value);
    int32_t get_session_counter() const;
    void set_session_counter(int32_t value);
    int32_t get_alltime_counter() const;
    void set_alltime_counter(int32_t value);
    bool get_copy_on_snap() const;
    void set_copy_on_snap(bool value);
    // Adds one to both sent counters. Serialised with set_session_counter, so neither an
    // increment nor a "clear" is lost.
    void count_sent_snapshot();

    // How the image goes out; the default is Winsock's send. Tests watch the sends through it.
    using SendFunction = int(WSAAPI*)(SOCKET, const char*, int, int);
    SendFunction send_call;
    // How the listening socket's event is selected at set-up; the default is Winsock's.
    using EventSelectFunction = int(WSAAPI*)(SOCKET, WSAEVENT, long);
    EventSelectFunction event_select_call;
    // How a copy's file is created; the default is CreateFileA. Tests take a name first through it.
    using CreateFileFunction = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    CreateFileFunction create_copy_call;

    // Gives the kept capture scratch back once no capture has used it for a few seconds: a tray
    // program spends nearly all its life idle. The main dialog's timer calls it while a scratch
    // is kept; true when nothing is kept any more and the timer can end.
    bool release_idle_scratch();

private:
    // Tells start_server that the set-up has ended, listening or failed.
    void report_setup();
    // The listening socket on port_number, ready for the accept loop; none after a failure,
    // which is logged and recorded in server_error.
    SOCKET open_listening_socket();
    // The event that signals a waiting connection; none after a failure, which is logged and
    // recorded in server_error.
    HANDLE watch_for_connections(SOCKET listen_socket);
    // Serves one connection after another until a stop is asked.
    void serve_connections(SOCKET listen_socket, HANDLE connection);
    // Saves a numbered copy of a new snapshot into the copies folder, if there is one.
    void save_copy(const unsigned char* data, int32_t size);
    // Sends the image in 1024-byte pieces; true when every byte went out.
    bool send_image(SOCKET client, const unsigned char* data, int32_t size);
    // When a reply began, how long it may take (from its start), and whether a stop was seen.
    struct ReplyClock {
        DWORD start;
        DWORD deadline;
        bool stopping;
    };
    // Whether the next piece of a reply may go out: not once its deadline has passed, which a
    // stop brings near. Near the deadline the send time-out shrinks to it.
    bool may_send_more(SOCKET client, ReplyClock& clock);

    // The kept scratch, or a new empty one while another capture has it.
    std::unique_ptr<CaptureScratch> take_scratch();
    // A scratch lent to one capture and handed back (keep_scratch) when the capture ends, on
    // every path: the bitmap is no longer selected by then.
    class ScratchLoan {
    public:
        ScratchLoan(SnapshotServer& server, int64_t largest_pixels)
            : server(server), scratch(server.take_scratch()), largest_pixels(largest_pixels)
        {
        }
        ~ScratchLoan() { server.keep_scratch(std::move(scratch), largest_pixels); }
        ScratchLoan(const ScratchLoan&) = delete;
        ScratchLoan& operator=(const ScratchLoan&) = delete;
        CaptureScratch& get() { return *scratch; }

    private:
        SnapshotServer& server;
        std::unique_ptr<CaptureScratch> scratch;
        int64_t largest_pixels;
    };
    // Keeps a capture's scratch for the next one, unless one is kept already or it has more
    // pixels than the largest that is worth keeping.
    void keep_scratch(std::unique_ptr<CaptureScratch> scratch, int64_t largest_pixels);

    xxThread thread;
    std::atomic<bool> stop_requested;
    std::atomic<bool> serving_client;
    std::atomic<bool> server_error;
    std::string client_address;  // guarded by state_lock
    SnapshotSystem* owner;
    std::shared_ptr<const unsigned char[]> snapshot_data;  // guarded by state_lock
    int32_t snapshot_size;                                   // guarded by state_lock
    std::unique_ptr<CaptureScratch> kept_scratch;            // guarded by state_lock
    DWORD last_capture = 0;                                  // guarded by state_lock: tick of the last give-back
    bool release_watched = false;                            // guarded by state_lock: the dialog's timer looks

    glintor::UniqueHandle setup_done;        // set by the server thread when its set-up ends
    glintor::UniqueHandle stop_signal;       // set with stop_requested: wakes the idle accept loop
    bool replied = false;                    // handle_client sent a reply (server thread only)
    mutable xxCriticalSection state_lock;    // held only to copy or move the members above
    mutable xxCriticalSection counter_lock;  // the counters' read-increment-write and "clear"
};
