#include "site/fakesite.h"

#include <array>
#include <memory>
#include <stdexcept>
#include <vector>

#include <turbojpeg.h>

#include "core/jpeghandles.h"

namespace velmora::site {

namespace {

// Four levels per channel, 60 apart: even after JPEG every channel of a solid tile
// stays within a few units of its level, so neighbouring colours cannot be mixed up.
constexpr std::array<std::uint8_t, 4> Levels{40, 100, 160, 220};

int positiveModulo(int value, int divisor)
{
    const int rest = value % divisor;
    return rest < 0 ? rest + divisor : rest;
}

} // namespace

Rgb TileColour(int page, int row, int column)
{
    // Pages cycle through three sets of 18 colours, one per tile position, so every tile
    // of a page differs from every tile of that page and of both neighbouring pages.
    const int tile = positiveModulo((row - 1) * 3 + (column - 1), 18);
    const int index = positiveModulo(page, 3) * 18 + tile; // 0..53 of the 64 combinations
    return Rgb{Levels[index / 16], Levels[(index / 4) % 4], Levels[index % 4]};
}

std::string MakeSolidJpeg(int width, int height, Rgb colour, int quality)
{
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("cannot make a JPEG of size " + size);

    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = colour.r;
        pixels[i + 1] = colour.g;
        pixels[i + 2] = colour.b;
    }

    TjHandle compressor(tjInitCompress());
    if (!compressor)
        throw std::runtime_error("cannot create a JPEG compressor: " + std::string(tjGetErrorStr2(nullptr)));

    unsigned char *output = nullptr;
    unsigned long outputSize = 0;
    const int result = tjCompress2(compressor.get(), pixels.data(), width, 0, height, TJPF_RGB,
                                   &output, &outputSize, TJSAMP_420, quality, TJFLAG_ACCURATEDCT);
    TjBuffer jpeg(output);
    if (result != 0)
        throw std::runtime_error("cannot compress a " + size + " JPEG: "
                                 + tjGetErrorStr2(compressor.get()));
    return std::string(reinterpret_cast<const char *>(jpeg.get()), outputSize);
}

} // namespace velmora::site
