#include "Robustness.h"

#include "AudioChecks.h"
#include "EditorWindow.h"
#include "MidiSource.h"
#include "PageInspector.h"
#include "Parameters.h"
#include "PluginReport.h"
#include "Renderer.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

#if ! JUCE_WINDOWS
 #include <csignal>
 #include <unistd.h>
#endif

namespace brivola::host
{

namespace
{
using Fault = std::optional<juce::String>;

constexpr double sampleRates[] = { 44100.0, 48000.0, 96000.0 };
constexpr float readBackTolerance = 1.0e-4f;

//==============================================================================
/** The run's random source; every thread gets its own, seeded from this one. */
class Rng
{
public:
    explicit Rng (std::uint64_t seed) : engine (seed) {}

    /** A whole number from lo to hi inclusive. */
    int between (int lo, int hi) { return std::uniform_int_distribution<int> (lo, juce::jmax (lo, hi)) (engine); }

    /** A number in [0, 1). */
    double unit() { return std::uniform_real_distribution<double> (0.0, 1.0) (engine); }

    /** True with probability p. */
    bool chance (double p) { return unit() < p; }

    /** A normalised parameter value; the ends 0 and 1 come up often. */
    float parameterValue()
    {
        const auto r = unit();
        return r < 0.1 ? 0.0f : r < 0.2 ? 1.0f : (float) unit();
    }

    /** A seed for another generator. */
    std::uint64_t seed() { return engine(); }

private:
    std::mt19937_64 engine;
};

struct Counters
{
    std::atomic<std::int64_t> blocks { 0 };
    std::atomic<std::int64_t> samples { 0 };
    int instances = 0;
    int preparations = 0;
};

class Deadline
{
public:
    explicit Deadline (double secondsIn) : seconds (secondsIn) {}

    double elapsed() const { return (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0; }
    double remaining() const { return seconds - elapsed(); }
    bool passed() const { return remaining() <= 0.0; }

private:
    double start = juce::Time::getMillisecondCounterHiRes();
    double seconds;
};

//==============================================================================
/** Calls processBlock the way JUCE's own player does (under the instance's callback lock) and
    checks every output sample. Sized for the instance's current layout and a maximum block. */
class BlockProcessor
{
public:
    BlockProcessor (juce::AudioPluginInstance& instanceIn, int maxBlockIn, Counters& countersIn)
        : instance (instanceIn),
          outputs (instanceIn.getTotalNumOutputChannels()),
          maxBlock (maxBlockIn),
          buffer (juce::jmax (1, instanceIn.getTotalNumInputChannels(), instanceIn.getTotalNumOutputChannels()), maxBlockIn),
          counters (countersIn)
    {
    }

    /** Processes one block of `n` samples (1 to the maximum) with the given events. */
    Fault process (int n, juce::MidiBuffer& events, bool bypassed)
    {
        jassert (n >= 1 && n <= maxBlock);
        buffer.setSize (buffer.getNumChannels(), n, false, false, true);
        buffer.clear();

        {
            const juce::ScopedLock lock (instance.getCallbackLock());

            if (bypassed)
                instance.processBlockBypassed (buffer, events);
            else
                instance.processBlock (buffer, events);
        }

        events.clear();
        ++counters.blocks;
        counters.samples += n;

        if (const auto bad = findBadSample (buffer, outputs, n))
            return describe (*bad) + (bypassed ? " (processBlockBypassed)" : "");

        return std::nullopt;
    }

private:
    juce::AudioPluginInstance& instance;
    int outputs;
    int maxBlock;
    juce::AudioBuffer<float> buffer;
    Counters& counters;
};

//==============================================================================
/** Processes random-sized blocks on its own thread until stopped, now and then starting or ending a
    note; remembers the first fault. */
class AudioThread
{
public:
    AudioThread (juce::AudioPluginInstance& instance, int maxBlockIn, std::uint64_t seed, Counters& counters)
        : processor (instance, maxBlockIn, counters), rng (seed), maxBlock (maxBlockIn)
    {
    }

    ~AudioThread() { stop(); }

    void start()
    {
        running = true;
        thread = std::thread ([this] { run(); });
    }

    void stop()
    {
        running = false;

        if (thread.joinable())
            thread.join();
    }

    std::uint64_t blocks() const { return done.load(); }
    bool failed() const { return hasFault.load(); }

