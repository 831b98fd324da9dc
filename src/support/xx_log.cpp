#include "support/xx_log.h"

#include <cstdlib>
#include <cstring>

std::wstring get_home_folder()
{
    // Wide: the folder holds the user's name, which the ANSI code page may not be able to write.
    const wchar_t* home = _wgetenv(L"HOME");
    if (!home) home = _wgetenv(L"HOMEPATH");
    if (!home) return std::wstring();
    const wchar_t* drive = _wgetenv(L"HOMEDRIVE");
    return std::wstring(drive ? drive : L"") + home + L"/";
}

namespace {

BOOL WINAPI ignore_interrupt(DWORD event)
{
    // Ctrl+C and Ctrl+Break in the console would end the process without its shutdown.
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

// Closing the console would end the process without its shutdown, leaving a ghost tray icon
// and skipping the release of the hot keys and the port: the console has no close item, and
// its interrupt keys are ignored. (A console host that keeps no close item, Windows Terminal,
// sends a close event, which the program answers with its orderly exit.) QuickEdit is off: a
// click in the window would start a selection, and every write would then block until it is
// cleared, with the log's lock held, stopping the server and the window procedure alike.
void keep_console_from_ending_program()
{
    SetConsoleCtrlHandler(&ignore_interrupt, TRUE);
    const HWND console = GetConsoleWindow();
    const HMENU menu = console ? GetSystemMenu(console, FALSE) : nullptr;
    if (menu) DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode))
        SetConsoleMode(input, (mode & ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE)) | ENABLE_EXTENDED_FLAGS);
}

}  // namespace

xxLog& xxLog::instance()
{
    // Built once, even when two threads ask at the same moment; destroyed at process exit.
    static xxLog log;
    return log;
}

xxLog::xxLog()
{
    refresh();
}

xxLog::~xxLog()
{
    if (console_output) FreeConsole();
    file.reset();  // before the lock member goes
}

std::wstring xxLog::log_file_path() const
{
    return get_home_folder() + L"aeromoss\\snap.log";
}

void xxLog::refresh()
{
    xxScopedLock hold(&lock);
    if (file_path.empty()) file_path = log_file_path();
    // Asking whether anything is there is far cheaper than an attempt to open it (under Wine a
    // look at the file system, not a round trip to the Wine server), and this runs for every
    // message while the log is dormant.
    if (!file && !file_path.empty() && GetFileAttributesW(file_path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // Only an existing file switches the log on: probe it for reading, never create it.
        glintor::UniqueFile probe(_wfopen(file_path.c_str(), L"r"));
        if (probe) {
            probe.reset();
            file.reset(_wfopen(file_path.c_str(), L"a"));
        }
    }
    if (file) console_enabled = true;
    if (console_enabled && !console_output) {
        AllocConsole();
        keep_console_from_ending_program();
        SetConsoleTitleA("Debug Window");
        console_output = GetStdHandle(STD_OUTPUT_HANDLE);
        COORD size = {120, 5000};
        SetConsoleScreenBufferSize(console_output, size);
    }
}

void xxLog::write(const std::ostringstream& message, int level)
{
    xxScopedLock hold(&lock);
    refresh();
    if (level < threshold) return;

    std::string indentation;
    for (int i = 0; i < depth; ++i) indentation += "    ";
    const std::string text = message.str();

    if (file) {
        std::fputs(indentation.c_str(), file.get());
        std::fputs(text.c_str(), file.get());
        std::fflush(file.get());
    }
    if (console_output) {
        DWORD written = 0;
        WriteConsoleA(console_output, indentation.c_str(), static_cast<DWORD>(indentation.size()), &written, nullptr);
        WriteConsoleA(console_output, text.c_str(), static_cast<DWORD>(std::strlen(text.c_str())), &written, nullptr);
    }
}

void xxLog::indent()
{
    xxScopedLock hold(&lock);
    ++depth;
}

void xxLog::outdent()
{
    xxScopedLock hold(&lock);
    --depth;
}

xxLogScope::xxLogScope(const std::ostringstream& header)
{
    xxLog& log = xxLog::instance();
    log.write(header, 1);
    log.indent();
}

xxLogScope::~xxLogScope()
{
    xxLog::instance().outdent();
}
