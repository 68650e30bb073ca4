#include "http/CHTTPRequest.h"
#include "tests/http/HttpTestSupport.h"
#include "tests/http/LoopbackServer.h"
#include "tests/support/RecordingWindow.h"

#include <sys/resource.h>

#include <csignal>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// Runs one execute() against the loopback server and keeps what it logged.
class HttpRequest : public InTempFolder {
protected:
    int Execute(const std::string& url, const std::string& fileName = "", bool toMemory = true,
                int timeout = 120)
    {
        CHTTPRequest request(window_, cancel_, markers_, timeout);
        const int result = request.execute(url, fileName, toMemory);
        responseText_ = request.getResponseText();
        fileName_ = request.getFileName();
        timeoutAfter_ = request.getTimeoutSeconds();
        return result;
    }
    bool Logged(const std::string& line) const { return window_.HasLine(line); }
    Lines Log() const { return window_.Lines(); }
    bool ControlsReenabled() const
    {
        return window_.ControlEnabled(JobControl::Proceed) == true &&
               window_.ControlEnabled(JobControl::WestEdge) == true &&
               window_.ControlEnabled(JobControl::NorthEdge) == true;
    }

    RecordingWindow window_;
    std::atomic<bool> cancel_{false};
    std::vector<std::string> markers_;
    std::string responseText_;
    std::string fileName_;
    int timeoutAfter_ = 0;
};

// A loopback port that refuses connections: bound, so that nobody else gets
// it while the test runs, but not listening.
class RefusingPort {
public:
    RefusingPort() : socket_(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(socket_); }
    int Port() const { return port_; }

private:
    int socket_;
    int port_ = 0;
};

