// A stand-in for the web service that tells a caller its address, on 127.0.0.1 port 80.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/http_client.h"

namespace testing_helpers {

// A web service on 127.0.0.1 port 80 that answers one request with a fixed reply, or not at all.
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
        closesocket(listener);  // ends a pending accept
        stop = true;
        if (worker.joinable()) worker.join();
    }
    bool ok() const { return listening; }
    std::string request() const
    {
        while (!done) Sleep(5);
        return received;
    }

private:
    void serve()
    {
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client != INVALID_SOCKET) {
            char buffer[8192];
            while (received.find("\r\n\r\n") == std::string::npos) {
                int n = recv(client, buffer, sizeof(buffer), 0);
                if (n <= 0) break;
                received.append(buffer, n);
            }
            done = true;
            if (silent) {
                while (!stop) Sleep(10);
            } else {
                send(client, reply.data(), static_cast<int>(reply.size()), 0);
            }
            shutdown(client, SD_SEND);
            closesocket(client);
        }
        done = true;
    }

    std::string reply;
    bool silent;
    SOCKET listener = INVALID_SOCKET;
    bool listening = false;
    std::string received;
    std::atomic<bool> done{false};
    std::atomic<bool> stop{false};
    std::thread worker;
};

}  // namespace testing_helpers
