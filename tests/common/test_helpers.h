// Helpers shared by the test programs.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace testing_helpers {

// Deletes HKCU\Software\glintor with everything in it.
void clear_settings();
// Raw registry access, bypassing the program's own primitives.
bool settings_key_exists();
bool query_raw_value(const char* name, DWORD& type, std::string& data);
void set_raw_dword(const char* name, DWORD value);
void set_raw_string(const char* name, const std::string& value);
bool raw_dword(const char* name, DWORD& value);

// Polls a condition every few milliseconds until it holds or the time is up, handling this
// thread's window messages meanwhile.
bool wait_until(const std::function<bool()>& condition, DWORD milliseconds);

// Handles what other threads posted to this thread's windows, and what is due to them.
void pump_messages();
// Threads of a process, from the system's list of all threads; -1 when it cannot be read.
int thread_count(DWORD process_id);

// False under Wine's debug heap (scripts/test.sh --debug-heap), which holds freed blocks back:
// checks of memory growth do not hold there.
bool memory_growth_measurable();

// The folder of the running test program, with a trailing backslash.
std::string program_folder();
// A new empty folder under the temporary folder; its path without a trailing backslash.
std::string make_temp_folder(const std::string& prefix);
// A file's whole content; empty when it cannot be read.
std::string read_file(const std::string& path);
// Deletes a folder and everything below it.
void remove_folder(const std::string& path);
// How many of the capture's temporary JPEG files (jpg*.tmp) the temporary folder holds.
int temp_jpeg_file_count();

}  // namespace testing_helpers
