// The address viewers use: "http://" + host + ":" + port, the host from the local IP address,
// the web service or the user's own entry.
#include <cstdio>
#include <cstring>

#include "address/parsed_url.h"
#include "app/snapshot_system.h"
#include "server/snapshot_server.h"
#include "support/handles.h"

namespace {

constexpr int kRequestBufferSize = 4000;
constexpr int kReplyBufferSize = 4096;
constexpr size_t kMaxHostPart = 100;
constexpr u_short kServicePort = 80;
// Bounds of the exchange with the service: one for connecting, one for the whole reply.
constexpr DWORD kConnectTimeout = 5000;
constexpr DWORD kReplyTimeout = 5000;

std::string first_ipv4_address(const char* name)
{
    hostent* entry = gethostbyname(name);
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) return std::string();
    in_addr address;
    std::memcpy(&address, entry->h_addr_list[0], sizeof(address));
    return inet_ntoa(address);
}

std::string local_host_address()
{
    char name[256] = {0};
    if (gethostname(name, sizeof(name)) != 0) return std::string();
    return first_ipv4_address(name);
}

bool wait_for(SOCKET s, bool writable, DWORD milliseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval wait = {static_cast<long>(milliseconds / 1000), static_cast<long>((milliseconds % 1000) * 1000)};
    int ready = writable ? select(0, nullptr, &set, &failed, &wait) : select(0, &set, nullptr, nullptr, &wait);
    return ready > 0 && FD_ISSET(s, &set);
}

// Connects within the bound; a service that never answers the connection cannot hold us.
bool connect_bounded(SOCKET s, const sockaddr_in& address)
{
    u_long non_blocking = 1;
    ioctlsocket(s, FIONBIO, &non_blocking);
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK || !wait_for(s, true, kConnectTimeout)) return false;
    }
    non_blocking = 0;
    ioctlsocket(s, FIONBIO, &non_blocking);
    return true;
}

// Letters, digits and the punctuation of host names and IPv4 or IPv6 addresses only.
bool looks_like_host(const std::string& text)
{
    for (char c : text) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                             std::strchr(".-:_[]%", c) != nullptr;
        if (!allowed || c == '\0') return false;
    }
    return true;
}

std::string host_from_service(const std::string& service_address)
{
    const ParsedUrl url(service_address);
    const std::string target = url.path.empty() ? "/" : url.path;
    char request[kRequestBufferSize];
    std::snprintf(request, sizeof(request),
                  "GET %s HTTP/1.1\r\nHost: %s\r\nUser-Agent: Glintor V1.02\r\nConnection: Close\r\n\r\n",
                  target.c_str(), url.host.c_str());

    glintor::UniqueSocket s(socket(AF_INET, SOCK_STREAM, 0));
    if (!s) return std::string();
    hostent* entry = gethostbyname(url.host.c_str());
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) return std::string();
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(kServicePort);
    std::memcpy(&address.sin_addr, entry->h_addr_list[0], sizeof(address.sin_addr));
    if (!connect_bounded(s.get(), address)) return std::string();

    send(s.get(), request, static_cast<int>(std::strlen(request)), 0);

    char reply[kReplyBufferSize] = {0};
    int received = 0;
    const DWORD start = GetTickCount();
    while (received < kReplyBufferSize) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kReplyTimeout || !wait_for(s.get(), false, kReplyTimeout - elapsed)) break;
        int n = recv(s.get(), reply + received, kReplyBufferSize - received, 0);
        if (n <= 0) break;
        received += n;
    }
    // The host part is what follows the last line feed; nothing of HTTP is interpreted.
    for (int i = received - 1; i >= 0; --i) {
        if (reply[i] == '\n') {
            std::string last = std::string(reply + i + 1, reply + received).substr(0, kMaxHostPart);
            // An error page or other text is no host: it must not reach the clipboard as one.
            return looks_like_host(last) ? last : std::string();
        }
    }
    return std::string();
}

}  // namespace

std::string SnapshotServer::get_shared_address()
{
    glintor::WinsockSession winsock;
    std::string host;
    switch (get_copy_address_mode()) {
    case 0: host = local_host_address(); break;
    case 1: host = host_from_service(get_remote_service_copy_address()); break;
    case 2: host = get_manual_copy_address(); break;
    default: break;
    }
    if (host.empty()) return host;
    return "http://" + host + ":" + std::to_string(get_port_number());
}
