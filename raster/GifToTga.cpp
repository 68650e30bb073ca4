#include "raster/GifToTga.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ImageCache.h"
#include "raster/TGAFile.h"

int GifToTga(const std::string& gif, const std::string& tga, LogSink& log, GifDecoderOptions options, ImageCache* images)
{
    log.AddToLog(StringPrintf("Converting \"%s\" to \"%s\".", gif.c_str(), tga.c_str()));
    GifDecoder decoder(log, options);
    TGAFile image;
    if (decoder.ReadGIFFile(gif, 1, image) != 0) {
        log.AddToLog(StringPrintf("Error in GifToTga(): Cannot read GIF file \"%s\".", gif.c_str()));
        return 2;
    }
    if (WriteOrKeep(images, tga, std::move(image)) != 0) {
        log.AddToLog(StringPrintf("Error in GifToTga(): Cannot write TGA file \"%s\".", tga.c_str()));
        return 1;
    }
    log.AddToLog(StringPrintf("GIF conversion successful: \"%s\" written.", tga.c_str()));
    return 0;
}
