#include "region/RegionProgress.h"

#include "core/StringPrintf.h"

#include <algorithm>
#include <cmath>

std::string DurationText(double seconds)
{
    const long long whole = std::llround(std::max(0.0, seconds));
    if (whole < 60)
        return StringPrintf("%.1f s", std::max(0.0, seconds));
    if (whole < 3600)
        return StringPrintf("%lld min %02lld s", whole / 60, whole % 60);
    return StringPrintf("%lld h %02lld min", whole / 3600, whole / 60 % 60);
}

RegionProgress::RegionProgress(std::FILE* out, bool terminal, size_t total, size_t skipped)
    : out_(out), terminal_(terminal), total_(total), skipped_(skipped)
{
    Draw();
}

double RegionProgress::Elapsed() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string RegionProgress::Counts() const
{
    return StringPrintf("%zu of %zu done, %zu failed", skipped_ + done_, total_, failures_.size());
}

void RegionProgress::QuadDone(const std::string& quad, double seconds, long long voids)
{
    ++done_;
    voids_ += voids;
    if (!terminal_)
        std::fprintf(out_, "%s: done in %s (%s)\n", quad.c_str(), DurationText(seconds).c_str(), Counts().c_str());
    std::fflush(out_);
    Draw();
}

void RegionProgress::QuadFailed(const std::string& quad, double seconds, const std::string& cause)
{
    failures_.push_back({quad, cause});
    if (terminal_)
        std::fprintf(out_, "\r\033[K");
    std::fprintf(out_, "%s: failed after %s: %s (%s)\n", quad.c_str(), DurationText(seconds).c_str(),
                 cause.c_str(), Counts().c_str());
    std::fflush(out_);
    Draw();
}

void RegionProgress::Tick()
{
    if (terminal_ && std::chrono::steady_clock::now() - drawn_ > std::chrono::milliseconds(500))
        Draw();
}

void RegionProgress::Draw()
{
    if (!terminal_)
        return;
    drawn_ = std::chrono::steady_clock::now();
    const size_t ended = done_ + failures_.size();
    const size_t left = total_ - skipped_ - ended;
    std::string pace = "rate not known yet";
    if (ended > 0) {
        const double perQuad = Elapsed() / static_cast<double>(ended);
        pace = StringPrintf("%.2f quads/min, about %s left", 60.0 / perQuad,
                            DurationText(perQuad * static_cast<double>(left)).c_str());
    }
    std::fprintf(out_, "\r\033[KRegion: %s; %s", Counts().c_str(), pace.c_str());
    std::fflush(out_);
}

void RegionProgress::Summary(long long voidsBefore)
{
    if (terminal_)
        std::fprintf(out_, "\r\033[K");
    std::fprintf(out_, "Region summary\n");
    std::fprintf(out_, "  quads        %zu\n", total_);
    std::fprintf(out_, "  done         %zu\n", done_);
    std::fprintf(out_, "  skipped      %zu (finished before)\n", skipped_);
    std::fprintf(out_, "  failed       %zu\n", failures_.size());
    std::fprintf(out_, "  not run      %zu\n", total_ - skipped_ - done_ - failures_.size());
    std::fprintf(out_, "  voids left   %lld\n", voids_ + voidsBefore);
    std::fprintf(out_, "  time         %s\n", DurationText(Elapsed()).c_str());
    for (const Failure& failure : failures_)
        std::fprintf(out_, "  failed: %s  %s\n", failure.quad.c_str(), failure.cause.c_str());
    std::fflush(out_);
}
