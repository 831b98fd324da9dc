// Helpers shared by the test programs.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "driving/process.h"
#include "driving/raw_settings.h"

namespace testing_helpers {

using namespace driving;  // the program worked from outside, as the tools do

// A stored number, or `absent` when no such number is stored.
DWORD stored(const char* name, DWORD absent = 0xdeadbeef);
// A stored text up to its first NUL, or "<absent>".
std::string stored_text(const char* name);

// The clipboard's text, or "<no text>", or "<clipboard not opened>" when it stays held for 5 s.
std::string clipboard_text();
// Puts text on the clipboard, as another program would; false when it cannot be opened.
bool set_clipboard_text(const std::string& text);

// The threads of a process, from the system's list of all threads; none when it cannot be read.
std::set<DWORD> thread_ids(DWORD process_id);
// Whether the server at the other end of a loopback connection has accepted it: in the kernel's
// table of sockets, one still in the listener's queue has no socket (inode) of its own yet.
bool accepted(SOCKET client);

// The /proc folder ("Z:\\proc\\<pid>\\") of the first Linux process whose command line names
// the program and not `unless` (when not empty); empty when none runs. this_linux_folder(): this program's.
std::string linux_folder_of(const std::string& program, const std::string& unless);
std::string this_linux_folder();
// Times the threads of a Linux process (its /proc folder) have waited and been woken: their voluntary context switches; -1 when they
// cannot be read. An idle wait adds next to none, a poll every 50 ms twenty a second.
long wake_ups(const std::string& linux_folder);

// False under Wine's debug heap (scripts/test.sh --debug-heap), which holds freed blocks back,
// and under the guarded heap (--guard-heap), whose blocks cost pages: checks of memory growth
// do not hold there.
bool memory_growth_measurable();

// How many more GDI objects this process can make (Wine counts them for no process, Windows
// stops one at 10,000): a leak shows as fewer.
int free_gdi_handles();

// A new empty folder under the temporary folder; its path without a trailing backslash.
std::string make_temp_folder(const std::string& prefix);
bool file_exists(const std::string& path);  // a file or a folder
// A file's whole content; empty when it cannot be read.
std::string read_file(const std::string& path);
// Deletes a folder and everything below it.
void remove_folder(const std::string& path);
// How many of the capture's temporary JPEG files (jpg*.tmp) the temporary folder holds.
int temp_jpeg_file_count();

}  // namespace testing_helpers
