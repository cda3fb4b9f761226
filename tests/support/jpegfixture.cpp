#include "support/jpegfixture.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <turbojpeg.h>

#include "core/atomicfile.h"

namespace {

struct TjHandleDeleter
{
    void operator()(void *handle) const noexcept { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleDeleter>;

struct TjBufferDeleter
{
    void operator()(unsigned char *buffer) const noexcept { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjBufferDeleter>;

} // namespace

Rgb DecodedJpeg::pixel(int x, int y) const
{
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb.at(at), rgb.at(at + 1), rgb.at(at + 2)};
}

std::string solidJpeg(int width, int height, Rgb colour, int quality)
{
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = colour.r;
        pixels[i + 1] = colour.g;
        pixels[i + 2] = colour.b;
    }
    TjHandle compressor(tjInitCompress());
    if (!compressor)
        throw std::runtime_error(std::string("while making a test JPEG: ") + tjGetErrorStr2(nullptr));
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(compressor.get(), pixels.data(), width, 0, height, TJPF_RGB, &jpeg,
                               &size, TJSAMP_420, quality, 0);
    TjBuffer owned(jpeg);
    if (rc != 0)
        throw std::runtime_error(std::string("while making a test JPEG: ")
                                 + tjGetErrorStr2(compressor.get()));
    return std::string(reinterpret_cast<const char *>(owned.get()), size);
}

void writeSolidJpeg(const std::string &path, int width, int height, Rgb colour, int quality)
{
    velmora::WriteFileAtomically(path, solidJpeg(width, height, colour, quality));
}

DecodedJpeg decodeJpeg(const std::string &path)
{
    const std::string bytes = velmora::ReadWholeFile(path);
    TjHandle decompressor(tjInitDecompress());
    if (!decompressor)
        throw std::runtime_error("while decoding " + path + ": " + tjGetErrorStr2(nullptr));
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    DecodedJpeg image;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(decompressor.get(), data, bytes.size(), &image.width, &image.height,
                            &subsampling, &colourspace)
        != 0)
        throw std::runtime_error("while decoding " + path + ": "
                                 + tjGetErrorStr2(decompressor.get()));
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    if (tjDecompress2(decompressor.get(), data, bytes.size(), image.rgb.data(), image.width, 0,
                      image.height, TJPF_RGB, TJFLAG_STOPONWARNING)
        != 0)
        throw std::runtime_error("while decoding " + path + ": "
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
