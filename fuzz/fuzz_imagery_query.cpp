// Fuzz target for the imagery stand-in's reading of WMS queries: the input is
// a query ("KEY=value&..."), as the server splits it. Accepted GetMaps of
// small pictures are drawn and read back; every refusal must be a
// ServiceException the job's WMS client reads, with the message it was given.
#include "fuzz/FuzzSupport.h"
#include "live/WmsAnswer.h"
#include "services/ImageryService.h"

#include <string>

namespace {

QueryMap SplitQuery(std::string_view text)
{
    QueryMap query;
    while (!text.empty()) {
        const size_t amp = text.find('&');
        const std::string_view pair = text.substr(0, amp);
        const size_t equals = pair.find('=');
        query.emplace(std::string(pair.substr(0, equals)),
                      equals == std::string_view::npos ? std::string() : std::string(pair.substr(equals + 1)));
        if (amp == std::string_view::npos)
            break;
        text.remove_prefix(amp + 1);
    }
    return query;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QueryMap query = SplitQuery(AsText(data, size));
    ImageryFrame frame;
    const auto refusal = ImageryService::ParseGetMap(ImageryService::LowerCaseKeys(query), frame);
    if (refusal) {
        const ServiceReply reply = ImageryService::Exception(*refusal);
        const std::string message = ServiceExceptionMessage(reply.body);
        FUZZ_CHECK(!message.empty());
        FUZZ_CHECK(IsLayerNotDefined(reply.body) == (refusal->code == "LayerNotDefined"));
        FUZZ_CHECK(!ReadWmsAnswer(reply.contentType, reply.body, 1).ok);
        return 0;
    }
    FUZZ_CHECK(frame.width >= 1 && frame.width <= ImageryService::kMaxImageSide);
    FUZZ_CHECK(frame.height >= 1 && frame.height <= ImageryService::kMaxImageSide);
    FUZZ_CHECK(frame.west >= -180.0 && frame.west < frame.east && frame.east <= 180.0);
    FUZZ_CHECK(frame.south >= -90.0 && frame.south < frame.north && frame.north <= 90.0);
    if (frame.width * frame.height > 64 * 64)
        return 0;
    QueryMap getMap = query;
    getMap["REQUEST"] = "GetMap";
    ImageryService service{ElevationSourceOptions{}};
    const ServiceReply reply = service.Answer(getMap, "127.0.0.1:1");
    if (reply.contentType == "image/png") {
        const WmsAnswer picture = ReadWmsAnswer(reply.contentType, reply.body, 64 * 64);
        FUZZ_CHECK(picture.ok);
        FUZZ_CHECK(picture.image.width == frame.width && picture.image.height == frame.height);
    }
    return 0;
}
