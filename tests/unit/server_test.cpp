// The web server over real loopback sockets, against the real server object in this process.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <windows.h>
#include <mmsystem.h>  // the sound flags

#include "capture/sounds.h"
#include "common/http_client.h"
#include "common/in_process.h"
#include "common/test_helpers.h"

using namespace testing_helpers;

namespace {

// Records the size of every send the server makes, and each sound it plays.
std::mutex sends_lock;
std::vector<int> sends;
std::vector<std::string> sounds;

int WSAAPI recording_send(SOCKET s, const char* data, int size, int flags)
{
    {
        std::lock_guard<std::mutex> hold(sends_lock);
        sends.push_back(size);
    }
    return ::send(s, data, size, flags);
}

std::vector<int> recorded_sends()
{
    std::lock_guard<std::mutex> hold(sends_lock);
    return sends;
}

// Stands in for the platform, which would take every sound: the user's files and the resources.
BOOL WINAPI recording_play(LPCSTR sound, HMODULE, DWORD flags)
{
    std::lock_guard<std::mutex> hold(sends_lock);
    sounds.push_back(flags & SND_FILENAME ? sound : "resource " + std::to_string(reinterpret_cast<uintptr_t>(sound)));
    return TRUE;
}

std::vector<std::string> recorded_sounds()
{
    std::lock_guard<std::mutex> hold(sends_lock);
    return sounds;
}

// A sound file of the user's, made anew (over the last run's) in the temporary folder.
std::string user_wave_file()
{
    char temp[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "glintor-test-sound.wav";
    std::ofstream(path, std::ios::binary) << "RIFF";
    return path;
}

int WSAAPI failing_image_send(SOCKET s, const char* data, int size, int flags)
{
    if (size == static_cast<int>(kResponseHeader.size())) return ::send(s, data, size, flags);
    WSASetLastError(WSAECONNRESET);
    return SOCKET_ERROR;
}

int WSAAPI failing_event_select(SOCKET, WSAEVENT, long)
{
    WSASetLastError(WSAENETDOWN);
    return SOCKET_ERROR;
}

std::shared_ptr<const unsigned char[]> make_image(size_t size, unsigned seed, std::string* copy = nullptr)
{
    // Spoilt when freed: a sender still reading a freed image sends the wrong bytes.
    std::shared_ptr<unsigned char[]> bytes(new unsigned char[size], [size](unsigned char* freed) {
        std::memset(freed, 0xdd, size);
        delete[] freed;
    });
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 31 + seed * 7 + (i >> 8)) & 0xff);
    if (copy) copy->assign(reinterpret_cast<const char*>(bytes.get()), size);
    return bytes;
}

class ServerTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        port = free_port();
        set_raw_dword("port_number", static_cast<DWORD>(port));
        set_raw_dword("auto_snapshot", 0);
        set_raw_dword("play_sent_sound", 0);
        controller = std::make_unique<SnapshotSystem>();
        server().send_call = &recording_send;
        play_sound_call = &recording_play;
        std::lock_guard<std::mutex> hold(sends_lock);
        sends.clear();
        sounds.clear();
    }
    void TearDown() override
    {
        ControllerTest::TearDown();
        play_sound_call = nullptr;
    }
    void start()
    {
        server().start_server();
        ASSERT_TRUE(server().get_server_running()) << "port " << port;
    }
    std::string install(size_t size, unsigned seed = 1)
    {
        std::string copy;
        server().install_snapshot(make_image(size, seed, &copy), static_cast<int32_t>(size));
        return copy;
    }
    int32_t session() { return server().get_session_counter(); }
    int32_t alltime() { return server().get_alltime_counter(); }

    int port = 0;
};

TEST_F(ServerTest, AnyRequestGetsTheHeaderAndTheImageAndAFaviconRequestNothing)
{
    start();
    const std::string image = install(3000);
    // The favicon ones first: they count nothing and leave no viewer's address behind.
    const char* requests[] = {"GET /favicon.ico HTTP/1.1\r\n\r\n",
                              "GET / HTTP/1.1\r\nReferer: http://127.0.0.1:2000/favicon.ico\r\n\r\n",
                              "GET /any/path?x=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "not http at all", "",
                              "GET /FAVICON.ICO HTTP/1.1\r\n\r\n"};
    for (const char* request : requests) {
        const bool favicon = std::strstr(request, "favicon") != nullptr;
        Reply reply = http_exchange(port, request);
        EXPECT_TRUE(reply.closed) << request;
        EXPECT_TRUE(!favicon || server().get_client_address().empty()) << request;
        EXPECT_EQ(favicon ? "" : kResponseHeader + image, reply.bytes) << "request \"" << request << "\" got " << reply.bytes.size();
    }
    EXPECT_EQ(4, session());
    EXPECT_EQ(4, alltime());
}

