#pragma once

#include <juce_core/juce_core.h>

namespace brivola::host
{
/** X errors in this process, as a desktop host handles them.

    Xlib's default handler ends the process on any X error. JUCE installs a handler that ignores
    them only in its own applications, and leaves it to the host when it runs inside a plug-in;
    every desktop host installs one. Without it, a race the framework tolerates (asking for the
    parent of a focused window that another client has just destroyed) ends the run with
    "BadWindow". This host installs a handler that counts and records the errors instead, so a
    run shows them without dying of them.

    On other platforms nothing is installed and the count stays 0. */
void installXErrorHandler();

/** Errors seen since the handler was installed. */
int xErrorCount();

/** The first few errors, one line each ("BadWindow (3) in request 15, resource 0x2006e1"). */
juce::StringArray xErrorDescriptions();
} // namespace brivola::host
