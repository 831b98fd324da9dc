#include "common/http_client.h"

namespace testing_helpers {

const std::string kResponseHeader = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: image/jpeg\r\n\r\n";

void ensure_winsock()
{
    static bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

int free_port()
{
    ensure_winsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int size = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    closesocket(s);
    return ntohs(address.sin_port);
}

SOCKET hold_port(int port)
{
    ensure_winsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(s, 1) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

SOCKET connect_to(int port, int receive_buffer)
{
    ensure_winsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (receive_buffer > 0)
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receive_buffer), sizeof(receive_buffer));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

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