TEST_F(HttpRequest, SendsTheRequestAsTheServicesExpectAndKeepsTheBody)
{
    LoopbackServer server([](HttpTestConnection& c) { c.Reply(200, "Content-Type: text/plain\r\n", std::string_view("hello\0world", 11)); });
    const std::string url = server.Url("/geo/query?q=1&r=a");
    EXPECT_EQ(Execute(url), 0);
    EXPECT_EQ(responseText_, std::string("hello\0world", 11));
    EXPECT_EQ(Log(), (Lines{"Opening Internet...", "Status Code is 200",
                            "Download of \"" + url + "\" finished."}));

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /geo/query?q=1&r=a HTTP/1.0");
    EXPECT_EQ(requests[0].Header("User-Agent"), "Aerolume's terraFetch");
    EXPECT_EQ(requests[0].Header("Accept"), "text/*, application/zip, */*");
    EXPECT_EQ(requests[0].Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(requests[0].Header("Authorization"), "");
}

TEST_F(HttpRequest, RefusesWhatIsNotAnHttpUrlWithoutConnecting)
{
    const std::pair<const char*, int> cases[] = {
        {"https://127.0.0.1/x", 2}, {"ftp://127.0.0.1/x", 2}, {"no url at all", 1}, {"http://:1/x", 1}};
    for (const auto& [url, expected] : cases) {
        RecordingWindow window;
        CHTTPRequest request(window, cancel_, markers_, 120);
        EXPECT_EQ(request.execute(url, "", true), expected) << url;
        EXPECT_EQ(window.Lines(), Lines{"Error: can only use URLs beginning with http://"}) << url;
    }
    // A host whose port is out of range is told so, not that the scheme is wrong.
    RecordingWindow window;
    CHTTPRequest request(window, cancel_, markers_, 120);
    EXPECT_EQ(request.execute("http://127.0.0.1:70000/x", "", true), 1);
    EXPECT_EQ(window.Lines(), Lines{"Error: The port in \"http://127.0.0.1:70000/x\" must be a number from 1 to 65535."});
}

TEST_F(HttpRequest, FollowsRedirectsAbsoluteAndRelative)
{
    for (const int status : {301, 302, 303}) {
        SCOPED_TRACE(status);
        RecordingWindow window;
        LoopbackServer* self = nullptr;
        LoopbackServer server([&](HttpTestConnection& c) {
            const std::string& target = c.Request().target;
            if (target == "/start")
                c.Reply(status, "Location: " + self->Url("/middle") + "\r\n", "moved");
            else if (target == "/middle")
                c.Reply(status, "Location: /final?x=1\r\n", "");
            else
                c.Reply(200, "", "arrived at " + target);
        });
        self = &server;
        CHTTPRequest request(window, cancel_, markers_, 120);
        ASSERT_EQ(request.execute(server.Url("/start"), "", true), 0);
        EXPECT_EQ(request.getResponseText(), "arrived at /final?x=1");
        const std::string code = "Status Code is " + std::to_string(status);
        EXPECT_EQ(window.Lines(),
                  (Lines{"Opening Internet...", code, "Redirected to " + server.Url("/middle"), "Waiting 0 seconds",
                         "Opening Internet...", code, "Redirected to " + server.Url("/final?x=1"),
                         "Waiting 0 seconds", "Opening Internet...", "Status Code is 200",
                         "Download of \"" + server.Url("/start") + "\" finished."}));
    }
}

TEST_F(HttpRequest, RedirectWithoutLocationFails)
{
    LoopbackServer server([](HttpTestConnection& c) { c.Reply(302, "Content-Location: /x\r\n", ""); });
    EXPECT_EQ(Execute(server.Url("/a")), 2);
    EXPECT_EQ(Log().back(), "Error: Site redirects with no new location");
}

TEST_F(HttpRequest, EndlessRedirectChainWithoutWaitsIsGivenUp)
{
    LoopbackServer server([](HttpTestConnection& c) { c.Reply(302, "Location: /again\r\n", ""); });
    EXPECT_EQ(Execute(server.Url("/again")), 2);
    EXPECT_EQ(server.RequestCount(), CHTTPRequest::kMaxPassesWithoutWait + 1);
    EXPECT_EQ(Log().back(), "Error: More than 50 redirects in a row without a wait.");
}

TEST_F(HttpRequest, RefreshHeadersNameTheNextUrlAndTheWait)
{
    LoopbackServer* self = nullptr;
    LoopbackServer server([&](HttpTestConnection& c) {
        const std::string& target = c.Request().target;
        if (target == "/order")
            c.Reply(200, "Refresh: 1; URL=" + self->Url("/status") + "\r\n", "<STRONG>Adding your request</STRONG>");
        else if (target == "/status")
            c.Reply(200, "Refresh: 0;URL=/archive/data.zip\r\n", "<H2>Extracting data<BR>please wait</H2>");
        else if (target == "/archive/data.zip")
            c.Reply(200, "Refresh: 7\r\n", "bare number");
        else
            c.Reply(404, "", "");
    });
    self = &server;
    markers_ = {"Adding your request", "Extracting data"};
    EXPECT_EQ(Execute(server.Url("/order"), "", false), 1);
    EXPECT_EQ(Log(), (Lines{"Opening Internet...", "Status Code is 200", "Adding your request",
                            "Redirected to " + server.Url("/status"), "Waiting 1 second",
                            "Opening Internet...", "Status Code is 200", "Extracting data", "please wait",
                            "Redirected to " + server.Url("/archive/data.zip"), "Waiting 0 seconds",
                            "Opening Internet...", "Status Code is 200", "Redirected to 7", "Waiting 0 seconds",
                            "Error: can only use URLs beginning with http://"}));
    EXPECT_FALSE(std::filesystem::exists("terraFetch.log"));
}

TEST_F(HttpRequest, StatusPagesWithoutMarkersAreTracedAndTheArchiveIsWritten)
{
    LoopbackServer server([&](HttpTestConnection& c) {
        const std::string& target = c.Request().target;
        if (target == "/order")
            c.Reply(200, "Refresh: 0;URL=/status\r\n", "unknown page one\r\n");
        else if (target == "/status")
            c.Reply(200, "Refresh: 0;URL=/dl/data/abc.zip\r\n", "unknown page two");
        else
            c.Reply(200, "Content-Type: application/zip\r\n", "PK archive bytes");
    });
    markers_ = {"Adding your request"};
    EXPECT_EQ(Execute(server.Url("/order"), "", false), 0);
    const std::string archive = InFolder("abc.zip");
    EXPECT_EQ(fileName_, archive);
    EXPECT_EQ(ReadFileBytes(archive), "PK archive bytes");
    EXPECT_EQ(Log().back(), "Writing file \"" + archive + "\" finished.");
    EXPECT_TRUE(Logged("Writing file \"" + archive + "\"..."));

    const std::string trace = ReadFileBytes("terraFetch.log");
    const size_t first = trace.find("+++ BEGIN OF PAYLOAD +++\r\nunknown page one\r\n+++ END OF PAYLOAD +++\r\n");
    const size_t second = trace.find("+++ BEGIN OF PAYLOAD +++\r\nunknown page two+++ END OF PAYLOAD +++\r\n");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, second);
}

