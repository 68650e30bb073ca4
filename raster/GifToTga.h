#pragma once

#include "raster/GifDecoder.h"

#include <string>

class ImageCache;
class LogSink;

// Converts the first image of a GIF file into a 24-bit TGA of the GIF's
// screen size. Returns 0 on success, 2 when the GIF was not read, 1 when the
// TGA was not written.
int GifToTga(const std::string& gif, const std::string& tga, LogSink& log, GifDecoderOptions options = {},
             ImageCache* images = nullptr);
