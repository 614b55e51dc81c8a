#include "filesystem.h"
#include "winsupport.h"

#include <doctest.h>

#include <algorithm>

using namespace sondrel;
using namespace sondrel::test;

namespace {

void writeThrough(const FileSystem &fs, const std::string &path, const std::string &bytes)
{
    auto file = fs.createFile(path);
    file->write(bytes.data(), bytes.size());
    file->close();
}

// A copy staged and placed over its destination, as the export places one.
CopyResult placedCopy(const FileSystem &fs, const std::string &source,
                      const std::string &destination, const CopyOptions &options = {})
{
    Staging staging = fs.stageCopy(source, destination, options);
    return staging.copy ? staging.copy->place() : staging.result;
}

// Bytes staged and placed as the whole file at `destination`.
CopyResult placedBytes(const FileSystem &fs, const std::string &destination, const void *data,
                       std::size_t size)
{
    Staging staging = fs.stageBytes(destination, data, size);
    return staging.copy ? staging.copy->place() : staging.result;
}

// A file held open by this process with no sharing, so that no one else may open it.
class HeldOpen
{
public:
    explicit HeldOpen(const std::string &path)
        : m_handle(CreateFileW(wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        REQUIRE(m_handle != INVALID_HANDLE_VALUE);
    }
    ~HeldOpen() { CloseHandle(m_handle); }
    HeldOpen(const HeldOpen &) = delete;
    HeldOpen &operator=(const HeldOpen &) = delete;

private:
    HANDLE m_handle;
};

} // namespace

TEST_CASE("files and folders: create, test, list and delete")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string folder = temp.file("Sondrel");

    CHECK_FALSE(fs->folderExists(folder));
    fs->createFolder(folder + "\\"); // a trailing backslash is accepted
    CHECK(fs->folderExists(folder));
    CHECK(fs->folderExists(folder + "\\"));
    CHECK_FALSE(fs->fileExists(folder));
    CHECK(fs->folderExists("C:\\"));

    const std::string a = folder + "\\a.mp3";
    const std::string b = folder + "\\b.mp3";
    writeThrough(*fs, a, "the first, longer version");
    CHECK(fs->fileExists(a));
    CHECK_FALSE(fs->folderExists(a));
    CHECK(readBytes(a) == "the first, longer version");
    writeThrough(*fs, a, "shorter"); // created again: truncated
    CHECK(readBytes(a) == "shorter");

    writeBytes(b, "b again");

    auto names = fs->listFolder(folder);
    std::sort(names.begin(), names.end());
    CHECK(names == std::vector<std::string>{"a.mp3", "b.mp3"});
    CHECK(fs->readFile(b) == std::vector<std::uint8_t>{'b', ' ', 'a', 'g', 'a', 'i', 'n'});

    fs->deleteFile(a);
    CHECK_FALSE(fs->fileExists(a));
    CHECK(readBytes(a) == std::nullopt);
}

