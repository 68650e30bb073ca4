#include "live/WmsAnswer.h"

#include "live/PngDataBound.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <utility>

namespace {

constexpr size_t kMaxMessage = 400;

bool StartsWith(const std::string& body, const char* prefix, size_t length)
{
    return body.size() >= length && std::memcmp(body.data(), prefix, length) == 0;
}

WmsAnswer Failure(std::string error)
{
    WmsAnswer answer;
    answer.error = std::move(error);
    return answer;
}

WmsAnswer DecodePng(const std::string& body, size_t maxPixels)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, body.data(), body.size()))
        return Failure(std::string("the PNG image is damaged (") + png.message + ")");
    if (png.width == 0 || png.height == 0 || static_cast<size_t>(png.width) * png.height > maxPixels) {
        png_image_free(&png);
        return Failure("the PNG image is " + std::to_string(png.width) + " x " + std::to_string(png.height) +
                       " pixels, more than was asked for");
    }
    if (const std::string overrun = PngDataOverrun(body); !overrun.empty()) {
        png_image_free(&png);
        return Failure(overrun);
    }
    WmsAnswer answer;
    answer.image.width = static_cast<int>(png.width);
    answer.image.height = static_cast<int>(png.height);
    answer.image.rgb.resize(static_cast<size_t>(png.width) * png.height * 3);
    png.format = PNG_FORMAT_RGB;
    const png_color white{255, 255, 255};  // what transparent pixels are laid on
    if (!png_image_finish_read(&png, &white, answer.image.rgb.data(), 0, nullptr))
        return Failure(std::string("the PNG image is damaged (") + png.message + ")");
    answer.ok = true;
    return answer;
}

struct GifReader {
    const std::string& bytes;
    size_t offset = 0;
};

int ReadGifBytes(GifFileType* gif, GifByteType* out, int length)
{
    auto* reader = static_cast<GifReader*>(gif->UserData);
    const size_t n = std::min(static_cast<size_t>(std::max(length, 0)), reader->bytes.size() - reader->offset);
    std::memcpy(out, reader->bytes.data() + reader->offset, n);
    reader->offset += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// The transparent index of a graphic control extension block, or -1.
int TransparentIndex(const GifByteType* block)
{
    if (block[0] >= 4 && (block[1] & 1))
        return block[4];
    return -1;
}

// Paints the first frame of the GIF onto a white screen. Frames are read
// line by line after checking their size, so a hostile header cannot make
// the reader allocate more than the screen.
std::string PaintFirstGifFrame(GifFileType* gif, RgbImage& image)
{
    int transparent = -1;
    GifRecordType record;
    do {
        if (DGifGetRecordType(gif, &record) != GIF_OK)
            return "the GIF image is truncated";
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) != GIF_OK)
                return "the GIF image is damaged";
            if (code == GRAPHICS_EXT_FUNC_CODE && block)
                transparent = TransparentIndex(block);
            while (block)
                if (DGifGetExtensionNext(gif, &block) != GIF_OK)
                    return "the GIF image is damaged";
        }
    } while (record != IMAGE_DESC_RECORD_TYPE && record != TERMINATE_RECORD_TYPE);
    if (record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) != GIF_OK)
        return "the GIF image has no picture";
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colours || frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 || frame.Height <= 0 ||
        frame.Left + frame.Width > image.width || frame.Top + frame.Height > image.height)
        return "the GIF image's picture lies outside its screen or has no colours";
    std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
    std::vector<int> rows;
    if (frame.Interlace) {
        for (const auto& [first, step] : {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}})
            for (int row = first; row < frame.Height; row += step)
                rows.push_back(row);
    } else {
        for (int row = 0; row < frame.Height; ++row)
            rows.push_back(row);
    }
    for (const int row : rows) {
        if (DGifGetLine(gif, line.data(), frame.Width) != GIF_OK)
            return "the GIF image is truncated";
        uint8_t* out = image.rgb.data() + (static_cast<size_t>(frame.Top + row) * image.width + frame.Left) * 3;
        for (int x = 0; x < frame.Width; ++x, out += 3) {
            const int index = line[static_cast<size_t>(x)];
            if (index == transparent || index >= colours->ColorCount)
                continue;
            out[0] = colours->Colors[index].Red;
            out[1] = colours->Colors[index].Green;
            out[2] = colours->Colors[index].Blue;
        }
    }
    return {};
}

