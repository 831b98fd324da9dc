// Address sharing: the service request, the three sources, the clipboard, and exit during a copy.
// The local-IP case comes first: it shows that the copy starts Winsock for itself, before this
// program has started it for its fake service.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "common/fake_service.h"
#include "common/http_client.h"
#include "common/in_process.h"
#include "common/test_helpers.h"

using namespace testing_helpers;

namespace {

const char* const kUntouched = "left as it was";

std::string http_reply(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

class AddressTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        controller = std::make_unique<SnapshotSystem>();
        ASSERT_TRUE(set_clipboard_text(kUntouched));
    }
    // One copy, as the worker runs it, waited for with this thread's messages handled.
    std::string copy()
    {
        controller->start_address_copy();
        EXPECT_TRUE(controller->worker.wait_for_runs(15000));
        return clipboard_text();
    }
    std::string service_copy(const std::string& service, const std::string& reply, std::string* request = nullptr)
    {
        FakeService fake(reply);
        EXPECT_TRUE(fake.ok()) << "cannot listen on port 80";
        set_raw_string("remote_service_copy_address", service);
        set_raw_dword("copy_address_mode", 1);
        EXPECT_TRUE(set_clipboard_text(kUntouched));
        std::string result = copy();
        if (request) *request = fake.request();
        return result;
    }
};

TEST_F(AddressTest, LocalAddressAlsoWhileTheServerIsStopped)
{
    set_raw_dword("copy_address_mode", 0);
    const std::string copied = copy();
    // This machine's IPv4 address, in dots.
    const std::string host = copied.substr(7, copied.size() - 12);
    EXPECT_EQ("http://" + host + ":2000", copied);
    ensure_winsock();
    EXPECT_NE(INADDR_NONE, inet_addr(host.c_str())) << copied;
    EXPECT_EQ(3, std::count(host.begin(), host.end(), '.')) << copied;
}

TEST_F(AddressTest, ManualHostAndOtherModes)
{
    set_raw_dword("copy_address_mode", 2);
    set_raw_string("manual_copy_address", "viewer.example");
    EXPECT_EQ("http://viewer.example:2000", copy());

    ASSERT_TRUE(set_clipboard_text(kUntouched));
    set_raw_string("manual_copy_address", "");
    EXPECT_EQ(kUntouched, copy());

    set_raw_dword("copy_address_mode", 3);
    set_raw_string("manual_copy_address", "viewer.example");
    EXPECT_EQ(kUntouched, copy());

    set_raw_dword("copy_address_mode", 2);
    set_raw_dword("port_number", 8);
    EXPECT_EQ("http://viewer.example:8", copy());
}

TEST_F(AddressTest, ServiceRequestTargetsThePathOfTheLowerCasedHost)
{
    std::string request;
    EXPECT_EQ("http://1.2.3.4:2000", service_copy("LocalHost/ip/Text?format=plain", http_reply("1.2.3.4"), &request));
    EXPECT_EQ(
        "GET /ip/Text HTTP/1.1\r\nHost: localhost\r\nUser-Agent: Glintor V1.02\r\nConnection: Close\r\n\r\n", request);

    EXPECT_EQ("http://5.6.7.8:2000", service_copy("HTTP://LOCALHOST", http_reply("5.6.7.8"), &request));
    EXPECT_EQ("GET / HTTP/1.1\r\nHost: localhost\r\nUser-Agent: Glintor V1.02\r\nConnection: Close\r\n\r\n", request);
}

TEST_F(AddressTest, TheLastLineOfTheReplyIsTheHost)
{
    EXPECT_EQ(kUntouched, service_copy("127.0.0.1", http_reply("1.2.3.4\n")));
    const std::string long_line(150, 'h');
    EXPECT_EQ("http://" + long_line.substr(0, 100) + ":2000", service_copy("127.0.0.1", http_reply(long_line)));
    EXPECT_EQ(kUntouched, service_copy("127.0.0.1", "no line feed in this reply"));

    // Text that is no host (an error page, binary bytes) never reaches the clipboard.
    EXPECT_EQ(kUntouched, service_copy("127.0.0.1", http_reply("Service unavailable, try later")));
    EXPECT_EQ(kUntouched, service_copy("127.0.0.1", http_reply(std::string("1.2.3.4\0\x01<b>", 11))));
    EXPECT_EQ("http://[2001:db8::1]:2000", service_copy("127.0.0.1", http_reply("[2001:db8::1]")));

    // Judged by its first 4096 bytes: the last line there, not the one after them.
    std::string reply = std::string(4000, 'a') + "\n" + std::string(95, 'b');
    ASSERT_EQ(4096u, reply.size());
    reply += "\nzzz";
    EXPECT_EQ("http://" + std::string(95, 'b') + ":2000", service_copy("127.0.0.1", reply));
}

TEST_F(AddressTest, CopiesBackToBackEndWell)
{
    set_raw_dword("copy_address_mode", 2);
    set_raw_string("manual_copy_address", "twice.example");
    controller->start_address_copy();
    controller->start_address_copy();
    EXPECT_TRUE(controller->worker.wait_for_runs(15000));
    EXPECT_EQ("http://twice.example:2000", clipboard_text());
}

TEST_F(AddressTest, AClipboardHeldByAnotherChangesNothingAndHangsNothing)
{
    set_raw_dword("copy_address_mode", 2);
    set_raw_string("manual_copy_address", "held.example");
    // Held by this thread; the copy runs on another and cannot open it.
    ASSERT_TRUE(OpenClipboard(nullptr));
    controller->start_address_copy();
    const bool ended = controller->worker.wait_for_runs(5000);
    CloseClipboard();
    EXPECT_TRUE(ended) << "the copy waited for the clipboard";
    EXPECT_EQ(kUntouched, clipboard_text());
}

TEST_F(AddressTest, ASilentServiceNeverHoldsTheClipboardAndExitDuringItsCopyEndsInTime)
{
    FakeService silent("", true);
    ASSERT_TRUE(silent.ok());
    set_raw_string("remote_service_copy_address", "127.0.0.1");
    set_raw_dword("copy_address_mode", 1);
    controller->start_address_copy();
    // Once the copy waits for the service, the clipboard is still free for other programs.
    EXPECT_NE("<no request>", silent.request());
    EXPECT_TRUE(OpenClipboard(nullptr));
    CloseClipboard();
    const DWORD start = GetTickCount();
    controller.reset();  // the program's exit: waits for the copy, which gives up after 5 s
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 3000u) << "the exit did not wait for the copy";
    EXPECT_LT(took, 8000u);
    EXPECT_EQ(kUntouched, clipboard_text());
}

TEST_F(AddressTest, ExitOverACopyThatDoesNotEndEndsTheProcessWithCode2)
{
    struct Stuck {
        void run(void*) { Sleep(INFINITE); }  // a name look-up that never returns, say
    } stuck;
    const DWORD start = GetTickCount();
    EXPECT_EXIT(
        {
            controller->worker.set_callback(xxCallback<void*, Stuck>(&stuck, &Stuck::run));
            controller->worker.start();
            controller.reset();
        },
        ::testing::ExitedWithCode(2), "");
    // The wait for copies (12 s) and the rest of the exit, with room for a loaded machine.
    EXPECT_LT(GetTickCount() - start, 30000u);
}

}  // namespace
