#include "common/http_client.h"

namespace testing_helpers {

const std::string kResponseHeader = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: image/jpeg\r\n\r\n";

Reply http_exchange(int port, const std::string& request, DWORD deadline_ms)
{
    Reply reply;
    const DWORD start = GetTickCount();
    SOCKET s = connect_to(port);
    if (s == INVALID_SOCKET) return reply;
    reply.connected = true;
    for (size_t sent = 0; sent < request.size();) {
        int n = send(s, request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (n <= 0) break;
        sent += n;
    }
    shutdown(s, SD_SEND);
    char buffer[65536];
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= deadline_ms) break;
        DWORD left = deadline_ms - elapsed;
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&left), sizeof(left));
        int n = recv(s, buffer, sizeof(buffer), 0);
        if (n == 0) {
            reply.closed = true;
            break;
        }
        if (n < 0) {
            if (WSAGetLastError() != WSAETIMEDOUT) reply.closed = true;
            break;
        }
        reply.bytes.append(buffer, n);
    }
    reply.milliseconds = GetTickCount() - start;
    closesocket(s);
    return reply;
}

}  // namespace testing_helpers
