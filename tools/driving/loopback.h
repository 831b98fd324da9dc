// Loopback sockets as a client or another program holds them.
#pragma once

#include <winsock2.h>
#include <windows.h>

namespace driving {

// Starts Winsock for this program once.
void ensure_winsock();
// A TCP port on 127.0.0.1 that nothing listens on right now.
int free_port();
// A socket bound and listening on the port on every interface, as another program would hold
// it; INVALID_SOCKET when the port could not be taken. The caller closes it.
SOCKET hold_port(int port);
// A connection made and kept open, for clients that misbehave. A receive buffer size above 0 is
// set before connecting, so that the server sees the small window from the start.
SOCKET connect_to(int port, int receive_buffer = 0);

}  // namespace driving