TEST_CASE("a refused operation reports the Win32 error and the path it is about")
{
    // The run-time error report shows number() and description(): the system's text for
    // the Win32 error, then the path the failure is about.
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string source = temp.file("source.mp3");
    const std::string existing = temp.file("existing.mp3");
    const std::string readOnly = temp.file("read-only.mp3");
    const std::string missing = temp.file("missing.mp3");
    const std::string inMissingFolder = temp.file("missing\\file.mp3");
    const std::string inUse = temp.file("in use.mp3");
    writeBytes(source, "source");
    writeBytes(existing, "existing");
    writeBytes(readOnly, "read-only");
    writeBytes(inUse, "in use");
    REQUIRE(SetFileAttributesW(wide(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    HeldOpen held(inUse);

    struct Case
    {
        std::string what;
        std::function<void()> action;
        DWORD error;
        std::string path;
    };
    std::vector<Case> cases = {
        {"missing file: read", [&] { fs->readFile(missing); }, ERROR_FILE_NOT_FOUND, missing},
        {"missing file: delete", [&] { fs->deleteFile(missing); }, ERROR_FILE_NOT_FOUND, missing},
        {"missing folder: create a file in it", [&] { fs->createFile(inMissingFolder); },
         ERROR_PATH_NOT_FOUND, inMissingFolder},
        {"missing folder: create a folder below it",
         [&] { fs->createFolder(temp.file("missing\\sub")); }, ERROR_PATH_NOT_FOUND,
         temp.file("missing\\sub")},
        {"missing folder: list it", [&] { fs->listFolder(temp.file("missing")); },
         ERROR_PATH_NOT_FOUND, temp.file("missing")},
        {"read-only destination: delete", [&] { fs->deleteFile(readOnly); }, ERROR_ACCESS_DENIED,
         readOnly},
        {"existing destination: create the folder", [&] { fs->createFolder(temp.path()); },
         ERROR_ALREADY_EXISTS, temp.path()},
        {"destination in use: write over it", [&] { fs->createFile(inUse); },
         ERROR_SHARING_VIOLATION, inUse},
        {"source in use: read it", [&] { fs->readFile(inUse); }, ERROR_SHARING_VIOLATION, inUse},
    };
    // Wine keeps the read-only attribute in the Unix permissions, which root passes by: run
    // as root, wine lets anyone write the file. Windows refuses, and so does wine for any
    // other user; that is what is checked wherever the machine refuses a plain write.
    HANDLE probe = CreateFileW(wide(readOnly).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        cases.push_back({"read-only destination: write over it", [&] { fs->createFile(readOnly); },
                         ERROR_ACCESS_DENIED, readOnly});
    } else {
        CloseHandle(probe);
        MESSAGE("this machine lets the user write read-only files (wine run as root): "
                "the write over a read-only file is not checked");
    }
    for (const Case &c : cases) {
        INFO(c.what);
        const auto error = raisedBy(c.action);
        if (!error)
            continue;
        CHECK(error->number() == int(c.error));
        CHECK(error->description() == systemText(c.error) + " " + c.path);
    }
    CHECK(readBytes(source) == "source");
    CHECK(readBytes(existing) == "existing");
    CHECK(readBytes(readOnly) == "read-only");
}

TEST_CASE("replace by rename: the old file is replaced whole, a failed replace leaves it")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string target = temp.file("song.mp3");
    const std::string temporary = temporaryNameBeside(target, '\\');
    CHECK(temporary.rfind(temp.path() + "\\.sondrel-", 0) == 0);

    writeBytes(target, "the old, longer contents");
    writeBytes(temporary, "new");
    fs->replaceFile(temporary, target);
    CHECK(readBytes(target) == "new");
    CHECK_FALSE(fs->fileExists(temporary));

    // Into a folder that does not exist: refused with its Win32 error, nothing moves.
    writeBytes(temporary, "never placed");
    const auto error = raisedBy([&] { fs->replaceFile(temporary, temp.file("gone\\song.mp3")); });
    REQUIRE(error.has_value());
    CHECK(error->number() == ERROR_PATH_NOT_FOUND);
    CHECK(readBytes(temporary) == "never placed");
    CHECK(readBytes(target) == "new");
}

TEST_CASE("a file written whole from memory replaces the old one; a refused one leaves nothing")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string target = temp.file("Road.m3u8");
    const std::string text = "#EXTM3U\n";
    writeBytes(target, "a much longer earlier playlist");
    CHECK(placedBytes(*fs, target, text.data(), text.size()).copied());
    CHECK(readBytes(target) == text);

    // A folder of that name refuses the name; a missing folder is the destination's fault.
    fs->createFolder(temp.file("Folder.m3u8"));
    CHECK(placedBytes(*fs, temp.file("Folder.m3u8"), text.data(), text.size()).outcome ==
          CopyOutcome::NameRefused);
    const CopyResult missing =
        placedBytes(*fs, temp.file("gone\\Road.m3u8"), text.data(), text.size());
    CHECK(missing.outcome == CopyOutcome::DestinationFailed);
    CHECK(missing.error == ERROR_PATH_NOT_FOUND);
    CHECK(fs->listFolder(temp.path()).size() == 2);
}

TEST_CASE("file identity: two spellings of one file agree, two files differ")
{
    auto fs = createFileSystem();
    TempFolder temp;
    writeBytes(temp.file("a.mp3"), "a");
    writeBytes(temp.file("b.mp3"), "a");
    const auto a = fs->identity(temp.file("a.mp3"));
    REQUIRE(a.has_value());
    CHECK(fs->identity(temp.path() + "\\.\\a.mp3") == a);
    CHECK(fs->identity(temp.path() + "\\..\\" +
                       temp.path().substr(temp.path().find_last_of('\\') + 1) + "\\A.MP3") == a);
    CHECK(fs->identity(temp.file("b.mp3")) != a);
    CHECK(fs->identity(temp.path()).has_value()); // folders too
    CHECK_FALSE(fs->identity(temp.file("missing.mp3")).has_value());
}

namespace {

// The hidden temporary files (".sondrel-*.part") left in a folder.
int temporaryFilesIn(const FileSystem &fs, const std::string &folder)
{
    int n = 0;
    for (const std::string &name : fs.listFolder(folder))
        n += name.rfind(".sondrel-", 0) == 0 ? 1 : 0;
    return n;
}

} // namespace

TEST_CASE("the export's copy: whole or not at all, source and destination faults told apart")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string a = temp.file("a.mp3");
    const std::string b = temp.file("b.mp3");
    writeThrough(*fs, a, std::string(3 << 20, 's'));
    writeThrough(*fs, b, "old");

    CHECK(placedCopy(*fs, a, b).copied());
    CHECK(readBytes(b)->size() == std::size_t(3 << 20));
    CHECK(temporaryFilesIn(*fs, temp.path()) == 0);
    // The temporary file is hidden while it is written; the placed file is not.
    {
        Staging staging = fs->stageCopy(a, b);
        REQUIRE(staging.copy);
        CHECK(temporaryFilesIn(*fs, temp.path()) == 1);
        for (const std::string &name : fs->listFolder(temp.path())) {
            if (name.rfind(".sondrel-", 0) == 0)
                CHECK((GetFileAttributesW(wide(temp.file(name)).c_str()) & FILE_ATTRIBUTE_HIDDEN) !=
                      0);
        }
        CHECK(staging.copy->place().copied());
        CHECK((GetFileAttributesW(wide(b).c_str()) & FILE_ATTRIBUTE_HIDDEN) == 0);
    }

    CHECK(placedCopy(*fs, a, a).outcome == CopyOutcome::SameFile);
    CHECK(placedCopy(*fs, temp.file("none.mp3"), b).outcome == CopyOutcome::SourceMissing);
    CHECK(placedCopy(*fs, temp.path(), b).outcome == CopyOutcome::SourceNotRegular);
    fs->createFolder(temp.file("folder.mp3"));
    CHECK(placedCopy(*fs, a, temp.file("folder.mp3")).outcome == CopyOutcome::NameRefused);
    CHECK(placedCopy(*fs, a, temp.file("gone\\b.mp3")).outcome == CopyOutcome::DestinationFailed);

    // Cancelled between two chunks: the old file stays, no temporary file is left.
    writeThrough(*fs, b, "old");
    CopyOptions cancel;
    cancel.progress = [](std::uint64_t) { return false; };
    CHECK(placedCopy(*fs, a, b, cancel).outcome == CopyOutcome::Cancelled);
    CHECK(readBytes(b) == "old");
    CHECK(temporaryFilesIn(*fs, temp.path()) == 0);

    // A full path beyond MAX_PATH goes through the long-path form.
    std::string deep = temp.path();
    for (char c = 'a'; c < 'g'; ++c) {
        deep += "\\" + std::string(60, c);
        fs->createFolder(deep);
    }
    REQUIRE(deep.size() > MAX_PATH);
    CHECK(placedCopy(*fs, a, deep + "\\long.mp3").copied());
    CHECK(fs->fileExists(deep + "\\long.mp3"));
    CHECK(fs->nameLimit().unit == NameUnit::Utf16Units);
}

