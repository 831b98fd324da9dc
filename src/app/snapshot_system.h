// The application controller: owns the hidden main dialog, the tray menu, the address-copy
// worker, the area selection and the web server for the whole run.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "server/snapshot_server.h"
#include "support/xx_critical_section.h"
#include "support/xx_thread.h"

class SnapshotSystem;

// The module every resource is loaded from.
extern HINSTANCE app_instance;
// The one controller; set by the main dialog's WM_INITDIALOG.
extern SnapshotSystem* active_controller;

INT_PTR CALLBACK main_dialog_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The area-selection overlay's dialog procedure (template 105).
INT_PTR CALLBACK overlay_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class SnapshotSystem {
public:
    SnapshotSystem();
    ~SnapshotSystem();
    SnapshotSystem(const SnapshotSystem&) = delete;
    SnapshotSystem& operator=(const SnapshotSystem&) = delete;

    // Runs copy_address_to_clipboard on the worker; returns at once.
    void start_address_copy();
    void copy_address_to_clipboard(void* unused);

    // Tray icon and status. Called from another thread, update_status and fill_preferences
    // post to the main dialog (with the state to show) and return at once.
    // False when the shell did not take the change.
    bool set_tray_icon(WORD icon_id, const std::string& tooltip, bool add);
    // A tray icon, loaded at the small-icon size the notification area shows.
    static HICON tray_icon(WORD icon_id);
    // How the shell is told; the default is Shell_NotifyIconA. Tests stand in for a shell that
    // is not ready through it.
    using NotifyIconFunction = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);
    static NotifyIconFunction notify_icon_call;
    void update_status();
    void update_auto_snapshot_check();

    // Preferences dialog.
    void fill_preferences();
    void set_trackbar_pos(int control_id, int position);

    // The manual snapshot commands: the whole screen, and an area dragged out on the overlay.
    void snapshot_all();
    void snapshot_area();

    // Sounds after a snapshot was taken and after it was sent.
    void snapshot_sound();
    void sent_sound();

    // A capture kept its scratch: the main dialog's timer watches it until it is given back.
    // From another thread this posts; false when the dialog could not be told.
    bool watch_kept_scratch();

    // Registry primitives for the settings; they use no state of the controller.
    static int32_t read_dword(const std::string& name, int32_t default_value);
    static bool read_bool(const std::string& name, bool default_value);
    static std::string read_string(const std::string& name, const std::string& default_value);
    static void write_dword(const std::string& name, int32_t value);
    static void write_bool(const std::string& name, bool value);
    static void write_string(const std::string& name, const std::string& value);

    HWND dialog;
    xxThread worker;
    int32_t selection_x1;
    int32_t selection_y1;
    int32_t selection_x2;
    int32_t selection_y2;
    SnapshotServer server;
    NOTIFYICONDATAA tray_record;  // the one tray icon record, filled by set_tray_icon

    // What the tray shows about the server, taken on the thread that asked for the refresh.
    struct StatusView {
        bool serving;
        std::string client_address;
    };
    void show_status(const StatusView& view);
    // Whether the caller runs on the thread that owns the main dialog.
    bool on_dialog_thread() const;
    // What other threads asked the tray to show, oldest first: one posted refresh each, so
    // that a request over before the main thread looks still shows "sending" to its viewer.
    xxCriticalSection posted_status_lock;
    std::deque<StatusView> posted_statuses;
    static constexpr size_t kPostedStatusesKept = 2;
    // The tray icon could not be added yet (the shell is not ready at logon): a timer retries.
    bool tray_icon_missing = false;
    void add_tray_icon();
    // A refill of the preferences is queued for the main dialog.
    std::atomic<bool> fill_pending{false};

    // Handlers of the main dialog's messages.
    void on_tray_callback(WPARAM wParam, LPARAM lParam);
    void show_tray_menu();
    void on_menu_command(UINT command);
    // Shows the preferences window on a monitor that exists, in front.
    void show_preferences();
    void on_hot_key(int id);
    void on_status_posted();
    void on_timer(UINT_PTR timer);
    // WM_COMMAND from a control of the preferences, handed to the handler of its kind.
    void on_command(int control, int notification);
    void on_port_notified(int notification);
    void on_text_changed(int control);
    bool on_tick_clicked(int control);  // false when the control is no tick box
    void on_button_clicked(int control);
    void on_trackbar_moved();
    void on_port_changed();
    void choose_sound_file(bool sent);
    void choose_save_folder();
    void choose_auto_area();
    void open_help();
    static std::string help_page();  // the full path of the page "Info / Help" opens
    std::string control_text(int control, int limit);
    bool is_ticked(int control);
    // Runs the overlay modally on the selection; false when one is open already.
    bool run_overlay();
    bool overlay_is_open() const;
    RECT normalised_selection() const;
    void on_shell_restarted();
    void drop_focus();

    // Owns the main dialog. Declared late, so that it goes early once the destructor's body,
    // which ends every thread that uses it, is over; only the tray menu goes before it.
    glintor::UniqueWindow owned_dialog;
    glintor::UniqueMenu tray_menu;
};
