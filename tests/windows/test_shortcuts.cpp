#include "shell.h"
#include "winsupport.h"

#include <doctest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// A shortcut file as the shell reads it back through IShellLinkW and IPersistFile.
struct ReadShortcut
{
    std::string targetPath;
    std::string iconFile;
    int iconIndex = -1;
    std::string description;
    std::string workingDirectory;
};

std::optional<ReadShortcut> readShortcut(const std::string &path)
{
    IShellLinkW *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void **>(&link))))
        return std::nullopt;
    IPersistFile *file = nullptr;
    std::optional<ReadShortcut> result;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file))) &&
        SUCCEEDED(file->Load(wide(path).c_str(), STGM_READ))) {
        ReadShortcut shortcut;
        wchar_t text[INFOTIPSIZE];
        // SLGP_RAWPATH: the target as stored, with no environment strings expanded.
        if (SUCCEEDED(link->GetPath(text, INFOTIPSIZE, nullptr, SLGP_RAWPATH)))
            shortcut.targetPath = utf8(text);
        if (SUCCEEDED(link->GetIconLocation(text, INFOTIPSIZE, &shortcut.iconIndex)))
            shortcut.iconFile = utf8(text);
        if (SUCCEEDED(link->GetDescription(text, INFOTIPSIZE)))
            shortcut.description = utf8(text);
        if (SUCCEEDED(link->GetWorkingDirectory(text, INFOTIPSIZE)))
            shortcut.workingDirectory = utf8(text);
        result = shortcut;
    }
    if (file)
        file->Release();
    link->Release();
    return result;
}

} // namespace

TEST_CASE("a shortcut is written with its target, icon, description and working directory")
{
    ComScope com;
    auto shell = createShell();
    TempFolder temp;
    // The installed program, in a folder with a blank and a trailing backslash as the
    // installation directory has it.
    const std::string installDirectory = temp.file("Program Files\\Sondrel\\");
    CreateDirectoryW(wide(temp.file("Program Files")).c_str(), nullptr);
    REQUIRE(CreateDirectoryW(wide(installDirectory).c_str(), nullptr));
    const std::string program = installDirectory + "Sondrel.exe";
    writeBytes(program, "MZ");
    const std::string link = temp.file("Sondrel.exe.lnk");

    Shortcut shortcut;
    shortcut.name = "Sondrel";
    shortcut.targetPath = program;
    shortcut.iconLocation = program + ", 0";
    shortcut.description = "Sondrel shortcut";
    shortcut.workingDirectory = installDirectory;
    // The link as read back: `target` with its icon, started in `folder`.
    const auto check = [&](const std::string &target, const std::string &folder) {
        const auto read = readShortcut(link);
        REQUIRE(read);
        CHECK(read->targetPath == target);
        CHECK(read->iconFile == target);
        CHECK(read->iconIndex == 0);
        CHECK(read->description == "Sondrel shortcut");
        CHECK(read->workingDirectory == folder);
    };
    shell->saveShortcut(link, shortcut);
    check(program, installDirectory);

    // Saved again over the existing link: the new fields replace the old ones.
    const std::string otherDirectory = temp.file("Sondrel 2\\");
    REQUIRE(CreateDirectoryW(wide(otherDirectory).c_str(), nullptr));
    const std::string otherProgram = otherDirectory + "Sondrel.exe";
    writeBytes(otherProgram, "MZ");
    shortcut.targetPath = otherProgram;
    shortcut.iconLocation = otherProgram + ", 0";
    shortcut.workingDirectory = otherDirectory;
    shell->saveShortcut(link, shortcut);
    check(otherProgram, otherDirectory);
}

TEST_CASE("a shortcut that cannot be saved raises the error")
{
    ComScope com;
    auto shell = createShell();
    TempFolder temp;
    const std::string program = temp.file("Sondrel.exe");
    writeBytes(program, "MZ");
    const std::string link = temp.file("missing\\Sondrel.exe.lnk");
    Shortcut shortcut{"Sondrel", program, program + ", 0", "Sondrel shortcut", temp.path()};

    const auto error = raisedBy([&] { shell->saveShortcut(link, shortcut); });
    REQUIRE(error);
    // The COM result of the save: the Win32 error wrapped as an HRESULT.
    const HRESULT expected = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    CHECK(error->number() == int(expected));
    CHECK_FALSE(systemText(DWORD(expected)).empty());
    CHECK(error->description() == systemText(DWORD(expected)) + " " + link);
}
