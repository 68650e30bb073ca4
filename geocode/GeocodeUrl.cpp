#include "geocode/GeocodeUrl.h"

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

} // namespace

std::string EscapeQueryValue(const std::string& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            escaped += ch;
        } else {
            escaped += '%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 0x0F];
        }
    }
    return escaped;
}

std::string GeocodeUrl(const std::string& host, const std::string& address)
{
    return "http://" + host + kGeocodePath + "?address=" + EscapeQueryValue(address);
}
