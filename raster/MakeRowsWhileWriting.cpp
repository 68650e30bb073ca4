#include "raster/MakeRowsWhileWriting.h"

#include "core/FileReplacement.h"
#include "raster/ImageCache.h"
#include "raster/ParallelBands.h"
#include "raster/TGAFile.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// About half a megabyte of a 1-degree height map: small enough that the
// writing starts early, large enough that each write is one big call.
constexpr int kBlockRows = 64;

// The blocks of one image: handed out in order to the makers, and waited for
// in order by the writer.
class BlockBoard {
public:
    BlockBoard(int rows, const RowMaker& makeRows)
        : rows_(rows), blocks_((rows + kBlockRows - 1) / kBlockRows), made_(blocks_, false), makeRows_(makeRows)
    {
    }

    int Blocks() const { return blocks_; }
    int Begin(int block) const { return block * kBlockRows; }
    int End(int block) const { return std::min(rows_, (block + 1) * kBlockRows); }

    // Makes blocks until none are left or the work has stopped.
    void MakeBlocks()
    {
        for (;;) {
            const int block = next_++;
            if (block >= blocks_ || stopped_)
                return;
            const bool made = makeRows_(Begin(block), End(block));
            {
                std::lock_guard lock(mutex_);
                if (made)
                    made_[block] = true;
                else
                    failed_ = stopped_ = true;
            }
            changed_.notify_all();
        }
    }

    // True once `block` is made; false when the making failed or stopped.
    bool WaitFor(int block)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return made_[block] || stopped_; });
        return made_[block];
    }

    void Stop()
    {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }
    bool Failed()
    {
        std::lock_guard lock(mutex_);
        return failed_;
    }

private:
    const int rows_;
    const int blocks_;
    std::atomic<int> next_{0};
    std::atomic<bool> stopped_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> made_;
    bool failed_ = false;
    const RowMaker& makeRows_;
};

// One maker per core; fewer when threads cannot be had. Empty means the
// caller has to make the blocks itself.
std::vector<std::thread> StartMakers(BlockBoard& board)
{
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int makers = std::clamp(std::min(cores, board.Blocks()), 1, kMaxBands);
    std::vector<std::thread> started;
    started.reserve(makers);
    try {
        for (int i = 0; i < makers; ++i)
            started.emplace_back([&board] { board.MakeBlocks(); });
    } catch (const std::system_error&) {
    }
    return started;
}

} // namespace

int MakeRowsInMemory(TGAFile& image, const RowMaker& makeRows)
{
    std::atomic<bool> failed{false};
    ParallelBands(image.GetHeight(), [&](int begin, int end) {
        for (int block = begin; block < end && !failed; block += kBlockRows)
            if (!makeRows(block, std::min(end, block + kBlockRows)))
                failed = true;
    });
    return failed ? kRowsNotMade : 0;
}

int MakeRowsWhileWriting(TGAFile& image, const std::string& path, const RowMaker& makeRows)
{
    if (image.IsEmpty()) {
        std::fputs("TGAFile::Write(): No image to write.\n", stderr);
        return 3;
    }
    FileReplacement file = TGAFile::OpenForWriting(path);
    if (!file.Stream())
        return 2;
    BlockBoard board(image.GetHeight(), makeRows);
    std::vector<std::thread> makers = StartMakers(board);
    // Without threads the blocks are all made first, then written.
    if (makers.empty())
        board.MakeBlocks();
    bool written = image.WriteHeader(file.Stream());
    for (int block = 0; written && block < board.Blocks(); ++block)
        written = board.WaitFor(block) && image.WriteRows(file.Stream(), board.Begin(block), board.End(block));
    board.Stop();
    for (std::thread& maker : makers)
        maker.join();
    if (board.Failed()) {
        file.Abandon();
        return kRowsNotMade;
    }
    return TGAFile::FinishWriting(file, written);
}

int MakeRowsFor(ImageCache* images, TGAFile& image, const std::string& path, const RowMaker& makeRows)
{
    return KeptInMemoryOnly(images, path) ? MakeRowsInMemory(image, makeRows)
                                          : MakeRowsWhileWriting(image, path, makeRows);
}