    juce::String failure() const
    {
        const std::lock_guard<std::mutex> lock (faultMutex);
        return fault;
    }

private:
    void run()
    {
        juce::MidiBuffer midi;
        midi.ensureSize (256);
        int channel = 1;
        int note = -1;

        while (running.load())
        {
            const auto n = rng.between (1, maxBlock);

            if (note < 0 && rng.chance (0.05))
            {
                channel = rng.between (1, 16);
                note = rng.between (0, 127);
                midi.addEvent (juce::MidiMessage::noteOn (channel, note, (juce::uint8) rng.between (1, 127)), rng.between (0, n - 1));
            }
            else if (note >= 0 && rng.chance (0.05))
            {
                midi.addEvent (juce::MidiMessage::noteOff (channel, note, (juce::uint8) 64), rng.between (0, n - 1));
                note = -1;
            }

            if (auto f = processor.process (n, midi, false))
            {
                {
                    const std::lock_guard<std::mutex> lock (faultMutex);
                    fault = *f;
                }

                hasFault = true;
                return;
            }

            ++done;
        }
    }

    BlockProcessor processor;
    Rng rng;
    int maxBlock;
    std::thread thread;
    std::atomic<bool> running { false };
    std::atomic<std::uint64_t> done { 0 };
    std::atomic<bool> hasFault { false };
    mutable std::mutex faultMutex;
    juce::String fault;
};

/** Lets the audio thread process `more` blocks while the message thread keeps dispatching. */
Fault waitForAudio (AudioThread& audio, std::uint64_t more)
{
    const auto target = audio.blocks() + more;
    const auto giveUp = juce::Time::getMillisecondCounterHiRes() + 10000.0;

    while (audio.blocks() < target)
    {
        if (audio.failed())
            return "audio thread: " + audio.failure();

        if (juce::Time::getMillisecondCounterHiRes() > giveUp)
            return juce::String ("the audio thread processed no block for 10 s (processBlock blocked?)");

        pumpMessages (1);
    }

    return audio.failed() ? Fault ("audio thread: " + audio.failure()) : std::nullopt;
}

//==============================================================================
/** Stops the process when a run hangs far beyond its budget. */
class Watchdog
{
public:
    Watchdog (double limitSeconds, std::function<void()> onTimeoutIn)
        : onTimeout (std::move (onTimeoutIn)),
          thread ([this, limitSeconds]
          {
              std::unique_lock<std::mutex> lock (mutex);

              if (! stopped.wait_for (lock, std::chrono::duration<double> (limitSeconds), [this] { return done; }))
              {
                  onTimeout();
                  std::_Exit (exitTimeout);
              }
          })
    {
    }

    ~Watchdog()
    {
        {
            const std::lock_guard<std::mutex> lock (mutex);
            done = true;
        }

        stopped.notify_all();
        thread.join();
    }

private:
    std::function<void()> onTimeout;
    std::mutex mutex;
    std::condition_variable stopped;
    bool done = false;
    std::thread thread;
};

//==============================================================================
/** Prints which phase was running when the process crashes (on stdout and stderr), then lets the
    signal take its course. */
class CrashReporter
{
public:
    explicit CrashReporter (const std::atomic<const char*>& phaseIn)
    {
        phase = &phaseIn;

       #if ! JUCE_WINDOWS
        struct sigaction action {};
        action.sa_handler = handle;
        sigemptyset (&action.sa_mask);
        action.sa_flags = SA_RESETHAND;

        for (size_t i = 0; i < std::size (signals); ++i)
            sigaction (signals[i], &action, &previous[i]);
       #endif
    }

    ~CrashReporter()
    {
       #if ! JUCE_WINDOWS
        for (size_t i = 0; i < std::size (signals); ++i)
            sigaction (signals[i], &previous[i], nullptr);
       #endif

        phase = nullptr;
    }

private:
   #if ! JUCE_WINDOWS
    static void write (const char* text)
    {
        size_t length = 0;

        while (text[length] != '\0')
            ++length;

        for (const auto fd : { STDOUT_FILENO, STDERR_FILENO })
            [[maybe_unused]] const auto written = ::write (fd, text, length);
    }

    /** Async-signal-safe: only write(2) and fixed buffers. */
    static void handle (int signal)
    {
        char number[12] {};
        auto n = signal;
        int digits = 0;

        do
        {
            number[10 - digits++] = (char) ('0' + n % 10);
            n /= 10;
        } while (n > 0 && digits < 10);

        write ("FAIL robustness: the process crashed (signal ");
        write (number + 11 - digits);
        write (") in phase ");
        const auto* current = phase != nullptr ? phase->load() : nullptr;
        write (current != nullptr ? current : "?");
        write ("\n");
        std::raise (signal); // SA_RESETHAND restored the default action
    }

