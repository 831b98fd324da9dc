#include "driving/raw_settings.h"

#include <shlwapi.h>

#include <cstring>
#include <vector>

namespace driving {

namespace {
const char* const kKey = "Software\\glintor";
}

void clear_settings()
{
    SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

bool settings_key_exists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool query_raw_value(const char* name, DWORD& type, std::string& data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    std::vector<BYTE> buffer(4096, 0xbd);
    DWORD size = static_cast<DWORD>(buffer.size());
    type = 0xdeadbeef;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
    data.assign(reinterpret_cast<char*>(buffer.data()), size);
    return true;
}

static void set_raw(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void set_raw_dword(const char* name, DWORD value)
{
    set_raw(name, REG_DWORD, &value, sizeof(value));
}

void set_raw_string(const char* name, const std::string& value)
{
    set_raw(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool raw_dword(const char* name, DWORD& value)
{
    DWORD type = 0;
    std::string data;
    if (!query_raw_value(name, type, data) || type != REG_DWORD || data.size() != 4) return false;
    memcpy(&value, data.data(), 4);
    return true;
}

}  // namespace driving
