#include "shell.h"

#include "platformerror.h"
#include "win_text.h"

#include <exdisp.h>
#include <objbase.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
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
template <typename Interface> class ComPtr
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
    Interface *get() const { return m_p; }
    Interface **out() { return &m_p; }
    void **outVoid() { return reinterpret_cast<void **>(&m_p); }

private:
    Interface *m_p = nullptr;
};

// COM for the calling thread for as long as the object lives (S_FALSE counts too: the
// thread had it already, and the call is balanced all the same).
class ComScope
{
public:
    ComScope() : m_initialized(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope()
    {
        if (m_initialized)
            CoUninitialize();
    }
    ComScope(const ComScope &) = delete;
    ComScope &operator=(const ComScope &) = delete;

private:
    bool m_initialized;
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
    // The start menu's "Programs" folder of the current user.
    std::string programsFolder() const override
    {
        return knownFolder(FOLDERID_Programs, "Programs");
    }
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
    ComScope m_com;
};

// A BSTR that is freed when the scope ends.
class Bstr
{
public:
    explicit Bstr(const std::wstring &text) : m_text(SysAllocString(text.c_str())) {}
    ~Bstr() { SysFreeString(m_text); }
    Bstr(const Bstr &) = delete;
    Bstr &operator=(const Bstr &) = delete;
    BSTR get() const { return m_text; }

private:
    BSTR m_text;
};

// The shell object of the desktop window (explorer), reached through its view of the
// desktop folder: IShellWindows, the desktop's browser, its view, and the view's
// Application.
void desktopShell(ComPtr<IShellDispatch2> &shell, const std::string &program)
{
    const auto check = [&](HRESULT result) {
        if (FAILED(result))
            raiseResult(result, program);
    };
    ComPtr<IShellWindows> windows;
    check(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                           windows.outVoid()));
    VARIANT desktop;
    VariantInit(&desktop);
    desktop.vt = VT_I4;
    desktop.lVal = CSIDL_DESKTOP;
    VARIANT root;
    VariantInit(&root);
    LONG window = 0;
    ComPtr<IDispatch> found;
    const HRESULT result = windows->FindWindowSW(&desktop, &root, SWC_DESKTOP, &window,
                                                 SWFO_NEEDDISPATCH, found.out());
    // S_FALSE: no desktop window (no explorer running).
    if (result != S_OK || !found.get())
        raiseResult(result == S_FALSE ? HRESULT_FROM_WIN32(ERROR_NOT_FOUND) : result, program);
    ComPtr<IServiceProvider> services;
    check(found->QueryInterface(IID_IServiceProvider, services.outVoid()));
    ComPtr<IShellBrowser> browser;
    check(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.outVoid()));
    ComPtr<IShellView> view;
    check(browser->QueryActiveShellView(view.out()));
    ComPtr<IDispatch> background;
    check(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.outVoid()));
    ComPtr<IShellFolderViewDual> folderView;
    check(background->QueryInterface(IID_IShellFolderViewDual, folderView.outVoid()));
    ComPtr<IDispatch> application;
    check(folderView->get_Application(application.out()));
    check(application->QueryInterface(IID_IShellDispatch2, shell.outVoid()));
}

// Starts programs through the desktop's own shell, so that they run with the rights of
// the desktop's user, not elevated, also when the installer is.
class DesktopShellStarter : public ProcessStarter
{
public:
    void startDetached(const std::string &program, const std::vector<std::string> &arguments,
                       WindowStyle style) override
    {
        const ComScope com;
        ComPtr<IShellDispatch2> shell;
        desktopShell(shell, program);

        std::wstring joined;
        for (const std::string &argument : arguments)
            joined += (joined.empty() ? L"" : L" ") + win::quoteArgument(win::wide(argument));
        const Bstr file(win::wide(program));
        const Bstr args(joined);
        const Bstr empty(L"");
        VARIANT vArgs, vDir, vOperation, vShow;
        for (VARIANT *v : {&vArgs, &vDir, &vOperation, &vShow})
            VariantInit(v);
        vArgs.vt = VT_BSTR;
        vArgs.bstrVal = args.get();
        vDir.vt = VT_BSTR;
        vDir.bstrVal = empty.get();
        vOperation.vt = VT_BSTR;
        vOperation.bstrVal = empty.get();
        vShow.vt = VT_I4;
        vShow.lVal = style == WindowStyle::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
        const HRESULT result = shell->ShellExecute(file.get(), vArgs, vDir, vOperation, vShow);
        if (FAILED(result))
            raiseResult(result, program);
    }

    // The desktop's shell starts a program and tells nothing of its end.
    int startAndWait(const std::string &program, const std::vector<std::string> &,
                     WindowStyle) override
    {
        raiseResult(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), program);
    }
};

} // namespace

std::unique_ptr<Shell> createShell()
{
    return std::make_unique<WinShell>();
}

InstallLayout installLayout()
{
    return {"Sondrel.exe",
            "sondrel-export.exe",
            "READ ME FIRST.TXT",
            "trackgrid.dll",
            "Sondrel.exe.lnk",
            "",
            ""};
}

std::unique_ptr<ProcessStarter> createDesktopStarter()
{
    return std::make_unique<DesktopShellStarter>();
}

// The grid library is a plain DLL, no COM server: regsvr32 would fail on it, and the
// loader finds it in the system folder without any registration.
std::optional<CommandLine> registrationCommand(const std::string &)
{
    return std::nullopt;
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
