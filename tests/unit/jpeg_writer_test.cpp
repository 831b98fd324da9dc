// The JPEG writer, the copy names and the choice of sound.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <windows.h>
#include <mmsystem.h>

#include "capture/copy_path.h"
#include "capture/jpeg_file.h"
#include "capture/sounds.h"
#include "common/jpeg_decode.h"
#include "common/test_helpers.h"
#include "resources/resource.h"
#include "support/platform.h"

using namespace testing_helpers;

namespace {

std::string read_stream(FILE* stream)
{
    std::string bytes;
    std::rewind(stream);
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), stream)) > 0) bytes.append(buffer, n);
    return bytes;
}

std::vector<unsigned char> noise_image(unsigned w, unsigned h)
{
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 3);
    unsigned state = 12345;
    for (auto& p : pixels) {
        state = state * 1103515245 + 12345;
        p = static_cast<unsigned char>(state >> 16);
    }
    return pixels;
}

// A platform that plays the program's resources and no file.
BOOL WINAPI refusing_files(LPCSTR, HMODULE, DWORD flags)
{
    return (flags & SND_FILENAME) == 0;
}

class JpegWriterTest : public ::testing::Test {
protected:
    void SetUp() override { folder = make_temp_folder("glintor-jpeg-"); }
    void TearDown() override { remove_folder(folder); }
    std::string encode_to_bytes(const std::vector<unsigned char>& pixels, unsigned w, unsigned h, int quality)
    {
        FILE* stream = JpegFile::encode(folder + "\\out.jpg", pixels.data(), w, h, quality);
        if (!stream) return std::string();
        std::string bytes = read_stream(stream);
        std::fclose(stream);
        return bytes;
    }
    std::string folder;
};

TEST_F(JpegWriterTest, NothingToEncodeLeavesTheFileAlone)
{
    const std::string path = folder + "\\kept.jpg";
    { std::ofstream(path, std::ios::binary) << "keep"; }
    const std::vector<unsigned char> pixels(300, 0x80);
    EXPECT_EQ(nullptr, JpegFile::encode(path, pixels.data(), 0, 10, 60));
    EXPECT_EQ(nullptr, JpegFile::encode(path, pixels.data(), 10, 0, 60));
    EXPECT_EQ(nullptr, JpegFile::encode(path, nullptr, 10, 10, 60));
    EXPECT_EQ("keep", read_file(path));
}

TEST_F(JpegWriterTest, WritesACompleteFileThatGoesWhenClosed)
{
    const auto pixels = noise_image(37, 21);
    const std::string path = folder + "\\whole.jpg";
    FILE* stream = JpegFile::encode(path, pixels.data(), 37, 21, 60);
    ASSERT_NE(nullptr, stream);
    const long position = std::ftell(stream);
    const std::string bytes = read_stream(stream);
    EXPECT_EQ(static_cast<long>(bytes.size()), position) << "the stream is not positioned after the last byte";
    EXPECT_TRUE(file_exists(path));
    std::fclose(stream);
    EXPECT_FALSE(file_exists(path)) << "closing the stream must delete the file";

    ASSERT_GT(bytes.size(), 20u);
    EXPECT_EQ(std::string("\xff\xd8\xff\xe0", 4), bytes.substr(0, 4));
    EXPECT_EQ(std::string("JFIF\0", 5), bytes.substr(6, 5));
    EXPECT_EQ(std::string("\xff\xd9", 2), bytes.substr(bytes.size() - 2));
    Image image;
    ASSERT_TRUE(decode_jpeg(bytes, image));
    EXPECT_EQ(37, image.width);
    EXPECT_EQ(21, image.height);
}

TEST_F(JpegWriterTest, OnePixelImage)
{
    const std::vector<unsigned char> pixel = {10, 200, 30};
    Image image;
    ASSERT_TRUE(decode_jpeg(encode_to_bytes(pixel, 1, 1, 90), image));
    EXPECT_EQ(1, image.width);
    EXPECT_EQ(1, image.height);
    EXPECT_TRUE(near_colour(RGB(10, 200, 30), image.at(0, 0), 40));
}

TEST_F(JpegWriterTest, EachStepOfQualityKeepsMore)
{
    const auto pixels = noise_image(64, 48);
    EXPECT_LT(encode_to_bytes(pixels, 64, 48, 10).size(), encode_to_bytes(pixels, 64, 48, 60).size());
    EXPECT_LT(encode_to_bytes(pixels, 64, 48, 60).size(), encode_to_bytes(pixels, 64, 48, 100).size());
}