    static constexpr int signals[] = { SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT };
    struct sigaction previous[std::size (signals)] {};
   #endif

    static inline const std::atomic<const char*>* phase = nullptr;
};

//==============================================================================
struct SegmentPlan
{
    double seconds = 0.25;
    int maxBlock = 512;
    int fixedBlock = 0;            ///< 0: random sizes from 1 to maxBlock
    int maxParameterChanges = 0;   ///< random changes before each block, 0 to this many
    double bypassRunChance = 0.0;  ///< chance per block to start a stretch of processBlockBypassed
};

class Run
{
public:
    Run (const InstanceFactory& createInstanceIn, const RobustnessSettings& settingsIn,
         const std::function<void (const juce::String&)>& logIn)
        : createInstance (createInstanceIn), settings (settingsIn), log (logIn),
          rng (settingsIn.seed), deadline (settingsIn.timeLimitSeconds)
    {
    }

    RobustnessReport execute()
    {
        RobustnessReport report;
        std::atomic<const char*> phase { "start" };

        const CrashReporter crashReporter (phase);
        const auto hangLimit = settings.timeLimitSeconds * 2.0 + 30.0;
        Watchdog watchdog (hangLimit, [&phase, hangLimit, this]
        {
            const auto message = "phase " + juce::String (phase.load()) + " did not finish: the run passed "
                               + juce::String (hangLimit, 0) + " s (hang)";

            if (settings.onTimeout)
                settings.onTimeout (message);
            else
                log (message);
        });

        const std::pair<const char*, Fault (Run::*)()> phases[] = {
            { "cycles", &Run::phaseCycles },
            { "create", &Run::phaseCreateMain },
            { "prepare", &Run::phasePrepare },
            { "sub-blocks", &Run::phaseSubBlocks },
            { "threads", &Run::phaseThreads },
            { "state", &Run::phaseState },
            { "layouts", &Run::phaseLayouts },
            // Last: once an editor has been open, the plug-in's own messages run on this thread.
            { "editors", &Run::phaseEditors },
            { "teardown", &Run::phaseTeardown },
        };

        for (const auto& [name, function] : phases)
        {
            phase = name;

            if (auto f = (this->*function)())
            {
                report.phase = name;
                report.failure = *f;
                break;
            }

            ++report.phasesRun;
        }

        // Whatever happened, no instance outlives the run.
        if (main != nullptr)
            main.reset();

        if (report.failure.isEmpty() && HostedPlugin::liveCount() != 0)
        {
            report.phase = "teardown";
            report.failure = juce::String (HostedPlugin::liveCount()) + " plug-in instances still alive after the run";
        }

        report.passed = report.failure.isEmpty();
        report.instancesCreated = counters.instances;
        report.preparations = counters.preparations;
        report.blocks = counters.blocks.load();
        report.samples = counters.samples.load();
        report.seconds = deadline.elapsed();
        report.editorsOpened = editorsOpened;
        report.editorsReady = editorsReady;
        report.editorsSkipped = editorsSkipped;
        return report;
    }

private:
    //==============================================================================
    std::unique_ptr<HostedPlugin> create (Fault& fault)
    {
        juce::String error;
        auto plugin = createInstance (error);

        if (plugin == nullptr)
            fault = "instance " + juce::String (counters.instances + 1) + " could not be created: " + error;
        else
            ++counters.instances;

        return plugin;
    }

    void prepare (juce::AudioPluginInstance& instance, double rate, int maxBlock)
    {
        instance.prepareToPlay (rate, maxBlock);
        ++counters.preparations;
    }

    /** A parameter to change at random: mostly the plug-in's own, sometimes a hidden MIDI-controller
        one; never the bypass, which is exercised through processBlockBypassed. */
    juce::AudioProcessorParameter* randomSettableParameter (Rng& r) const
    {
        if (! midiControllers.empty() && (settable.empty() || r.chance (0.25)))
            return midiControllers[(size_t) r.between (0, (int) midiControllers.size() - 1)];

        if (settable.empty())
            return nullptr;

        return settable[(size_t) r.between (0, (int) settable.size() - 1)];
    }

