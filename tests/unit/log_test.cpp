// The diagnostic log. The log is one object per process whose file is found from the
// environment on first use, so this program points HOME at a folder of its own first and runs
// its cases in order: dormant, then switched on by creating the file.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/test_helpers.h"
#include "support/platform.h"
#include "support/xx_log.h"
#include "support/xx_thread.h"

using namespace testing_helpers;

namespace {

std::string home;  // with a trailing "/" as the log builds it
constexpr size_t kLetters = 4000;  // the length of a record of the two writers

std::string log_path()
{
    return home + "aeromoss\\snap.log";
}

void write_message(const std::string& text, int level)
{
    std::ostringstream message;
    message << text;
    xxLog::instance().write(message, level);
}

TEST(LogPathTest, HomeFolderFromTheEnvironment)
{
    std::string saved_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    std::string saved_drive = std::getenv("HOMEDRIVE") ? std::getenv("HOMEDRIVE") : "";
    std::string saved_path = std::getenv("HOMEPATH") ? std::getenv("HOMEPATH") : "";

    _putenv_s("HOMEDRIVE", "D:");
    _putenv_s("HOME", "\\h");
    _putenv_s("HOMEPATH", "\\p");
    EXPECT_EQ(L"D:\\h/", get_home_folder());
    _putenv_s("HOME", "");  // an empty value removes the variable
    EXPECT_EQ(L"D:\\p/", get_home_folder());
    _putenv_s("HOMEDRIVE", "");
    EXPECT_EQ(L"\\p/", get_home_folder());
    _putenv_s("HOMEPATH", "");
    EXPECT_EQ(L"", get_home_folder());

    _putenv_s("HOME", saved_home.c_str());
    _putenv_s("HOMEDRIVE", saved_drive.c_str());
    _putenv_s("HOMEPATH", saved_path.c_str());
}

TEST(LogTest, DormantWithoutTheFile)
{
    write_message("nobody reads this\n", 1);
    write_message(std::string(kLogError) + "nor this\n", 3);
    EXPECT_EQ(glintor::wide_from_ansi(log_path()), xxLog::instance().log_file_path());
    EXPECT_FALSE(file_exists(log_path()));
    char title[256] = {0};
    GetConsoleTitleA(title, sizeof(title));
    EXPECT_STRNE("Debug Window", title);
}

TEST(LogTest, AnExistingFileGetsExactRecords)
{
    std::FILE* created = std::fopen(log_path().c_str(), "wb");
    ASSERT_NE(nullptr, created);
    std::fputs("kept\n", created);
    std::fclose(created);

    write_message("top\n", 1);
    {
        xxLogScope scope(std::ostringstream("SnapshotServer::Snapshot\n"));
        write_message(std::string(kLogWarning) + "careful\n", 2);
        write_message("first\nsecond\n", 1);
        {
            xxLogScope inner(std::ostringstream("inner\n"));
            write_message(std::string(kLogError) + "broken\n", 3);
        }
    }
    write_message("back\n", 1);

    const std::string expected =
        "kept\n"
        "top\r\n"
        "SnapshotServer::Snapshot\r\n"
        "    -**### WARNING ###**-: careful\r\n"
        "    first\r\nsecond\r\n"
        "    inner\r\n"
        "        -**###  ERROR  ###**-: broken\r\n"
        "back\r\n";
    EXPECT_EQ(expected, read_file(log_path()));

    char title[256] = {0};
    GetConsoleTitleA(title, sizeof(title));
    EXPECT_STREQ("Debug Window", title);
}

TEST(LogTest, RecordsFromTwoThreadsNeverInterleave)
{
    // Inside a scope each record is two writes: its indentation, then its text.
    xxLogScope scope(std::ostringstream("two writers\n"));
    const size_t before = read_file(log_path()).size();
    // Both threads write at once: each starts once the other is ready too (within 10 s). Long
    // texts keep each writer busy in the file's writes, where the other then waits its turn.
    std::atomic<int> ready{0};
    struct Writer {
        char letter;
        std::atomic<int>* ready;
        void run(void*)
        {
            ++*ready;
            for (const DWORD start = GetTickCount(); *ready < 2 && GetTickCount() - start < 10000;) Sleep(0);
            for (int i = 0; i < 300; ++i) {
                std::ostringstream message;
                message << std::string(kLetters, letter) << ' ' << i << '\n';
                xxLog::instance().write(message, 1);
            }
        }
    } a{'a', &ready}, b{'b', &ready};
    xxThread ta, tb;
    ta.set_callback(xxCallback<void*, Writer>(&a, &Writer::run));
    tb.set_callback(xxCallback<void*, Writer>(&b, &Writer::run));
    ta.start();
    tb.start();
    ASSERT_TRUE(ta.wait(20000) && tb.wait(20000));

    std::istringstream lines(read_file(log_path()).substr(before));
    std::string line;
    int count_a = 0, count_b = 0;
    while (std::getline(lines, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ('\r', line.back()) << line;
        line.pop_back();
        ASSERT_EQ("    ", line.substr(0, 4)) << line;
        line.erase(0, 4);
        char letter = line[0];
        ASSERT_TRUE(letter == 'a' || letter == 'b') << line;
        ASSERT_EQ(std::string(kLetters, letter) + ' ', line.substr(0, kLetters + 1)) << line.substr(0, 80);
        const int n = std::atoi(line.c_str() + kLetters + 1);
        EXPECT_EQ(std::to_string(n), line.substr(kLetters + 1));
        (letter == 'a' ? count_a : count_b)++;
    }
    EXPECT_EQ(300, count_a);
    EXPECT_EQ(300, count_b);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Detach from the console we were started with, so that the log's own console is seen.
    FreeConsole();
    // A home of our own, before anything touches the log.
    std::string folder = make_temp_folder("glintor-log-");
    if (folder.empty()) return 1;
    CreateDirectoryA((folder + "\\aeromoss").c_str(), nullptr);
    _putenv_s("HOMEDRIVE", "");
    _putenv_s("HOME", folder.c_str());
    home = folder + "/";
    int result = RUN_ALL_TESTS();
    remove_folder(folder);
    return result;
}
