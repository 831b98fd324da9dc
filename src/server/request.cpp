// Serving one request: whatever was asked, the answer is the current snapshot.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "app/snapshot_system.h"
#include "server/snapshot_server.h"
#include "support/platform.h"
#include "support/xx_log.h"

namespace {

constexpr int kReceiveBufferSize = 4096;
constexpr int kChunkSize = 1024;
// The longest one reply may take, whatever the client reads: a 4K image at a few kilobytes a
// second. The send time-out bounds each piece; this bounds the whole, so a slow reader cannot
// keep the other viewers waiting for as long as it likes.
constexpr DWORD kReplyDeadline = 60000;
// How much longer a reply may take once a stop is asked: stop and exit wait no longer for it.
constexpr DWORD kStopGrace = 5000;
// Lines end with CRLF, as HTTP/1.1 has them: strict parsers (Node's http and fetch, and the
// viewers built on them) refuse bare line feeds.
const char kResponseHeader[] = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: image/jpeg\r\n\r\n";
constexpr int kResponseHeaderSize = sizeof(kResponseHeader) - 1;
static_assert(kResponseHeaderSize == 64, "the header is 64 bytes");

const char kConfirmationCaption[] = "Quorvex";

// Waits until the desktop compositor has shown the screen as it is now. Looked up at run time:
// there is no compositor library on every system.
void wait_for_compositor()
{
    using DwmFlushFunction = HRESULT(WINAPI*)();
    static const auto flush = glintor::system_function<DwmFlushFunction>("dwmapi.dll", "DwmFlush");
    if (flush) flush();
}

// Asks the user whether the client may have the snapshot. Blocks the server thread, until the
// user answers or a stop answers No (refuse_confirmation).
bool confirm_sending(const std::string& address, const std::atomic<bool>& stopping)
{
    if (stopping) return false;
    std::string question = "Do you want to allow the user from " + address + " to recieve the current snapshot?";
    int answer = MessageBoxA(nullptr, question.c_str(), kConfirmationCaption,
                             MB_YESNO | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
    // A fresh snapshot must not show the box that has just been dismissed, nor its fade-out.
    Sleep(50);
    wait_for_compositor();
    return answer == IDYES;
}

BOOL CALLBACK refuse_if_confirmation(HWND window, LPARAM)
{
    char caption[sizeof(kConfirmationCaption) + 1] = {0};
    char class_name[8] = {0};
    if (GetClassNameA(window, class_name, sizeof(class_name)) && strcmp(class_name, "#32770") == 0 &&
        GetWindowTextA(window, caption, sizeof(caption)) && strcmp(caption, kConfirmationCaption) == 0)
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    return TRUE;
}

}  // namespace

void refuse_confirmation(DWORD thread_id)
{
    EnumThreadWindows(thread_id, &refuse_if_confirmation, 0);
}

std::string peer_address(SOCKET client)
{
    sockaddr_in peer = {};
    int size = 16;
    if (getpeername(client, reinterpret_cast<sockaddr*>(&peer), &size) != 0) return std::string();
    return inet_ntoa(peer.sin_addr);
}

bool SnapshotServer::may_send_more(SOCKET client, ReplyClock& clock)
{
    const DWORD elapsed = GetTickCount() - clock.start;
    // A stop lets a reply that flows go on a little, so that the image already answered for
    // (after a confirmation, say) still arrives whole, but not for as long as the client likes.
    if (stop_requested && !clock.stopping) {
        clock.stopping = true;
        clock.deadline = std::min(clock.deadline, elapsed + kStopGrace);
    }
    if (elapsed >= clock.deadline) return false;
    const DWORD left = clock.deadline - elapsed;
    if (left < kSendTimeout)
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&left), sizeof(left));
    return true;
}

bool SnapshotServer::send_image(SOCKET client, const unsigned char* data, int32_t size)
{
    ReplyClock clock = {GetTickCount(), kReplyDeadline, false};
    const char* bytes = reinterpret_cast<const char*>(data);
    int32_t sent = 0;
    const int32_t whole_chunks = size / kChunkSize;
    for (int32_t i = 0; i < whole_chunks; ++i) {
        if (!may_send_more(client, clock)) return false;
        int n = send_call(client, bytes + sent, kChunkSize, 0);
        if (n < kChunkSize) return false;
        sent += n;
    }
    const int32_t rest = size % kChunkSize;
    if (rest > 0 && may_send_more(client, clock)) {
        int n = send_call(client, bytes + sent, rest, 0);
        if (n > 0) sent += n;
    }
    return sent == size;
}

int SnapshotServer::handle_client(SOCKET client)
{
    xxLogScope scope(std::ostringstream("SnapshotServer::handle_client\n"));

    char buffer[kReceiveBufferSize] = {0};
    int received = recv(client, buffer, kReceiveBufferSize, 0);
    const std::string request(buffer, strnlen(buffer, kReceiveBufferSize));
    {
        std::ostringstream dump;
        dump << "received following buffer (size: " << received << ")\n" << request << "\n\n";
        xxLog::instance().write(dump, 1);
    }
    // A read that failed or timed out gets no reply at all.
    if (received < 0) return 0;
    if (request.find("favicon") != std::string::npos) return 0;

    serving_client = true;
    log_text(1, "getting peer name\n");
    std::string address = peer_address(client);
    log_text(1, "getting ip string\n");
    {
        xxScopedLock hold(&state_lock);
        client_address = address;
    }
    log_text(1, "setting sys tray\n");
    owner->update_status();

    bool allowed = !get_ask_before_sending_snapshot() || confirm_sending(get_client_address(), stop_requested);
    if (allowed) {
        log_text(1, "has auto snapshot?\n");
        if (get_auto_snapshot()) Snapshot(0, 0, -1, -1);
        log_text(1, "has image?\n");
        // Our own reference: a capture that installs a newer snapshot meanwhile frees nothing we send.
        std::shared_ptr<const unsigned char[]> data;
        int32_t size = 0;
        get_snapshot(data, size);
        if (data && size > 0) {
            log_text(1, "sending image\n");
            replied = true;
            // A header that does not go out whole ends the request quietly.
            const bool header_sent = send_call(client, kResponseHeader, kResponseHeaderSize, 0) == kResponseHeaderSize;
            if (header_sent && send_image(client, data.get(), size)) {
                std::ostringstream sent;
                sent << "image sent. Size: " << size << "\n";
                xxLog::instance().write(sent, 1);
                owner->sent_sound();
                count_sent_snapshot();
                owner->fill_preferences();
            } else if (header_sent) {
                log_text(3, std::string(kLogError) + "error sending image\n");
            }
        }
    }

    serving_client = false;
    owner->update_status();
    return 0;
}
