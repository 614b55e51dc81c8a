#pragma once

#include <string>

namespace sondrel {

// The current user's own folders, which start-up offers as the export directory.
class PersonalFolders
{
public:
    virtual ~PersonalFolders() = default;

    // The current user's music folder, without a trailing separator; empty when the system
    // names none. It need not exist.
    virtual std::string musicFolder() const = 0;
    // The current user's home folder (on Windows the profile folder), without a trailing
    // separator; empty when the system names none.
    virtual std::string homeFolder() const = 0;
    // True when the path is an existing folder in which the caller may create files.
    virtual bool folderWritable(const std::string &path) const = 0;
};

} // namespace sondrel
