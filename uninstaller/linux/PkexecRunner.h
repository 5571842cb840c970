#pragma once

#include "uninstaller/flow/UninstallFlow.h"

#include <string>

namespace brivola::uninstaller
{

/** Runs the removal script as `pkexec /bin/bash <script>`: polkit shows its approval dialog, then
    runs bash as root. Standard output becomes the outcome's output, standard error its message.
    pkexec's own statuses for a dismissed dialog (126) or a refused or impossible approval (127)
    become the canceled outcome; any other non-zero status is the script's failure. The child gets
    its own session, so pkexec never prompts on the terminal that started the application, and
    standard input from /dev/null. */
class PkexecRunner final : public RemovalRunner
{
public:
    /** The launcher is "/usr/bin/pkexec"; tests pass a stand-in. */
    explicit PkexecRunner (std::string launcherPath = "/usr/bin/pkexec");

    RunOutcome run (const std::string& scriptPath) override;

    /** Most bytes kept of each of standard output and standard error; the rest is read and dropped. */
    static constexpr std::size_t maxCapturedBytes = 1 << 20;

private:
    std::string launcher;
};

} // namespace brivola::uninstaller
