#pragma once

#include <string>

// Checks that the compressed picture data of a PNG (its IDAT chunks) ends
// within the bytes its header declares: rows of filter byte plus pixels, for
// every interlace pass. A decoder inflates surplus data to its end before it
// returns, so a small body of surplus could keep it busy for minutes; this
// check inflates at most the declared bytes and one block more.
// Returns why the data does not fit, or an empty string when it does or the
// file is too broken to tell (the decoder then says what is wrong).
std::string PngDataOverrun(const std::string& png);
