#pragma once

#include <zip.h>

#include "raster/PixelBuffer.h"

#include <cstddef>
#include <cstdint>

// The whole content of a deflated archive member, inflated in one call from
// its raw compressed bytes — about twice as fast as inflating it through the
// ZIP library's stream. Only for a member whose directory entry gives method,
// sizes and checksum, and whose size is at most `limit`; false, with nothing
// else changed, when any of that is missing or the bytes do not inflate to
// exactly the stated size and checksum. The caller then unpacks the member
// the ordinary way, which reports the problem as it always has.
//
// The content lands in memory that is neither zeroed nor faulted in page by
// page first (the buffer of an image, which a large member is the size of).
struct InflatedMember {
    PixelBuffer bytes;
    size_t size = 0;
};
bool InflateWholeMember(zip_t* archive, zip_uint64_t index, unsigned long long limit, InflatedMember& content);
