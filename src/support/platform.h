// What the program runs on, where that changes how a step is done.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

namespace glintor {

// True under Wine, whose ntdll exports wine_get_version; Windows' does not. Decided once, on
// the first call, which the program makes at start-up.
inline bool running_under_wine()
{
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

// A library of the system folder, loaded at run time rather than imported where Windows would
// look for it beside the program first (a library that is not one of Windows' known DLLs, left
// in a Downloads folder, would be loaded instead). Null when it cannot be had. The caller keeps
// it for the rest of the run.
inline HMODULE system_library(const char* name)
{
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A system that does not know the flag: the system folder's full path.
    char path[MAX_PATH] = {0};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + std::strlen(name) >= MAX_PATH) return nullptr;
    return LoadLibraryA((std::string(path) + "\\" + name).c_str());
}

// A function of a module, or null: what newer systems have is looked up at run time.
template <typename Function>
Function module_function(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// A function of a module the program has loaded already (kernel32, user32), or null.
template <typename Function>
Function loaded_function(const char* module, const char* name)
{
    return module_function<Function>(GetModuleHandleA(module), name);
}

// A function of a system library, or null.
template <typename Function>
Function system_function(const char* library, const char* name)
{
    return module_function<Function>(system_library(library), name);
}

// Text between the ANSI code page, in which the program works, and UTF-16, in which paths that
// hold the user's name are kept. What the code page cannot write becomes its default character.
inline std::wstring wide_from_ansi(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}

inline std::string ansi_from_wide(const std::wstring& text)
{
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(length > 0 ? length : 1, '\0');
    if (length > 0) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &ansi[0], length, nullptr, nullptr);
    ansi.resize(ansi.size() - 1);
    return ansi;
}

}  // namespace glintor
