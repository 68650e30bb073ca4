#include "geocode/GeocodeAnswer.h"

#include "core/JobWindow.h"
#include "core/QuadGeometry.h"

#include <cstdlib>

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t found; (found = text.find(from, start)) != std::string::npos; start = found + from.size()) {
        result.append(text, start, found - start);
        result += to;
    }
    result.append(text, start, std::string::npos);
    text = std::move(result);
}

// Lower-cases ASCII letters only, so every position of the copy names the
// same byte of the original.
std::string AsciiLowerCase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The number after `key` up to the next comma, or 0 when either is missing.
double NumberAfterKey(const std::string& lower, const std::string& text, const std::string& key)
{
    const size_t keyAt = lower.find(key);
    if (keyAt == std::string::npos)
        return 0.0;
    const size_t from = keyAt + key.size();
    const size_t comma = lower.find(',', from);
    if (comma == std::string::npos)
        return 0.0;
    return std::atof(text.substr(from, comma - from).c_str());
}

// Drops the last character, all of its UTF-8 bytes.
void DropLastCharacter(std::string& text)
{
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.back());
        text.pop_back();
        if ((c & 0xC0) != 0x80)
            break;
    }
}

} // namespace

std::string NormaliseGeocodeAnswer(std::string answer)
{
    for (char& c : answer)
        if (c == '\n' || c == '\t')
            c = ' ';
    for (const size_t run : {17, 9, 5, 3, 2})
        ReplaceAll(answer, std::string(run, ' '), " ");
    ReplaceAll(answer, " =", "=");
    ReplaceAll(answer, "= ", "=");
    return answer;
}

GeocodeAnswer ReadGeocodeAnswer(const std::string& answer)
{
    const std::string text = NormaliseGeocodeAnswer(answer);
    const std::string lower = AsciiLowerCase(text);

    GeocodeAnswer result;
    result.latitude = NumberAfterKey(lower, text, "mapcenterlat=");
    result.longitude = NumberAfterKey(lower, text, "mapcenterlon=");
    if (result.IsSingleMatch())
        return result;

    static const std::string kOpen = "<td align=\"center\">";
    static const std::string kClose = "</td>";
    static const std::string kBreak = "<br />";
    size_t start = 0;
    for (;;) {
        const size_t open = lower.find(kOpen, start);
        if (open == std::string::npos)
            break;
        const size_t cellStart = open + kOpen.size();
        const size_t close = lower.find(kClose, cellStart);
        if (close == std::string::npos)
            break;
        start = close;
        const size_t lineBreak = lower.find(kBreak, cellStart);
        if (lineBreak == std::string::npos || lineBreak >= close)
            continue;
        std::string street = text.substr(cellStart, lineBreak - cellStart);
        DropLastCharacter(street);
        const size_t placeStart = lineBreak + kBreak.size();
        result.candidates.push_back(street + ", " + text.substr(placeStart, close - placeStart));
    }
    return result;
}

std::string CandidateLogLine(const std::string& candidate)
{
    return "        \u00BB" + candidate + "\u00AB";
}

std::optional<Quad> ParseGeocodeAnswer(JobWindow& window, const std::string& answer, double quadSize,
                                       bool alignToGrid)
{
    const GeocodeAnswer parsed = ReadGeocodeAnswer(answer);
    if (parsed.IsSingleMatch()) {
        const Quad quad = QuadFromPoint(parsed.longitude, parsed.latitude, quadSize, alignToGrid);
        window.AddToLog(QuadLogLine(quad));
        window.EnableControl(JobControl::Proceed, true);
        window.EnableControl(JobControl::WestEdge, true);
        window.EnableControl(JobControl::NorthEdge, true);
        return quad;
    }
    if (parsed.candidates.empty()) {
        window.AddToLog("        No address found.");
    } else {
        window.AddToLog("        Multiple addresses found:");
        for (const std::string& candidate : parsed.candidates)
            window.AddToLog(CandidateLogLine(candidate));
    }
    window.AttentionBlink();
    return std::nullopt;
}
