// The benchmark: capture and encode on a 1920 x 1080 screen showing a busy, photo-like image,
// then the real glintor.exe over loopback, beside the references the script measured.
// Run by scripts/bench.sh, which passes the reference figures on the command line.
#include <winsock2.h>
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/jpeg_file.h"
#include "common/http_client.h"
#include "common/in_process.h"
#include "common/test_helpers.h"
#include "e2e/glintor_process.h"
#include "support/handles.h"

using namespace testing_helpers;

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

// A busy, photo-like picture: smooth colour fields, soft discs and fine noise.
HBITMAP make_photo(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    unsigned char* p = static_cast<unsigned char*>(bits);
    unsigned state = 2024;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, p += 4) {
            state = state * 1664525 + 1013904223;
            const double fx = x / 240.0, fy = y / 180.0;
            double r = 128 + 90 * std::sin(fx + 0.7 * std::cos(fy * 1.3));
            double g = 128 + 90 * std::sin(fy * 1.1 + 0.5 * std::sin(fx * 0.9));
            double b = 128 + 90 * std::cos((fx + fy) * 0.8);
            for (int k = 0; k < 6; ++k) {
                const double cx = 300 + k * 270, cy = 200 + (k % 3) * 300;
                const double d = std::hypot(x - cx, y - cy);
                const double w = std::exp(-d * d / (2 * 90.0 * 90.0));
                r += w * (k * 40 % 255 - 100);
                g += w * (200 - k * 30);
                b += w * (k * 70 % 255 - 120);
            }
            const int noise = static_cast<int>((state >> 24) % 41) - 20;
            p[0] = static_cast<unsigned char>(std::clamp(b + noise, 0.0, 255.0));
            p[1] = static_cast<unsigned char>(std::clamp(g + noise, 0.0, 255.0));
            p[2] = static_cast<unsigned char>(std::clamp(r + noise, 0.0, 255.0));
        }
    }
    return bitmap;
}

HBITMAP photo = nullptr;

LRESULT CALLBACK photo_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        glintor::CreatedDC memory(CreateCompatibleDC(dc));
        glintor::SelectedObject selected(memory.get(), photo);
        BITMAP size;
        GetObjectA(photo, sizeof(size), &size);
        BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, memory.get(), 0, 0, SRCCOPY);
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND show_photo()
{
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    photo = make_photo(width, height);
    WNDCLASSA klass = {};
    klass.lpfnWndProc = photo_proc;
    klass.hInstance = GetModuleHandleA(nullptr);
    klass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    klass.lpszClassName = "GlintorBenchPhoto";
    RegisterClassA(&klass);
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "GlintorBenchPhoto", "photo", WS_POPUP | WS_VISIBLE, 0, 0, width,
                                  height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(window);
    pump_messages();
    GdiFlush();
    return window;
}

// The capture's steps, each timed on its own, as the capture performs them.
struct CaptureSteps {
    Stats copy, rows, encode, file, total;
    size_t jpeg_bytes = 0;
};

