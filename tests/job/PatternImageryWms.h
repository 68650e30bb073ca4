#pragma once

// An imagery WMS on loopback that draws a known pattern: a soft gradient
// by longitude and latitude, and a red square mark around one place, so a
// test can tell where each point of the ground landed in a texture. It can
// also answer the ways a service fails.
#include "tests/http/LoopbackServer.h"
#include "tests/services/LiveSourceStandIns.h"
#include "tests/support/PngBytes.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

struct ImageryMark {
    double longitude = -98.3, latitude = 39.7;
    double halfSide = 0.004;  // degrees
};

enum class ImageryFailure { None, NotAnImage, WrongSize, OneColour, ServiceException };

class PatternImageryWms {
public:
    explicit PatternImageryWms(int maxSide = 4096, ImageryMark mark = {})
        : maxSide_(maxSide), mark_(mark), server_([this](HttpTestConnection& connection) { Answer(connection); })
    {
    }

    std::string Url() const { return server_.Url("/wms"); }
    void Fail(ImageryFailure failure) { failure_ = failure; }
    int GetMaps() const { return getMaps_; }

    static bool IsMark(const uint8_t* rgb) { return rgb[0] > 200 && rgb[1] < 60 && rgb[2] < 60; }

private:
    void Answer(HttpTestConnection& connection)
    {
        const auto query = QueryOf(connection.Request().target);
        if (ValueOf(query, "REQUEST") == "GetCapabilities") {
            connection.Reply(200, "Content-Type: text/xml\r\n", Capabilities());
            return;
        }
        ++getMaps_;
        double south = 0, west = 0, north = 0, east = 0;
        const int width = std::atoi(ValueOf(query, "WIDTH").c_str());
        const int height = std::atoi(ValueOf(query, "HEIGHT").c_str());
        std::sscanf(ValueOf(query, "BBOX").c_str(), "%lf,%lf,%lf,%lf", &south, &west, &north, &east);
        switch (failure_.load()) {
        case ImageryFailure::NotAnImage:
            connection.Reply(200, "Content-Type: text/html\r\n", "<html>Maintenance</html>");
            return;
        case ImageryFailure::ServiceException:
            connection.Reply(200, "Content-Type: text/xml\r\n",
                             "<?xml version=\"1.0\"?><ServiceExceptionReport version=\"1.3.0\"><ServiceException>"
                             "Imagery is being rebuilt</ServiceException></ServiceExceptionReport>");
            return;
        default:
            break;
        }
        const int drawnWidth = failure_ == ImageryFailure::WrongSize ? width / 2 : width;
        connection.Reply(200, "Content-Type: image/png\r\n", Draw(west, north, east, south, drawnWidth, height, width));
    }

    std::string Capabilities() const
    {
        return "<?xml version=\"1.0\"?><WMS_Capabilities version=\"1.3.0\"><Service><Name>WMS</Name><MaxWidth>" +
               std::to_string(maxSide_) + "</MaxWidth><MaxHeight>" + std::to_string(maxSide_) +
               "</MaxHeight></Service><Capability><Request><GetMap><Format>image/png</Format></GetMap></Request>"
               "<Layer><Title>Pattern imagery</Title><Layer><Name>0</Name><Title>Pattern</Title></Layer></Layer>"
               "</Capability></WMS_Capabilities>";
    }

    // Pixel (c, r) shows the place at its centre.
    std::string Draw(double west, double north, double east, double south, int width, int height, int askedWidth) const
    {
        std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
        for (int r = 0; r < height; ++r) {
            const double latitude = north - (r + 0.5) * (north - south) / height;
            for (int c = 0; c < width; ++c) {
                const double longitude = west + (c + 0.5) * (east - west) / askedWidth;
                uint8_t* p = &rgb[(static_cast<size_t>(r) * width + c) * 3];
                if (failure_ == ImageryFailure::OneColour) {
                    p[0] = p[1] = p[2] = 17;
                } else if (std::fabs(longitude - mark_.longitude) <= mark_.halfSide &&
                           std::fabs(latitude - mark_.latitude) <= mark_.halfSide) {
                    p[0] = 255, p[1] = 0, p[2] = 0;
                } else {
                    p[0] = static_cast<uint8_t>(60 + 40 * (latitude - std::floor(latitude)));
                    p[1] = static_cast<uint8_t>(120 + 60 * (longitude - std::floor(longitude)));
                    p[2] = 70;
                }
            }
        }
        return PngBytes(width, height, PNG_FORMAT_RGB, rgb.data());
    }

    int maxSide_;
    ImageryMark mark_;
    std::atomic<ImageryFailure> failure_{ImageryFailure::None};
    std::atomic<int> getMaps_{0};
    LoopbackServer server_;
};
