#pragma once

namespace velmora {

// The completion counter behind the progress bar: the one count of finished work.
// It keeps its own minimum, maximum, step and position instead of trusting a widget,
// which would silently adjust a bad range.
class CompletionCounter
{
public:
    int minimum() const noexcept { return m_minimum; }
    int maximum() const noexcept { return m_maximum; }
    int step() const noexcept { return m_step; }
    int position() const noexcept { return m_position; }

    // Throws RangeError when the minimum would exceed the maximum.
    void setMinimum(int value);
    // Throws RangeError ("... is not within the valid range ...") below the minimum.
    void setMaximum(int value);
    void setStep(int value) noexcept { m_step = value; }
    // Clamped into [minimum, maximum].
    void setPosition(int value) noexcept;
    // Advances the position by the step, clamped at the maximum.
    void stepIt() noexcept;

private:
    int m_minimum = 0;
    int m_maximum = 100;
    int m_step = 10;
    int m_position = 0;
};

} // namespace velmora
