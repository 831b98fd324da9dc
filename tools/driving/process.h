// Starts or takes on the real glintor.exe and works its windows and tray menu as a person would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/messages.h"

namespace driving {

constexpr const char* kDialogCaption = kMainDialogCaption;
// Up presses from the bottom of the tray menu to each item (separators are skipped).
constexpr int kUpsToExit = 1;
constexpr int kUpsToPreferences = 2;
constexpr int kUpsToCopyAddress = 3;
constexpr int kUpsToAutoSnapshot = 4;
constexpr int kUpsToServer = 7;

// Polls a condition every few milliseconds until it holds or the time is up, handling this
// thread's window messages meanwhile.
bool wait_until(const std::function<bool()>& condition, DWORD milliseconds);
// Handles what other threads posted to this thread's windows, and what is due to them.
void pump_messages();
// The folder of the running program, with a trailing backslash.
std::string program_folder();

class GlintorProcess {
public:
    GlintorProcess() = default;
    ~GlintorProcess();  // a process still running is ended by force
    GlintorProcess(const GlintorProcess&) = delete;
    GlintorProcess& operator=(const GlintorProcess&) = delete;

    // Starts the program (glintor.exe beside this one, or the one GLINTOR_PROGRAM names) and
    // waits until its start-up is over (the first start in a new Wine
    // prefix builds font caches and takes a while). False when either fails.
    bool start(DWORD milliseconds = 60000);
    // Takes on a program that runs already (started by someone else); false when none runs.
    bool attach();
    HWND dialog() const { return main_dialog; }
    DWORD process_id() const { return id; }
    HANDLE process() const { return handle; }
    // Waits for the process to end; its exit code, or STILL_ACTIVE when it did not end in time.
    DWORD wait_for_exit(DWORD milliseconds);
    bool running() const;

private:
    HANDLE handle = nullptr;
    DWORD id = 0;
    HWND main_dialog = nullptr;
};

// The text of a control of another process.
std::string control_text(HWND control);
// A top-level window of the process with that class and caption (either may be null).
HWND find_window_of(DWORD process_id, const char* class_name, const char* caption);
// Waits until the process shows its popup menu; the menu window, or null.
HWND wait_for_popup_menu(DWORD process_id, DWORD milliseconds);
// The send confirmation ("Quorvex") of the process once it shows; null when it does not in time.
HWND wait_for_confirmation(DWORD process_id, DWORD milliseconds);
// Clicks one of its buttons (IDYES, IDNO), as the user does.
void answer_confirmation(HWND box, int button);
// Waits for the area overlay of the process to cover the virtual screen; null when it does not.
HWND wait_for_overlay(DWORD process_id, DWORD milliseconds);
// Posts a key press and release to a window.
void post_key(HWND window, WORD key);
// Opens the tray menu through the tray callback and picks an item with the keyboard: Up
// pressed so many times from the bottom, then Enter. True when the keys were given to the menu;
// false when the menu did not show, or its loop did not run, within the time.
bool choose_from_tray_menu(const GlintorProcess& glintor, int ups_from_bottom, DWORD milliseconds = 5000);
// Ends the program as a user does: the tray menu's "&exit"; the menu shown and the process
// ended each within the time. The exit code, or STILL_ACTIVE.
DWORD exit_through_tray_menu(GlintorProcess& glintor, DWORD milliseconds = 15000);

}  // namespace driving
