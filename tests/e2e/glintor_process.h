// Starts the real glintor.exe (beside the test program) and works it as a person would.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace e2e {

constexpr const char* kDialogCaption = "Glintor V1.03";
constexpr UINT kTrayCallback = WM_USER + 10;
constexpr WPARAM kTrayIconId = 7194;
// Up presses from the bottom of the tray menu to each item (separators are skipped).
constexpr int kUpsToExit = 1;
constexpr int kUpsToPreferences = 2;
constexpr int kUpsToCopyAddress = 3;
constexpr int kUpsToAutoSnapshot = 4;
constexpr int kUpsToSnapshotArea = 5;
constexpr int kUpsToSnapshotAll = 6;
constexpr int kUpsToServer = 7;

class GlintorProcess {
public:
    GlintorProcess() = default;
    ~GlintorProcess();  // a process still running is ended by force
    GlintorProcess(const GlintorProcess&) = delete;
    GlintorProcess& operator=(const GlintorProcess&) = delete;

    // Starts the program (glintor.exe beside the test, or the one GLINTOR_PROGRAM names) and
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

// The program's Linux process folder under Wine ("Z:\\proc\\<pid>\\"), or empty when no
// glintor.exe runs. Under Wine the program's descriptors and processor time are seen there,
// not through the Windows calls that ask another process.
std::string linux_process_folder();

// Waits until the address copy the program was just asked for has ended: its thread has come
// (one that ends at once may have gone already) and gone. threads: the count before asking,
// with every other thread of the program running by then. Looking at the clipboard meanwhile
// would keep the copy from opening it.
bool wait_for_copy(const GlintorProcess& glintor, int threads);

// The text of a control of another process.
std::string control_text(HWND control);
// A top-level window of the process with that class and caption (either may be null).
HWND find_window_of(DWORD process_id, const char* class_name, const char* caption);
// Waits until the process shows its popup menu; the menu window, or null.
HWND wait_for_popup_menu(DWORD process_id, DWORD milliseconds);
// Presses and releases each virtual key in turn through SendInput.
void press_keys(std::initializer_list<WORD> keys);
// Controls of another process, through messages that are carried across processes.
bool set_control_text(HWND control, const std::string& text);
bool click_button(HWND button);  // waits for the click to be handled
bool is_checked(HWND button);
// Presses a key with a modifier held (Shift+Print, say) through SendInput.
void press_chord(WORD modifier, WORD key);
// Moves the mouse to a screen point, or presses or releases the left button there, through SendInput.
void mouse_to(int x, int y);
void mouse_button(bool down);
// Drags with the left button from one screen point to another in small steps.
void drag(POINT from, POINT to);
// Waits for the area overlay of the process to cover the virtual screen; null when it does not.
HWND wait_for_overlay(DWORD process_id, DWORD milliseconds);
// Posts a key press and release to a window.
void post_key(HWND window, WORD key);
// Opens the tray menu through the tray callback and picks an item with the keyboard: Up
// pressed so many times from the bottom, then Enter. True when the keys were given to the menu.
bool choose_from_tray_menu(const GlintorProcess& glintor, int ups_from_bottom);
// Ends the program as a user does: the tray menu's "&exit".
DWORD exit_through_tray_menu(GlintorProcess& glintor);
// Settings for a test's program: cleared, a free port stored, both sounds off. The port.
int quiet_settings_on_free_port();

}  // namespace e2e