TEST_F(HttpRequest, PasswordChallengeSendsCredentialsOrEndsWhenDismissed)
{
    LoopbackServer server([](HttpTestConnection& c) {
        // "user:secret" in base64.
        if (c.Request().Header("Authorization") == "Basic dXNlcjpzZWNyZXQ=")
            c.Reply(200, "", "private");
        else
            c.Reply(401, "WWW-Authenticate: Basic realm=\"terrain\"\r\n", "denied");
    });
    window_.QueuePasswordAnswer({true, "user", "wrong"});
    window_.QueuePasswordAnswer({true, "user", "secret"});
    EXPECT_EQ(Execute(server.Url("/private")), 0);
    EXPECT_EQ(responseText_, "private");
    EXPECT_EQ(window_.PasswordQuestions(), 2);
    EXPECT_EQ(Log()[1], "Status Code is 200");

    RecordingWindow dismissed;
    CHTTPRequest request(dismissed, cancel_, markers_, 120);
    EXPECT_EQ(request.execute(server.Url("/private"), "", true), 1);
    EXPECT_EQ(dismissed.Lines().back(), "Access denied: Invalid password");
}

TEST_F(HttpRequest, DigestChallengeIsAnsweredWithDigestCredentials)
{
    LoopbackServer server([](HttpTestConnection& c) {
        const std::string authorization = c.Request().Header("Authorization");
        if (authorization.rfind("Digest username=\"user\"", 0) == 0 &&
            authorization.find("nonce=\"n0nce\"") != std::string::npos)
            c.Reply(200, "", "digest accepted");
        else
            c.Reply(401, "WWW-Authenticate: Digest realm=\"terrain\", nonce=\"n0nce\", qop=\"auth\"\r\n",
                    "a challenge page with a body");
    });
    window_.QueuePasswordAnswer({true, "user", "secret"});
    EXPECT_EQ(Execute(server.Url("/private")), 0);
    EXPECT_EQ(responseText_, "digest accepted");
    EXPECT_EQ(window_.PasswordQuestions(), 1);
}

TEST_F(HttpRequest, OtherStatusLogsTheResponseHeaders)
{
    LoopbackServer server([](HttpTestConnection& c) {
        c.Send("HTTP/1.0 404 Not Found\r\nServer: test\nX-Note: bare line end\r\n\r\nmissing");
    });
    EXPECT_EQ(Execute(server.Url("/nothing")), 5);
    EXPECT_EQ(Log(), (Lines{"Opening Internet...", "Status Code is 404", "Error: Status Code is 404",
                            "Response Headers:", "  HTTP/1.0 404 Not Found", "  Server: test",
                            "  X-Note: bare line end"}));
}