    /** Processes a stretch of audio with a note-on near the start and its note-off in the last
        sample; shortened (still ending the note) once the time budget is spent. */
    Fault renderSegment (juce::AudioPluginInstance& instance, double rate, const SegmentPlan& plan)
    {
        BlockProcessor processor (instance, plan.maxBlock, counters);
        juce::MidiBuffer midi;
        midi.ensureSize (256);

        const auto total = juce::jmax ((std::int64_t) 64, secondsToSample (plan.seconds, rate));
        const auto channel = rng.between (1, 16);
        const auto note = rng.between (0, 127);
        const auto velocity = (juce::uint8) rng.between (1, 127);
        const auto noteOnAt = (std::int64_t) rng.between (0, (int) juce::jmin (total - 1, (std::int64_t) (rate * 0.01)));
        auto end = total;
        int bypassRun = 0;

        for (std::int64_t pos = 0; pos < end;)
        {
            auto n = plan.fixedBlock > 0 ? plan.fixedBlock : rng.between (1, plan.maxBlock);
            n = (int) juce::jmin ((std::int64_t) n, end - pos);

            if (deadline.passed() && pos > noteOnAt)
                end = pos + n;

            const auto noteOffAt = end - 1;

            for (int c = rng.between (0, plan.maxParameterChanges); c > 0; --c)
                if (auto* p = randomSettableParameter (rng))
                    p->setValue (rng.parameterValue());

            if (noteOnAt >= pos && noteOnAt < pos + n)
                midi.addEvent (juce::MidiMessage::noteOn (channel, note, velocity), (int) (noteOnAt - pos));

            if (noteOffAt >= pos && noteOffAt < pos + n)
                midi.addEvent (juce::MidiMessage::noteOff (channel, note, (juce::uint8) rng.between (0, 127)), (int) (noteOffAt - pos));

            auto bypassed = false;

            if (bypassRun > 0)
            {
                bypassed = true;
                --bypassRun;
            }
            else if (plan.bypassRunChance > 0.0 && rng.chance (plan.bypassRunChance))
            {
                bypassRun = rng.between (0, 15);
                bypassed = true;
            }

            if (auto f = processor.process (n, midi, bypassed))
                return *f + " in the block at sample " + juce::String (pos) + " (" + juce::String (n) + " samples, "
                     + juce::String (rate, 0) + " Hz, prepared for " + juce::String (plan.maxBlock) + ")";

            pos += n;
        }

        return std::nullopt;
    }

    //==============================================================================
    Fault phaseCycles()
    {
        int whilePrepared = 0;

        for (int i = 0; i < settings.cycles; ++i)
        {
            Fault fault;
            auto plugin = create (fault);

            if (fault)
                return fault;

            if (i % 2 == 1)
            {
                // Destroyed while prepared and after processing, without releaseResources.
                prepare (plugin->get(), 48000.0, 256);

                if (auto f = renderSegment (plugin->get(), 48000.0, { 0.05, 256 }))
                    return "instance " + juce::String (i + 1) + ": " + *f;

                ++whilePrepared;
            }

            plugin.reset();
        }

        // Two instances alive and processing side by side, destroyed in creation order.
        Fault fault;
        auto first = create (fault);

        if (fault)
            return fault;

        auto second = create (fault);

        if (fault)
            return fault;

        prepare (first->get(), 44100.0, 128);
        prepare (second->get(), 44100.0, 128);

        for (int round = 0; round < 4; ++round)
        {
            if (auto f = renderSegment (first->get(), 44100.0, { 0.02, 128 }))
                return "first of two instances: " + *f;

            if (auto f = renderSegment (second->get(), 44100.0, { 0.02, 128 }))
                return "second of two instances: " + *f;
        }

        first.reset();
        second.reset();

        log ("  cycles: " + juce::String (settings.cycles) + " instances created and destroyed (" + juce::String (whilePrepared)
             + " while prepared), then 2 side by side");
        return std::nullopt;
    }

    Fault phaseCreateMain()
    {
        Fault fault;
        main = create (fault);

        if (fault)
            return fault;

        auto& instance = main->get();
        const auto catalogue = catalogueParameters (instance);
        all = catalogue.all;
        own = catalogue.own;
        midiControllers = catalogue.midiControllers;
        bypass = catalogue.bypass;

        for (auto* p : own)
            if (p != bypass)
                settable.push_back (p);

        for (auto* p : all)
        {
            const auto value = p->getValue();
            const auto defaultValue = p->getDefaultValue();

            if (! std::isfinite (value) || value < 0.0f || value > 1.0f || ! std::isfinite (defaultValue)
                || defaultValue < 0.0f || defaultValue > 1.0f)
                return "parameter \"" + p->getName (64) + "\" (#" + juce::String (p->getParameterIndex()) + ") has value "
                     + juce::String (value) + " and default " + juce::String (defaultValue) + ", outside [0, 1]";
        }

        defaults = defaultBusesLayout (instance);
        const auto current = instance.getBusesLayout();

        log ("  create: " + juce::String ((int) settable.size()) + " parameters" + (bypass != nullptr ? " + bypass" : "") + ", "
             + juce::String ((int) midiControllers.size()) + " hidden MIDI-controller parameters, "
             + juce::String (instance.getBusCount (true)) + " input and " + juce::String (instance.getBusCount (false))
             + " output buses" + (current == defaults ? "" : " (starts outside its default layout)"));
        return std::nullopt;
    }

