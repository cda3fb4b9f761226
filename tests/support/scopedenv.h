#pragma once

#include <optional>
#include <string>

// Sets or removes one environment variable for the life of the object, then puts back
// what was there before. Only for the test's own thread: the environment is shared.
class ScopedEnv
{
public:
    // `value` nullopt removes the variable.
    ScopedEnv(std::string name, const std::optional<std::string> &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};
