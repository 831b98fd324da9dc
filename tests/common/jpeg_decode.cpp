#include "common/jpeg_decode.h"

#include "common/test_helpers.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace testing_helpers {

namespace {

struct DecodeErrors {
    jpeg_error_mgr library;
    jmp_buf recovery;
};

void on_decode_error(j_common_ptr info)
{
    longjmp(reinterpret_cast<DecodeErrors*>(info->err)->recovery, 1);
}

void ignore_message(j_common_ptr) {}

constexpr int kBlock = 96;

LRESULT CALLBACK pattern_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        for (int y = 0; y < area.bottom; y += kBlock) {
            for (int x = 0; x < area.right; x += kBlock) {
                HBRUSH brush = CreateSolidBrush(pattern_colour(x, y));
                RECT block = {x, y, x + kBlock, y + kBlock};
                FillRect(dc, &block, brush);
                DeleteObject(brush);
            }
        }
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

bool decode_jpeg(const std::string& bytes, Image& image)
{
    if (bytes.size() < 4) return false;
    jpeg_decompress_struct info;
    DecodeErrors errors;
    info.err = jpeg_std_error(&errors.library);
    errors.library.error_exit = on_decode_error;
    errors.library.output_message = ignore_message;
    if (setjmp(errors.recovery)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.rgb.assign(static_cast<size_t>(image.width) * image.height * 3, 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &image.rgb[static_cast<size_t>(info.output_scanline) * image.width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    // A cut-off file decodes with a warning about premature end: count it as broken.
    const bool complete = errors.library.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    return complete;
}

bool near_colour(COLORREF a, COLORREF b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

COLORREF pattern_colour(int x, int y)
{
    const int bx = x / kBlock, by = y / kBlock;
    // Distinct, saturated colours; never pure white (the overlay's colour key).
    static const COLORREF palette[] = {RGB(200, 30, 30),  RGB(30, 160, 40),  RGB(40, 60, 210),  RGB(230, 200, 20),
                                       RGB(20, 190, 200), RGB(190, 40, 190), RGB(120, 70, 20),  RGB(0, 0, 0),
                                       RGB(240, 130, 60), RGB(90, 90, 90),   RGB(160, 220, 120), RGB(70, 20, 110)};
    const int count = sizeof(palette) / sizeof(palette[0]);
    return palette[(bx * 5 + by * 7) % count];
}

int blocks_off_pattern(const Image& image)
{
    int wrong = 0;
    for (int y = kBlock / 2; y < image.height; y += kBlock)
        for (int x = kBlock / 2; x < image.width; x += kBlock)
            if (!near_colour(pattern_colour(x, y), image.at(x, y))) ++wrong;
    return wrong;
}

PatternWindow::PatternWindow()
{
    static ATOM registered = [] {
        WNDCLASSA klass = {};
        klass.lpfnWndProc = pattern_proc;
        klass.hInstance = GetModuleHandleA(nullptr);
        klass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        klass.lpszClassName = "GlintorTestPattern";
        return RegisterClassA(&klass);
    }();
    (void)registered;
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    handle = CreateWindowExA(0, "GlintorTestPattern", "pattern", WS_POPUP | WS_VISIBLE, left, top, width,
                             height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(handle);
    pump_messages();
    GdiFlush();
}

PatternWindow::~PatternWindow()
{
    if (handle) DestroyWindow(handle);
    pump_messages();
}

}  // namespace testing_helpers