    Fault phasePrepare()
    {
        auto& instance = main->get();
        int prepared = 0;

        for (const auto rate : sampleRates)
        {
            for (const auto maxBlock : { 64, rng.between (65, 1023), 1024 })
            {
                prepare (instance, rate, maxBlock); // again, without releaseResources in between
                ++prepared;

                if (auto f = renderSegment (instance, rate, { 0.25, maxBlock }))
                    return f;
            }

            // The same preparation again, as hosts do on a transport restart.
            prepare (instance, rate, 1024);
            ++prepared;

            if (auto f = renderSegment (instance, rate, { 0.05, 1024 }))
                return f;
        }

        log ("  prepare: " + juce::String (prepared) + " preparations at 44100, 48000 and 96000 Hz with blocks of 64 to 1024, no release in between");
        return std::nullopt;
    }

    Fault phaseSubBlocks()
    {
        auto& instance = main->get();

        for (const auto rate : sampleRates)
        {
            const auto maxBlock = rng.between (64, 1024);
            prepare (instance, rate, maxBlock);

            if (auto f = renderSegment (instance, rate, { 1.0, maxBlock, 32, 10, 0.01 }))
                return f;
        }

        log ("  sub-blocks: 32-sample blocks with up to 10 parameter changes each, stretches of bypass, a note per rate");
        return std::nullopt;
    }

    Fault phaseThreads()
    {
        auto& instance = main->get();
        prepare (instance, 48000.0, 512);

        AudioThread audio (instance, 512, rng.seed(), counters);
        audio.start();

        std::atomic<bool> writing { true };
        std::atomic<std::int64_t> writes { 0 };

        std::thread writer ([this, &writing, &writes, seed = rng.seed()]
        {
            Rng r (seed);

            while (writing.load() && ! all.empty())
            {
                all[(size_t) r.between (0, (int) all.size() - 1)]->setValue (r.parameterValue());

                if (++writes % 32 == 0)
                    std::this_thread::yield();
            }
        });

        const auto duration = juce::jlimit (0.5, 3.0, juce::jmin (settings.timeLimitSeconds * 0.1, deadline.remaining()));
        const auto started = juce::Time::getMillisecondCounterHiRes();
        int passes = 0;

        do
        {
            for (auto* p : all)
            {
                p->beginChangeGesture();
                p->setValueNotifyingHost (rng.parameterValue());
                p->endChangeGesture();
            }

            ++passes;
            pumpMessages (2);
        } while (! audio.failed() && juce::Time::getMillisecondCounterHiRes() - started < duration * 1000.0);

        writing = false;
        writer.join();

        auto fault = waitForAudio (audio, 2);
        audio.stop();

        if (fault)
            return fault;

        for (auto* p : all)
        {
            const auto value = p->getValue();

            if (! std::isfinite (value) || value < 0.0f || value > 1.0f)
                return "parameter \"" + p->getName (64) + "\" (#" + juce::String (p->getParameterIndex()) + ") reads "
                     + juce::String (value) + " after concurrent writes";
        }

        log ("  threads: " + juce::String (passes) + " passes of setValueNotifyingHost over " + juce::String ((int) all.size())
             + " parameters, " + juce::String (writes.load()) + " writes from a second thread, " + juce::String ((juce::int64) audio.blocks())
             + " blocks processed meanwhile");
        return std::nullopt;
    }

    Fault checkReadBack (const std::vector<float>& saved, const std::vector<float>& randomised, const juce::String& when) const
    {
        for (size_t i = 0; i < own.size(); ++i)
        {
            const auto value = own[i]->getValue();

            if (! (std::abs (value - saved[i]) <= readBackTolerance))
                return "parameter \"" + own[i]->getName (64) + "\" (#" + juce::String (own[i]->getParameterIndex()) + ", id "
                     + parameterIdOf (*own[i]) + ") reads " + juce::String (value, 6) + " " + when + "; saved "
                     + juce::String (saved[i], 6) + ", randomised to " + juce::String (randomised[i], 6);
        }

        return std::nullopt;
    }

