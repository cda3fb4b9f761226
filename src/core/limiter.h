#pragma once

#include <memory>
#include <semaphore>

namespace velmora {

// A counting semaphore shared between the action that creates it and the workers that
// wait on it. Workers hold a shared_ptr, so a permit always goes back to the limiter it
// was taken from, even after a later run has replaced the one in the application state.
class Limiter
{
public:
    explicit Limiter(int permits) : m_permits(permits), m_semaphore(permits) {}

    Limiter(const Limiter &) = delete;
    Limiter &operator=(const Limiter &) = delete;

    int permits() const noexcept { return m_permits; }
    void acquire() { m_semaphore.acquire(); }
    bool tryAcquire() { return m_semaphore.try_acquire(); }
    void release() { m_semaphore.release(); }

private:
    int m_permits;
    std::counting_semaphore<> m_semaphore;
};

// Holds one permit for as long as it lives.
class LimiterPermit
{
public:
    explicit LimiterPermit(std::shared_ptr<Limiter> limiter)
        : m_limiter(std::move(limiter))
    {
        m_limiter->acquire();
    }
    ~LimiterPermit() { m_limiter->release(); }

    LimiterPermit(const LimiterPermit &) = delete;
    LimiterPermit &operator=(const LimiterPermit &) = delete;

private:
    std::shared_ptr<Limiter> m_limiter;
};

} // namespace velmora
