// One snapshot of the screen: the chosen rectangle copied, the pointer drawn, the rows turned
// into an upright RGB image, encoded through a temporary JPEG file and installed as the
// current snapshot, with a numbered copy when the settings ask for one.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

#include "app/snapshot_system.h"
#include "capture/capture_steps.h"
#include "capture/copy_path.h"
#include "capture/jpeg_file.h"
#include "server/snapshot_server.h"
#include "support/handles.h"
#include "support/platform.h"
#include "support/xx_log.h"

namespace {

// A kept scratch is given back after this long without a capture.
constexpr DWORD kScratchIdleMilliseconds = 5000;

// Which part of a capture the screen has pixels for.
struct Visible {
    RECT part;         // in the bitmap's coordinates; empty when none
    bool whole_image;  // the W x H image lies wholly on the virtual screen
};

// The copy is limited to the virtual screen: under Wine a copy that reaches past the screen's
// edge (even only with the bitmap's padding columns) copies nothing at all. On Windows the
// outcome is the same as for the whole rectangle.
Visible visible_part(const RECT& screen, POINT origin, int32_t PW, int32_t H, int32_t W)
{
    const int64_t left = origin.x;
    const int64_t top = origin.y;
    Visible visible;
    visible.whole_image = left >= screen.left && top >= screen.top && left + W <= screen.right && top + H <= screen.bottom;
    const int64_t part_left = std::max<int64_t>(left, screen.left), part_top = std::max<int64_t>(top, screen.top);
    const int64_t part_right = std::min<int64_t>(left + PW, screen.right);
    const int64_t part_bottom = std::min<int64_t>(top + H, screen.bottom);
    visible.part = {0, 0, 0, 0};
    if (part_right > part_left && part_bottom > part_top)
        visible.part = {static_cast<LONG>(part_left - left), static_cast<LONG>(part_top - top),
                        static_cast<LONG>(part_right - left), static_cast<LONG>(part_bottom - top)};
    return visible;
}

void log_error(const char* text)
{
    log_text(3, std::string(kLogError) + text + "\n");
}

// At least size bytes of a kept buffer; null, with the buffer given up, when they cannot be had.
unsigned char* reserve(std::vector<unsigned char>& buffer, size_t size)
{
    if (buffer.size() < size) {
        // Growing would copy the old bytes first: let them go instead.
        std::vector<unsigned char>().swap(buffer);
        try {
            buffer.resize(size);
        } catch (const std::bad_alloc&) {
            std::vector<unsigned char>().swap(buffer);
            return nullptr;
        }
    }
    return buffer.data();
}

// The bytes of a 32-bit value in reverse order; compilers make this one instruction.
inline uint32_t swap_bytes(uint32_t value)
{
#ifdef _MSC_VER
    return _byteswap_ulong(value);
#else
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
#endif
}

// Blue, green, red in a fetched row; red, green, blue in the image. A pixel at a time through
// a 4-byte load and store: one byte swap turns blue, green, red and the next pixel's blue into
// red, green, blue and a spare byte, which the next pixel's store overwrites. The last pixel
// goes byte by byte: its spare byte would land on the image row below, and its load would reach
// past a row without padding.
void reverse_pixels(const unsigned char* in, unsigned char* out, int32_t count)
{
    int32_t p = 0;
    for (; p + 1 < count; ++p, in += 3, out += 3) {
        uint32_t pixel;
        std::memcpy(&pixel, in, sizeof(pixel));
        pixel = swap_bytes(pixel) >> 8;
        std::memcpy(out, &pixel, sizeof(pixel));
    }
    if (p < count) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
    }
}

void log_active_window(HWND foreground)
{
    char handle_text[16];
    std::snprintf(handle_text, sizeof(handle_text), "%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(foreground)));
    log_text(1, std::string("active window: ") + handle_text + "\n");
}

// The pixels of one band of a screen copy under Wine: 128 Ki, half a megabyte at 4 bytes a pixel.
constexpr LONG kCopyBandPixels = 1 << 17;

// Copies the part of the bitmap selected into `to` (in its coordinates) from `from`, whose
// pixel `origin` goes to the bitmap's (0, 0); false when a copy fails. On Windows that is one
// copy: every copy with CAPTUREBLT hides and redraws the pointer, and each is another moment of
// the screen, so bands would make the pointer flicker and a moving window tear. Under Wine each copy
// passes through buffers of its size on the Unix side: the C library there keeps buffers of
// tens of megabytes (a whole 4K screen) for good once they have been used, and copies of a
// megabyte or more often take ten times as long to come through as half a megabyte (30
// against 3 ms for a whole 1366 x 768 screen), so there the copy comes in bands.
bool copy_from_screen(HDC to, HDC from, const RECT& part, POINT origin)
{
    const LONG width = part.right - part.left;
    const LONG height = part.bottom - part.top;
    const LONG band =
        glintor::running_under_wine() ? std::max<LONG>(1, kCopyBandPixels / std::max<LONG>(1, width)) : height;
    for (LONG top = part.top; top < part.bottom; top += band) {
        const LONG rows = std::min<LONG>(band, part.bottom - top);
        // CAPTUREBLT: layered and translucent windows are part of the image.
        if (!BitBlt(to, part.left, top, width, rows, from, origin.x + part.left, origin.y + top, SRCCOPY | CAPTUREBLT))
            return false;
    }
    return true;
}

}  // namespace

