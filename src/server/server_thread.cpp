// The listening server: one thread that accepts one connection at a time.
#include <cstdio>
#include <sstream>

#include "app/snapshot_system.h"
#include "server/snapshot_server.h"
#include "support/xx_log.h"

namespace {

constexpr int kBacklog = 3;
// After an accept that failed for another reason than nobody waiting.
constexpr DWORD kAcceptRetryMilliseconds = 50;
// The receive time-out of an accepted connection: a silent client cannot hold the server.
constexpr DWORD kReceiveTimeout = 5000;
// After the reply: how long and how much of what the client still sends is read and dropped.
constexpr DWORD kDrainMilliseconds = 1000;
constexpr int kDrainBytes = 1 << 20;

}  // namespace

void prepare_client_socket(SOCKET client)
{
    // accept hands on the listening socket's event selection and with it the non-blocking
    // mode; the exchange wants a plain blocking socket.
    WSAEventSelect(client, nullptr, 0);
    u_long non_blocking = 0;
    ioctlsocket(client, FIONBIO, &non_blocking);
    DWORD receive = kReceiveTimeout, send = kSendTimeout;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receive), sizeof(receive));
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&send), sizeof(send));
    // The header and the last piece are small sends: without this, each waits for the
    // client's delayed acknowledgement of the one before.
    BOOL no_delay = TRUE;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof(no_delay));
}

namespace {

// Ends the connection without a reset: request bytes the handler never read would otherwise
// make the close reset the connection and cut the image short at the client.
void finish_connection(SOCKET client)
{
    shutdown(client, SD_SEND);
    const DWORD start = GetTickCount();
    char scratch[4096];
    for (int drained = 0; drained < kDrainBytes;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kDrainMilliseconds) break;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        DWORD left = kDrainMilliseconds - elapsed;
        timeval wait = {static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
        if (select(0, &readable, nullptr, nullptr, &wait) < 1) break;
        int n = recv(client, scratch, sizeof(scratch), 0);
        if (n <= 0) break;
        drained += n;
    }
}

void log_warning(const std::string& text)
{
    log_text(2, std::string(kLogWarning) + text + "\n");
}

}  // namespace

void SnapshotServer::serverThread(void*)
{
    xxLogScope scope(std::ostringstream("SnapshotServer::serverThread()\n"));
    {
        // Released in reverse order: the socket before Winsock is cleaned up.
        glintor::WinsockSession winsock;
        glintor::UniqueSocket listen_socket;
        glintor::UniqueHandle connection;
        if (winsock)
            listen_socket.reset(open_listening_socket());
        else
            server_error = true;
        if (listen_socket) connection.reset(watch_for_connections(listen_socket.get()));
        if (connection) {
            report_setup();
            serve_connections(listen_socket.get(), connection.get());
            log_text(1, "closing listening socket\n");
            return;
        }
    }
    // Cleaned up before the report: a restart that follows at once finds nothing of this
    // thread's left to race with.
    report_setup();
}

SOCKET SnapshotServer::open_listening_socket()
{
    glintor::UniqueSocket listener(socket(AF_INET, SOCK_STREAM, 0));
    if (!listener) {
        perror("socket() failed");
        server_error = true;
        log_warning("error initializing listening socket");
        return INVALID_SOCKET;
    }
    // No option: Windows' default already keeps other users from binding the port over ours,
    // whereas SO_EXCLUSIVEADDRUSE would refuse our own restart for minutes after any viewer,
    // while the connections this server closed first sit in TIME_WAIT.
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    const int32_t port = get_port_number();
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(listener.get(), reinterpret_cast<sockaddr*>(&address), 16) == SOCKET_ERROR) {
        perror("bind() failed");
        server_error = true;
        std::ostringstream warning;
        warning << kLogWarning << "error binding listening socket to port" << port << "\n";
        xxLog::instance().write(warning, 2);
        return INVALID_SOCKET;
    }
    if (listen(listener.get(), kBacklog) == SOCKET_ERROR) {
        perror("listen() failed");
        server_error = true;
        log_warning("error listen()ing to listening socket");
        return INVALID_SOCKET;
    }
    return listener.release();
}

HANDLE SnapshotServer::watch_for_connections(SOCKET listen_socket)
{
    // The event selection also makes the listening socket non-blocking, so an accept cannot
    // hang when the client has gone. Without it nobody would listen: a failed set-up.
    glintor::UniqueHandle connection(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!connection || !stop_signal || event_select_call(listen_socket, connection.get(), FD_ACCEPT) == SOCKET_ERROR) {
        server_error = true;
        log_warning("error waiting for connections on listening socket");
        return nullptr;
    }
    return connection.release();
}

void SnapshotServer::serve_connections(SOCKET listen_socket, HANDLE connection)
{
    // The idle server sleeps in one wait for a connection or a stop, whichever comes first:
    // no polling, so it costs nothing while nobody asks, and a stop takes effect at once. It
    // sleeps only when accept finds nobody waiting, and selects the event anew first: that
    // signals at once for a connection that came meanwhile, whereas after a failed accept
    // Wine does not always signal again (Windows does).
    const HANDLE wake[2] = {stop_signal.get(), connection};
    while (!stop_requested) {
        sockaddr_in peer = {};
        int peer_size = 16;
        glintor::UniqueSocket client(accept(listen_socket, reinterpret_cast<sockaddr*>(&peer), &peer_size));
        if (!client) {
            // Nobody waits: sleep until someone comes. Another failure (a connection reset
            // before it was taken, no descriptors left): try again shortly, without spinning.
            const bool nobody = WSAGetLastError() == WSAEWOULDBLOCK;
            const bool armed = WSAEventSelect(listen_socket, connection, FD_ACCEPT) != SOCKET_ERROR;
            WaitForMultipleObjects(2, wake, FALSE, nobody && armed ? INFINITE : kAcceptRetryMilliseconds);
            continue;
        }
        prepare_client_socket(client.get());
        replied = false;
        handle_client(client.get());
        // Only a reply is drained: a client that sent nothing or was refused is let go at once.
        if (replied) finish_connection(client.get());
    }
}