    Fault phaseState()
    {
        auto& instance = main->get();
        prepare (instance, 48000.0, 512);

        // JUCE's VST3 hosting queues writes made off the message thread and hands them to the edit
        // controller on a timer, after newer message-thread writes: right after the threads phase
        // the plug-in may hold older values than the host shows. Let the queue drain, then put the
        // host's values to the plug-in again, so the values saved below are the ones it really has.
        pumpMessages (60);

        for (auto* p : own)
            p->setValueNotifyingHost (p == bypass ? 0.0f : p->getValue());

        AudioThread audio (instance, 512, rng.seed(), counters);
        audio.start();

        int rounds = 0;
        Fault fault;

        for (int round = 0; round < 3 && ! fault && (round == 0 || ! deadline.passed()); ++round)
        {
            if ((fault = waitForAudio (audio, 3)))
                break;

            pumpMessages (20);

            juce::MemoryBlock state;
            instance.getStateInformation (state);

            std::vector<float> saved, randomised;

            for (auto* p : own)
                saved.push_back (p->getValue());

            for (auto* p : own)
            {
                randomised.push_back (rng.parameterValue());
                p->beginChangeGesture();
                p->setValueNotifyingHost (randomised.back());
                p->endChangeGesture();
            }

            // Let the plug-in's processor take the random values before the state comes back.
            if ((fault = waitForAudio (audio, 3)))
                break;

            pumpMessages (20);

            if (state.getSize() > (size_t) std::numeric_limits<int>::max())
            {
                fault = "the state is larger than 2 GB";
                break;
            }

            instance.setStateInformation (state.getData(), (int) state.getSize());

            // An LV2 plug-in reports its restored parameter values to the host through its event
            // output while it runs, so the host's copies catch up only after the next blocks.
            const bool reportsWhileRunning = instance.getPluginDescription().pluginFormatName == "LV2";

            if (! reportsWhileRunning
                && (fault = checkReadBack (saved, randomised, "right after the state was restored while processing")))
                break;

            if ((fault = waitForAudio (audio, 4)))
                break;

            pumpMessages (50);

            if ((fault = checkReadBack (saved, randomised, "after more blocks were processed following the restore")))
                break;

            ++rounds;
        }

        audio.stop();

        if (fault)
            return fault;

        if (audio.failed())
            return "audio thread: " + audio.failure();

        log ("  state: " + juce::String (rounds) + " rounds of save, randomise, restore while processing; "
             + juce::String ((int) own.size()) + " parameters read back their saved values");
        return std::nullopt;
    }

    Fault phaseLayouts()
    {
        auto& instance = main->get();
        instance.releaseResources();

        const auto before = instance.getBusesLayout();
        int queries = 0;

        struct Accepted
        {
            bool isInput;
            int bus;
            juce::AudioChannelSet set;
        };

        std::vector<Accepted> accepted;

        for (const auto isInput : { true, false })
        {
            for (int i = 0; i < instance.getBusCount (isInput); ++i)
            {
                for (int n = 1; n <= 32; ++n)
                    queries += juce::AudioChannelSet::channelSetsWithNumberOfChannels (n).size();

                for (const auto& set : querySupportedLayouts (instance, isInput, i, 32))
                    accepted.push_back ({ isInput, i, set });
            }
        }

        if (instance.getBusesLayout() != before)
            return juce::String ("asking whether layouts are supported changed the instance's layout");

        juce::StringArray acceptedNames;

        for (const auto& a : accepted)
        {
            acceptedNames.add ((a.isInput ? "input " : "output ") + juce::String (a.bus) + " " + a.set.getDescription());

            if (a.set.size() > 8)
                continue;

            auto layout = defaults;
            (a.isInput ? layout.inputBuses : layout.outputBuses).getReference (a.bus) = a.set;
            const auto what = juce::String (a.isInput ? "input " : "output ") + juce::String (a.bus) + " as " + describeLayout (a.set);

            if (! instance.setBusesLayout (layout))
                return what + " was reported as supported, but setBusesLayout refused it";

            if (instance.getBusesLayout().getChannelSet (a.isInput, a.bus) != a.set)
                return what + " was accepted, but the bus reads " + describeLayout (instance.getBusesLayout().getChannelSet (a.isInput, a.bus));

            if (! deadline.passed())
            {
                prepare (instance, 48000.0, 256);

                if (auto f = renderSegment (instance, 48000.0, { 0.1, 256 }))
                    return "with " + what + ": " + *f;

                instance.releaseResources();
            }
        }

        if (! instance.setBusesLayout (defaults))
            return juce::String ("the default layout was refused when restoring it");

        if (instance.getBusesLayout() != defaults)
            return juce::String ("the default layout did not come back after restoring it");

        prepare (instance, 48000.0, 512);

        if (auto f = renderSegment (instance, 48000.0, { 0.1, 512 }))
            return "after restoring the default layout: " + *f;

        instance.releaseResources();

        log ("  layouts: " + juce::String (queries) + " layouts asked; accepted " + (acceptedNames.isEmpty() ? juce::String ("none") : acceptedNames.joinIntoString (", "))
             + "; default layout restored");
        return std::nullopt;
    }

