// A small HTTP client over loopback for the tests.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "driving/loopback.h"

namespace testing_helpers {

using namespace driving;  // the program worked from outside, as the tools do

struct Reply {
    bool connected = false;
    std::string bytes;        // everything received until the server closed
    bool closed = false;      // the server closed (rather than the deadline passing)
    DWORD milliseconds = 0;   // from connect to the close
};

// Connects to 127.0.0.1:port, sends the request (nothing when empty), ends its sending side
// and reads until the server closes or the deadline passes.
Reply http_exchange(int port, const std::string& request, DWORD deadline_ms = 15000);

// The 64-byte header every reply starts with.
extern const std::string kResponseHeader;

}  // namespace testing_helpers
