#include "core/encoding.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

#include <iconv.h>

#include "core/error.h"
#include "core/text.h"

namespace velmora {

namespace {

struct IconvCloser
{
    void operator()(iconv_t cd) const noexcept { iconv_close(cd); }
};

using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle openConverter(const char *to, const char *from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        const int error = errno;
        throw Error(std::string("while preparing the conversion from ") + from + " to " + to
                        + ": " + std::strerror(error),
                    error);
    }
    return IconvHandle(cd);
}

// Length of the UTF-8 sequence starting at `s[0]` when it is well formed (RFC 3629:
// no overlong forms, no surrogates, nothing above U+10FFFF); 0 when it is not.
std::size_t utf8SequenceLength(std::string_view s)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto continuation = [&](std::size_t i, unsigned char low = 0x80, unsigned char high = 0xBF) {
        return i < s.size() && byte(i) >= low && byte(i) <= high;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(1, low, high) && continuation(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

bool isValidUtf8(std::string_view s)
{
    while (!s.empty()) {
        const std::size_t length = utf8SequenceLength(s);
        if (length == 0)
            return false;
        s.remove_prefix(length);
    }
    return true;
}

// Runs the whole input through `cd`. Where the converter stops at a sequence it
// cannot convert, `replace(rest, out)` appends a stand-in to `out` and returns how
// many bytes of `rest` it stands for (at least 1).
template<typename Replace>
std::string convert(const IconvHandle &cd, const std::string &input, const char *what,
                    Replace replace)
{
    std::string out;
    out.reserve(input.size() + input.size() / 2);
    char *in = const_cast<char *>(input.data());
    std::size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
        char *outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result != static_cast<std::size_t>(-1))
            break;
        if (error == E2BIG)
            continue;
        if (error != EILSEQ && error != EINVAL)
            throw Error(std::string("while converting ") + what + ": " + std::strerror(error), error);
        const std::size_t skipped = std::min(replace(std::string_view(in, inLeft), out), inLeft);
        in += skipped;
        inLeft -= skipped;
    }
    return out;
}

bool isGbkTrailByte(unsigned char c)
{
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

} // namespace

std::string Utf8ToGbk(const std::string &utf8)
{
    if (!isValidUtf8(utf8))
        return {};
    IconvHandle cd = openConverter("GBK", "UTF-8");
    // The input is known to be well formed, so the converter only stops at characters
    // GBK has no code for; each of them becomes one '?'.
    return convert(cd, utf8, "text from UTF-8 to GBK", [](std::string_view rest, std::string &out) {
        out += '?';
        return std::max<std::size_t>(utf8SequenceLength(rest), 1);
    });
}

std::string GbkToUtf8(const std::string &gbk)
{
    IconvHandle cd = openConverter("UTF-8", "GBK");
    return convert(cd, gbk, "text from GBK to UTF-8", [](std::string_view rest, std::string &out) {
        out += "\xEF\xBF\xBD";
        // An unknown double-byte character is one character, so it gives one U+FFFD.
        const bool pair = rest.size() >= 2 && IsGbkLeadByte(static_cast<unsigned char>(rest[0]))
                          && isGbkTrailByte(static_cast<unsigned char>(rest[1]));
        return std::size_t(pair ? 2 : 1);
    });
}

std::string NormaliseLines(const std::string &bytes)
{
    const std::string_view text(bytes.data(), std::min(bytes.find('\0'), bytes.size()));
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            out.append(text.substr(start));
            out += "\r\n";
            break;
        }
        out.append(text.substr(start, end - start));
        out += "\r\n";
        const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        start = end + (crlf ? 2 : 1);
    }
    return out;
}

} // namespace velmora