CaptureSteps measure_capture(SnapshotServer& server, int runs)
{
    CaptureSteps steps;
    const int W = GetSystemMetrics(SM_CXVIRTUALSCREEN), H = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int PW = W % 8 == 0 ? W : W - W % 8 + 8;
    glintor::CreatedDC display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    glintor::CreatedDC memory(CreateCompatibleDC(display.get()));
    glintor::GdiObject bitmap(CreateCompatibleBitmap(display.get(), PW, H));
    glintor::SelectedObject selected(memory.get(), bitmap.get());
    std::vector<unsigned char> row(static_cast<size_t>(PW) * 3), image(static_cast<size_t>(W) * H * 3);
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = PW;
    format.bmiHeader.biHeight = H;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;

    steps.copy = time_runs(runs, [&] {
        BitBlt(memory.get(), 0, 0, PW, H, display.get(), 0, 0, SRCCOPY | CAPTUREBLT);
        GdiFlush();
    });
    steps.rows = time_runs(runs, [&] {
        for (int i = 0; i < H; ++i) {
            GetDIBits(display.get(), static_cast<HBITMAP>(bitmap.get()), i, 1, row.data(), &format, DIB_RGB_COLORS);
            unsigned char* out = &image[static_cast<size_t>(H - 1 - i) * W * 3];
            for (int p = 0; p < W; ++p) {
                out[p * 3] = row[p * 3 + 2];
                out[p * 3 + 1] = row[p * 3 + 1];
                out[p * 3 + 2] = row[p * 3];
            }
        }
    });
    char folder[MAX_PATH] = {0}, name[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH, folder);
    std::vector<double> encode_samples, file_samples;
    for (int i = 0; i < runs; ++i) {
        double start = now_ms();
        GetTempFileNameA(folder, "jpg", 0, name);
        double reserved = now_ms();
        glintor::UniqueFile stream(JpegFile::encode(name, image.data(), W, H, 60));
        double encoded = now_ms();
        std::fseek(stream.get(), 0, SEEK_END);
        long length = std::ftell(stream.get());
        std::unique_ptr<unsigned char[]> bytes(new unsigned char[length]);
        std::rewind(stream.get());
        std::fread(bytes.get(), 1, length, stream.get());
        stream.reset();
        double done = now_ms();
        steps.jpeg_bytes = static_cast<size_t>(length);
        encode_samples.push_back(encoded - reserved);
        file_samples.push_back((reserved - start) + (done - encoded));
    }
    steps.encode = stats_of(encode_samples);
    steps.file = stats_of(file_samples);
    steps.total = time_runs(runs, [&] { server.Snapshot(0, 0, -1, -1); });
    return steps;
}

// Sequential requests for a while; requests per second and whether all were whole.
double requests_per_second(int port, const char* request, double seconds, size_t expected_bytes, int clients = 1)
{
    std::atomic<long> served{0}, short_replies{0};
    const double end = now_ms() + seconds * 1000;
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            while (now_ms() < end) {
                Reply reply = http_exchange(port, request, 10000);
                if (reply.bytes.size() >= expected_bytes)
                    ++served;
                else
                    ++short_replies;
            }
        });
    const double start = now_ms();
    for (auto& t : threads) t.join();
    const double elapsed = (now_ms() - start) / 1000.0;
    if (short_replies) std::printf("  (%ld short replies)\n", short_replies.load());
    return served / elapsed;
}

double cpu_ms(HANDLE process)
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(process, &created, &ended, &kernel, &user);
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (k.QuadPart + u.QuadPart) / 10000.0;
}

double argument(int argc, char** argv, const char* name, double fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == name) return std::atof(argv[i + 1]);
    return fallback;
}

const char* verdict(bool met)
{
    return met ? "met" : "NOT met";
}

}  // namespace

