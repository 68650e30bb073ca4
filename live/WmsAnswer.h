#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An image in 8-bit RGB, rows top to bottom, three bytes a pixel.
struct RgbImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// What a GetMap brought: an image, or why there is none. A WMS reports errors
// as an XML ServiceException document, often with status 200, so the bytes
// decide, not the status or the content type.
struct WmsAnswer {
    bool ok = false;
    RgbImage image;
    std::string error;  // the service's own message where it gave one
};

// Reads a GetMap answer body: a PNG or GIF (transparent pixels become white)
// of at most `maxPixels` pixels, or a ServiceException, or anything else,
// which is described by its content type and first bytes.
WmsAnswer ReadWmsAnswer(const std::string& contentType, const std::string& body, size_t maxPixels);

// The text of the first ServiceException of an XML document, its blanks
// folded and entities decoded; empty when there is none.
std::string ServiceExceptionMessage(const std::string& xml);

// Whether a GetMap answer is a ServiceException saying a requested layer
// name is unknown (the service renamed its layers).
bool IsLayerNotDefined(const std::string& body);
