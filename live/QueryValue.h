#pragma once

#include <string>

// `text` escaped for a value of a URL query: every byte but letters, digits
// and "-_.~" as %XX.
std::string QueryValue(const std::string& text);