TEST_F(JpegWriterTest, AMissingFolderReturnsNothingWithoutABox)
{
    const auto pixels = noise_image(8, 8);
    FILE* result = reinterpret_cast<FILE*>(1);
    std::thread encoder([&] { result = JpegFile::encode(folder + "\\no\\such\\folder\\x.jpg", pixels.data(), 8, 8, 60); });
    // A box would hold the encoder: answer it, and fail.
    bool box_seen = false;
    wait_until(
        [&] {
            HWND box = FindWindowA("#32770", "JPEG Fatal Error");
            if (box) {
                box_seen = true;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
            return result != reinterpret_cast<FILE*>(1);
        },
        10000);
    encoder.join();
    EXPECT_FALSE(box_seen);
    EXPECT_EQ(nullptr, result);
}

TEST_F(JpegWriterTest, AFullDiskShowsTheFatalBoxAndLeavesNothing)
{
    const char* full_disk = std::getenv("GLINTOR_FULL_DISK");
    if (!full_disk || !*full_disk) GTEST_SKIP() << "GLINTOR_FULL_DISK names no small file system";
    const std::string path = std::string(full_disk) + "\\big.jpg";
    const auto pixels = noise_image(1200, 900);  // far more than the file system holds at quality 100
    FILE* result = reinterpret_cast<FILE*>(1);
    std::thread encoder([&] { result = JpegFile::encode(path, pixels.data(), 1200, 900, 100); });
    HWND box = nullptr;
    EXPECT_TRUE(wait_until([&] { return (box = FindWindowA("#32770", "JPEG Fatal Error")) != nullptr; }, 20000));
    if (box) {
        char text[256] = {0};
        GetWindowTextA(GetDlgItem(box, 0xffff), text, sizeof(text));
        EXPECT_STRNE("", text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    encoder.join();
    EXPECT_EQ(nullptr, result);
    EXPECT_FALSE(file_exists(path));
}

class CopyPathTest : public ::testing::Test {
protected:
    void SetUp() override { folder = make_temp_folder("glintor-copies-"); }
    void TearDown() override { remove_folder(folder); }
    void touch(const std::string& name) { std::ofstream(folder + "\\" + name, std::ios::binary) << "x"; }
    std::string named(const std::string& name) { return folder + "\\" + name; }
    std::string folder;
};

TEST_F(CopyPathTest, NoFolderNoCopy)
{
    EXPECT_EQ("", make_copy_path(""));
    EXPECT_EQ("", make_copy_path(folder + "\\missing"));
    touch("plain.txt");
    EXPECT_EQ("", make_copy_path(named("plain.txt")));
    // A folder whose copies' names would be longer than a path may be (made past the limit
    // that the ANSI calls keep for new folders).
    const std::string deep = folder + "\\" + std::string(252 - folder.size() - 1, 'd');
    ASSERT_TRUE(CreateDirectoryW(glintor::wide_from_ansi("\\\\?\\" + deep).c_str(), nullptr));
    EXPECT_EQ("", make_copy_path(deep));
}

TEST_F(CopyPathTest, LowestFreeNumberFirst)
{
    EXPECT_EQ(named("glintor1.jpg"), make_copy_path(folder));
    EXPECT_EQ(named("glintor1.jpg"), make_copy_path(folder + "\\"));
    touch("glintor1.jpg");
    touch("glintor3.jpg");
    EXPECT_EQ(named("glintor2.jpg"), make_copy_path(folder));
    for (int n = 2; n <= 9; ++n) touch("glintor" + std::to_string(n) + ".jpg");
    EXPECT_EQ(named("glintor10.jpg"), make_copy_path(folder));
}

TEST_F(CopyPathTest, AFolderWithACopyNameIsSkipped)
{
    ASSERT_TRUE(CreateDirectoryA(named("glintor1.jpg").c_str(), nullptr));
    EXPECT_EQ(named("glintor2.jpg"), make_copy_path(folder));
}

TEST(SoundTest, TheChoiceOfSound)
{
    const std::string folder = make_temp_folder("glintor-sound-");
    EXPECT_EQ(SoundSource::none, play_sound(false, "", IDW_SNAPSHOT_SOUND));
    EXPECT_EQ(SoundSource::builtin, play_sound(true, "", IDW_SNAPSHOT_SOUND));
    EXPECT_EQ(SoundSource::builtin, play_sound(true, folder + "\\missing.wav", IDW_SENT_SOUND));
    // A real wave file of the user's is played as it is.
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDW_SENT_SOUND), "WAVE");
    ASSERT_NE(nullptr, found);
    const std::string wave = folder + "\\mine.wav";
    std::ofstream(wave, std::ios::binary)
        .write(static_cast<const char*>(LockResource(LoadResource(nullptr, found))), SizeofResource(nullptr, found));
    EXPECT_EQ(SoundSource::user_file, play_sound(true, wave, IDW_SENT_SOUND));
    // A file the platform refuses (no wave): the built-in sound, never silence.
    play_sound_call = &refusing_files;
    EXPECT_EQ(SoundSource::builtin, play_sound(true, wave, IDW_SENT_SOUND));
    play_sound_call = nullptr;
    PlaySoundA(nullptr, nullptr, 0);
    remove_folder(folder);
}

TEST(SoundTest, TheBuiltInSoundsHaveTheirFormatAndLength)
{
    const struct {
        int id;
        DWORD frames;
    } sounds[] = {{IDW_SNAPSHOT_SOUND, 38016}, {IDW_SENT_SOUND, 4352}};
    for (const auto& sound : sounds) {
        HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(sound.id), "WAVE");
        ASSERT_NE(nullptr, found) << sound.id;
        const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
        const DWORD size = SizeofResource(nullptr, found);
        ASSERT_GE(size, 44u);
        EXPECT_EQ(0, memcmp(data, "RIFF", 4));
        EXPECT_EQ(0, memcmp(data + 8, "WAVEfmt ", 8));
        WAVEFORMATEX format;
        memcpy(&format, data + 20, 16);
        EXPECT_EQ(WAVE_FORMAT_PCM, format.wFormatTag);
        EXPECT_EQ(2, format.nChannels);
        EXPECT_EQ(44100u, format.nSamplesPerSec);
        EXPECT_EQ(16, format.wBitsPerSample);
        // The plain 44-byte header that tools/make_sounds.py writes: the frames follow "data".
        EXPECT_EQ(0, memcmp(data + 36, "data", 4));
        EXPECT_EQ(sound.frames, (size - 44) / 4) << "resource " << sound.id;
    }
}

}  // namespace