int main(int argc, char** argv)
{
    const double import_median = argument(argc, argv, "--import-median", -1);
    const double import_p95 = argument(argc, argv, "--import-p95", -1);
    const int static_port = static_cast<int>(argument(argc, argv, "--static-port", 0));
    const int runs = static_cast<int>(argument(argc, argv, "--runs", 20));
    std::string static_file;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--static-file") static_file = argv[i + 1];

    prepare_program_environment();
    ensure_winsock();
    clear_settings();
    const int port = free_port();
    set_raw_dword("server_running", 0);
    set_raw_dword("auto_snapshot", 0);
    set_raw_dword("play_snapshot_sound", 0);
    set_raw_dword("play_sent_sound", 0);
    set_raw_dword("port_number", static_cast<DWORD>(port));

    HWND window = show_photo();
    CaptureSteps steps;
    {
        SnapshotSystem controller;
        steps = measure_capture(controller.server, runs);
    }

    // The real program, as viewers reach it.
    set_raw_dword("server_running", 1);
    set_raw_dword("auto_snapshot", 1);
    e2e::GlintorProcess glintor;
    if (!glintor.start()) {
        std::printf("glintor.exe did not start\n");
        return 1;
    }
    std::vector<double> request_samples;
    size_t image_bytes = 0;
    for (int i = 0; i < runs; ++i) {
        Reply reply = http_exchange(port, "GET / HTTP/1.1\r\n\r\n", 30000);
        request_samples.push_back(reply.milliseconds);
        image_bytes = reply.bytes.size();
    }
    const Stats auto_request = stats_of(request_samples);

    set_raw_dword("auto_snapshot", 0);  // read afresh by every request: the stored snapshot from now on
    const double stored_rps = requests_per_second(port, "GET / HTTP/1.1\r\n\r\n", 3, image_bytes);
    const double stored_rps4 = requests_per_second(port, "GET / HTTP/1.1\r\n\r\n", 3, image_bytes, 4);

    if (!static_file.empty()) {
        // The same bytes for the static server to serve.
        Reply sample = http_exchange(port, "GET /", 10000);
        glintor::UniqueFile out(std::fopen(static_file.c_str(), "wb"));
        if (out && sample.bytes.size() > 60) std::fwrite(sample.bytes.data() + 60, 1, sample.bytes.size() - 60, out.get());
    }

    Sleep(500);
    const double cpu_before = cpu_ms(glintor.process());
    const double idle_start = now_ms();
    Sleep(10000);
    const double idle_percent = 100.0 * (cpu_ms(glintor.process()) - cpu_before) / (now_ms() - idle_start);

    for (int i = 0; i < 1000; ++i) http_exchange(port, "GET /", 10000);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(glintor.process(), &memory, sizeof(memory));
    e2e::exit_through_tray_menu(glintor);

    double static_rps = -1;
    if (static_port > 0) static_rps = requests_per_second(static_port, "GET /snapshot.jpg HTTP/1.0\r\n\r\n", 3, image_bytes - 60);

    DestroyWindow(window);
    clear_settings();

    const int W = GetSystemMetrics(SM_CXVIRTUALSCREEN), H = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    std::printf("\nGlintor benchmark: %d x %d screen, quality 60, JPEG of %zu bytes, %d runs each\n\n", W, H,
                steps.jpeg_bytes, runs);
    std::printf("| measure | median | 95th percentile |\n|---|---|---|\n");
    std::printf("| screen copy (BitBlt) | %.1f ms | %.1f ms |\n", steps.copy.median, steps.copy.p95);
    std::printf("| row fetch and conversion (GetDIBits, one row a call) | %.1f ms | %.1f ms |\n", steps.rows.median,
                steps.rows.p95);
    std::printf("| JPEG encoding | %.1f ms | %.1f ms |\n", steps.encode.median, steps.encode.p95);
    std::printf("| temporary-file round trip | %.1f ms | %.1f ms |\n", steps.file.median, steps.file.p95);
    std::printf("| whole capture, encode and install (Snapshot) | %.1f ms | %.1f ms |\n", steps.total.median,
                steps.total.p95);
    std::printf("| auto-snapshot HTTP request, connect to last byte | %.1f ms | %.1f ms |\n", auto_request.median,
                auto_request.p95);
    if (import_median >= 0)
        std::printf("| reference: import -window root -quality 60 jpeg:- | %.1f ms | %.1f ms |\n", import_median,
                    import_p95);
    std::printf("\n| measure | value |\n|---|---|\n");
    std::printf("| stored snapshot, sequential requests | %.0f per second |\n", stored_rps);
    std::printf("| stored snapshot, 4 clients at once | %.0f per second |\n", stored_rps4);
    if (static_rps >= 0) std::printf("| reference: busybox httpd, same bytes, sequential | %.0f per second |\n", static_rps);
    std::printf("| idle program, server listening, 10 s | %.2f %% of one core |\n", idle_percent);
    std::printf("| peak working set after 1,000 requests | %.1f MiB |\n", memory.PeakWorkingSetSize / 1048576.0);

    std::printf("\nBars:\n");
    std::printf("- encoding within 10 ms: %s (%.1f ms)\n", verdict(steps.encode.median <= 10), steps.encode.median);
    if (import_median > 0)
        std::printf("- auto-snapshot request at most half of import's median: %s (%.1f ms against %.1f ms)\n",
                    verdict(auto_request.median <= import_median / 2), auto_request.median, import_median);
    std::printf("- stored snapshot at 1,000 requests per second or more: %s (%.0f)\n", verdict(stored_rps >= 1000),
                stored_rps);
    std::printf("- idle under 1%% of one core: %s (%.2f %%)\n", verdict(idle_percent < 1), idle_percent);
    return 0;
}
