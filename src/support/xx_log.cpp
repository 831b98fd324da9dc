#include "support/xx_log.h"

#include <cstdlib>
#include <cstring>

std::string get_home_folder()
{
    const char* home = std::getenv("HOME");
    if (!home) home = std::getenv("HOMEPATH");
    if (!home) return std::string();
    const char* drive = std::getenv("HOMEDRIVE");
    return std::string(drive ? drive : "") + home + "/";
}

namespace {

BOOL WINAPI ignore_interrupt(DWORD event)
{
    // Ctrl+C and Ctrl+Break in the console would end the process without its shutdown.
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

// Windows ends a process whose console is closed, whatever a control handler answers, which
// would leave a ghost tray icon and skip the release of the hot keys and the port. The console
// therefore has no close item, and its interrupt keys are ignored; the tray menu's exit ends
// the program.
void keep_console_from_ending_program()
{
    SetConsoleCtrlHandler(&ignore_interrupt, TRUE);
    const HWND console = GetConsoleWindow();
    const HMENU menu = console ? GetSystemMenu(console, FALSE) : nullptr;
    if (menu) DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
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

std::string xxLog::log_file_path() const
{
    return get_home_folder() + "aeromoss\\snap.log";
}

void xxLog::refresh()
{
    xxScopedLock hold(&lock);
    if (file_path.empty()) file_path = log_file_path();
    // Asking whether anything is there is far cheaper than an attempt to open it (under Wine a
    // look at the file system, not a round trip to the Wine server), and this runs for every
    // message while the log is dormant.
    if (!file && !file_path.empty() && GetFileAttributesA(file_path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // Only an existing file switches the log on: probe it for reading, never create it.
        glintor::UniqueFile probe(std::fopen(file_path.c_str(), "r"));
        if (probe) {
            probe.reset();
            file.reset(std::fopen(file_path.c_str(), "a"));
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
