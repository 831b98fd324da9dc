// A small HTTP client over loopback for the tests.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

namespace testing_helpers {

// Starts Winsock for the test program once.
void ensure_winsock();
// A TCP port on 127.0.0.1 that nothing listens on right now.
int free_port();

struct Reply {
    bool connected = false;
    std::string bytes;        // everything received until the server closed
    bool closed = false;      // the server closed (rather than the deadline passing)
    DWORD milliseconds = 0;   // from connect to the close
};

// Connects to 127.0.0.1:port, sends the request (nothing when empty), ends its sending side
// and reads until the server closes or the deadline passes.
Reply http_exchange(int port, const std::string& request, DWORD deadline_ms = 15000);

// A socket bound and listening on the port on every interface, as another program would hold
// it; INVALID_SOCKET when the port could not be taken. The caller closes it.
SOCKET hold_port(int port);

// A connection made and kept open, for clients that misbehave. A receive buffer size above 0 is
// set before connecting, so that the server sees the small window from the start.
SOCKET connect_to(int port, int receive_buffer = 0);

// The 64-byte header every reply starts with.
extern const std::string kResponseHeader;

}  // namespace testing_helpers
