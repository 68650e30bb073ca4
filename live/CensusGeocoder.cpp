#include "live/CensusGeocoder.h"
#include "live/QueryValue.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cctype>
#include <cmath>

namespace {

GeocoderResult Malformed(const std::string& why)
{
    GeocoderResult result;
    result.error = "the answer is not the expected JSON (" + why + ")";
    return result;
}

std::string ErrorList(const QJsonArray& errors)
{
    std::string text;
    for (const QJsonValue& error : errors) {
        if (!text.empty())
            text += "; ";
        text += error.isString() ? error.toString().toStdString() : "(unreadable error)";
    }
    return text.empty() ? "an empty error list" : text;
}

bool ReadMatch(const QJsonValue& value, GeocoderMatch& match)
{
    const QJsonObject object = value.toObject();
    const QJsonValue address = object.value("matchedAddress");
    const QJsonObject coordinates = object.value("coordinates").toObject();
    const QJsonValue x = coordinates.value("x"), y = coordinates.value("y");
    if (!value.isObject() || !address.isString() || !x.isDouble() || !y.isDouble())
        return false;
    match.address = address.toString().toStdString();
    match.longitude = x.toDouble();
    match.latitude = y.toDouble();
    return std::isfinite(match.longitude) && std::isfinite(match.latitude) && std::fabs(match.latitude) <= 90.0 &&
           std::fabs(match.longitude) <= 180.0;
}

}  // namespace

GeocoderResult ReadCensusGeocoderAnswer(const std::string& json)
{
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Malformed(parseError.errorString().toStdString());
    if (!document.isObject())
        return Malformed("no object");
    const QJsonObject root = document.object();
    if (root.value("errors").isArray()) {
        GeocoderResult result;
        result.reported = ErrorList(root.value("errors").toArray());
        result.error = "it reported: " + result.reported;
        return result;
    }
    const QJsonValue matches = root.value("result").toObject().value("addressMatches");
    if (!matches.isArray())
        return Malformed("no result.addressMatches list");
    GeocoderResult result;
    for (const QJsonValue& value : matches.toArray()) {
        GeocoderMatch match;
        if (!ReadMatch(value, match))
            return Malformed("a match without matchedAddress or coordinates");
        result.matches.push_back(std::move(match));
    }
    result.ok = true;
    return result;
}

std::string CensusGeocoderUrl(const std::string& baseUrl, const std::string& address)
{
    const char joint = baseUrl.find('?') == std::string::npos ? '?' : '&';
    return baseUrl + joint + "address=" + QueryValue(address) + "&benchmark=Public_AR_Current&format=json";
}

GeocoderResult CensusGeocoder::Geocode(const std::string& address) const
{
    const UpstreamAnswer answer = fetch_(CensusGeocoderUrl(baseUrl_, address), kMaxAnswerBytes);
    const std::string source = "The Census geocoder at " + baseUrl_;
    GeocoderResult result;
    if (!answer.ok) {
        result.error = source + " could not be reached: " + answer.error + ".";
        return result;
    }
    result = ReadCensusGeocoderAnswer(answer.body);
    if (answer.status != 200) {
        result.ok = false;
        result.matches.clear();
        result.error = source + " answered with status " + std::to_string(answer.status) +
                       (result.reported.empty() ? "" : ": " + result.reported) + ".";
    } else if (!result.ok) {
        result.error = source + ": " + result.error + ".";
    }
    return result;
}