TEST_F(HttpRequest, ConnectionFailureAsksTheTimeoutQuestion)
{
    const RefusingPort refusing;
    const std::string url = "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/x";
    window_.QueueTimeoutAnswer({false, 45});
    EXPECT_EQ(Execute(url, "", true, 30), 5);
    EXPECT_EQ(window_.TimeoutQuestions(), std::vector<int>{30});
    EXPECT_EQ(timeoutAfter_, 45);  // taken over even though the answer was No
    EXPECT_EQ(Log(), (Lines{"Opening Internet...", "Status Code is 408", "Error: Status Code is 408",
                            "Response Headers:"}));
}

TEST_F(HttpRequest, StalledServerIsRetriedWithTheNewTimeoutOnYes)
{
    std::atomic<int> connections{0};
    LoopbackServer server([&](HttpTestConnection& c) {
        const int number = ++connections;
        // The first answer never comes in time; the second is slower than
        // the old time-out but well inside the new one.
        if (!c.Stall(number == 1 ? 3000ms : 1300ms))
            return;
        c.Reply(200, "", "late but fine");
    });
    window_.QueueTimeoutAnswer({true, 60});
    EXPECT_EQ(Execute(server.Url("/slow"), "", true, 1), 0);
    EXPECT_EQ(responseText_, "late but fine");
    EXPECT_EQ(window_.TimeoutQuestions(), std::vector<int>{1});
    EXPECT_EQ(timeoutAfter_, 60);
}

TEST_F(HttpRequest, ServerSent408NeedsTheUsersYesForEveryRetry)
{
    LoopbackServer server([](HttpTestConnection& c) { c.Reply(408, "", "server timed out"); });
    window_.QueueTimeoutAnswer({true, 20});
    window_.QueueTimeoutAnswer({false, 20});
    EXPECT_EQ(Execute(server.Url("/x"), "", true, 10), 5);
    EXPECT_EQ(server.RequestCount(), 2);
    EXPECT_EQ(window_.TimeoutQuestions(), (std::vector<int>{10, 20}));
    EXPECT_TRUE(Logged("  HTTP/1.1 408 Request Timeout"));
}

TEST_F(HttpRequest, DownloadsIntoNamedFileWithProgress)
{
    // Large enough for the transfer to be held back while the file catches up.
    std::string body(3 << 20, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>((i * 7919) >> 8);
    LoopbackServer server([&](HttpTestConnection& c) { c.Reply(200, "", body); });
    EXPECT_EQ(Execute(server.Url("/tile.gif?x=1"), "map.gif", false), 0);
    EXPECT_EQ(fileName_, InFolder("map.gif"));
    EXPECT_EQ(ReadFileBytes("map.gif"), body);
    const std::vector<int> progress = window_.ProgressHistory();
    ASSERT_GE(progress.size(), 3u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1));
    EXPECT_EQ(progress[progress.size() - 2], 100);
    EXPECT_EQ(progress.back(), 0);
}

TEST_F(HttpRequest, DownloadWithoutLengthKeepsTheBarAtZero)
{
    const std::string body(50000, 'y');
    LoopbackServer server([&](HttpTestConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Type: application/zip\r\n\r\n");
        c.Send(body.substr(0, 20000));
        c.Stall(100ms);
        c.Send(body.substr(20000));
    });
    EXPECT_EQ(Execute(server.Url("/x/data/abc.zip"), "", false), 0);
    EXPECT_EQ(ReadFileBytes("abc.zip"), body);
    EXPECT_EQ(window_.ProgressHistory(), std::vector<int>{0});
}

TEST_F(HttpRequest, FileThatCannotBeCreatedGivesFour)
{
    LoopbackServer server([](HttpTestConnection& c) { c.Reply(200, "", "data"); });
    EXPECT_EQ(Execute(server.Url("/x"), "missing-folder/file.bin", false), 4);
    EXPECT_EQ(Log().back(), "Error: Writing file \"" + InFolder("missing-folder/file.bin") + "\" failed.");
}

