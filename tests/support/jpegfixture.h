#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "site/fakesite.h"

// The colours of the fake site's tiles, so test images and served tiles compare alike.
using Rgb = velmora::site::Rgb;

// A decoded image, packed RGB rows top to bottom.
struct DecodedJpeg
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    Rgb pixel(int x, int y) const;
};

// The bytes of a JPEG image of one colour (4:2:0), made with TurboJPEG.
std::string solidJpeg(int width, int height, Rgb colour, int quality = 95);

// Writes solidJpeg(...) to `path`.
void writeSolidJpeg(const std::string &path, int width, int height, Rgb colour, int quality = 95);

// Decodes a JPEG file to RGB; throws std::runtime_error naming the file when it cannot.
DecodedJpeg decodeJpeg(const std::string &path);

// Decodes JPEG data to RGB; a warning (such as data cut short) counts as failure.
// Throws std::runtime_error naming `what` when it cannot.
DecodedJpeg decodeJpegBytes(const std::string &bytes, const std::string &what);

// True when every channel differs by at most `tolerance`.
bool nearColour(Rgb actual, Rgb expected, int tolerance);

// "(r,g,b)", for failure messages.
std::string describe(Rgb colour);
