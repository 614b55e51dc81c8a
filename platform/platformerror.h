#pragma once

#include <stdexcept>
#include <string>

namespace sondrel {

// A failed operating-system call: the error's number and its description, as the
// run-time error report shows them. Raised by every platform service; the windows
// catch it at the edge of the action that failed.
class PlatformError : public std::runtime_error
{
public:
    PlatformError(int number, const std::string &description)
        : std::runtime_error(description), m_number(number)
    {
    }

    int number() const { return m_number; }
    std::string description() const { return what(); }

private:
    int m_number;
};

} // namespace sondrel
