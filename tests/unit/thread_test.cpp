// The thread object, the callbacks and the critical section's guard against use after destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <new>

#include "common/test_helpers.h"
#include "support/handles.h"
#include "support/xx_critical_section.h"
#include "support/xx_thread.h"

namespace {

// A body whose length and behaviour each test sets.
struct Body {
    DWORD sleep_ms = 0;
    HANDLE release = nullptr;  // when set, the body waits for it before it ends
    std::atomic<int> runs{0};
    std::atomic<int> last_tag{0};
    int tag = 0;

    void run(void*)
    {
        if (release) WaitForSingleObject(release, 10000);
        Sleep(sleep_ms);
        last_tag = tag;
        ++runs;
    }
};

DWORD elapsed_since(DWORD start)
{
    return GetTickCount() - start;
}

TEST(xxThreadTest, WaitWithoutAStartOrACallbackReturnsAtOnce)
{
    for (bool started : {false, true}) {
        xxThread thread;
        if (started) thread.start();  // no callback: runs nothing and ends
        DWORD start = GetTickCount();
        EXPECT_TRUE(thread.wait(1000));
        EXPECT_TRUE(thread.wait_for_runs(1000));
        // At once, not after its time: half of it is a margin a busy machine does not cross.
        EXPECT_LT(elapsed_since(start), 1000u) << started;
    }
}

TEST(xxThreadTest, WaitReturnsWhenTheThreadEndsOrTheTimeRunsOut)
{
    Body short_body;
    short_body.sleep_ms = 10;
    xxThread short_thread;
    short_thread.set_callback(xxCallback<void*, Body>(&short_body, &Body::run));
    short_thread.start();
    DWORD start = GetTickCount();
    // It returns as the thread ends, long before the time is up.
    short_thread.wait(2000);
    DWORD took = elapsed_since(start);
    EXPECT_EQ(1, short_body.runs.load()) << "waited " << took << " ms";
    EXPECT_LT(took, 1000u);

    Body long_body;
    long_body.sleep_ms = 1000;
    xxThread long_thread;
    long_thread.set_callback(xxCallback<void*, Body>(&long_body, &Body::run));
    long_thread.start();
    start = GetTickCount();
    long_thread.wait(50);
    took = elapsed_since(start);
    EXPECT_GE(took, 25u);  // GetTickCount moves in steps of about 16 ms under Wine
    EXPECT_EQ(0, long_body.runs.load()) << "waited " << took << " ms";
    ASSERT_TRUE(long_thread.wait(10000));
    EXPECT_EQ(1, long_body.runs.load());
}

TEST(xxThreadTest, EachStartRunsTheCallbackOnce)
{
    Body body;
    xxThread thread;
    thread.set_callback(xxCallback<void*, Body>(&body, &Body::run));
    thread.start();
    ASSERT_TRUE(thread.wait(10000));
    thread.start();
    ASSERT_TRUE(thread.wait(10000));
    EXPECT_EQ(2, body.runs.load());
}

TEST(xxThreadTest, ARunKeepsItsOwnCallbackAndWaitForRunsCoversEveryRunWithinItsLimit)
{
    glintor::UniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Body first;
    first.tag = 1;
    first.release = release.get();
    Body second;
    second.tag = 2;

    xxThread thread;
    thread.set_callback(xxCallback<void*, Body>(&first, &Body::run));
    thread.start();
    // The first run is still waiting; replace the callback and start again.
    thread.set_callback(xxCallback<void*, Body>(&second, &Body::run));
    thread.start();
    ASSERT_TRUE(thread.wait(10000));
    EXPECT_EQ(1, second.runs.load());
    EXPECT_EQ(0, first.runs.load());
    // The first run still waits.
    const DWORD start = GetTickCount();
    EXPECT_FALSE(thread.wait_for_runs(100));
    EXPECT_GE(elapsed_since(start), 75u);  // the time less a tick or so of GetTickCount's 16 ms

    SetEvent(release.get());
    EXPECT_TRUE(thread.wait_for_runs(5000));
    EXPECT_EQ(1, first.runs.load());
    EXPECT_EQ(1, first.last_tag.load());
    EXPECT_EQ(2, second.last_tag.load());
}

TEST(xxThreadTest, WaitForRunsHandlesMessagesSentToTheWaitingThread)
{
    // A run that sends to a window of the waiting thread, as the clipboard does to its owner.
    HWND window = CreateWindowA("STATIC", "target", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    struct Sender {
        HWND window;
        std::atomic<bool> answered{false};
        void run(void*)
        {
            DWORD_PTR result = 0;
            answered = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &result) != 0;
        }
    } sender{window};
    xxThread thread;
    thread.set_callback(xxCallback<void*, Sender>(&sender, &Sender::run));
    thread.start();
    EXPECT_TRUE(thread.wait_for_runs(3000));
    EXPECT_TRUE(sender.answered.load());
    DestroyWindow(window);
}

TEST(xxCriticalSectionTest, EnteringADestroyedSectionStopsTheProgramAtOnce)
{
    // Windows can hang there, and Wine lets it pass: the section itself must notice.
    alignas(xxCriticalSection) unsigned char storage[sizeof(xxCriticalSection)];
    xxCriticalSection* section = new (storage) xxCriticalSection;
    section->~xxCriticalSection();
    EXPECT_EXIT(section->enter(), ::testing::ExitedWithCode(xxCriticalSection::kUsedAfterDestructionExitCode),
                "entered after it was destroyed");
}

}  // namespace
