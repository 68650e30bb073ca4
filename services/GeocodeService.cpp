#include "services/GeocodeService.h"

#include <array>
#include <cctype>
#include <cstdio>

namespace {

struct StateName {
    const char* code;
    const char* name;
};
constexpr std::array<StateName, 52> kStates{{
    {"AL", "alabama"},        {"AK", "alaska"},         {"AZ", "arizona"},
    {"AR", "arkansas"},       {"CA", "california"},     {"CO", "colorado"},
    {"CT", "connecticut"},    {"DE", "delaware"},       {"DC", "district of columbia"},
    {"FL", "florida"},        {"GA", "georgia"},        {"HI", "hawaii"},
    {"ID", "idaho"},          {"IL", "illinois"},       {"IN", "indiana"},
    {"IA", "iowa"},           {"KS", "kansas"},         {"KY", "kentucky"},
    {"LA", "louisiana"},      {"ME", "maine"},          {"MD", "maryland"},
    {"MA", "massachusetts"},  {"MI", "michigan"},       {"MN", "minnesota"},
    {"MS", "mississippi"},    {"MO", "missouri"},       {"MT", "montana"},
    {"NE", "nebraska"},       {"NV", "nevada"},         {"NH", "new hampshire"},
    {"NJ", "new jersey"},     {"NM", "new mexico"},     {"NY", "new york"},
    {"NC", "north carolina"}, {"ND", "north dakota"},   {"OH", "ohio"},
    {"OK", "oklahoma"},       {"OR", "oregon"},         {"PA", "pennsylvania"},
    {"RI", "rhode island"},   {"SC", "south carolina"}, {"SD", "south dakota"},
    {"TN", "tennessee"},      {"TX", "texas"},          {"UT", "utah"},
    {"VT", "vermont"},        {"VA", "virginia"},       {"WA", "washington"},
    {"WV", "west virginia"},  {"WI", "wisconsin"},      {"WY", "wyoming"},
    {"PR", "puerto rico"},
}};

std::string Trim(const std::string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

std::string Join(const std::vector<std::string>& words, size_t from, size_t to)
{
    std::string text;
    for (size_t i = from; i < to; ++i) {
        if (!text.empty())
            text += ' ';
        text += words[i];
    }
    return text;
}

bool IsZip(const std::string& word)
{
    if (word.size() != 5 && word.size() != 10)
        return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (i == 5) {
            if (word[i] != '-')
                return false;
        } else if (!std::isdigit(static_cast<unsigned char>(word[i]))) {
            return false;
        }
    }
    return true;
}

// The state code that ends `words` (a code or a full name), and how many
// words it takes; 0 when the words do not end in a state.
size_t TrailingState(const std::vector<std::string>& words, std::string& code)
{
    if (words.empty())
        return 0;
    for (size_t take = std::min<size_t>(3, words.size()); take >= 1; --take) {
        const std::string tail = LowerCase(Join(words, words.size() - take, words.size()));
        for (const StateName& state : kStates) {
            if ((take == 1 && tail == LowerCase(state.code)) || tail == state.name) {
                code = state.code;
                return take;
            }
        }
    }
    return 0;
}

std::string EscapeHtml(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters have no place in a page.
            if (static_cast<unsigned char>(c) >= 0x20)
                out += c;
        }
    }
    return out;
}

std::string Page(const std::string& body)
{
    return "<html>\n<head><title>Address lookup</title></head>\n<body>\n" + body + "</body>\n</html>\n";
}

}  // namespace

