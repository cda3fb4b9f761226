#include "core/completioncounter.h"

#include <algorithm>
#include <string>

#include "core/error.h"

namespace velmora {

void CompletionCounter::setMinimum(int value)
{
    if (value > m_maximum)
        throw RangeError("Property value out of range: minimum " + std::to_string(value)
                         + " is above the maximum " + std::to_string(m_maximum));
    m_minimum = value;
    m_position = std::clamp(m_position, m_minimum, m_maximum);
}

void CompletionCounter::setMaximum(int value)
{
    if (value < m_minimum)
        throw RangeError("Property value out of range: maximum " + std::to_string(value)
                         + " is below the minimum " + std::to_string(m_minimum));
    m_maximum = value;
    m_position = std::clamp(m_position, m_minimum, m_maximum);
}

void CompletionCounter::setPosition(int value) noexcept
{
    m_position = std::clamp(value, m_minimum, m_maximum);
}

void CompletionCounter::stepIt() noexcept
{
    const long long next = static_cast<long long>(m_position) + m_step;
    m_position = static_cast<int>(std::clamp<long long>(next, m_minimum, m_maximum));
}

} // namespace velmora