    //==============================================================================
    int readyTimeoutMs() const { return (int) (settings.readyTimeoutSeconds * 1000.0); }

    /** Opens an editor window; waits for its page when asked to. */
    Fault openEditor (juce::AudioPluginInstance& instance, const PageInspector& inspector, bool waitForPage,
                      std::unique_ptr<EditorWindow>& window, const juce::String& what)
    {
        window = std::make_unique<EditorWindow> (instance, juce::Point<int> (rng.between (0, 200), rng.between (0, 150)));

        if (! window->isOpen())
            return what + ": the plug-in created no editor";

        ++editorsOpened;

        if (waitForPage && inspector.isAvailable())
        {
            if (! inspector.waitForReady (0, readyTimeoutMs()))
                return what + ": the page reported no \"ready\" within " + juce::String (settings.readyTimeoutSeconds) + " s";

            ++editorsReady;
        }

        return std::nullopt;
    }

    /** The open editor must still run its page: a snippet evaluated there comes back. */
    static Fault checkPageAnswers (const PageInspector& inspector, const juce::String& when)
    {
        if (! inspector.isAvailable())
            return std::nullopt;

        juce::String error;
        const auto result = inspector.evaluate ("6 * 7", 10000, error);

        if (! result.has_value())
            return "the editor's page did not answer " + when + ": " + error;

        if (result->trim() != "42")
            return "the editor's page answered " + result->quoted() + " instead of 42 " + when;

        return std::nullopt;
    }

    Fault editorsWhileProcessing (juce::AudioPluginInstance& instance, AudioThread& audio)
    {
        const PageInspector inspector (instance);
        std::unique_ptr<EditorWindow> window;
        const auto rounds = juce::jmax (3, settings.cycles);

        // Several in a row; every other one closed at once, before its page has loaded.
        for (int i = 0; i < rounds; ++i)
        {
            if (auto f = openEditor (instance, inspector, i % 2 == 0, window, "editor " + juce::String (i + 1)))
                return f;

            pumpMessages (rng.between (0, 30));
            window.reset();

            if (audio.failed())
                return "audio thread: " + audio.failure();
        }

        // Parameters written from a background thread while the editor is open.
        if (auto f = openEditor (instance, inspector, true, window, "editor with background parameter writes"))
            return f;

        {
            std::atomic<bool> writing { true };
            std::thread writer ([this, &writing, seed = rng.seed()]
            {
                Rng r (seed);

                while (writing.load() && ! all.empty())
                {
                    all[(size_t) r.between (0, (int) all.size() - 1)]->setValue (r.parameterValue());
                    std::this_thread::yield();
                }
            });

            const auto until = juce::Time::getMillisecondCounterHiRes() + 1000.0 * juce::jlimit (0.3, 1.5, deadline.remaining() * 0.1);

            while (juce::Time::getMillisecondCounterHiRes() < until && ! audio.failed())
                pumpMessages (5);

            writing = false;
            writer.join();
        }

        if (auto f = checkPageAnswers (inspector, "after parameters were written from a background thread"))
            return f;

        window.reset();

        // The state replaced while the editor is open, with the audio running. As in the state
        // phase: let the queued background writes drain, then hand the plug-in the host's values
        // again (the bypass off: it is the host's, not part of the plug-in's state).
        pumpMessages (60);

        for (auto* p : own)
            p->setValueNotifyingHost (p == bypass ? 0.0f : p->getValue());

        if (auto f = openEditor (instance, inspector, true, window, "editor with state replaced"))
            return f;

        // As in the state phase, the waits are counted in processed blocks, not in time: the
        // plug-in's processor takes the host's writes with the blocks, and on a slow or loaded
        // machine a few milliseconds may pass without one.
        for (int round = 0; round < 3; ++round)
        {
            if (auto f = waitForAudio (audio, 3))
                return f;

            pumpMessages (20);
            juce::MemoryBlock state;
            instance.getStateInformation (state);

            std::vector<float> saved, randomised;

            for (auto* p : own)
                saved.push_back (p->getValue());

            for (auto* p : own)
            {
                randomised.push_back (p == bypass ? 0.0f : rng.parameterValue());
                p->beginChangeGesture();
                p->setValueNotifyingHost (randomised.back());
                p->endChangeGesture();
            }

            if (auto f = waitForAudio (audio, 3))
                return f;

            pumpMessages (30);
            instance.setStateInformation (state.getData(), (int) state.getSize());

            if (auto f = waitForAudio (audio, 4))
                return f;

            pumpMessages (30);

            if (auto f = checkReadBack (saved, randomised, "after the state was replaced while the editor was open"))
                return f;
        }

        if (auto f = checkPageAnswers (inspector, "after its state was replaced"))
            return f;

        window.reset();
        pumpMessages (50);
        return audio.failed() ? Fault ("audio thread: " + audio.failure()) : std::nullopt;
    }

