// What the program runs on, where that changes how a step is done.
#pragma once

#include <windows.h>

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

}  // namespace glintor
