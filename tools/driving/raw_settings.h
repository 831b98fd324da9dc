// The program's settings key read and written raw, past the program's own primitives.
#pragma once

#include <windows.h>

#include <string>

namespace driving {

// Deletes HKCU\Software\glintor with everything in it.
void clear_settings();
bool settings_key_exists();
bool query_raw_value(const char* name, DWORD& type, std::string& data);
void set_raw_dword(const char* name, DWORD value);
void set_raw_string(const char* name, const std::string& value);
bool raw_dword(const char* name, DWORD& value);

}  // namespace driving
