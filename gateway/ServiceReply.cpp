#include "gateway/ServiceReply.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

bool ParseNumber(const std::string& text, double& value)
{
    if (text.empty() || text.size() > 64)
        return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(begin, &end);
    if (end != begin + text.size() || errno == ERANGE || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

bool ParseInteger(const std::string& text, long& value)
{
    if (text.empty() || text.size() > 18)
        return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(begin, &end, 10);
    if (end != begin + text.size() || errno == ERANGE)
        return false;
    value = parsed;
    return true;
}

bool FindKey(const QueryMap& query, const std::string& key, std::string& value)
{
    const auto found = query.find(key);
    if (found == query.end())
        return false;
    value = found->second;
    return true;
}

ServiceReply ServiceReply::SourceFailure(const std::string& why)
{
    // One line of plain characters: nothing can break the header block.
    std::string line;
    for (const char c : why) {
        const auto byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte >= 0x7F ? ' ' : (c == '"' ? '\'' : c);
    }
    ServiceReply reply = Text(502, "Error: " + line + "\n");
    reply.headers.emplace_back("Warning", "199 terrafetch-services \"" + line + "\"");
    return reply;
}
