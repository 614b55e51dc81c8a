#pragma once

// Small helpers of the Linux implementations. Included only by the *_posix.cpp files.

#include "platformerror.h"

#include <cstring>
#include <string>

#include <sys/stat.h>

namespace sondrel::posix {

[[noreturn]] inline void raise(int error, const std::string &path)
{
    throw PlatformError(error, std::string(std::strerror(error)) + ": " + path);
}

inline bool isDirectory(const std::string &path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

inline std::string stripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// A modification time of a status, in nanoseconds since 1970.
inline std::int64_t nanoseconds(const struct timespec &time)
{
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace sondrel::posix