    Fault phaseEditors()
    {
        auto& instance = main->get();

        if (! settings.editors)
            editorsSkipped = "not asked for";
        else if (! instance.hasEditor())
            editorsSkipped = "the plug-in has no editor";
        else if (! canOpenWindows())
            editorsSkipped = "no display";

        if (editorsSkipped.isNotEmpty())
        {
            log ("  editors: skipped (" + editorsSkipped + ")");
            return std::nullopt;
        }

        prepare (instance, 48000.0, 512);

        AudioThread audio (instance, 512, rng.seed(), counters);
        audio.start();
        auto fault = editorsWhileProcessing (instance, audio);
        audio.stop();

        if (! fault && audio.failed())
            fault = "audio thread: " + audio.failure();

        if (fault)
            return fault;

        // Fresh instances deleted right after their editor, with no message dispatched in between:
        // once after the page loaded, once while it was still loading.
        for (const auto waitForPage : { true, false })
        {
            auto plugin = create (fault);

            if (fault)
                return fault;

            prepare (plugin->get(), 48000.0, 512);

            if (auto f = renderSegment (plugin->get(), 48000.0, { 0.05, 512 }))
                return f;

            auto inspector = std::make_unique<PageInspector> (plugin->get());
            std::unique_ptr<EditorWindow> window;

            if (auto f = openEditor (plugin->get(), *inspector, waitForPage, window, "editor of a short-lived instance"))
                return f;

            window.reset();
            inspector.reset();
            plugin.reset();
        }

        pumpMessages (100);

        if (HostedPlugin::liveCount() != 1)
            return juce::String (HostedPlugin::liveCount()) + " instances alive after the short-lived ones were deleted (expected 1)";

        log ("  editors: " + juce::String (editorsOpened) + " opened in real windows, " + juce::String (editorsReady)
             + " of their pages ready; parameters written from a second thread and the state replaced while open; "
               "two instances deleted right after their editor");
        return std::nullopt;
    }

    Fault phaseTeardown()
    {
        main.reset();

        if (HostedPlugin::liveCount() != 0)
            return juce::String (HostedPlugin::liveCount()) + " instances still alive after deleting the last one";

        log ("  teardown: every instance deleted");
        return std::nullopt;
    }

    //==============================================================================
    const InstanceFactory& createInstance;
    const RobustnessSettings& settings;
    const std::function<void (const juce::String&)>& log;

    Rng rng;
    Deadline deadline;
    Counters counters;

    int editorsOpened = 0;
    int editorsReady = 0;
    juce::String editorsSkipped;

    std::unique_ptr<HostedPlugin> main;
    std::vector<juce::AudioProcessorParameter*> all, own, settable, midiControllers;
    juce::AudioProcessorParameter* bypass = nullptr;
    juce::AudioProcessor::BusesLayout defaults;
};
} // namespace

RobustnessReport runRobustness (const InstanceFactory& createInstance,
                                const RobustnessSettings& settings,
                                const std::function<void (const juce::String&)>& log)
{
    Run run (createInstance, settings, log);
    return run.execute();
}

} // namespace brivola::host
