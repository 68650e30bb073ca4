// A 30 MB download from a loopback server into a file: CHTTPRequest next to
// the curl command line tool ("curl -s -o") and next to a plain libcurl easy
// transfer writing straight to a file, all against the same server in the
// same run. The request should reach at least half the speed of the tool.
#include "http/CHTTPRequest.h"
#include "tests/http/LoopbackServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr size_t kBodySize = 30u * 1000 * 1000;

struct Fixture {
    std::string body = std::string(kBodySize, '\0');
    LoopbackServer server{[this](HttpTestConnection& c) {
        const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/zip\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\n\r\n";
        c.Send(head) && c.Send(body);
    }};
    TempDir folder;

    Fixture()
    {
        for (size_t i = 0; i < body.size(); ++i)
            body[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    std::string Url() const { return server.Url("/data/archive.zip"); }
    std::string Target() const { return folder.File("archive.zip"); }
    void CheckAndRemove(benchmark::State& state) const
    {
        std::error_code error;
        if (std::filesystem::file_size(Target(), error) != kBodySize)
            state.SkipWithError("download incomplete");
        std::filesystem::remove(Target(), error);
    }
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

void BM_CHTTPRequestToFile(benchmark::State& state)
{
    Fixture& fixture = Shared();
    const std::atomic<bool> cancel{false};
    const std::vector<std::string> markers;
    for (auto _ : state) {
        RecordingWindow window;
        CHTTPRequest request(window, cancel, markers, 120);
        if (request.execute(fixture.Url(), fixture.Target(), false) != 0)
            state.SkipWithError("execute failed");
        fixture.CheckAndRemove(state);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
}
BENCHMARK(BM_CHTTPRequestToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_CurlToolToFile(benchmark::State& state)
{
    Fixture& fixture = Shared();
    if (std::system("curl --version >/dev/null 2>&1") != 0) {
        state.SkipWithError("the curl command line tool is not installed");
        return;
    }
    const std::string command = "curl -s -o '" + fixture.Target() + "' '" + fixture.Url() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("curl failed");
        fixture.CheckAndRemove(state);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
}
BENCHMARK(BM_CurlToolToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

size_t WriteToFile(char* data, size_t size, size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file));
}

void BM_PlainLibcurlToFile(benchmark::State& state)
{
    Fixture& fixture = Shared();
    for (auto _ : state) {
        std::FILE* file = std::fopen(fixture.Target().c_str(), "wb");
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, fixture.Url().c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteToFile);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
        if (curl_easy_perform(easy) != CURLE_OK)
            state.SkipWithError("libcurl transfer failed");
        curl_easy_cleanup(easy);
        std::fclose(file);
        fixture.CheckAndRemove(state);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
}
BENCHMARK(BM_PlainLibcurlToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
