// The process-wide diagnostic log. It is dormant unless the file "aeromoss\snap.log" already
// exists under the user's home folder; then every message goes to that file and to a console
// window titled "Debug Window".
#pragma once

#include <windows.h>

#include <sstream>
#include <string>

#include "support/handles.h"
#include "support/xx_critical_section.h"

// Markers that callers put at the start of warnings (level 2) and errors (level 3).
constexpr const char* kLogWarning = "-**### WARNING ###**-: ";
constexpr const char* kLogError = "-**###  ERROR  ###**-: ";

// The user's home folder: HOMEDRIVE + (HOME, else HOMEPATH) + "/", or empty when neither is set.
std::wstring get_home_folder();

class xxLog {
public:
    static xxLog& instance();

    // Writes one message (the stream's text) at a level: 1 trace, 2 warning, 3 error.
    void write(const std::ostringstream& message, int level);
    void indent();
    void outdent();
    void refresh();
    std::wstring log_file_path() const;

    ~xxLog();
    xxLog(const xxLog&) = delete;
    xxLog& operator=(const xxLog&) = delete;

private:
    xxLog();

    std::wstring file_path;
    glintor::UniqueFile file;
    bool console_enabled = false;
    int threshold = 1;
    int depth = 0;
    xxCriticalSection lock;
    HANDLE console_output = nullptr;
};

// Writes its header at level 1 and indents the log until the scope ends.
class xxLogScope {
public:
    explicit xxLogScope(const std::ostringstream& header);
    ~xxLogScope();
    xxLogScope(const xxLogScope&) = delete;
    xxLogScope& operator=(const xxLogScope&) = delete;
};

// Shorthand for a message that is one piece of text.
inline void log_text(int level, const std::string& text)
{
    xxLog::instance().write(std::ostringstream(text), level);
}
