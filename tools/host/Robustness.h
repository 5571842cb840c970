#pragma once

#include "PluginHost.h"

#include <cstdint>
#include <functional>

namespace brivola::host
{

/** Makes a fresh instance of the plug-in under test, or null with `error` set. */
using InstanceFactory = std::function<std::unique_ptr<HostedPlugin> (juce::String& error)>;

struct RobustnessSettings
{
    std::uint64_t seed = 1;
    double timeLimitSeconds = 30.0;
    int cycles = 5;

    /** Opens the plug-in's editor in real windows in the editors phase (when a display is there). */
    bool editors = true;

    /** How long an editor's page may take to report "ready". */
    double readyTimeoutSeconds = 30.0;

    /** Called on a watchdog thread, just before the process exits with exitTimeout, when the run
        hangs past twice its budget plus 30 s; receives a one-line description. */
    std::function<void (const juce::String&)> onTimeout;
};

struct RobustnessReport
{
    bool passed = false;
    juce::String phase;   ///< the phase that failed (empty when passed)
    juce::String failure; ///< what went wrong (empty when passed)
    int phasesRun = 0;
    int instancesCreated = 0;
    int preparations = 0;
    std::int64_t blocks = 0;
    std::int64_t samples = 0;
    double seconds = 0.0;
    int editorsOpened = 0;       ///< editors created in real windows
    int editorsReady = 0;        ///< of them, those whose page reported "ready"
    juce::String editorsSkipped; ///< why the editors phase opened nothing (empty when it ran)
};

/** Drives a plug-in the way strict hosts and plug-in validators do, one phase after another,
    stopping at the first fault:
    - cycles: instances created and destroyed in a row (some destroyed while prepared, two alive
      and processing side by side);
    - prepare: prepareToPlay again and again without releaseResources, at 44100, 48000 and 96000 Hz
      with maximum blocks from 64 to 1024, processing blocks of random sizes in between;
    - sub-blocks: 32-sample blocks with up to ten random parameter changes before each, stretches
      of processBlockBypassed, and a note-on (random channel, note and velocity) near the start
      with its note-off at the end;
    - threads: setValueNotifyingHost on every parameter from the message thread and plain setValue
      writes from a second thread while an audio thread processes;
    - state: state saved, parameters randomised, state restored while processing; every parameter
      must read back its saved value, at once and after more blocks;
    - layouts: every named layout and 1 to 32 discrete channels asked of every bus, every accepted
      layout of up to 8 channels applied and processed, then the default layout restored and checked;
    - editors (with a display): while a second thread processes, the editor opened in a real window
      and closed several times in a row (every other one before its page loaded), parameters set
      from a background thread while it is open, the state replaced while it is open (the editor
      must still answer its page afterwards), then fresh instances destroyed right after their
      editor, with no message dispatched in between.
    Every output sample must be finite and not subnormal. Phases shorten their processing when the
    time budget runs out. `log` receives one line per phase. Runs on the message thread. */
RobustnessReport runRobustness (const InstanceFactory& createInstance,
                                const RobustnessSettings& settings,
                                const std::function<void (const juce::String&)>& log);

} // namespace brivola::host
