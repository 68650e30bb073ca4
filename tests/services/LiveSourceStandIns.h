#pragma once

// Stand-ins for the public sources of live mode, on loopback: they answer in
// the sources' documented formats and record what they were asked.
#include "tests/http/LoopbackServer.h"

#include <cctype>
#include <map>
#include <string>

// The query of a request target, percent-decoded ('+' is a blank).
inline std::map<std::string, std::string> QueryOf(const std::string& target)
{
    std::map<std::string, std::string> query;
    const size_t mark = target.find('?');
    if (mark == std::string::npos)
        return query;
    auto decode = [](const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += text[i] == '+' ? ' ' : text[i];
            }
        }
        return out;
    };
    std::string rest = target.substr(mark + 1);
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t amp = rest.find('&', start);
        const std::string pair = rest.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
        const size_t equals = pair.find('=');
        if (!pair.empty())
            query.emplace(decode(pair.substr(0, equals)),
                          equals == std::string::npos ? std::string() : decode(pair.substr(equals + 1)));
        if (amp == std::string::npos)
            break;
        start = amp + 1;
    }
    return query;
}

inline std::string ValueOf(const std::map<std::string, std::string>& query, const std::string& key)
{
    const auto it = query.find(key);
    return it == query.end() ? std::string() : it->second;
}
