#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

// An error whose message is meant for the user: it names the action and the object
// ("while fetching tile 0037_2_2.jpg: HTTP 404"). `code` keeps the raw cause
// (a CURLcode, an HTTP status, errno) for tests and logs; 0 when there is none.
class Error : public std::runtime_error
{
public:
    explicit Error(const std::string &message, long code = 0)
        : std::runtime_error(message), m_code(code) {}

    long code() const noexcept { return m_code; }

private:
    long m_code;
};

// The strict whole-number conversion failed: "'%s' is not a valid integer value".
class ConversionError : public Error
{
public:
    explicit ConversionError(const std::string &text);
};

// A value outside the range an operation accepts (e.g. a counter maximum below its minimum).
class RangeError : public Error
{
public:
    using Error::Error;
};

} // namespace velmora
