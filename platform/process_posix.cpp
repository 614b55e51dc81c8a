#include "process.h"

#include "platformerror.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sondrel {

namespace {

class PosixProcessStarter : public ProcessStarter
{
public:
    // The window style has no meaning here: the started program opens its own windows.
    void startDetached(const std::string &program, const std::vector<std::string> &arguments,
                       WindowStyle) override
    {
        std::vector<std::string> words;
        words.push_back(program);
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char *> argv;
        for (std::string &word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);

        // The grandchild reports a failed exec through this pipe; a successful exec closes it.
        int report[2];
        if (::pipe2(report, O_CLOEXEC) != 0)
            throw PlatformError(errno, std::strerror(errno));

        const pid_t child = ::fork();
        if (child < 0) {
            const int error = errno;
            ::close(report[0]);
            ::close(report[1]);
            throw PlatformError(error, std::strerror(error));
        }
        if (child == 0) {
            // Detach twice so that the started program is nobody's child here.
            ::setsid();
            const pid_t grandchild = ::fork();
            if (grandchild == 0) {
                ::execvp(argv[0], argv.data());
                const int error = errno;
                [[maybe_unused]] ssize_t n = ::write(report[1], &error, sizeof error);
                ::_exit(127);
            }
            ::_exit(grandchild < 0 ? 1 : 0);
        }
        ::close(report[1]);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        int error = 0;
        ssize_t got;
        while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        ::close(report[0]);
        if (got == sizeof error)
            throw PlatformError(error, std::string(std::strerror(error)) + ": " + program);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            throw PlatformError(EAGAIN, std::string(std::strerror(EAGAIN)) + ": " + program);
    }
};

} // namespace

CommandLine fileManagerCommand(const std::string &directory)
{
    return {"xdg-open", {directory}};
}

std::unique_ptr<ProcessStarter> createProcessStarter()
{
    return std::make_unique<PosixProcessStarter>();
}

} // namespace sondrel
