#pragma once

#include <cstdarg>
#include <string>

// printf-style formatting into a std::string. Log lines and file names are
// built from printf formats held as data, so this is the one place that
// turns such a format into text.
std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string StringVPrintf(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
