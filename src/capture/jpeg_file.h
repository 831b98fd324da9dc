// Encodes an upright RGB image into a JPEG file with libjpeg and hands back the open stream.
#pragma once

#include <cstdio>
#include <string>

class JpegFile {
public:
    // pixels: H rows, top row first, each W pixels of red, green, blue, packed without gaps.
    // Creates the file with the temporary and delete-on-close attributes and returns it open,
    // positioned after the last byte; the caller closes it, which deletes the file. Returns
    // null when nothing could be encoded (no file is left behind then).
    static FILE* encode(std::string path, const unsigned char* pixels, unsigned W, unsigned H, int quality);
    // The same for a path in UTF-16, which any user's name can be written in.
    static FILE* encode(const std::wstring& path, const unsigned char* pixels, unsigned W, unsigned H, int quality);
};
