#include "uninstaller/linux/PkexecRunner.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <utility>
#include <vector>

extern char** environ;

namespace brivola::uninstaller
{

namespace
{
/** pkexec's exit status when the user dismissed the authentication dialog. */
constexpr int pkexecDismissed = 126;
/** pkexec's exit status when the caller is not authorised or approval could not be obtained. */
constexpr int pkexecNotAuthorised = 127;

/** Both ends of a pipe, closed on destruction. */
struct Pipe
{
    int fds[2] = { -1, -1 };

    bool open() { return ::pipe2 (fds, O_CLOEXEC) == 0; }

    void closeEnd (int end)
    {
        if (fds[end] >= 0)
            ::close (fds[end]);
        fds[end] = -1;
    }

    ~Pipe()
    {
        closeEnd (0);
        closeEnd (1);
    }
};

/** Spawn attributes and file actions, destroyed on every path. */
struct SpawnSetup
{
    posix_spawn_file_actions_t actions {};
    posix_spawnattr_t attributes {};
    bool hasActions = false;
    bool hasAttributes = false;

    ~SpawnSetup()
    {
        if (hasActions)
            posix_spawn_file_actions_destroy (&actions);
        if (hasAttributes)
            posix_spawnattr_destroy (&attributes);
    }
};

/** Reads both pipes until both are closed, keeping at most `limit` bytes of each. */
void drain (int outFd, int errFd, std::string& out, std::string& err, std::size_t limit)
{
    std::array<pollfd, 2> fds { { { outFd, POLLIN, 0 }, { errFd, POLLIN, 0 } } };
    std::array<std::string*, 2> targets { &out, &err };
    std::array<char, 4096> buffer {};
    int open = 2;

    while (open > 0)
    {
        if (::poll (fds.data(), fds.size(), -1) < 0)
        {
            if (errno == EINTR)
                continue;
            return;
        }
        for (std::size_t i = 0; i < fds.size(); ++i)
        {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const auto got = ::read (fds[i].fd, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
            {
                fds[i].fd = -1;
                --open;
                continue;
            }
            auto& target = *targets[i];
            const auto room = limit - std::min (limit, target.size());
            target.append (buffer.data(), std::min (room, static_cast<std::size_t> (got)));
        }
    }
}

std::string trimmed (const std::string& text)
{
    const auto first = text.find_first_not_of (" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of (" \t\r\n");
    return text.substr (first, last - first + 1);
}
} // namespace

//==============================================================================
PkexecRunner::PkexecRunner (std::string launcherPath)
    : launcher (std::move (launcherPath))
{
}

RunOutcome PkexecRunner::run (const std::string& scriptPath)
{
    RunOutcome outcome;
    outcome.approvalRequested = false;

    Pipe outPipe, errPipe;
    if (! outPipe.open() || ! errPipe.open())
        return outcome;

    SpawnSetup setup;
    setup.hasActions = posix_spawn_file_actions_init (&setup.actions) == 0;
    setup.hasAttributes = posix_spawnattr_init (&setup.attributes) == 0;
    if (! setup.hasActions || ! setup.hasAttributes)
        return outcome;

    if (posix_spawn_file_actions_addopen (&setup.actions, 0, "/dev/null", O_RDONLY, 0) != 0
        || posix_spawn_file_actions_adddup2 (&setup.actions, outPipe.fds[1], 1) != 0
        || posix_spawn_file_actions_adddup2 (&setup.actions, errPipe.fds[1], 2) != 0
        || posix_spawnattr_setflags (&setup.attributes, POSIX_SPAWN_SETSID) != 0)
        return outcome;

    std::string bash = "/bin/bash";
    std::string script = scriptPath;
    std::vector<char*> argv { launcher.data(), bash.data(), script.data(), nullptr };

    pid_t child = -1;
    if (posix_spawn (&child, launcher.c_str(), &setup.actions, &setup.attributes, argv.data(), environ) != 0)
        return outcome;

    outPipe.closeEnd (1);
    errPipe.closeEnd (1);
    outcome.approvalRequested = true;

    std::string err;
    drain (outPipe.fds[0], errPipe.fds[0], outcome.output, err, maxCapturedBytes);

    int status = 0;
    while (::waitpid (child, &status, 0) < 0)
    {
        if (errno != EINTR)
        {
            outcome.hasError = true;
            outcome.errorNumber = 1;
            outcome.errorMessage = "The removal script's result could not be read.";
            return outcome;
        }
    }

    if (WIFEXITED (status) && WEXITSTATUS (status) == 0)
        return outcome;

    outcome.hasError = true;
    outcome.errorMessage = trimmed (err);
    if (WIFEXITED (status))
    {
        const int code = WEXITSTATUS (status);
        if (code == pkexecDismissed || code == pkexecNotAuthorised)
        {
            outcome.errorNumber = userCanceledErrorNumber;
            if (outcome.errorMessage.empty())
                outcome.errorMessage = "Administrator approval was not given.";
        }
        else
        {
            outcome.errorNumber = code;
        }
    }
    else
    {
        const int signal = WIFSIGNALED (status) ? WTERMSIG (status) : 0;
        outcome.errorNumber = 128 + signal;
        if (outcome.errorMessage.empty())
            outcome.errorMessage = "The removal script was stopped by signal " + std::to_string (signal) + ".";
    }
    return outcome;
}

} // namespace brivola::uninstaller
