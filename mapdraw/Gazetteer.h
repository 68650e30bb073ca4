#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// United States places (cities, towns) and ZIP codes with their positions,
// loaded from the vendored files places.txt and zips.txt.
struct Place {
    std::string state;  // two-letter code
    std::string name;
    double latitude = 0.0;
    double longitude = 0.0;
    int zipCount = 0;   // a rough measure of the place's size
    // ZIP codes with a Census area; a place without any is post-office
    // boxes or one organisation, found by the geocoder but not drawn.
    int areaZipCount = 0;
};

struct ZipCode {
    std::string zip;
    double latitude = 0.0;
    double longitude = 0.0;
    int place = -1;  // index into places
};

class Gazetteer {
public:
    // False when a file is missing or malformed.
    bool Load(const std::string& folder);

    const std::vector<Place>& Places() const { return places_; }
    const ZipCode* FindZip(const std::string& zip) const;
    // Places whose name equals `name` (compared without regard to case),
    // optionally only in `state`.
    std::vector<int> FindPlaces(const std::string& name, const std::string& state = {}) const;
    // Indices of places in a box of degrees, from a grid index.
    std::vector<int> PlacesInBox(double west, double east, double south, double north) const;

private:
    std::vector<Place> places_;
    std::vector<ZipCode> zips_;
    std::unordered_map<std::string, size_t> zipIndex_;
    std::unordered_multimap<std::string, int> nameIndex_;  // lower-case name
    std::unordered_map<int64_t, std::vector<int>> cells_;  // 1-degree cells
};

std::string LowerCase(std::string text);
