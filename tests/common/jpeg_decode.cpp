#include "common/jpeg_decode.h"

#include "common/test_helpers.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

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

LRESULT CALLBACK painted_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    if (message == WM_ERASEBKGND) return 1;
    if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
    const auto kind = static_cast<Paint>(GetWindowLongPtrA(window, GWLP_USERDATA));
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    if (kind == Paint::noise) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), area.right, -area.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<unsigned> pixels(static_cast<size_t>(area.right) * area.bottom);
        std::mt19937 random(7);
        for (auto& p : pixels) p = random() & 0xffffff;
        SetDIBitsToDevice(dc, 0, 0, area.right, area.bottom, 0, 0, 0, area.bottom, pixels.data(), &info, DIB_RGB_COLORS);
    }
    for (int y = 0; kind != Paint::noise && y < area.bottom; y += kBlock) {
        for (int x = 0; x < area.right; x += kBlock) {
            HBRUSH brush = CreateSolidBrush(kind == Paint::plain ? kPlainColour : pattern_colour(x, y));
            RECT block = {x, y, x + kBlock, y + kBlock};
            FillRect(dc, &block, brush);
            DeleteObject(brush);
        }
    }
    EndPaint(window, &paint);
    return 0;
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

int blocks_off_pattern(const Image& image, int left, int top)
{
    int wrong = 0;
    // The middle of each block that lies in the image.
    for (int y = ((kBlock / 2 - top) % kBlock + kBlock) % kBlock; y < image.height; y += kBlock)
        for (int x = ((kBlock / 2 - left) % kBlock + kBlock) % kBlock; x < image.width; x += kBlock)
            if (!near_colour(pattern_colour(left + x, top + y), image.at(x, y))) ++wrong;
    return wrong;
}

HWND make_painted_window(Paint paint, RECT place, DWORD style, DWORD extended_style)
{
    static ATOM registered = [] {
        WNDCLASSA klass = {};
        klass.lpfnWndProc = painted_proc;
        klass.hInstance = GetModuleHandleA(nullptr);
        klass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        klass.lpszClassName = "GlintorTestPainted";
        return RegisterClassA(&klass);
    }();
    (void)registered;
    HWND window = CreateWindowExA(extended_style, "GlintorTestPainted", "painted", style | WS_VISIBLE, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), reinterpret_cast<void*>(static_cast<intptr_t>(paint)));
    UpdateWindow(window);
    pump_messages();
    GdiFlush();
    return window;
}

PatternWindow::PatternWindow(Paint paint)
{
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const RECT screen = {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    handle = make_painted_window(paint, screen, WS_POPUP);
}

PatternWindow::~PatternWindow()
{
    if (handle) DestroyWindow(handle);
    pump_messages();
}

}  // namespace testing_helpers
