// Starts the real glintor.exe (beside the test program) and works it as a person would.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <set>
#include <string>

#include "driving/process.h"

namespace e2e {

using namespace driving;  // the program worked from outside, as the tools do

// The program's Linux process folder under Wine ("Z:\\proc\\<pid>\\"), or empty when no
// glintor.exe runs. Under Wine the program's descriptors and processor time are seen there,
// not through the Windows calls that ask another process.
std::string linux_process_folder();

// Waits until the address copy the program was just asked for has ended: its thread has come
// (one that ends at once may have gone already) and gone, and no other thread that was not
// among `before` (the program's threads before asking) is left. Looking at the clipboard
// meanwhile would keep the copy from opening it.
bool wait_for_copy(const GlintorProcess& glintor, const std::set<DWORD>& before);

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
// Drags with the left button in small steps. Put the pointer at `from` before the dragged-on window
// opens: under Wine, that window's late report of where the pointer was when it was mapped moves it back.
void drag(POINT from, POINT to);
// Settings for a test's program: cleared, a free port stored, both sounds off. The port.
int quiet_settings_on_free_port();

}  // namespace e2e