WmsAnswer DecodeGif(const std::string& body, size_t maxPixels)
{
    GifReader reader{body};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, ReadGifBytes, &error));
    if (!gif)
        return Failure("the GIF image is damaged");
    if (gif->SWidth <= 0 || gif->SHeight <= 0 || static_cast<size_t>(gif->SWidth) * gif->SHeight > maxPixels)
        return Failure("the GIF image is " + std::to_string(gif->SWidth) + " x " + std::to_string(gif->SHeight) +
                       " pixels, more than was asked for");
    WmsAnswer answer;
    answer.image.width = gif->SWidth;
    answer.image.height = gif->SHeight;
    answer.image.rgb.assign(static_cast<size_t>(gif->SWidth) * gif->SHeight * 3, 255);
    const std::string why = PaintFirstGifFrame(gif.get(), answer.image);
    if (!why.empty())
        return Failure(why);
    answer.ok = true;
    return answer;
}

std::string FoldBlanks(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const bool blank = std::isspace(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) < 0x20;
        if (blank) {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string DecodeEntities(std::string text)
{
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : kEntities) {
        const size_t length = std::strlen(entity);
        for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
            text.replace(at, length, character);
    }
    return text;
}

// Printable ASCII only, so that a body of any bytes makes a loggable line.
std::string Printable(const std::string& text, size_t limit)
{
    std::string out;
    for (const char c : text) {
        if (out.size() >= limit)
            break;
        const auto byte = static_cast<unsigned char>(c);
        out += byte >= 0x20 && byte < 0x7F ? c : ' ';
    }
    return FoldBlanks(out);
}

bool LooksLikeXml(const std::string& body)
{
    size_t at = StartsWith(body, "\xEF\xBB\xBF", 3) ? 3 : 0;
    while (at < body.size() && std::isspace(static_cast<unsigned char>(body[at])))
        ++at;
    return at < body.size() && body[at] == '<';
}

}  // namespace

std::string ServiceExceptionMessage(const std::string& xml)
{
    static const char* const kReport = "<ServiceExceptionReport";
    const size_t tag = xml.find("<ServiceException");
    if (tag == std::string::npos)
        return {};
    // Skip <ServiceExceptionReport ...> to the exception itself.
    size_t open = tag;
    while (open != std::string::npos && xml.compare(open, std::strlen(kReport), kReport) == 0)
        open = xml.find("<ServiceException", open + 1);
    if (open == std::string::npos)
        return {};
    const size_t start = xml.find('>', open);
    if (start == std::string::npos)
        return {};
    if (xml[start - 1] == '/')
        return "(no message)";
    const size_t end = xml.find("</ServiceException>", start);
    std::string text = xml.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    const size_t cdata = text.find("<![CDATA[");
    if (cdata != std::string::npos) {
        const size_t close = text.find("]]>", cdata);
        text = text.substr(cdata + 9, close == std::string::npos ? std::string::npos : close - cdata - 9);
    } else {
        text = DecodeEntities(text);
    }
    text = Printable(text, kMaxMessage);
    return text.empty() ? "(no message)" : text;
}

WmsAnswer ReadWmsAnswer(const std::string& contentType, const std::string& body, size_t maxPixels)
{
    if (StartsWith(body, "\x89PNG\r\n\x1a\n", 8))
        return DecodePng(body, maxPixels);
    if (StartsWith(body, "GIF87a", 6) || StartsWith(body, "GIF89a", 6))
        return DecodeGif(body, maxPixels);
    if (LooksLikeXml(body)) {
        const std::string message = ServiceExceptionMessage(body);
        if (!message.empty())
            return Failure("ServiceException: " + message);
    }
    const std::string type = contentType.empty() ? "no content type" : "content type " + Printable(contentType, 80);
    if (body.empty())
        return Failure("the answer is empty (" + type + "), not an image");
    return Failure("the answer is not an image (" + type + "): \"" + Printable(body, 120) + "\"");
}

bool IsLayerNotDefined(const std::string& body)
{
    if (!LooksLikeXml(body))
        return false;
    return body.find("code=\"LayerNotDefined\"") != std::string::npos ||
           body.find("code='LayerNotDefined'") != std::string::npos;
}