TEST_F(HttpRequest, FailingWriteRemovesThePartialFile)
{
    const std::string body(1 << 20, 'z');
    LoopbackServer server([&](HttpTestConnection& c) { c.Reply(200, "", body); });
    // A file size limit makes the writes fail part-way, as a full disk would.
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = Execute(server.Url("/big.bin"), "", false);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, 4);
    EXPECT_EQ(Log().back(), "Error: Writing file \"" + InFolder("big.bin") + "\" failed.");
    EXPECT_TRUE(std::filesystem::is_empty(folder_.Path()));
}

TEST_F(HttpRequest, TruncatedBodyIsAFailureAndLeavesNoFile)
{
    LoopbackServer server([](HttpTestConnection& c) {
        c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nonly a little");
    });
    EXPECT_EQ(Execute(server.Url("/short.zip"), "", false), 5);
    EXPECT_EQ(Log().back().rfind("Error: Reading the response from \"" + server.Url("/short.zip") + "\" failed", 0),
              0u);
    EXPECT_TRUE(std::filesystem::is_empty(folder_.Path()));

    EXPECT_EQ(Execute(server.Url("/short.txt"), "", true), 5);
}

TEST_F(HttpRequest, OversizedBodyInMemoryIsRefused)
{
    LoopbackServer server([](HttpTestConnection& c) {
        const std::string chunk(1 << 20, 'm');
        if (!c.Send("HTTP/1.0 200 OK\r\n\r\n"))
            return;
        for (size_t sent = 0; sent <= CHTTPRequest::kMaxMemoryBody; sent += chunk.size())
            if (!c.Send(chunk))
                return;
    });
    EXPECT_EQ(Execute(server.Url("/huge")), 5);
    EXPECT_TRUE(responseText_.empty());
    EXPECT_EQ(Log().back(), "Error: The response from \"" + server.Url("/huge") + "\" is larger than 64 MiB.");
}

TEST_F(HttpRequest, CancelDuringAServerRequestedWait)
{
    LoopbackServer server([](HttpTestConnection& c) { c.Reply(200, "Refresh: 30;URL=/next\r\n", "queued"); });
    std::thread canceller([this] {
        for (int i = 0; i < 2000 && !window_.HasLine("Waiting 30 seconds"); ++i)
            std::this_thread::sleep_for(5ms);
        cancel_ = true;
    });
    EXPECT_EQ(Execute(server.Url("/order"), "", false), 3);
    canceller.join();
    EXPECT_EQ(Log().back(), "Download canceled by user.");
    EXPECT_TRUE(ControlsReenabled());
    EXPECT_EQ(server.RequestCount(), 1);
}

TEST_F(HttpRequest, CancelIsLookedAtBetweenRedirectsWithoutWait)
{
    LoopbackServer server([](HttpTestConnection& c) { c.Reply(302, "Location: /elsewhere\r\n", ""); });
    cancel_ = true;
    EXPECT_EQ(Execute(server.Url("/start")), 3);
    EXPECT_EQ(server.RequestCount(), 1);
}

// Sets the cancel flag as soon as the download shows progress.
class CancellingWindow : public RecordingWindow {
public:
    explicit CancellingWindow(std::atomic<bool>& cancel) : cancel_(cancel) {}
    void SetProgress(int percent) override
    {
        RecordingWindow::SetProgress(percent);
        if (percent > 0)
            cancel_ = true;
    }

private:
    std::atomic<bool>& cancel_;
};

TEST_F(HttpRequest, CancelDuringDownloadLeavesNoFileAndKeepsAnOldOne)
{
    const std::string body(1 << 20, 'c');
    LoopbackServer server([&](HttpTestConnection& c) { c.Reply(200, "", body); });
    WriteFileBytes("data.zip", "older file");
    CancellingWindow window(cancel_);
    CHTTPRequest request(window, cancel_, markers_, 120);
    EXPECT_EQ(request.execute(server.Url("/data.zip"), "", false), 3);
    EXPECT_EQ(window.Lines().back(), "Download canceled by user.");
    EXPECT_EQ(ReadFileBytes("data.zip"), "older file");
    EXPECT_FALSE(std::filesystem::exists("data.zip.part"));
}

}  // namespace