TEST_CASE("a work file is made new only at a free name; a player's file is read only within it")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string taken = temp.file("Vemo_temp");
    writeBytes(taken, "the user's");
    CHECK_FALSE(fs->createNewFile(taken).file);
    CHECK(readBytes(taken) == "the user's");
    CreateDirectoryW(wide(temp.file("folder")).c_str(), nullptr);
    CHECK_FALSE(fs->createNewFile(temp.file("folder")).file);
    NewFile made = fs->createNewFile(temp.file("Vemo_temp (2)"));
    REQUIRE(made.file);
    made.file->write("new", 3);
    made.file->close();
    CHECK(fs->identity(temp.file("Vemo_temp (2)")) == std::optional(made.identity));

    CreateDirectoryW(wide(temp.file("player")).c_str(), nullptr);
    writeBytes(temp.file("player\\iTunesDB"), "database");
    const std::vector<std::uint8_t> bytes =
        fs->readFileWithin(temp.file("player"), temp.file("player\\iTunesDB"));
    CHECK(std::string(bytes.begin(), bytes.end()) == "database");
    // A file whose final path lies elsewhere is no file of the player's.
    const auto raised = raisedBy([&] { fs->readFileWithin(temp.file("player"), taken); });
    REQUIRE(raised.has_value());
    CHECK(raised->description().find(LinkOutOfFolder) == 0);
    CopyOptions options;
    options.within = temp.file("player");
    CHECK(placedCopy(*fs, taken, temp.file("copy"), options).outcome == CopyOutcome::OutsideFolder);
    CHECK(placedCopy(*fs, temp.file("player\\iTunesDB"), temp.file("copy"), options).copied());
}
