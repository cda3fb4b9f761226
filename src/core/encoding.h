#pragma once

#include <string>

namespace velmora {

// UTF-8 -> GBK. Characters GBK lacks become '?'; invalid UTF-8 (a missing continuation
// byte, a sequence cut short) makes the whole result empty. The one place that knows the
// conversion, so another platform can supply its own.
std::string Utf8ToGbk(const std::string &utf8);

// GBK -> UTF-8, for titles that become folder names and texts shown in the window.
// Bytes that are not valid GBK become U+FFFD.
std::string GbkToUtf8(const std::string &gbk);

// The reader page file's bytes as a text: cut at the first zero byte, split into lines
// at CR LF, lone LF and lone CR, and joined again with CR LF after every line.
std::string NormaliseLines(const std::string &bytes);

} // namespace velmora
