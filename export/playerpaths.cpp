#include "playerpaths.h"

#include "expfilename.h"
#include "platformerror.h"

#include <QStringList>

#include <algorithm>

namespace sondrel {

namespace {

bool onlyDotsAndSpaces(const std::string &name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || c == ' '; });
}

} // namespace

std::string playerPath(const std::string &root, const std::vector<std::string> &names,
                       char separator)
{
    std::string path = root;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            path += separator;
        path += names[i];
    }
    return path;
}

std::optional<std::vector<std::string>> locationNames(const QString &location, char separator)
{
    if (!location.startsWith(QLatin1Char(':')))
        return std::nullopt;
    std::vector<std::string> names;
    const QStringList parts = location.mid(1).split(QLatin1Char(':'));
    for (const QString &part : parts) {
        const std::string name = part.toStdString();
        if (name.empty() || onlyDotsAndSpaces(name) ||
            name.find_first_of(std::string("/\\") + separator) != std::string::npos ||
            name.find('\0') != std::string::npos ||
            (separator == '\\' && windowsDeviceName(QString::fromStdString(name))))
            return std::nullopt;
        names.push_back(name);
    }
    return names;
}

std::string resolvePlayerPath(const PlayerFiles &fs, CaseInsensitiveFolders &folders,
                              const std::string &root, const std::vector<std::string> &names)
{
    const char separator = fs.separator();
    const std::string asWritten = playerPath(root, names, separator);
    if (fs.fileExists(asWritten))
        return asWritten;

    std::string path = root;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        const std::string exact = path + names[i];
        const bool found = last ? fs.fileExists(exact) : fs.folderExists(exact);
        std::string name = names[i];
        if (!found) {
            name = folders.find(path, names[i]);
            if (name.empty())
                return asWritten;
        }
        path += name;
        if (!last)
            path += separator;
    }
    return path;
}

} // namespace sondrel
