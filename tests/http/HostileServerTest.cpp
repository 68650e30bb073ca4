// Servers that misbehave on purpose: each request must end soon with a
// non-zero result, a line that says what happened, and no file left behind.
#include "http/CHTTPRequest.h"
#include "http/HttpTransfer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/http/HttpTestSupport.h"
#include "tests/http/LoopbackServer.h"
#include "tests/http/RawSocketServer.h"

namespace {

using namespace std::chrono_literals;

class HostileServer : public InTempFolder {
protected:
    int Execute(const std::string& url, bool toMemory, unsigned long long maxFileSize = 0)
    {
        CHTTPRequest request(window_, cancel_, markers_, 1);
        if (maxFileSize > 0)
            request.setMaxFileSize(maxFileSize);
        return request.execute(url, "", toMemory);
    }
    std::string LastLine() const { return window_.Lines().empty() ? "" : window_.Lines().back(); }
    bool FolderIsEmpty() const { return std::filesystem::is_empty(folder_.Path()); }

    RecordingWindow window_;
    std::atomic<bool> cancel_{false};
    std::vector<std::string> markers_;
};

// Sends `head`, then `piece` every 100 ms until the client goes away or 30
// seconds have passed.
void Drip(HttpTestConnection& c, const std::string& head, const std::string& piece)
{
    if (!c.Send(head))
        return;
    for (int i = 0; i < 300 && c.Send(piece); ++i)
        if (!c.Stall(100ms))
            return;
}

TEST_F(HostileServer, DrippingServersAreCutOffAtTheTimeLimit)
{
    // Header lines, or one header line that never ends.
    for (const std::string piece : {"X-Slow: 1\r\n", "x"}) {
        LoopbackServer headers([&](HttpTestConnection& c) { Drip(c, "HTTP/1.0 200 OK\r\nX-Slow: 0\r\n", piece); });
        EXPECT_EQ(Execute(headers.Url("/page"), true), 5);
        EXPECT_EQ(LastLine().rfind("Error: The answer from \"" + headers.Url("/page") + "\" was refused: the server "
                                   "sent ", 0), 0u) << LastLine();
        EXPECT_NE(LastLine().find("fewer than 1024 bytes per second"), std::string::npos) << LastLine();
    }
    EXPECT_TRUE(window_.TimeoutQuestions().empty());

    LoopbackServer body([](HttpTestConnection& c) { Drip(c, "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n", "x"); });
    EXPECT_EQ(Execute(body.Url("/tile.gif"), false), 5);
    EXPECT_NE(LastLine().find("fewer than 1024 bytes per second"), std::string::npos) << LastLine();
    EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(HostileServer, OversizedHeadersAreRefused)
{
    LoopbackServer manyLines([](HttpTestConnection& c) {
        std::string head = "HTTP/1.0 200 OK\r\n";
        for (int i = 0; i < 10000; ++i)
            head += "X-Line: " + std::to_string(i) + "\r\n";
        c.Send(head + "\r\nbody");
    });
    EXPECT_EQ(Execute(manyLines.Url("/x"), true), 5);
    EXPECT_EQ(LastLine(), "Error: The answer from \"" + manyLines.Url("/x") +
                              "\" was refused: the response headers exceed 500 lines or 65536 bytes.");

    LoopbackServer longLine([](HttpTestConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nX-Long: " + std::string(1 << 20, 'a') + "\r\n\r\nbody");
    });
    EXPECT_EQ(Execute(longLine.Url("/x"), false), 5);
    EXPECT_EQ(LastLine().rfind("Error: The answer from \"" + longLine.Url("/x") + "\" was refused: ", 0), 0u)
        << LastLine();
    EXPECT_TRUE(window_.TimeoutQuestions().empty());
    EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(HostileServer, BodiesOverTheirLimitStopAndLeaveNoFile)
{
    LoopbackServer announced([](HttpTestConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Length: 1000000000000\r\n\r\nstart");
        c.Stall(30s);
    });
    EXPECT_EQ(Execute(announced.Url("/a.zip"), false, 4096), 5);
    EXPECT_EQ(LastLine(), "Error: The download to \"" + InFolder("a.zip") + "\" is larger than 4096 bytes.");
    EXPECT_EQ(Execute(announced.Url("/status"), true), 5);
    EXPECT_EQ(LastLine(), "Error: The response from \"" + announced.Url("/status") + "\" is larger than 64 MiB.");

    const std::string body(5000, 'b');
    LoopbackServer unannounced([&](HttpTestConnection& c) { c.Send("HTTP/1.0 200 OK\r\n\r\n" + body); });
    EXPECT_EQ(Execute(unannounced.Url("/b.gif"), false, 4096), 5);
    EXPECT_EQ(LastLine(), "Error: The download to \"" + InFolder("b.gif") + "\" is larger than 4096 bytes.");
    EXPECT_TRUE(FolderIsEmpty());

    EXPECT_EQ(Execute(unannounced.Url("/c.gif"), false, body.size()), 0);
}

TEST_F(HostileServer, LengthBeyondTheBodyOrAResetFailsTheDownload)
{
    LoopbackServer stalling([](HttpTestConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Length: 90000\r\n\r\n" + std::string(3000, 's'));
        c.Stall(30s);
    });
    EXPECT_EQ(Execute(stalling.Url("/s.zip"), false), 5);
    EXPECT_NE(LastLine().find("timed out"), std::string::npos) << LastLine();

    RawSocketServer resetting([](int socket) {
        RawSocketServer::ReadRequest(socket);
        RawSocketServer::Send(socket, "HTTP/1.0 200 OK\r\nContent-Length: 90000\r\n\r\n" + std::string(3000, 'r'));
        RawSocketServer::ResetOnClose(socket);
    });
    EXPECT_EQ(Execute(resetting.Url("/r.zip"), false), 5);
    EXPECT_EQ(LastLine().rfind("Error: Reading the response from \"" + resetting.Url("/r.zip") + "\" failed", 0), 0u)
        << LastLine();
    EXPECT_EQ(Execute(resetting.Url("/r.txt"), true), 5);
    EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(HostileServer, RefreshWaitsThatAreHugeNegativeOrNoNumber)
{
    LoopbackServer huge([](HttpTestConnection& c) { c.Reply(200, "Refresh: 99999999999;URL=/next\r\n", "queued"); });
    EXPECT_EQ(Execute(huge.Url("/order"), false), 5);
    EXPECT_EQ(LastLine(), "Error: The server asks for a wait of 2147483647 seconds, more than the 3600 allowed.");
    EXPECT_EQ(huge.RequestCount(), 1);

    // Waits that are no positive number are no waits: the chain is given up.
    for (const char* wait : {"-5", "soon"}) {
        LoopbackServer odd([&](HttpTestConnection& c) {
            c.Reply(200, std::string("Refresh: ") + wait + ";URL=/next\r\n", "queued");
        });
        EXPECT_EQ(Execute(odd.Url("/order"), false), 2) << wait;
        EXPECT_EQ(odd.RequestCount(), CHTTPRequest::kMaxPassesWithoutWait + 1) << wait;
    }
    EXPECT_TRUE(window_.HasLine("Waiting -5 seconds"));
}

TEST_F(HostileServer, StatusPagesWithoutNewProgressEndTheOrder)
{
    markers_ = {"Progress:"};
    // No progress phrase at all, or the same one again and again.
    for (const std::string page : {"queued", "<b>Progress: waiting</b>"}) {
        LoopbackServer stuck([&](HttpTestConnection& c) { c.Reply(200, "Refresh: 1;URL=/again\r\n", page); });
        CHTTPRequest request(window_, cancel_, markers_, 1);
        request.setMaxTimeWithoutProgress(2s);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(request.execute(stuck.Url("/order"), "", false), 5) << page;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 15s) << page;
        EXPECT_EQ(LastLine(), "Error: The server has sent no new progress for 2 seconds; the request is given up.")
            << page;
        EXPECT_LE(stuck.RequestCount(), 5) << page;
    }

    // Pages whose progress changes keep the order going to its end.
    std::atomic<int> served{0};
    LoopbackServer moving([&](HttpTestConnection& c) {
        const int n = ++served;
        if (n < 4)
            c.Reply(200, "Refresh: 1;URL=/again\r\n", "<b>Progress: step " + std::to_string(n) + "</b>");
        else
            c.Reply(200, "", "finished");
    });
    CHTTPRequest request(window_, cancel_, markers_, 1);
    request.setMaxTimeWithoutProgress(2s);
    EXPECT_EQ(request.execute(moving.Url("/order"), "", true), 0) << LastLine();
    EXPECT_EQ(request.getResponseText(), "finished");
}

TEST_F(HostileServer, TracedStatusPagesStopAtTheLimitWithOneLine)
{
    // Pages of 256 KiB without a progress phrase, asked for again at once.
    const std::string page(256 << 10, 'p');
    LoopbackServer pages([&](HttpTestConnection& c) { c.Reply(200, "Refresh: 0;URL=/again\r\n", page); });
    CHTTPRequest request(window_, cancel_, markers_, 1);
    request.setMaxTraceBytes(1 << 20);
    EXPECT_EQ(request.execute(pages.Url("/order"), "", false), 2);
    EXPECT_EQ(pages.RequestCount(), CHTTPRequest::kMaxPassesWithoutWait + 1);
    const std::string trace = ReadFileBytes("terraFetch.log");
    EXPECT_LE(trace.size(), (1u << 20) + 4096u);
    EXPECT_GE(trace.size(), 1u << 20);
    const size_t stopped = trace.find("Tracing stopped: this request's status pages have filled 1048576 bytes");
    ASSERT_NE(stopped, std::string::npos);
    EXPECT_EQ(trace.find("Tracing stopped", stopped + 1), std::string::npos);
    EXPECT_EQ(trace.rfind("+++ BEGIN OF PAYLOAD"), trace.rfind("+++ BEGIN OF PAYLOAD", stopped));
}

TEST_F(HostileServer, AnAddressWithoutAFileNameWritesNothing)
{
    const bool rootHadPart = std::filesystem::exists("/.part");
    for (const char* object : {"/", "//", "/dir/", "/..", "/."}) {
        LoopbackServer server([](HttpTestConnection& c) { c.Reply(200, "", "PK archive"); });
        EXPECT_EQ(Execute(server.Url(object), false), 4) << object;
        EXPECT_EQ(LastLine(), "Error: The address \"" + server.Url(object) + "\" names no file to write.") << object;
        EXPECT_TRUE(FolderIsEmpty()) << object;
    }
    EXPECT_EQ(std::filesystem::exists("/.part"), rootHadPart);
}

}  // namespace