GeocodeService::ParsedAddress GeocodeService::Parse(const std::string& address) const
{
    ParsedAddress parsed;
    std::vector<std::string> parts;
    {
        size_t start = 0;
        while (true) {
            const size_t comma = address.find(',', start);
            const std::string part = Trim(address.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (!part.empty())
                parts.push_back(part);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    if (parts.empty())
        return parsed;

    // A ZIP code ends the address or stands as a part of its own.
    std::vector<std::string> last = Words(parts.back());
    if (!last.empty() && IsZip(last.back())) {
        parsed.zip = last.back().substr(0, 5);
        last.pop_back();
    }
    // Then the state, at the end of the last part.
    const size_t stateWords = TrailingState(last, parsed.state);
    if (stateWords > 0 && (stateWords < last.size() || parts.size() > 1 || !parsed.zip.empty()))
        last.resize(last.size() - stateWords);
    else
        parsed.state.clear();
    if (last.empty())
        parts.pop_back();
    else
        parts.back() = Join(last, 0, last.size());
    for (auto it = parts.begin(); it != parts.end();) {
        if (parsed.zip.empty() && IsZip(*it)) {
            parsed.zip = it->substr(0, 5);
            it = parts.erase(it);
        } else {
            ++it;
        }
    }
    if (parts.empty())
        return parsed;

    if (parts.size() >= 2) {
        parsed.city = parts.back();
        parts.pop_back();
        for (const std::string& part : parts)
            parsed.street += (parsed.street.empty() ? "" : ", ") + part;
        return parsed;
    }
    // One part: the longest run of trailing words that names a place is the
    // city, the words before it the street.
    const std::vector<std::string> words = Words(parts.front());
    for (size_t from = 0; from < words.size(); ++from) {
        const std::string candidate = Join(words, from, words.size());
        if (!gazetteer_.FindPlaces(candidate, parsed.state).empty()) {
            parsed.city = candidate;
            parsed.street = Join(words, 0, from);
            return parsed;
        }
    }
    parsed.city = parts.front();
    return parsed;
}

std::vector<GeocodeService::Match> GeocodeService::Resolve(const ParsedAddress& address) const
{
    std::vector<Match> matches;
    if (!address.zip.empty()) {
        if (const ZipCode* zip = gazetteer_.FindZip(address.zip)) {
            matches.push_back(Match{address.street, zip->place, zip->latitude, zip->longitude});
            return matches;
        }
    }
    if (address.city.empty())
        return matches;
    for (const int index : gazetteer_.FindPlaces(address.city, address.state)) {
        const Place& place = gazetteer_.Places()[index];
        matches.push_back(Match{address.street, index, place.latitude, place.longitude});
        if (matches.size() >= kMaxCandidates)
            break;
    }
    return matches;
}

std::vector<GeocodeService::Found> GeocodeService::FromGazetteer(const std::vector<Match>& matches) const
{
    std::vector<Found> found;
    for (const Match& match : matches) {
        const Place& place = gazetteer_.Places()[match.place];
        found.push_back(Found{match.street, place.name, place.name + ", " + place.state, match.latitude,
                              match.longitude});
    }
    return found;
}

std::vector<GeocodeService::Found> GeocodeService::FromGeocoder(const std::vector<GeocoderMatch>& matches)
{
    std::vector<Found> found;
    for (const GeocoderMatch& match : matches) {
        // "4600 SILVER HILL RD, WASHINGTON, DC, 20233": the street, then the place.
        const size_t comma = match.address.find(", ");
        Found entry;
        entry.street = match.address.substr(0, comma);
        entry.name = entry.street;
        if (comma != std::string::npos)
            entry.place = match.address.substr(comma + 2);
        entry.latitude = match.latitude;
        entry.longitude = match.longitude;
        found.push_back(std::move(entry));
        if (found.size() >= kMaxCandidates)
            break;
    }
    return found;
}

ServiceReply GeocodeService::Geocode(const QueryMap& query) const
{
    std::string address;
    if (!FindKey(query, "address", address))
        return ServiceReply::Text(400, "Error: Missing key \"address\".\n");
    if (address.size() > kMaxAddressLength)
        return ServiceReply::Text(400, "Error: The address is too long.\n");
    address = Trim(address);

    // Cities and ZIP codes come from the gazetteer; in live mode the Census
    // geocoder takes street addresses and whatever the gazetteer does not know.
    const ParsedAddress parsed = Parse(address);
    const std::vector<Match> matches = Resolve(parsed);
    if (!streetGeocoder_ || (parsed.street.empty() && !matches.empty()))
        return AnswerPage(address, FromGazetteer(matches));
    const GeocoderResult result = streetGeocoder_(address);
    if (!result.ok)
        return ServiceReply::SourceFailure(result.error);
    return AnswerPage(address, FromGeocoder(result.matches));
}

ServiceReply GeocodeService::AnswerPage(const std::string& address, const std::vector<Found>& found)
{
    ServiceReply reply;
    reply.contentType = "text/html";
    if (found.empty()) {
        reply.body = Page("<p>The address \"" + EscapeHtml(address) +
                          "\" was not found. Please check the spelling, or give a city and state or a "
                          "ZIP code.</p>\n");
        return reply;
    }
    if (found.size() == 1) {
        const Found& match = found.front();
        char centre[128];
        std::snprintf(centre, sizeof centre, "mapcenterlat=%.6f,&amp;mapcenterlon=%.6f,", match.latitude,
                      match.longitude);
        std::string shown = match.street.empty() ? "" : match.street;
        if (!match.place.empty())
            shown += (shown.empty() ? "" : ", ") + match.place;
        reply.body = Page("<p>Found: " + EscapeHtml(shown) + "</p>\n<p><a href=\"/map?" + centre +
                          "&amp;zoom=12\">Map of this address</a></p>\n");
        return reply;
    }
    // Candidates. The street part of a cell ends in a blank before the line
    // break: clients take the text before "<br />" without its last
    // character, so the blank is what they drop.
    std::string cells;
    for (const Found& match : found) {
        const std::string street = match.street.empty() ? match.name : match.street;
        cells += "<tr><td align=\"center\">" + EscapeHtml(street) + " <br />" + EscapeHtml(match.place) +
                 "</td></tr>\n";
    }
    reply.body = Page("<p>Several places match \"" + EscapeHtml(address) +
                      "\". Please choose one:</p>\n<table>\n" + cells + "</table>\n");
    return reply;
}
