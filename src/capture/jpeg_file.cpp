#include "capture/jpeg_file.h"

#include <windows.h>

#include <csetjmp>

// libjpeg's header needs the stdio types declared first.
#include <jpeglib.h>

#include "support/platform.h"

namespace {

// The library's error manager, extended with the point to return to after a fatal error. The
// library's record comes first, so the handler finds the rest from the pointer it is given.
struct ErrorManager {
    jpeg_error_mgr library;
    jmp_buf recovery;
};

// Fatal errors: tell the user, then return to encode's recovery point. Never returns.
void on_jpeg_fatal_error(j_common_ptr compression)
{
    char text[JMSG_LENGTH_MAX];
    (*compression->err->format_message)(compression, text);
    MessageBoxA(nullptr, text, "JPEG Fatal Error", MB_ICONERROR | MB_OK);
    longjmp(reinterpret_cast<ErrorManager*>(compression->err)->recovery, 1);
}

// Warnings: shown, and the encoding goes on.
void on_jpeg_warning(j_common_ptr compression)
{
    char text[JMSG_LENGTH_MAX];
    (*compression->err->format_message)(compression, text);
    MessageBoxA(GetActiveWindow(), text, "JPEG Error", MB_OK);
}

}  // namespace

FILE* JpegFile::encode(std::string path, const unsigned char* pixels, unsigned W, unsigned H, int quality)
{
    return encode(glintor::wide_from_ansi(path), pixels, W, H, quality);
}

FILE* JpegFile::encode(const std::wstring& path, const unsigned char* pixels, unsigned W, unsigned H, int quality)
{
    if (!pixels || W == 0 || H == 0) return nullptr;

    jpeg_compress_struct compression;
    ErrorManager errors;
    compression.err = jpeg_std_error(&errors.library);
    errors.library.error_exit = on_jpeg_fatal_error;
    errors.library.output_message = on_jpeg_warning;
    // Changed between setjmp and longjmp, so kept where longjmp cannot lose it.
    FILE* volatile stream = nullptr;

    if (setjmp(errors.recovery)) {
        jpeg_destroy_compress(&compression);
        if (stream) fclose(stream);  // the file goes with it
        return nullptr;
    }
    jpeg_create_compress(&compression);
    // T: keep the file in the cache; D: delete it when the stream is closed.
    stream = _wfopen(path.c_str(), L"w+bTD");
    if (!stream) {
        jpeg_destroy_compress(&compression);
        return nullptr;
    }
    jpeg_stdio_dest(&compression, stream);
    compression.image_width = W;
    compression.image_height = H;
    compression.input_components = 3;
    compression.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compression);
    jpeg_set_quality(&compression, quality, TRUE);
    jpeg_start_compress(&compression, TRUE);
    const size_t row_bytes = static_cast<size_t>(W) * 3;
    while (compression.next_scanline < compression.image_height) {
        // Rows go to the library straight from the caller's buffer.
        JSAMPROW row = const_cast<JSAMPROW>(pixels + compression.next_scanline * row_bytes);
        jpeg_write_scanlines(&compression, &row, 1);
    }
    jpeg_finish_compress(&compression);
    jpeg_destroy_compress(&compression);
    return stream;
}
