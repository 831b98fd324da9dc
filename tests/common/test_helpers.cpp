#include "common/test_helpers.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace testing_helpers {

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

bool wait_until(const std::function<bool()>& condition, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        // This thread's windows (a pattern on the screen, say) keep painting meanwhile.
        pump_messages();
        if (condition()) return true;
        if (GetTickCount() - start >= milliseconds) return condition();
        Sleep(5);
    }
}

int thread_count(DWORD process_id)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == process_id) ++count;
    CloseHandle(snapshot);
    return count;
}

bool memory_growth_measurable()
{
    char value[8] = {0};
    return GetEnvironmentVariableA("GLINTOR_DEBUG_HEAP", value, sizeof(value)) == 0;
}

void pump_messages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

std::string program_folder()
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    PathRemoveFileSpecA(path);
    return std::string(path) + "\\";
}

std::string make_temp_folder(const std::string& prefix)
{
    char temp[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH, temp);
    for (unsigned n = GetTickCount();; ++n) {
        std::string path = std::string(temp) + prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(n);
        if (CreateDirectoryA(path.c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
    }
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void remove_folder(const std::string& path)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_folder(full);
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

int temp_jpeg_file_count()
{
    char folder[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH, folder);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((std::string(folder) + "jpg*.tmp").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count;
    while (FindNextFileA(find, &entry));
    FindClose(find);
    return count;
}

}  // namespace testing_helpers
