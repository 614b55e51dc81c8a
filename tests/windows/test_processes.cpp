#include "platformerror.h"
#include "process.h"
#include "winsupport.h"

#include <doctest.h>

#include <chrono>
#include <thread>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// How the helper program argvwriter.exe was started, as it wrote it down.
struct StartRecord
{
    std::string showWindow;
    std::vector<std::string> commandLineToArgv; // CommandLineToArgvW
    std::vector<std::string> runtimeArgv;       // the C run-time's argv
};

std::optional<StartRecord> waitForRecord(const std::string &path)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::optional<std::string> bytes;
    while (!(bytes = readBytes(path)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!bytes)
        return std::nullopt;

    std::vector<std::string> entries;
    for (std::size_t start = 0; start < bytes->size();) {
        const std::size_t end = bytes->find('\0', start);
        if (end == std::string::npos)
            return std::nullopt;
        entries.push_back(bytes->substr(start, end - start));
        start = end + 1;
    }
    StartRecord record;
    std::size_t at = 0;
    auto list = [&](std::vector<std::string> &out) {
        if (at >= entries.size())
            return false;
        const std::size_t count = std::stoul(entries[at++]);
        if (entries.size() - at < count)
            return false;
        out.assign(entries.begin() + long(at), entries.begin() + long(at + count));
        at += count;
        return true;
    };
    if (entries.empty())
        return std::nullopt;
    record.showWindow = entries[at++];
    if (!list(record.commandLineToArgv) || !list(record.runtimeArgv) || at != entries.size())
        return std::nullopt;
    return record;
}

} // namespace

TEST_CASE("arguments reach the started program whole, as CommandLineToArgvW splits them")
{
    TempFolder temp;
    // The helper is copied into a folder with blanks, so that the program path needs quotes.
    const std::string folder = temp.file("Program Files\\argv writer");
    CreateDirectoryW(wide(temp.file("Program Files")).c_str(), nullptr);
    REQUIRE(CreateDirectoryW(wide(folder).c_str(), nullptr));
    const std::string program = folder + "\\argv writer.exe";
    REQUIRE(CopyFileW(wide(programFolder() + "\\argvwriter.exe").c_str(), wide(program).c_str(),
                      FALSE));

    struct Case
    {
        std::string what;
        std::vector<std::string> arguments;
        WindowStyle style;
    };
    const Case cases[] = {
        {"no arguments", {}, WindowStyle::Normal},
        {"plain words", {"one", "two"}, WindowStyle::Normal},
        {"the registration command",
         {"C:\\windows\\system32\\trackgrid.dll", "/s"},
         WindowStyle::Minimized},
        {"blanks and tabs",
         {"C:\\Program Files\\Sondrel\\Sondrel.exe", "two  blanks", "a\tb"},
         WindowStyle::Normal},
        {"empty arguments", {"", "between", ""}, WindowStyle::Normal},
        {"quotes", {"say \"hi\"", "\"", "a\"b", "\"\""}, WindowStyle::Normal},
        {"trailing backslashes",
         {"E:\\", "C:\\My Music\\", "C:\\My Music\\\\", "plain\\", "\\"},
         WindowStyle::Normal},
        {"backslashes before quotes",
         {"a\\\"b", "a\\\\\"b c", "\\\"", "x \\\\\\\"y"},
         WindowStyle::Normal},
        {"backslashes inside",
         {"C:\\a\\b", "\\\\server\\share\\x y", "a\\\\b c"},
         WindowStyle::Normal},
        {"non-ASCII", {"Motörhead – Ænima", "日本語", "𝄞 clef"}, WindowStyle::Minimized},
    };

    // All started at once; each writes its own record.
    auto starter = createProcessStarter();
    std::vector<std::string> records;
    for (const Case &c : cases) {
        records.push_back(temp.file("record " + std::to_string(records.size())));
        REQUIRE(SetEnvironmentVariableW(L"SONDREL_ARGV_FILE", wide(records.back()).c_str()));
        starter->startDetached(program, c.arguments, c.style);
    }
    SetEnvironmentVariableW(L"SONDREL_ARGV_FILE", nullptr);

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        INFO(c.what);
        const auto record = waitForRecord(records[i]);
        REQUIRE(record);
        std::vector<std::string> expected{program};
        expected.insert(expected.end(), c.arguments.begin(), c.arguments.end());
        CHECK(record->commandLineToArgv == expected);
        CHECK(record->runtimeArgv == expected);
        // Window styles 1 (normal) and 2 (minimized), both with the focus.
        CHECK(record->showWindow == (c.style == WindowStyle::Minimized ? "2" : "1"));
    }
}

TEST_CASE("a program that cannot be started is reported")
{
    TempFolder temp;
    const std::string program = temp.file("no such program.exe");
    auto starter = createProcessStarter();
    const auto error =
        raisedBy([&] { starter->startDetached(program, {"x"}, WindowStyle::Normal); });
    REQUIRE(error);
    CHECK(error->number() == int(ERROR_FILE_NOT_FOUND));
    CHECK(error->description() == systemText(ERROR_FILE_NOT_FOUND) + " " + program);
}
