#pragma once

// Height files for the live elevation tests and benchmarks: generated tiles,
// gzip, and a stand-in for the public tile source on a loopback port.
// Header-only; users link zlib (the live library brings it).

#include "tests/http/LoopbackServer.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

// A height everywhere, in arc-seconds east and north: varied, positive, and
// different in every cell, so a post taken from the wrong tile shows.
inline int16_t TestTerrain(long x, long y)
{
    return static_cast<int16_t>(100 + (x + 360L * 3600) % 1013 + 3 * ((y + 180L * 3600) % 977));
}

// The height file of a cell with `posts` posts a side, from `terrain` of
// the absolute position in arc-seconds, so neighbouring tiles agree on their
// shared edge.
inline std::string MakeHgtTile(int latitude, int longitude, int posts = 3601,
                               int16_t (*terrain)(long x, long y) = TestTerrain)
{
    const long step = 3600 / (posts - 1);
    std::string bytes(static_cast<size_t>(posts) * posts * 2, '\0');
    for (int row = 0; row < posts; ++row)
        for (int column = 0; column < posts; ++column) {
            const auto value = static_cast<uint16_t>(
                terrain(longitude * 3600L + column * step, (latitude + 1) * 3600L - row * step));
            const size_t at = (static_cast<size_t>(row) * posts + column) * 2;
            bytes[at] = static_cast<char>(value >> 8);
            bytes[at + 1] = static_cast<char>(value & 0xff);
        }
    return bytes;
}

inline std::string Gzip(const std::string& bytes, int level = 1)
{
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&stream, bytes.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

// The public tile source's stand-in: GET /N39/N39W099.hgt.gz answers the
// gzip put there, 404 for any other path. Tiles can be replaced while it runs.
class TestTileServer {
public:
    TestTileServer()
        : server_([this](HttpTestConnection& connection) { Answer(connection); })
    {
    }

    // `path` as "/N39/N39W099.hgt.gz".
    void Put(const std::string& path, std::string body, int status = 200)
    {
        std::lock_guard lock(mutex_);
        answers_[path] = {status, std::move(body)};
    }

    std::string BaseUrl() const { return server_.Url(""); }
    int RequestCount() const { return server_.RequestCount(); }

private:
    struct Answer_ {
        int status;
        std::string body;
    };

    void Answer(HttpTestConnection& connection)
    {
        Answer_ answer{404, "<Error><Code>NoSuchKey</Code></Error>"};
        {
            std::lock_guard lock(mutex_);
            const auto found = answers_.find(connection.Request().target);
            if (found != answers_.end())
                answer = found->second;
        }
        connection.Reply(answer.status, "Content-Type: application/octet-stream\r\n", answer.body);
    }

    std::mutex mutex_;
    std::map<std::string, Answer_> answers_;
    LoopbackServer server_;  // last: it stops before the answers go
};
