#pragma once

#include <QImage>

class TGAFile;

// The TGA image as a top-row-first RGB picture (TGA rows run bottom to top,
// in blue-green-red order); a null picture when it cannot be allocated.
QImage TgaToImage(const TGAFile& image);
