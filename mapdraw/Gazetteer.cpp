#include "mapdraw/Gazetteer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

int64_t CellKey(int latitude, int longitude)
{
    return static_cast<int64_t>(latitude + 1000) * 4000 + (longitude + 2000);
}

bool SplitBars(const std::string& line, std::vector<std::string>& fields)
{
    fields.clear();
    size_t start = 0;
    while (true) {
        const size_t bar = line.find('|', start);
        fields.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    return true;
}

}  // namespace

std::string LowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool Gazetteer::Load(const std::string& folder)
{
    places_.clear();
    zips_.clear();
    zipIndex_.clear();
    nameIndex_.clear();
    cells_.clear();

    std::ifstream placesFile(folder + "/places.txt");
    if (!placesFile)
        return false;
    std::string line;
    std::vector<std::string> fields;
    while (std::getline(placesFile, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        SplitBars(line, fields);
        if (fields.size() != 5 && fields.size() != 6)
            return false;
        Place place;
        place.state = fields[0];
        place.name = fields[1];
        place.latitude = std::atof(fields[2].c_str());
        place.longitude = std::atof(fields[3].c_str());
        place.zipCount = std::atoi(fields[4].c_str());
        place.areaZipCount = fields.size() == 6 ? std::atoi(fields[5].c_str()) : place.zipCount;
        places_.push_back(std::move(place));
    }

    std::ifstream zipsFile(folder + "/zips.txt");
    if (!zipsFile)
        return false;
    while (std::getline(zipsFile, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fieldsIn(line);
        ZipCode zip;
        if (!(fieldsIn >> zip.zip >> zip.latitude >> zip.longitude >> zip.place))
            return false;
        if (zip.place < 0 || zip.place >= static_cast<int>(places_.size()))
            return false;
        zipIndex_[zip.zip] = zips_.size();
        zips_.push_back(std::move(zip));
    }

    for (int i = 0; i < static_cast<int>(places_.size()); ++i) {
        const Place& place = places_[i];
        nameIndex_.emplace(LowerCase(place.name), i);
        cells_[CellKey(static_cast<int>(std::floor(place.latitude)),
                       static_cast<int>(std::floor(place.longitude)))]
            .push_back(i);
    }
    return !places_.empty() && !zips_.empty();
}

const ZipCode* Gazetteer::FindZip(const std::string& zip) const
{
    const auto found = zipIndex_.find(zip);
    return found == zipIndex_.end() ? nullptr : &zips_[found->second];
}

std::vector<int> Gazetteer::FindPlaces(const std::string& name, const std::string& state) const
{
    std::vector<int> result;
    const auto range = nameIndex_.equal_range(LowerCase(name));
    for (auto it = range.first; it != range.second; ++it)
        if (state.empty() || LowerCase(places_[it->second].state) == LowerCase(state))
            result.push_back(it->second);
    // Larger places first, then by state, so answers do not depend on hashing.
    std::sort(result.begin(), result.end(), [this](int a, int b) {
        if (places_[a].zipCount != places_[b].zipCount)
            return places_[a].zipCount > places_[b].zipCount;
        return places_[a].state < places_[b].state;
    });
    return result;
}

std::vector<int> Gazetteer::PlacesInBox(double west, double east, double south, double north) const
{
    std::vector<int> result;
    if (!(east >= west) || !(north >= south) || east - west > 60.0 || north - south > 60.0)
        return result;
    for (int lat = static_cast<int>(std::floor(south)); lat <= static_cast<int>(std::floor(north)); ++lat) {
        for (int lon = static_cast<int>(std::floor(west)); lon <= static_cast<int>(std::floor(east)); ++lon) {
            const auto found = cells_.find(CellKey(lat, lon));
            if (found == cells_.end())
                continue;
            for (const int index : found->second) {
                const Place& place = places_[index];
                if (place.longitude >= west && place.longitude <= east && place.latitude >= south &&
                    place.latitude <= north)
                    result.push_back(index);
            }
        }
    }
    std::sort(result.begin(), result.end());
    return result;
}