Pointer read_pointer()
{
    Pointer pointer;
    CURSORINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetCursorInfo(&info)) return pointer;
    pointer.position = info.ptScreenPos;
    ICONINFO icon = {};
    if (info.hCursor && GetIconInfo(info.hCursor, &icon)) {
        // The call hands out two bitmaps; only the hot spot is wanted.
        glintor::GdiObject mask(icon.hbmMask);
        glintor::GdiObject colour(icon.hbmColor);
        pointer.image = info.hCursor;
        pointer.hot_spot = {static_cast<LONG>(icon.xHotspot), static_cast<LONG>(icon.yHotspot)};
    }
    return pointer;
}

RECT read_virtual_screen()
{
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

int32_t padded_width(int32_t width)
{
    return width % 8 == 0 ? width : width - width % 8 + 8;
}

HBITMAP scratch_bitmap(CaptureScratch& scratch, HDC source, int32_t width, int32_t height)
{
    const int32_t PW = padded_width(width);
    // A bitmap of the last capture's size and colour depth is used again.
    const int32_t depth = GetDeviceCaps(source, BITSPIXEL) * GetDeviceCaps(source, PLANES);
    if (!scratch.bitmap || scratch.width != PW || scratch.height != height || scratch.depth != depth) {
        scratch.bitmap.reset();  // the old one goes before the new one is made
        scratch.bitmap.reset(CreateCompatibleBitmap(source, PW, height));
        scratch.width = PW;
        scratch.height = height;
        scratch.depth = depth;
    }
    return static_cast<HBITMAP>(scratch.bitmap.get());
}

bool copy_screen(HDC memory, HDC source, const RECT& virtual_screen, POINT origin, int32_t W, int32_t H)
{
    const int32_t PW = padded_width(W);
    const Visible visible = visible_part(virtual_screen, origin, PW, H, W);
    // Black where the screen has no pixels, as in a fresh bitmap: a kept bitmap would show an
    // earlier capture there.
    if (!visible.whole_image) PatBlt(memory, 0, 0, PW, H, BLACKNESS);
    const RECT& part = visible.part;
    return part.right <= part.left || part.bottom <= part.top || copy_from_screen(memory, source, part, origin);
}

bool fetch_rows(HDC source, HBITMAP bitmap, int32_t W, int32_t H, CaptureScratch& scratch)
{
    if (W <= 0 || H <= 0) {
        // Nothing to fetch; the writer refuses the empty image.
        log_text(1, "filling bitmap\n");
        return true;
    }
    const int32_t PW = padded_width(W);
    const size_t image_row_bytes = static_cast<size_t>(W) * 3;
    unsigned char* const image = reserve(scratch.image, image_row_bytes * H);
    unsigned char* const row = reserve(scratch.row, static_cast<size_t>(PW) * 3);
    if (!image || !row) {
        std::vector<unsigned char>().swap(scratch.image);
        return false;
    }
    log_text(1, "filling bitmap\n");

    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = PW;
    format.bmiHeader.biHeight = H;  // bottom-up: scan line 0 is the bottom row
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    for (int32_t i = 0; i < H; ++i) {
        if (GetDIBits(source, bitmap, i, 1, row, &format, DIB_RGB_COLORS) != 1) {
            log_error("GetDIBits failed");
            return false;
        }
        // Top row first in the image.
        reverse_pixels(row, image + (H - 1 - i) * image_row_bytes, W);
    }
    return true;
}

std::wstring reserve_temp_file()
{
    // Wide: the temporary folder holds the user's name, which the ANSI code page may not be
    // able to write (a Cyrillic name on a Western system): its '?' would name no folder.
    wchar_t temp_folder[MAX_PATH] = {0};
    wchar_t temp_name[MAX_PATH] = {0};
    GetTempPathW(MAX_PATH, temp_folder);
    GetTempFileNameW(temp_folder, L"jpg", 0, temp_name);
    log_text(1, "temp file name: " + glintor::ansi_from_wide(temp_name) + "\n");
    return temp_name;
}

EncodedImage read_back(FILE* encoded)
{
    EncodedImage read;
    if (std::fseek(encoded, 0, SEEK_END) != 0) return read;
    const long length = std::ftell(encoded);
    if (length <= 0 || length > INT32_MAX) return read;
    std::shared_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[length]);
    if (!bytes) return read;
    std::rewind(encoded);
    // A short read would serve a cut-off image: keep the previous snapshot instead.
    if (std::fread(bytes.get(), 1, static_cast<size_t>(length), encoded) != static_cast<size_t>(length)) return read;
    read.bytes = std::move(bytes);
    read.length = static_cast<int32_t>(length);
    return read;
}

