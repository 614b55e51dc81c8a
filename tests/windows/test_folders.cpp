#include "filesystem.h"
#include "shell.h"
#include "winsupport.h"

#include <doctest.h>

#include <shlobj.h>

using namespace sondrel;
using namespace sondrel::test;

namespace {

std::string knownFolder(REFKNOWNFOLDERID id)
{
    wchar_t *path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &path);
    const std::string folder = SUCCEEDED(result) ? utf8(path) : std::string();
    CoTaskMemFree(path);
    return folder;
}

// The folder as the known-folder call gives it, without a trailing backslash.
std::string withoutBackslash(std::string folder)
{
    while (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

} // namespace

TEST_CASE("known folders: desktop, start-menu Programs and the system folder")
{
    ComScope com;
    auto shell = createShell();
    auto fs = createFileSystem();
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    REQUIRE(length > 0);

    struct Folder
    {
        std::string what;
        std::string path;
        std::string expected;
    };
    const Folder folders[] = {
        {"desktop", shell->desktopFolder(), withoutBackslash(knownFolder(FOLDERID_Desktop))},
        {"Programs", shell->programsFolder(), withoutBackslash(knownFolder(FOLDERID_Programs))},
        {"system folder", fs->systemFolder(), utf8(std::wstring(system, length))},
    };
    for (const Folder &folder : folders) {
        INFO(folder.what, ": ", folder.path);
        CHECK(folder.path == folder.expected);
        CHECK(folder.path.size() > 3);
        CHECK(folder.path.back() != '\\'); // names are joined to it with a backslash
        CHECK(fs->folderExists(folder.path));
    }
    CHECK(fs->systemFolder() == knownFolder(FOLDERID_System));
}

TEST_CASE("the current directory has a trailing backslash only at a drive root")
{
    TempFolder temp;
    wchar_t before[MAX_PATH];
    REQUIRE(GetCurrentDirectoryW(MAX_PATH, before) > 0);

    REQUIRE(SetCurrentDirectoryW(wide(temp.path() + "\\").c_str()));
    CHECK(currentDirectory() == temp.path());
    REQUIRE(SetCurrentDirectoryW(L"C:\\"));
    CHECK(currentDirectory() == "C:\\");

    SetCurrentDirectoryW(before);
}
