#include "shell.h"

#include "platformerror.h"
#include "win_text.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdlib>
#include <cwchar>

namespace sondrel {

namespace {

[[noreturn]] void raiseResult(HRESULT result, const std::string &what)
{
    throw PlatformError(int(result), win::describe(DWORD(result)) + " " + what);
}

// Releases a COM interface when the scope ends.
template <typename Interface>
class ComPtr
{
public:
    ComPtr() = default;
    ~ComPtr()
    {
        if (m_p)
            m_p->Release();
    }
    ComPtr(const ComPtr &) = delete;
    ComPtr &operator=(const ComPtr &) = delete;
    Interface *operator->() const { return m_p; }
    Interface **out() { return &m_p; }
    void **outVoid() { return reinterpret_cast<void **>(&m_p); }

private:
    Interface *m_p = nullptr;
};

// The current user's folder of the given kind, without a trailing backslash.
std::string knownFolder(REFKNOWNFOLDERID id, const char *name)
{
    wchar_t *path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &path);
    if (FAILED(result)) {
        CoTaskMemFree(path);
        raiseResult(result, name);
    }
    std::wstring folder(path);
    CoTaskMemFree(path);
    while (folder.size() > 3 && folder.back() == L'\\')
        folder.pop_back();
    return win::utf8(folder);
}

// The shell object: special folders and shortcut files (links), over COM.
class WinShell : public Shell
{
public:
    WinShell()
    {
        const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_initialized = SUCCEEDED(result); // S_FALSE too: the thread had it already
    }
    ~WinShell() override
    {
        if (m_initialized)
            CoUninitialize();
    }

    // The start menu's "Programs" folder of the current user.
    std::string programsFolder() const override { return knownFolder(FOLDERID_Programs, "Programs"); }
    // The current user's "Desktop" folder.
    std::string desktopFolder() const override { return knownFolder(FOLDERID_Desktop, "Desktop"); }

    // CreateShortcut, then TargetPath, IconLocation, Description and WorkingDirectory in
    // that order, then Save, which replaces a link of that name.
    void saveShortcut(const std::string &path, const Shortcut &shortcut) const override
    {
        ComPtr<IShellLinkW> link;
        HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IShellLinkW, link.outVoid());
        if (FAILED(result))
            raiseResult(result, path);
        ComPtr<IPersistFile> file;
        result = link->QueryInterface(IID_IPersistFile, file.outVoid());
        if (FAILED(result))
            raiseResult(result, path);
        const std::wstring widePath = win::wide(path);
        // An existing link is loaded first, as the shell object's CreateShortcut does.
        if (GetFileAttributesW(widePath.c_str()) != INVALID_FILE_ATTRIBUTES)
            file->Load(widePath.c_str(), STGM_READ);

        result = link->SetPath(win::wide(shortcut.targetPath).c_str());
        if (SUCCEEDED(result)) {
            // "path, index": the icon file, a comma and the icon's index.
            std::string iconFile = shortcut.iconLocation;
            int iconIndex = 0;
            const std::size_t comma = iconFile.find_last_of(',');
            if (comma != std::string::npos) {
                iconIndex = std::atoi(iconFile.c_str() + comma + 1);
                iconFile.erase(comma);
            }
            result = link->SetIconLocation(win::wide(iconFile).c_str(), iconIndex);
        }
        if (SUCCEEDED(result))
            result = link->SetDescription(win::wide(shortcut.description).c_str());
        if (SUCCEEDED(result))
            result = link->SetWorkingDirectory(win::wide(shortcut.workingDirectory).c_str());
        if (SUCCEEDED(result))
            result = file->Save(widePath.c_str(), TRUE);
        if (FAILED(result))
            raiseResult(result, path);
    }

private:
    bool m_initialized = false;
};

} // namespace

std::unique_ptr<Shell> createShell()
{
    return std::make_unique<WinShell>();
}

InstallLayout installLayout()
{
    return {"Sondrel.exe", "READ ME FIRST.TXT", "trackgrid.dll", "Sondrel.exe.lnk", ""};
}

// regsvr32 with the control file as one argument and the switch that suppresses its
// dialog boxes.
CommandLine registrationCommand(const std::string &controlFile)
{
    return {"regsvr32", {controlFile, "/s"}};
}

std::string currentDirectory()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring buffer(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, buffer.data());
    if (length == 0 || length >= size) {
        const DWORD error = GetLastError();
        throw PlatformError(int(error), win::describe(error) + " current directory");
    }
    buffer.resize(length);
    return win::utf8(buffer);
}

} // namespace sondrel
