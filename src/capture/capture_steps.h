// The steps of one screen capture, in the order the capture takes them: the rectangle's
// visible part, the screen copied into a bitmap, the pointer drawn, the rows fetched as an
// upright RGB image, the image encoded through a temporary JPEG file and read back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/handles.h"

// What one capture works in: the off-screen bitmap and the image and row buffers. The last
// capture's are kept for the next one: fresh ones of megabytes cost more to fault in, page by
// page, than the copy and the conversion together.
struct CaptureScratch {
    glintor::GdiObject bitmap;
    int32_t width = 0, height = 0, depth = 0;
    std::vector<unsigned char> image, row;
};

// The mouse pointer's image, its screen position and its hot spot; no image when the platform
// reports none.
struct Pointer {
    HCURSOR image = nullptr;
    POINT position = {0, 0};
    POINT hot_spot = {0, 0};
};
Pointer read_pointer();

// The rectangle a capture takes: the screen pixel that becomes the image's top-left one, the
// image's size, and where the pointer's image goes in it.
struct CaptureArea {
    POINT origin = {0, 0};
    int32_t width = 0, height = 0;
    POINT pointer_at = {0, 0};
};

// The virtual screen, read anew: monitors may have changed since the last capture.
RECT read_virtual_screen();

// Bitmap rows are a whole number of 8 pixels: 3-byte pixels then need no row padding.
int32_t padded_width(int32_t width);

// The scratch's bitmap for a width x height capture (width padded) from the source's colour
// depth: the last one when it fits, else a new one; null when none can be made.
HBITMAP scratch_bitmap(CaptureScratch& scratch, HDC source, int32_t width, int32_t height);

// Copies the W x H rectangle whose top-left screen pixel is origin into the bitmap selected
// into memory, black where the virtual screen has no pixels. False when a copy fails.
bool copy_screen(HDC memory, HDC source, const RECT& virtual_screen, POINT origin, int32_t W, int32_t H);

// Fetches the W x H capture from its bitmap (no longer selected) into scratch.image as upright
// RGB rows. False, logged, when the buffers cannot be had or a row cannot be read.
bool fetch_rows(HDC source, HBITMAP bitmap, int32_t W, int32_t H, CaptureScratch& scratch);

// A JPEG image's bytes; none when it could not be made.
struct EncodedImage {
    std::shared_ptr<unsigned char[]> bytes;
    int32_t length = 0;
};

// The capture's two file steps: a new temporary file's name (reserved as an empty file), logged;
// and the RGB image encoded into that file, which is gone afterwards, read back whole.
std::wstring reserve_temp_file();
EncodedImage encode_image(const std::wstring& temp_name, const unsigned char* image, int32_t W, int32_t H, int32_t quality);
EncodedImage read_back(FILE* encoded);
