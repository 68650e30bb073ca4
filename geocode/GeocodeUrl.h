#pragma once

#include <string>

// The geocoder's query page and its one key.
inline constexpr const char* kGeocodePath = "/demo.cgi";

// The address as a query value: every byte other than letters, digits and
// "-._~" becomes %XX (a blank %20), so that the service receives the text
// exactly as typed, '&', '#', '+' and non-ASCII letters included.
std::string EscapeQueryValue(const std::string& text);

// "http://" host "/demo.cgi?address=" escaped address.
std::string GeocodeUrl(const std::string& host, const std::string& address);
