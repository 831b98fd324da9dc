#include "common/test_helpers.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/platform.h"

namespace {

// The test programs measure the screen in physical pixels, as the program does, whatever their
// own manifest says: on a scaled screen their windows, coordinates and pictures then agree
// with the program's, and a program that loses its own awareness shows as one.
const bool physical_pixels = [] {
    using SetContextFunction = BOOL(WINAPI*)(HANDLE);
    const auto set_context = glintor::loaded_function<SetContextFunction>("user32.dll", "SetProcessDpiAwarenessContext");
    return set_context && set_context(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4)));  // per monitor, v2
}();

}  // namespace

namespace testing_helpers {

DWORD stored(const char* name, DWORD absent)
{
    DWORD value = 0;
    return raw_dword(name, value) ? value : absent;
}

std::string stored_text(const char* name)
{
    DWORD type = 0;
    std::string data;
    return query_raw_value(name, type, data) ? data.substr(0, data.find('\0')) : "<absent>";
}

std::string clipboard_text()
{
    // The program that has just put text there may not have closed the clipboard yet.
    if (!wait_until([] { return OpenClipboard(nullptr) != FALSE; }, 5000)) return "<clipboard not opened>";
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* chars = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
    const std::string text = chars ? chars : "<no text>";
    if (chars) GlobalUnlock(data);
    CloseClipboard();
    return text;
}

bool set_clipboard_text(const std::string& text)
{
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (memory) {
        memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_TEXT, memory)) GlobalFree(memory);
    }
    CloseClipboard();
    return memory != nullptr;
}

std::set<DWORD> thread_ids(DWORD process_id)
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == process_id) ids.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

bool accepted(SOCKET client)
{
    sockaddr_in own = {}, server = {};
    int own_size = sizeof(own), server_size = sizeof(server);
    if (getsockname(client, reinterpret_cast<sockaddr*>(&own), &own_size) != 0 ||
        getpeername(client, reinterpret_cast<sockaddr*>(&server), &server_size) != 0)
        return false;
    // The server's end: its address and port, then the client's, as the table writes them.
    char ends[32];
    std::snprintf(ends, sizeof(ends), "%08lX:%04X %08lX:%04X", static_cast<unsigned long>(server.sin_addr.s_addr),
                  ntohs(server.sin_port), static_cast<unsigned long>(own.sin_addr.s_addr), ntohs(own.sin_port));
    // One search of the whole table: after many requests it holds thousands of closed connections.
    const std::string table = read_file("Z:\\proc\\net\\tcp");
    const size_t at = table.find(ends);
    if (at == std::string::npos) return false;
    std::istringstream fields(table.substr(at, table.find('\n', at) - at));
    std::string from_to[2], state, queues, timer, retransmits, uid, timeout, inode;
    fields >> from_to[0] >> from_to[1] >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    return inode != "0";
}

std::string linux_folder_of(const std::string& program, const std::string& unless)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return std::string();
    std::string found;
    do {
        const std::string name = entry.cFileName;
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string command_line = read_file("Z:\\proc\\" + name + "\\cmdline");
        if (command_line.find(program) != std::string::npos && (unless.empty() || command_line.find(unless) == std::string::npos))
            found = "Z:\\proc\\" + name + "\\";
    } while (found.empty() && FindNextFileA(find, &entry));
    FindClose(find);
    return found;
}

std::string this_linux_folder()
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return linux_folder_of(PathFindFileNameA(path), "");
}

long wake_ups(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = folder.empty() ? INVALID_HANDLE_VALUE : FindFirstFileA((folder + "task\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return -1;
    long total = 0;
    do {
        const std::string status = read_file(folder + "task\\" + entry.cFileName + "\\status");
        const size_t at = status.find("voluntary_ctxt_switches:");
        if (entry.cFileName[0] != '.' && at != std::string::npos) total += std::atol(status.c_str() + at + 24);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return total;
}

bool memory_growth_measurable()
{
    char value[8] = {0};
    return GetEnvironmentVariableA("GLINTOR_DEBUG_HEAP", value, sizeof(value)) == 0 &&
           GetEnvironmentVariableA("GLINTOR_GUARD_HEAP", value, sizeof(value)) == 0;
}

int free_gdi_handles()
{
    std::vector<HGDIOBJ> made;
    for (HGDIOBJ brush; made.size() < 70000 && (brush = CreateSolidBrush(RGB(1, 2, 3))) != nullptr;)
        made.push_back(brush);
    for (HGDIOBJ brush : made) DeleteObject(brush);
    return static_cast<int>(made.size());
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

bool file_exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
