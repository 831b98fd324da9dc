// The registry primitives of the settings store: each one opens the key, reads or writes one
// value and closes the key again. Nothing is cached and no failure is reported.
#include <cstring>

#include "app/snapshot_system.h"
#include "support/handles.h"

namespace {

const char* const kSettingsKey = "Software\\glintor";
constexpr DWORD kTextBufferSize = 260;

glintor::RegKey open_for_reading()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return glintor::RegKey();
    return glintor::RegKey(key);
}

glintor::RegKey open_for_writing()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return glintor::RegKey();
    return glintor::RegKey(key);
}

// Reads a 4-byte value; false when the key or value cannot be read.
bool query_dword(const std::string& name, DWORD& value)
{
    glintor::RegKey key = open_for_reading();
    if (!key) return false;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) !=
        ERROR_SUCCESS)
        return false;
    value = data;
    return true;
}

void set_value(const std::string& name, DWORD type, const void* data, DWORD size)
{
    glintor::RegKey key = open_for_writing();
    if (!key) return;
    RegSetValueExA(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

}  // namespace

int32_t SnapshotSystem::read_dword(const std::string& name, int32_t default_value)
{
    DWORD value = 0;
    return query_dword(name, value) ? static_cast<int32_t>(value) : default_value;
}

bool SnapshotSystem::read_bool(const std::string& name, bool default_value)
{
    DWORD value = 0;
    return query_dword(name, value) ? value != 0 : default_value;
}

std::string SnapshotSystem::read_string(const std::string& name, const std::string& default_value)
{
    glintor::RegKey key = open_for_reading();
    if (!key) return default_value;
    char buffer[kTextBufferSize];
    buffer[0] = '\0';
    DWORD size = sizeof(buffer);
    // Data longer than the buffer fails the query and reads as the default.
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return default_value;
    if (size > sizeof(buffer)) size = sizeof(buffer);
    // Texts are stored without a terminating NUL: take the bytes up to the first NUL or the end.
    return std::string(buffer, strnlen(buffer, size));
}

void SnapshotSystem::write_dword(const std::string& name, int32_t value)
{
    DWORD data = static_cast<DWORD>(value);
    set_value(name, REG_DWORD, &data, sizeof(data));
}

void SnapshotSystem::write_bool(const std::string& name, bool value)
{
    DWORD data = value ? 1 : 0;
    set_value(name, REG_DWORD, &data, sizeof(data));
}

void SnapshotSystem::write_string(const std::string& name, const std::string& value)
{
    set_value(name, REG_SZ, value.data(), static_cast<DWORD>(value.size()));
}
