// A stand-in for the web service that tells a caller its address, on 127.0.0.1 port 80.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/http_client.h"
#include "common/test_helpers.h"

namespace testing_helpers {

// A web service on 127.0.0.1 port 80 that answers one request with a fixed reply, or not at all.
// Nothing in it blocks without a bound: it polls, and gives up when the object goes.
class FakeService {
public:
    explicit FakeService(std::string reply, bool silent = false) : reply(std::move(reply)), silent(silent)
    {
        ensure_winsock();
        listener = socket(AF_INET, SOCK_STREAM, 0);
        BOOL reuse = TRUE;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(80);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        listening = bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                    listen(listener, 4) == 0;
        if (listening) worker = std::thread([this] { serve(); });
    }
    ~FakeService()
    {
        stop = true;
        if (worker.joinable()) worker.join();
        closesocket(listener);
    }
    bool ok() const { return listening; }
    // The request as received, once the caller has sent it whole; "<no request>" when none came
    // within the time.
    std::string request(DWORD milliseconds = 10000) const
    {
        return wait_until([this] { return done.load(); }, milliseconds) ? received : "<no request>";
    }

private:
    // Whether the socket has something to read (or has closed) within a short while.
    static bool readable(SOCKET s)
    {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait = {0, 20 * 1000};
        return select(0, &set, nullptr, nullptr, &wait) > 0;
    }
    void serve()
    {
        SOCKET client = INVALID_SOCKET;
        while (!stop && client == INVALID_SOCKET)
            if (readable(listener)) client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        char buffer[8192];
        while (!stop && received.find("\r\n\r\n") == std::string::npos) {
            if (!readable(client)) continue;
            int n = recv(client, buffer, sizeof(buffer), 0);
            if (n <= 0) break;
            received.append(buffer, n);
        }
        done = true;
        if (!silent) {
            // Bounded: a caller that neither reads nor closes cannot hold the test for ever.
            DWORD bound = 15000;
            setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&bound), sizeof(bound));
            send(client, reply.data(), static_cast<int>(reply.size()), 0);
            shutdown(client, SD_SEND);
        }
        // What the caller sends now, up to its close, is dropped.
        while (!stop && !closed) {
            if (readable(client)) closed = recv(client, buffer, sizeof(buffer), 0) <= 0;
        }
        closesocket(client);
    }

    std::string reply;
    bool silent;
    SOCKET listener = INVALID_SOCKET;
    bool listening = false;
    std::string received;  // written by the worker until done is set
    std::atomic<bool> done{false};
    bool closed = false;
    std::atomic<bool> stop{false};
    std::thread worker;
};

}  // namespace testing_helpers
