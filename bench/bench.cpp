// The capture half of the benchmark: one whole-screen snapshot and each of its steps, timed on
// whatever the screen shows (scripts/bench.sh puts a photo-like picture there first). Prints
// three lines for the script (median and 95th percentile each):
//   capture <copy> <rows> <encode> <file> <total> <jpeg bytes>   in ms, on a thread of its own,
//                                    as the server thread takes auto snapshots
//   main <total>                     in ms, the whole capture on the main thread (hot keys)
//   sends <1,024 bytes> <65,536 bytes>  in microseconds, one loopback send under this platform,
//                                    which bounds how many requests a second can be served
//   steps <log> <read> <write> <post> <sound> <socket> <peer>  in microseconds, median of each
//                                    kind of step a request takes besides its sends, as the
//                                    server thread pays it: a dormant log line, a setting read,
//                                    a setting written, a refresh posted to the main dialog, the
//                                    sent sound at its defaults, the accepted socket's set-up,
//                                    the peer's address
//   stop <median> <p95>              in ms, stopping the idle server
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_steps.h"
#include "capture/jpeg_file.h"
#include "driving/in_process.h"
#include "driving/loopback.h"
#include "driving/raw_settings.h"
#include "support/handles.h"
#include "support/xx_log.h"

using namespace driving;

namespace {

double now_ms()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

struct Stats {
    double median = 0, p95 = 0;
};

Stats stats_of(std::vector<double> samples)
{
    Stats s;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    s.median = samples[samples.size() / 2];
    s.p95 = samples[std::min(samples.size() - 1, static_cast<size_t>(std::ceil(samples.size() * 0.95)) - 1)];
    return s;
}

Stats time_runs(int runs, const std::function<void()>& body)
{
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        double start = now_ms();
        body();
        samples.push_back(now_ms() - start);
    }
    return stats_of(samples);
}

// The capture's steps, each timed on its own, as the capture performs them.
struct CaptureSteps {
    Stats copy, rows, encode, file, total;
    size_t jpeg_bytes = 0;
};

CaptureSteps measure_capture(SnapshotServer& server, int runs)
{
    CaptureSteps steps;
    const RECT virtual_screen = read_virtual_screen();
    const POINT origin = {virtual_screen.left, virtual_screen.top};
    const int W = virtual_screen.right - virtual_screen.left, H = virtual_screen.bottom - virtual_screen.top;
    glintor::CreatedDC display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    glintor::CreatedDC memory(CreateCompatibleDC(display.get()));
    glintor::WindowDC screen(nullptr, GetDC(nullptr));
    CaptureScratch scratch;
    const HBITMAP bitmap = scratch_bitmap(scratch, screen.get(), W, H);

    steps.copy = time_runs(runs, [&] {
        glintor::SelectedObject selected(memory.get(), bitmap);
        copy_screen(memory.get(), screen.get(), virtual_screen, origin, W, H);
        GdiFlush();
    });
    steps.rows = time_runs(runs, [&] { fetch_rows(screen.get(), bitmap, W, H, scratch); });
    std::vector<double> encode_samples, file_samples;
    for (int i = 0; i < runs; ++i) {
        double start = now_ms();
        const std::wstring name = reserve_temp_file();
        double reserved = now_ms();
        glintor::UniqueFile stream(JpegFile::encode(name, scratch.image.data(), W, H, 60));
        double encoded = now_ms();
        steps.jpeg_bytes = static_cast<size_t>(read_back(stream.get()).length);
        stream.reset();
        double done = now_ms();
        encode_samples.push_back(encoded - reserved);
        file_samples.push_back((reserved - start) + (done - encoded));
    }
    steps.encode = stats_of(encode_samples);
    steps.file = stats_of(file_samples);
    steps.total = time_runs(runs, [&] { server.Snapshot(0, 0, -1, -1); });
    return steps;
}

// One send on a loopback connection whose other end a thread drains, timed call by call.
struct SendCosts {
    Stats small, large;
};

