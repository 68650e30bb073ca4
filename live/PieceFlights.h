#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

// Keeps the holders of one key apart across threads: while one holds a
// key, another asking for it waits. Used so that a piece asked for twice at
// once is fetched once and the second finds it in the cache.
class PieceFlights {
public:
    class Hold {
    public:
        Hold(PieceFlights& flights, std::string key);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        PieceFlights& flights_;
        std::string key_;
        std::shared_ptr<std::mutex> lock_;
    };

    // The flights of the whole process.
    static PieceFlights& Shared();

private:
    std::mutex mutex_;
    std::map<std::string, std::weak_ptr<std::mutex>> locks_;
};
