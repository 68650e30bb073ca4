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
    for (; open >= 0; open = findNoCase(html, openTag, open + 1)) {
        const int close = findNoCase(html, closeTag, open);
        if (close < 0)
            continue;
        // A section whose closing tag lies inside its own opening tag cannot
        // happen with these tags; the guard keeps the cut well-formed anyway.
        if (close < open + openLength)
            continue;
        std::string section = html.substr(open + openLength, close - open - openLength);
        for (int lineBreak = findNoCase(section, "<BR>", 0); lineBreak >= 0;
             lineBreak = findNoCase(section, "<BR>", 0)) {
            addProgressLine(section.substr(0, lineBreak));
            section.erase(0, lineBreak + 4);
        }
        if (!section.empty())
            addProgressLine(section);
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
