#include "ui/FieldExchange.h"

#include <QByteArray>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

const char* SkipBlanks(const char* text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    return text;
}

} // namespace

bool ParseFieldInteger(const QString& text, int& value)
{
    const QByteArray bytes = text.toUtf8();
    const char* start = SkipBlanks(bytes.constData());
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(start, &end, 10);
    if (end == start || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX || *SkipBlanks(end) != '\0')
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseFieldNumber(const QString& text, double& value)
{
    const QByteArray bytes = text.toUtf8();
    const char* start = bytes.constData();
    char* end = nullptr;
    const double parsed = std::strtod(start, &end);
    if (end == start || *SkipBlanks(end) != '\0')
        return false;
    value = parsed;
    return true;
}
