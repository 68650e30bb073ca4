#include "http/CHTTPRequest.h"

#include <algorithm>
#include <cctype>

namespace {

char LowerByte(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

int CHTTPRequest::findNoCase(const std::string& text, const std::string& pattern, int start)
{
    if (start < 0 || static_cast<size_t>(start) > text.size())
        return -1;
    const auto found = std::search(text.begin() + start, text.end(), pattern.begin(), pattern.end(),
                                   [](char a, char b) { return LowerByte(a) == LowerByte(b); });
    if (found == text.end() && !pattern.empty())
        return -1;
    return static_cast<int>(found - text.begin());
}

void CHTTPRequest::extractProgressText(const std::string& html)
{
    std::string openTag = "<STRONG>";
    std::string closeTag = "</STRONG>";
    int open = findNoCase(html, openTag, 0);
    if (open < 0) {
        openTag = "<H2>";
        closeTag = "</H2>";
        open = findNoCase(html, openTag, 0);
        if (open < 0) {
            addProgressLine(html);
            return;
        }
    }
    const int openLength = static_cast<int>(openTag.size());
    // The first closing tag at or after an opening tag moves only forward
    // with the opening tags, so it is looked for again only once passed,
    // which keeps a page of many unclosed tags to one scan.
    int close = -1;
    // Sections of a well-formed page never overlap, so their text never adds
    // up to more than the page; overlapping ones stop there instead of
    // repeating the page for every unclosed opening tag.
    size_t textLeft = html.size();
    for (; open >= 0; open = findNoCase(html, openTag, open + 1)) {
        if (close < open) {
            close = findNoCase(html, closeTag, open);
            if (close < 0)
                break;
        }
        // A section whose closing tag lies inside its own opening tag cannot
        // happen with these tags; the guard keeps the cut well-formed anyway.
        if (close < open + openLength)
            continue;
        const size_t sectionLength = static_cast<size_t>(close - open - openLength);
        if (sectionLength > textLeft)
            break;
        textLeft -= sectionLength;
        const std::string section = html.substr(open + openLength, sectionLength);
        size_t rest = 0;
        for (int lineBreak = findNoCase(section, "<BR>", 0); lineBreak >= 0;
             lineBreak = findNoCase(section, "<BR>", static_cast<int>(rest))) {
            addProgressLine(section.substr(rest, lineBreak - rest));
            rest = static_cast<size_t>(lineBreak) + 4;
        }
        if (rest < section.size())
            addProgressLine(section.substr(rest));
    }
}

void CHTTPRequest::addProgressLine(const std::string& line)
{
    std::string cleaned;
    cleaned.reserve(line.size());
    for (const char c : line)
        if (c != '\t' && c != '\r' && c != '\n')
            cleaned += c;
    if (!cleaned.empty())
        addLogLine(cleaned);
}
