// Linked into JUCE's LV2 manifest helper, which loads the plug-in at build time and creates its
// editor once to describe it. Without a display the editor's web-view helper process ends at once,
// and the first write to its pipe would kill the manifest helper with SIGPIPE and fail the build;
// ignored, the write just fails and the manifest is written as with a display.
#include <csignal>

namespace
{
    const bool sigpipeIgnored = [] { return std::signal (SIGPIPE, SIG_IGN) != SIG_ERR; }();
}
