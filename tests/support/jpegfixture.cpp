#include "support/jpegfixture.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <turbojpeg.h>

#include "core/atomicfile.h"
#include "core/jpeghandles.h"

namespace {

using velmora::TjHandle;
} // namespace

Rgb DecodedJpeg::pixel(int x, int y) const
{
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb.at(at), rgb.at(at + 1), rgb.at(at + 2)};
}

std::string solidJpeg(int width, int height, Rgb colour, int quality)
{
    return velmora::site::MakeSolidJpeg(width, height, colour, quality);
}

void writeSolidJpeg(const std::string &path, int width, int height, Rgb colour, int quality)
{
    velmora::WriteFileAtomically(path, solidJpeg(width, height, colour, quality));
}

DecodedJpeg decodeJpeg(const std::string &path)
{
    return decodeJpegBytes(velmora::ReadWholeFile(path), path);
}

DecodedJpeg decodeJpegBytes(const std::string &bytes, const std::string &what)
{
    TjHandle decompressor(tjInitDecompress());
    if (!decompressor)
        throw std::runtime_error("while decoding " + what + ": " + tjGetErrorStr2(nullptr));
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    DecodedJpeg image;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(decompressor.get(), data, bytes.size(), &image.width, &image.height,
                            &subsampling, &colourspace)
        != 0)
        throw std::runtime_error("while decoding " + what + ": "
                                 + tjGetErrorStr2(decompressor.get()));
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    if (tjDecompress2(decompressor.get(), data, bytes.size(), image.rgb.data(), image.width, 0,
                      image.height, TJPF_RGB, TJFLAG_STOPONWARNING)
        != 0)
        throw std::runtime_error("while decoding " + what + ": "
                                 + tjGetErrorStr2(decompressor.get()));
    return image;
}

bool nearColour(Rgb actual, Rgb expected, int tolerance)
{
    return std::abs(actual.r - expected.r) <= tolerance
           && std::abs(actual.g - expected.g) <= tolerance
           && std::abs(actual.b - expected.b) <= tolerance;
}

std::string describe(Rgb colour)
{
    return "(" + std::to_string(colour.r) + "," + std::to_string(colour.g) + ","
           + std::to_string(colour.b) + ")";
}
