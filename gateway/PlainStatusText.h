#pragma once

#include <string>

// Text from outside (URLs, folders, transfer errors) made fit for a status
// page, which the client cuts at tags, and for a header: tag brackets become
// parentheses, line breaks and tabs blanks.
inline std::string PlainStatusText(std::string text)
{
    for (char& c : text) {
        if (c == '<')
            c = '(';
        else if (c == '>')
            c = ')';
        else if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    }
    return text;
}
