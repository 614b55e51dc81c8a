// The tests of the Windows layer (platform/*_win.cpp), run under wine by the test
// windows_platform. One file per area: drives, files, names, folders, shortcuts, processes.
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include "winsupport.h"

#include <string>
#include <vector>

int wmain(int argc, wchar_t **argv)
{
    // No "insert a disk" or "cannot open" boxes: a failure comes back as an error number.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(sondrel::test::utf8(argv[i]));
    std::vector<const char *> pointers;
    for (const std::string &argument : arguments)
        pointers.push_back(argument.c_str());

    doctest::Context context;
    context.applyCommandLine(int(pointers.size()), pointers.data());
    return context.run();
}
