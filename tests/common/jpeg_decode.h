// Decodes JPEG bytes for the tests, and the pattern window the capture tests photograph.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_helpers {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // top row first, 3 bytes a pixel
    COLORREF at(int x, int y) const
    {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return RGB(p[0], p[1], p[2]);
    }
};

// False when the bytes are not a complete JPEG file the library can decode.
bool decode_jpeg(const std::string& bytes, Image& image);
// Whether two colours differ by at most the tolerance in each channel.
bool near_colour(COLORREF a, COLORREF b, int tolerance = 24);

// The colour of the pattern's block at a pixel of the screen (block grid of 96 pixels).
COLORREF pattern_colour(int x, int y);
// How many blocks of an image of the screen from (left, top) do not show the pattern at their
// middle.
int blocks_off_pattern(const Image& image, int left = 0, int top = 0);

// What a test window shows: the pattern (its pixels are offsets from the virtual screen's
// top-left corner), random noise (a quality-100 snapshot of it is megabytes) or one colour.
enum class Paint { pattern, noise, plain };
const COLORREF kPlainColour = RGB(10, 120, 250);
// A shown window with that paint, in that place.
HWND make_painted_window(Paint paint, RECT place, DWORD style, DWORD extended_style = 0);

// A window over the whole virtual screen (not topmost, so that the program's overlay and boxes
// come above it); destroyed with the object.
class PatternWindow {
public:
    explicit PatternWindow(Paint paint = Paint::pattern);
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;
    HWND window() const { return handle; }

private:
    HWND handle = nullptr;
};

}  // namespace testing_helpers
