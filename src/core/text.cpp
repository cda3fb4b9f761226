#include "core/text.h"

#include <cstddef>

namespace velmora {

int TextPos(const std::string &needle, const std::string &s)
{
    if (needle.empty() || s.empty())
        return 0;
    const std::size_t at = s.find(needle);
    return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

std::string TextSlice(const std::string &s, int start, int count)
{
    if (start < 1)
        start = 1;
    if (count <= 0 || static_cast<std::size_t>(start) > s.size())
        return {};
    return s.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(count));
}

std::string TextBefore(const std::string &s, const std::string &needle)
{
    return TextSlice(s, 1, TextPos(needle, s) - 1);
}

std::string TextAfter(const std::string &s, char needle)
{
    return TextSlice(s, TextPos(std::string(1, needle), s) + 1, static_cast<int>(s.size()));
}

std::string Trim(const std::string &s)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && blank(s[begin]))
        ++begin;
    while (end > begin && blank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

} // namespace velmora