SendCosts measure_sends()
{
    SendCosts costs;
    const int port = free_port();
    glintor::UniqueSocket listener(hold_port(port));
    glintor::UniqueSocket reader(connect_to(port));
    if (!listener || !reader) return costs;
    glintor::UniqueSocket writer(accept(listener.get(), nullptr, nullptr));
    std::thread drain([&reader] {
        std::vector<char> sink(1 << 20);
        while (recv(reader.get(), sink.data(), static_cast<int>(sink.size()), 0) > 0) {
        }
    });
    std::vector<char> bytes(65536, 'x');
    costs.small = time_runs(2000, [&] { send(writer.get(), bytes.data(), 1024, 0); });
    costs.large = time_runs(200, [&] { send(writer.get(), bytes.data(), 65536, 0); });
    shutdown(writer.get(), SD_SEND);
    drain.join();
    return costs;
}

// Each kind of step a request takes besides its sends, timed alone on this (non-window) thread.
struct RequestSteps {
    Stats log, read, write, post, sound, socket, peer;
};

RequestSteps measure_request_steps(SnapshotSystem& controller)
{
    RequestSteps steps;
    SnapshotServer& server = controller.server;
    steps.log = time_runs(200, [] { log_text(1, "step\n"); });
    steps.read = time_runs(200, [&] { server.get_auto_snapshot(); });
    int32_t count = 0;
    steps.write = time_runs(200, [&] { server.set_session_counter(++count); });
    steps.post = time_runs(200, [&] { PostMessageA(controller.dialog, WM_NULL, 0, 0); });
    steps.sound = time_runs(50, [&] { controller.sent_sound(); });

    const int port = free_port();
    glintor::UniqueSocket listener(hold_port(port));
    if (!listener) return steps;
    std::vector<glintor::UniqueSocket> accepted;
    std::vector<SOCKET> sockets;
    for (int i = 0; i < 50; ++i) {
        glintor::UniqueSocket client(connect_to(port));
        glintor::UniqueSocket server_side(accept(listener.get(), nullptr, nullptr));
        sockets.push_back(server_side.get());
        accepted.push_back(std::move(server_side));
        accepted.push_back(std::move(client));
    }
    size_t next = 0;
    steps.socket = time_runs(50, [&] { prepare_client_socket(sockets[next++]); });
    steps.peer = time_runs(50, [&] { peer_address(sockets[0]); });
    return steps;
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    prepare_program_environment();
    clear_settings();
    // The controller only lends its server object to the capture: no web server, no sounds.
    set_raw_dword("server_running", 0);
    set_raw_dword("auto_snapshot", 0);
    set_raw_dword("play_snapshot_sound", 0);
    set_raw_dword("port_number", static_cast<DWORD>(free_port()));
    CaptureSteps steps;
    RequestSteps request;
    Stats main_thread, stop;
    {
        SnapshotSystem controller;
        // Auto snapshots and requests are served on the server thread, not on the thread that
        // owns the windows.
        std::thread([&] {
            steps = measure_capture(controller.server, runs);
            request = measure_request_steps(controller);
        }).join();
        // Hot-key snapshots are taken on the main thread.
        main_thread = time_runs(runs, [&] { controller.server.Snapshot(0, 0, -1, -1); });
        std::vector<double> stops;
        for (int i = 0; i < 10; ++i) {
            controller.server.start_server();
            Sleep(200);
            const double start = now_ms();
            controller.server.stop_server();
            stops.push_back(now_ms() - start);
        }
        stop = stats_of(stops);
    }
    clear_settings();
    const Stats* all[] = {&steps.copy, &steps.rows, &steps.encode, &steps.file, &steps.total};
    std::printf("capture");
    for (const Stats* s : all) std::printf(" %.1f %.1f", s->median, s->p95);
    std::printf(" %zu\n", steps.jpeg_bytes);
    std::printf("main %.1f %.1f\n", main_thread.median, main_thread.p95);
    const SendCosts sends = measure_sends();
    std::printf("sends %.0f %.0f %.0f %.0f\n", sends.small.median * 1000, sends.small.p95 * 1000,
                sends.large.median * 1000, sends.large.p95 * 1000);
    const Stats* kinds[] = {&request.log, &request.read, &request.write, &request.post, &request.sound, &request.socket,
                            &request.peer};
    std::printf("steps");
    for (const Stats* k : kinds) std::printf(" %.0f", k->median * 1000);
    std::printf("\nstop %.1f %.1f\n", stop.median, stop.p95);
    return 0;
}