TEST_F(ServerTest, WithoutASnapshotNothingIsSent)
{
    start();
    Reply reply = http_exchange(port, "GET / HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(0u, reply.bytes.size());
    EXPECT_EQ(0, alltime());
    EXPECT_TRUE(recorded_sends().empty());
    EXPECT_EQ("127.0.0.1", server().get_client_address());
}

TEST_F(ServerTest, TheImageGoesOutIn1024BytePieces)
{
    start();
    const struct {
        size_t size;
        std::vector<int> expected;
    } cases[] = {
        {2048, {64, 1024, 1024}},
        {1000, {64, 1000}},
        {2500, {64, 1024, 1024, 452}},
    };
    for (const auto& c : cases) {
        {
            std::lock_guard<std::mutex> hold(sends_lock);
            sends.clear();
        }
        const std::string image = install(c.size, static_cast<unsigned>(c.size));
        Reply reply = http_exchange(port, "GET / HTTP/1.1\r\n\r\n");
        EXPECT_EQ(kResponseHeader + image, reply.bytes);
        EXPECT_EQ(c.expected, recorded_sends()) << "image of " << c.size << " bytes";
    }
}

TEST_F(ServerTest, ConfirmationNoSendsNothingAndYesCapturesAndSends)
{
    set_raw_dword("ask_before_sending_snapshot", 1);
    // Auto mode: the capture waits for the answer, so that the viewer gets the screen after it.
    set_raw_dword("auto_snapshot", 1);
    const std::string wave = user_wave_file();
    set_raw_string("snapshot_sound_path", wave);
    start();
    const std::string image = install(1500);
    auto current = [&] {
        std::shared_ptr<const unsigned char[]> data;
        int32_t size = 0;
        server().get_snapshot(data, size);
        return data ? std::string(reinterpret_cast<const char*>(data.get()), size) : std::string();
    };

    for (int answer : {IDNO, IDYES}) {
        Reply reply;
        std::thread client([&] { reply = http_exchange(port, "GET / HTTP/1.1\r\n\r\n", 20000); });
        HWND box = wait_for_confirmation(GetCurrentProcessId(), 10000);
        ASSERT_TRUE(box) << "no box";
        EXPECT_EQ("Do you want to allow the user from 127.0.0.1 to recieve the current snapshot?",
                  control_text(GetDlgItem(box, 0xffff)));
        EXPECT_TRUE(server().is_serving_client());
        EXPECT_TRUE(image == current()) << "captured before the answer";
        answer_confirmation(box, answer);
        client.join();
        if (answer == IDNO) {
            EXPECT_EQ(0u, reply.bytes.size());
            EXPECT_TRUE(image == current()) << "captured after No";
            EXPECT_EQ(0, alltime());
            EXPECT_TRUE(recorded_sounds().empty()) << recorded_sounds()[0];
        } else {
            EXPECT_TRUE(image != current()) << "no capture after Yes";
            EXPECT_TRUE(kResponseHeader + current() == reply.bytes) << "got " << reply.bytes.size() << " bytes";
            EXPECT_EQ(1, alltime());
            // The snapshot sound, from the user's file; the sent sound is off.
            EXPECT_EQ(std::vector<std::string>{wave}, recorded_sounds());
        }
    }
}

TEST_F(ServerTest, TheSentSoundFollowsOnlyAWholeSend)
{
    set_raw_dword("play_sent_sound", 1);
    const std::string wave = user_wave_file();
    set_raw_string("sent_sound_path", wave);
    start();
    install(3000);
    EXPECT_GT(http_exchange(port, "GET /").bytes.size(), kResponseHeader.size());
    server().send_call = &failing_image_send;
    EXPECT_EQ(kResponseHeader, http_exchange(port, "GET /").bytes);
    EXPECT_EQ(std::vector<std::string>{wave}, recorded_sounds());
    EXPECT_EQ(1, alltime());
}

TEST_F(ServerTest, RequestsThatCaptureLeaveNoGdiObjectBehind)
{
    set_raw_dword("auto_snapshot", 1);
    set_raw_dword("play_snapshot_sound", 0);
    start();
    // The first capture keeps its bitmap for the next; the status it posts is shown here.
    http_exchange(port, "GET /");
    pump_messages();
    const int gdi_before = free_gdi_handles();
    for (int i = 0; i < 20; ++i) {
        EXPECT_GT(http_exchange(port, "GET /").bytes.size(), kResponseHeader.size());
        pump_messages();
    }
    EXPECT_GE(free_gdi_handles(), gdi_before - 5) << "of " << gdi_before << ", after 20 requests";
}

TEST_F(ServerTest, AStartWhileTheServerRunsChangesNothing)
{
    start();
    const std::string image = install(100);
    server().start_server();
    EXPECT_TRUE(server().get_server_running());
    EXPECT_FALSE(server().has_server_error());
    EXPECT_EQ(kResponseHeader + image, http_exchange(port, "GET /").bytes);
}

TEST_F(ServerTest, PortZeroBindsAPortOfTheSystemsChoiceAndAFailedWaitForConnectionsIsAFailedStart)
{
    set_raw_dword("port_number", 0);
    server().start_server();
    EXPECT_TRUE(server().get_server_running());
    EXPECT_FALSE(server().has_server_error());
    server().stop_server();
    server().event_select_call = &failing_event_select;
    server().start_server();
    EXPECT_FALSE(server().get_server_running());
    EXPECT_TRUE(server().has_server_error());
}

TEST_F(ServerTest, ANewPortRestartsARunningServerAndStartsNothingOtherwise)
{
    start();
    install(700);
    const int second = free_port();
    server().set_port_number(second);
    EXPECT_TRUE(server().get_server_running());
    EXPECT_EQ(kResponseHeader.size() + 700u, http_exchange(second, "GET /").bytes.size());
    EXPECT_FALSE(http_exchange(port, "GET /").connected) << "the old port still answers";
    // Right after a served request, whose connection the server closed first.
    server().stop_server();
    server().start_server();
    EXPECT_TRUE(server().get_server_running());
    EXPECT_EQ(kResponseHeader.size() + 700u, http_exchange(second, "GET /").bytes.size());

    server().stop_server();
    const int third = free_port();
    server().set_port_number(third);
    EXPECT_FALSE(server().get_server_running());
    EXPECT_FALSE(http_exchange(third, "GET /").connected);
}

TEST_F(ServerTest, StopTakesEffectPromptlyWhenIdle)
{
    start();
    // Idle, the server thread waits without a time-out: it is not woken to look for a stop. A
    // poll would wake this process dozens of times in every second; the start may still be
    // settling in the first.
    const std::string self = this_linux_folder();
    long woken = -1;
    for (int second = 0; second < 5 && !(woken >= 0 && woken < 10); ++second) {
        const long before = wake_ups(self);
        Sleep(1000);
        woken = before < 0 ? -1 : wake_ups(self) - before;
    }
    EXPECT_TRUE(woken >= 0 && woken < 10) << woken << " wake-ups in the last second";
    const DWORD start_tick = GetTickCount();
    server().stop_server();
    // The idle loop wakes for the stop itself: no time-out or poll to wait out, only Winsock's
    // clean-up, which a busy machine may stretch.
    EXPECT_LT(GetTickCount() - start_tick, 2000u);
    EXPECT_FALSE(server().get_server_running());
}

TEST_F(ServerTest, AReaderOfAKilobyteAtATimeDoesNotHoldTheStop)
{
    start();
    // More than the loopback buffers on both sides hold, so that the sends wait for the reader.
    install(16 << 20);
    SOCKET slow = connect_to(port, 4096);
    ASSERT_NE(INVALID_SOCKET, slow);
    DWORD patience = 5000;
    setsockopt(slow, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&patience), sizeof(patience));
    send(slow, "GET / HTTP/1.1\r\n\r\n", 18, 0);
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        char piece[1024];
        // Gives up after 20 s: a stop that waited for the whole image ends then.
        for (const DWORD until = GetTickCount() + 20000; reading && GetTickCount() < until;) {
            if (recv(slow, piece, sizeof(piece), 0) <= 0) break;
            Sleep(100);
        }
    });
    ASSERT_TRUE(wait_until([&] { return recorded_sends().size() > 100; }, 10000));
    const DWORD start_tick = GetTickCount();
    server().stop_server();
    const DWORD took = GetTickCount() - start_tick;
    reading = false;
    reader.join();
    closesocket(slow);
    EXPECT_LT(took, 11000u) << "sends before the stop: " << recorded_sends().size();
}

TEST_F(ServerTest, ImagesReplacedWhileSendingArriveWhole)
{
    start();
    // Each image is installed anew and held by the server alone.
    std::vector<std::string> images(3);
    auto install = [&](size_t k, std::string* copy) {
        server().install_snapshot(make_image(200000 + k * 10007, static_cast<unsigned>(k) + 3, copy),
                                  static_cast<int32_t>(200000 + k * 10007));
    };
    for (size_t k = images.size(); k-- > 0;) install(k, &images[k]);

    std::atomic<bool> done{false};
    std::thread replacer([&] {
        for (int i = 0; i < 200; ++i) {
            install(static_cast<size_t>(i) % images.size(), nullptr);
            Sleep(2);
        }
        done = true;
    });
    int requests = 0;
    while (!done || requests < 10) {
        Reply reply = http_exchange(port, "GET /");
        ++requests;
        bool whole = false;
        for (const auto& image : images) whole = whole || reply.bytes == kResponseHeader + image;
        EXPECT_TRUE(whole) << "request " << requests << " got " << reply.bytes.size() << " bytes";
        pump_messages();
    }
    replacer.join();
}

}  // namespace
