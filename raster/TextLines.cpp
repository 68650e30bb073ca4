#include "raster/TextLines.h"

bool ReadTextLine(std::FILE* file, std::string& line)
{
    line.clear();
    int c = std::getc(file);
    if (c == EOF)
        return false;
    while (c != EOF && c != '\n') {
        if (line.size() < kMaxTextLineLength)
            line.push_back(static_cast<char>(c));
        c = std::getc(file);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

std::vector<std::string> SplitAtSpaces(const std::string& line)
{
    std::vector<std::string> tokens;
    size_t start = 0;
    while (start < line.size()) {
        const size_t end = line.find(' ', start);
        const size_t stop = end == std::string::npos ? line.size() : end;
        if (stop > start)
            tokens.push_back(line.substr(start, stop - start));
        start = stop + 1;
    }
    return tokens;
}
