#include "filesystem.h"
#include "winsupport.h"

#include <doctest.h>

#include <algorithm>

using namespace sondrel;
using namespace sondrel::test;

namespace {

bool listed(const FileSystem &fs, const std::string &folder, const std::string &name)
{
    const auto names = fs.listFolder(folder);
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

TEST_CASE("a name of 255 ASCII characters")
{
    // The longest name a Windows file system takes. Kept ASCII because under wine names
    // land on a Linux file system, which counts bytes. In a temporary folder the whole path
    // is longer than MAX_PATH: wine takes that as it is, Windows only through the layer's
    // long-path handling.
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string name = "Genre_Artist_" + std::string(238, 't') + ".mp3";
    REQUIRE(name.size() == 255);
    const std::string path = temp.file(name);

    auto out = fs->createFile(path);
    out->write("tune", 4);
    out->close();
    CHECK(fs->fileExists(path));
    CHECK(listed(*fs, temp.path(), name));
    CHECK(namesIn(temp.path()) == std::vector<std::wstring>{wide(name)});

    CHECK(fs->readFile(path) == std::vector<std::uint8_t>{'t', 'u', 'n', 'e'});
    fs->deleteFile(path);
    CHECK_FALSE(fs->fileExists(path));
}

TEST_CASE("non-ASCII names are written as UTF-16 and read back equal")
{
    auto fs = createFileSystem();
    TempFolder temp;
    struct Name
    {
        const char *utf8;
        const wchar_t *utf16;
    };
    // Latin letters with marks, a dash, CJK, and a character beyond the BMP (a surrogate
    // pair in UTF-16).
    const Name names[] = {
        {"Motörhead – Ænima.mp3", L"Mot\u00f6rhead \u2013 \u00c6nima.mp3"},
        {"日本語の歌.m4a", L"\u65e5\u672c\u8a9e\u306e\u6b4c.m4a"},
        {"Beyond 𝄞 BMP.wav", L"Beyond \U0001D11E BMP.wav"},
    };
    const std::string folder = temp.file("Björk – Homogenic");
    fs->createFolder(folder);
    CHECK(fs->folderExists(folder));
    CHECK(namesIn(temp.path()) == std::vector<std::wstring>{L"Bj\u00f6rk \u2013 Homogenic"});

    for (const Name &n : names) {
        INFO(std::string(n.utf8));
        const std::string path = folder + "\\" + n.utf8;
        auto out = fs->createFile(path);
        out->write(n.utf8, std::char_traits<char>::length(n.utf8));
        out->close();
        CHECK(fs->fileExists(path));
        // Win32 sees the name as UTF-16 ...
        const std::wstring wide16 = wide(folder) + L"\\" + n.utf16;
        CHECK(GetFileAttributesW(wide16.c_str()) != INVALID_FILE_ATTRIBUTES);
        // ... and the layer lists and reads it back as the same UTF-8.
        CHECK(listed(*fs, folder, n.utf8));
        const auto bytes = fs->readFile(path);
        CHECK(std::string(bytes.begin(), bytes.end()) == n.utf8);
    }
    CHECK(fs->listFolder(folder).size() == std::size(names));
}
