#include "capture/copy_path.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstring>

namespace {
constexpr int kMaxCopyNumber = 9999;
}

std::string make_copy_path(std::string folder)
{
    if (!PathIsDirectoryA(folder.c_str())) return std::string();
    char path[MAX_PATH];
    // A folder text from outside the program may not fit with its terminator: no copy then.
    if (folder.size() >= sizeof(path)) return std::string();
    std::memcpy(path, folder.c_str(), folder.size() + 1);
    if (!PathAppendA(path, "glintor")) return std::string();
    const std::string stem = path;
    for (int n = 1; n <= kMaxCopyNumber; ++n) {
        std::string candidate = stem + std::to_string(n) + ".jpg";
        if (!PathFileExistsA(candidate.c_str())) return candidate;
    }
    return std::string();
}