EncodedImage encode_image(const std::wstring& temp_name, const unsigned char* image, int32_t W, int32_t H, int32_t quality)
{
    // Closing the stream deletes the file.
    glintor::UniqueFile encoded(JpegFile::encode(temp_name, image, W, H, quality));
    if (!encoded) {
        log_error("error opening temp file");
        // The name was reserved as an empty file; do not leave it behind.
        DeleteFileW(temp_name.c_str());
        return EncodedImage();
    }
    return read_back(encoded.get());
}

CaptureArea SnapshotServer::choose_area(int32_t x, int32_t y, int32_t width, int32_t height,
                                        const RECT& virtual_screen, const Pointer& pointer, HWND foreground) const
{
    CaptureArea area;
    area.width = virtual_screen.right - virtual_screen.left;
    area.height = virtual_screen.bottom - virtual_screen.top;
    area.origin = {x + virtual_screen.left, y + virtual_screen.top};
    if (width > 0 && height > 0) {
        area.width = width;
        area.height = height;
    } else if (get_auto_snapshot()) {
        const int32_t mode = get_auto_snapshot_mode();
        if (mode == 1) {
            // The client area's pixels come from the screen at its position, not from the
            // window's own device: under the desktop compositor that reads the window's
            // redirection surface, which windows drawn with DirectX or DirectComposition
            // (Chromium-based browsers, Electron and UWP programs) leave black.
            // A hidden or minimised foreground window is no window the user looks at: the
            // program's own hidden dialog stays in the foreground after its tray menu, say.
            // The client rectangle is mapped as a whole: for a mirrored (right-to-left) window
            // the client's (0, 0) is its right edge, and the mapping puts left and right back.
            RECT client = {0, 0, 0, 0};
            if (foreground && IsWindowVisible(foreground) && !IsIconic(foreground) && GetClientRect(foreground, &client)) {
                MapWindowPoints(foreground, nullptr, reinterpret_cast<POINT*>(&client), 2);
                area.width = client.right - client.left;
                area.height = client.bottom - client.top;
                area.origin = {client.left, client.top};
            }
        } else if (mode == 2) {
            const int32_t sx = get_auto_selection_start_x(), sy = get_auto_selection_start_y();
            const int32_t ex = get_auto_selection_stop_x(), ey = get_auto_selection_stop_y();
            const int32_t left = std::min(sx, ex), top = std::min(sy, ey);
            const int32_t right = std::max(sx, ex), bottom = std::max(sy, ey);
            if (left != right && top != bottom) {
                area.origin.x += left;
                area.origin.y += top;
                area.width = right - left;
                area.height = bottom - top;
            }
        }
    }
    area.pointer_at = {pointer.position.x - pointer.hot_spot.x - area.origin.x,
                       pointer.position.y - pointer.hot_spot.y - area.origin.y};
    return area;
}

