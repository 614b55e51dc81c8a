#include "filesystem.h"

#include <random>

namespace sondrel {

std::string temporaryNameBeside(const std::string &path, char separator)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = ".sondrel-";
    for (int i = 0; i < 12; ++i)
        name += digits[random() % 36];
    name += ".part";
    const std::size_t cut = path.find_last_of(separator);
    return cut == std::string::npos ? name : path.substr(0, cut + 1) + name;
}

} // namespace sondrel
