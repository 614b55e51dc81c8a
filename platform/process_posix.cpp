#include "process_posix.h"

#include "platformerror.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace sondrel {

namespace {

// A null-terminated array of pointers into `words`, which must outlive it.
std::vector<char *> pointers(std::vector<std::string> &words)
{
    std::vector<char *> out;
    out.reserve(words.size() + 1);
    for (std::string &word : words)
        out.push_back(word.data());
    out.push_back(nullptr);
    return out;
}

[[noreturn]] void raise(int error, const std::string &program)
{
    throw PlatformError(error, std::string(std::strerror(error)) + ": " + program);
}

void waitFor(pid_t child, int &status)
{
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            throw PlatformError(errno, std::strerror(errno));
    }
}

// Reads what a child wrote into the report pipe before its exec: an error number, or
// nothing when the exec succeeded.
std::optional<int> readReport(int fd)
{
    int error = 0;
    ssize_t got;
    while ((got = ::read(fd, &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(fd);
    return got == sizeof error ? std::optional<int>(error) : std::nullopt;
}

class PosixProcessStarter : public ProcessStarter
{
public:
    PosixProcessStarter() = default;
    PosixProcessStarter(UserAccount account, std::vector<std::string> environment)
        : m_account(std::move(account)), m_environment(std::move(environment))
    {
    }

    // The window style has no meaning here: the started program opens its own windows.
    void startDetached(const std::string &program, const std::vector<std::string> &arguments,
                       WindowStyle) override
    {
        Launch launch(*this, program, arguments);
        const pid_t child = ::fork();
        if (child < 0)
            raise(errno, program);
        if (child == 0) {
            // Detach twice so that the started program is nobody's child here.
            ::setsid();
            const pid_t grandchild = ::fork();
            if (grandchild == 0)
                launch.exec();
            ::_exit(grandchild < 0 ? 1 : 0);
        }
        int status = 0;
        if (const std::optional<int> error = launch.report(child, status))
            raise(*error, program);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            raise(EAGAIN, program);
    }

    int startAndWait(const std::string &program, const std::vector<std::string> &arguments,
                     WindowStyle) override
    {
        Launch launch(*this, program, arguments);
        const pid_t child = ::fork();
        if (child < 0)
            raise(errno, program);
        if (child == 0)
            launch.exec();
        int status = 0;
        if (const std::optional<int> error = launch.report(child, status))
            raise(*error, program);
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }

private:
    // One start: the argument and environment arrays made before the fork (a child of a
    // process with threads should not allocate), and the pipe through which the child
    // reports a failed drop or exec; a successful exec closes it.
    class Launch
    {
    public:
        Launch(const PosixProcessStarter &starter, const std::string &program,
               const std::vector<std::string> &arguments)
            : m_starter(starter), m_words{program}, m_environment(starter.m_environment)
        {
            m_words.insert(m_words.end(), arguments.begin(), arguments.end());
            m_argv = pointers(m_words);
            m_envp = pointers(m_environment);
            if (::pipe2(m_report, O_CLOEXEC) != 0)
                throw PlatformError(errno, std::strerror(errno));
        }
        ~Launch()
        {
            for (int fd : m_report)
                if (fd >= 0)
                    ::close(fd);
        }

        // In the child: give up root when asked, then become the program.
        [[noreturn]] void exec()
        {
            int error = 0;
            if (m_starter.m_account)
                error = dropTo(*m_starter.m_account);
            if (error == 0) {
                if (m_starter.m_account)
                    ::execvpe(m_argv[0], m_argv.data(), m_envp.data());
                else
                    ::execvp(m_argv[0], m_argv.data());
                error = errno;
            }
            [[maybe_unused]] ssize_t n = ::write(m_report[1], &error, sizeof error);
            ::_exit(127);
        }

        // In the parent: waits for the child and reads its report.
        std::optional<int> report(pid_t child, int &status)
        {
            ::close(m_report[1]);
            m_report[1] = -1;
            waitFor(child, status);
            const std::optional<int> error = readReport(m_report[0]);
            m_report[0] = -1;
            return error;
        }

    private:
        const PosixProcessStarter &m_starter;
        std::vector<std::string> m_words;
        std::vector<std::string> m_environment;
        std::vector<char *> m_argv;
        std::vector<char *> m_envp;
        int m_report[2] = {-1, -1};
    };

    std::optional<UserAccount> m_account;
    std::vector<std::string> m_environment;
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

std::unique_ptr<ProcessStarter> createProcessStarterAs(UserAccount account,
                                                       std::vector<std::string> environment)
{
    return std::make_unique<PosixProcessStarter>(std::move(account), std::move(environment));
}

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> entries;
    for (char **entry = environ; entry && *entry; ++entry)
        entries.emplace_back(*entry);
    return entries;
}

} // namespace sondrel