void SnapshotServer::Snapshot(int32_t x, int32_t y, int32_t width, int32_t height)
{
    xxLogScope scope(std::ostringstream("SnapshotServer::Snapshot\n"));

    glintor::CreatedDC display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!display) return;
    log_text(1, "created DC\n");
    glintor::CreatedDC memory(CreateCompatibleDC(display.get()));
    if (!memory) return;
    log_text(1, "created compatible\n");
    // The pixels come from the screen's own device context: it counts from the primary
    // monitor's top-left corner under Wine and on Windows alike, whereas under Wine the
    // "DISPLAY" one counts from the virtual screen's, which shifts a monitor left of the
    // primary one out of the picture.
    glintor::WindowDC screen(nullptr, GetDC(nullptr));
    if (!screen) return;

    const RECT virtual_screen = read_virtual_screen();
    const Pointer pointer = read_pointer();
    const HWND foreground = GetForegroundWindow();
    log_active_window(foreground);
    const CaptureArea area = choose_area(x, y, width, height, virtual_screen, pointer, foreground);
    // An empty rectangle (a window without a client area) takes the same steps: the writer
    // refuses it, and the previous snapshot stays.
    const int32_t W = std::max<int32_t>(area.width, 0), H = std::max<int32_t>(area.height, 0);

    // Nothing larger than a capture of the whole virtual screen, its padding included, is kept.
    ScratchLoan scratch(*this, static_cast<int64_t>(padded_width(virtual_screen.right - virtual_screen.left)) *
                                   (virtual_screen.bottom - virtual_screen.top));
    const HBITMAP bitmap = scratch_bitmap(scratch.get(), screen.get(), W, H);
    if (!bitmap) return;
    log_text(1, "created compatible bitmap\n");
    {
        glintor::SelectedObject selected(memory.get(), bitmap);
        if (!selected) return;
        log_text(1, "selected previous\n");
        if (!copy_screen(memory.get(), screen.get(), virtual_screen, area.origin, W, H)) return;
        log_text(1, "blitted\n");
        if (get_include_mouse_pointer() && pointer.image)
            // At the pointer's own size, which its hot spot is measured in: an enlarged pointer,
            // or one from a monitor of another scale, is not the system's icon size.
            DrawIconEx(memory.get(), area.pointer_at.x, area.pointer_at.y, pointer.image, 0, 0, 0, nullptr, DI_NORMAL);
    }
    // The rows are read once the bitmap is out of the memory device context, as GetDIBits
    // requires.
    if (!fetch_rows(screen.get(), bitmap, W, H, scratch.get())) return;

    log_text(1, "no error during snapshot\n");
    owner->snapshot_sound();

    const std::wstring temp_name = reserve_temp_file();
    const EncodedImage encoded = encode_image(temp_name, scratch.get().image.data(), W, H, get_image_quality());
    if (!encoded.bytes) return;
    install_snapshot(encoded.bytes, encoded.length);
    if (!get_auto_snapshot() || get_save_auto_snapshots()) save_copy(encoded.bytes.get(), encoded.length);
}

std::unique_ptr<CaptureScratch> SnapshotServer::take_scratch()
{
    std::unique_ptr<CaptureScratch> scratch;
    {
        xxScopedLock hold(&state_lock);
        scratch = std::move(kept_scratch);
    }
    return scratch ? std::move(scratch) : std::make_unique<CaptureScratch>();
}

void SnapshotServer::keep_scratch(std::unique_ptr<CaptureScratch> scratch, int64_t largest_pixels)
{
    if (!scratch || static_cast<int64_t>(scratch->width) * scratch->height > largest_pixels) return;
    bool watch = false;
    {
        xxScopedLock hold(&state_lock);
        // Otherwise another capture's is kept already; this one goes when the call returns.
        if (!kept_scratch) kept_scratch = std::move(scratch);
        last_capture = GetTickCount();
        watch = !release_watched;
        release_watched = true;
    }
    // The main dialog's timer gives it back. A timer queue would start two threads for it (its
    // own and a pool thread for the callback), whose stacks the idle program then keeps, about
    // a megabyte each under Wine; and a queue timer can only end itself from inside its own
    // callback, while the queue may still be using it.
    if (watch && !owner->watch_kept_scratch()) {
        xxScopedLock hold(&state_lock);
        release_watched = false;  // the next capture asks again
    }
}

bool SnapshotServer::release_idle_scratch()
{
    std::unique_ptr<CaptureScratch> idle;  // freed once the lock is left
    xxScopedLock hold(&state_lock);
    if (kept_scratch && GetTickCount() - last_capture < kScratchIdleMilliseconds) return false;
    idle = std::move(kept_scratch);
    release_watched = false;
    return true;
}

void SnapshotServer::save_copy(const unsigned char* data, int32_t size)
{
    const std::string folder = get_snapshot_save_folder();
    // Created exclusively: when another capture took the name meanwhile, the next is tried.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = make_copy_path(folder);
        if (path.empty()) return;
        HANDLE created = create_copy_call(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return;
        }
        glintor::UniqueHandle file(created);
        DWORD written = 0;
        WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr);
        return;
    }
}
