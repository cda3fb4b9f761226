#pragma once

#include <string>

namespace velmora {

// Byte-string operations on GBK text. Positions count bytes from 1; 0 means "not found".

// Position of the first occurrence of `needle` in `s`; 0 when absent or either is empty.
int TextPos(const std::string &needle, const std::string &s);

// At most `count` bytes of `s` from position `start` (a start below 1 counts as 1).
std::string TextSlice(const std::string &s, int start, int count);

// The bytes of `s` before the first `needle`; empty when `needle` is absent.
std::string TextBefore(const std::string &s, const std::string &needle);

// The bytes of `s` after the first occurrence of the one-byte `needle`; all of `s`
// when it is absent.
std::string TextAfter(const std::string &s, char needle);

// Whether `c` starts a double-byte GBK character (the next byte belongs to it).
constexpr bool IsGbkLeadByte(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

// `s` without bytes of value 32 or less at either end.
std::string Trim(const std::string &s);

} // namespace velmora
