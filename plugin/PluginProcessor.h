#pragma once

#include "dish/CatchUp.h"
#include "dish/Dish.h"
#include "dish/collection/Collection.h"
#include "dish/collection/CollectionHost.h"
#include "editor/DishView.h"
#include "editor/ScopeAnalysis.h"
#include "engine/NoteTracker.h"
#include "engine/SynthEngine.h"
#include "engine/effects/EffectsChain.h"
#include "engine/effects/OutputCapture.h"
#include "plugin/DishClock.h"
#include "plugin/Parameters.h"
#include "plugin/Vst3Inspection.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace brivola
{

/** A stereo buffer of doubles with room for the prepared block size. */
struct StereoWork
{
    std::vector<double> left, right;
    int capacity = 0;

    double* l() noexcept { return left.data(); }
    double* r() noexcept { return right.data(); }
};

//==============================================================================
/** The Brivola instrument: owns the dish, the engines, the effects and the parameters, and runs
    the per-block frame (MIDI, 60-per-second dish ticks, voices, effects, output). */
class BrivolaAudioProcessor final : public juce::AudioProcessor,
                                    private juce::Timer,
                                    private CollectionHost
{
public:
    /** Shared with asynchronous calls so they find a null back-pointer once the processor is gone. */
    struct AsyncOwner
    {
        juce::CriticalSection lock;
        BrivolaAudioProcessor* processor = nullptr;
    };

    BrivolaAudioProcessor();
    ~BrivolaAudioProcessor() override;

    //==============================================================================
    const juce::String getName() const override { return "Brivola"; }
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    void processBlockBypassed (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using juce::AudioProcessor::processBlock;
    using juce::AudioProcessor::processBlockBypassed;
    void reset() override;

    double getTailLengthSeconds() const override { return 10.0; }
    bool acceptsMidi() const override { return true; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }

    /** The inspection interface for automated hosts (plugin/Vst3Inspection.h). */
    juce::VST3ClientExtensions* getVST3ClientExtensions() override { return &vst3Inspection; }

    int getNumPrograms() override { return 0; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    //==============================================================================
    juce::AudioProcessorValueTreeState& getParameterTree() noexcept { return parameters; }
    const ParameterArray& getParameterArray() const noexcept { return parameterArray; }

    /** True between a successful prepareToPlay and releaseResources. */
    bool isReady() const noexcept { return ready.load(); }
    int getPreparedBlockSize() const noexcept { return preparedBlockSize; }
    double getSamplesPerTick() const noexcept { return clock.samplesPerTick; }
    double getTickAccumulator() const noexcept { return clock.accumulator; }
    std::uint64_t getTickCounter() const noexcept { return clock.tickCounter; }
    std::uint32_t getAudioBlockCount() const noexcept { return audioBlockCounter.load(); }
    int getCurrentNote() const noexcept { return notes.currentNote(); }
    std::uint64_t getShownMerges() const noexcept { return shownMerges.load(); }
    std::uint64_t getShownSplits() const noexcept { return shownSplits.load(); }
    std::uint64_t getShownSpawns() const noexcept { return shownSpawns.load(); }
    double getShownDishSeconds() const noexcept { return shownDishSeconds.load(); }

    //==============================================================================
    // Page-driven operations on the dish (message thread; each takes the locks it needs).

    /** Stores the theme value (0 dark .. 1 light) and derives the dish's activity from it. */
    void setTheme (double value);
    double getTheme() const;
    void setPageNumber (int page);
    int getPageNumber() const;
    /** Pushes cells near (x, y) by the pointer's movement. */
    void stirAt (double x, double y, double dx, double dy);
    void setStirring (bool on);
    /** An impulse into the dish's slosh from a window movement. */
    void slosh (double dx, double dy);
    /** Replaces the population with twelve species of the pipette palette. */
    void rerollDish();
    /** Steps the dish on wall-clock time while the host does not call processBlock; never blocks
        (a busy callback lock skips the call). Returns the number of ticks run. */
    int advanceWhilePaused (double nowMs);

    /** The main dish. Read or change it only while holding the callback lock. */
    const Dish& getDish() const noexcept { return dish; }
    Dish& getDish() noexcept { return dish; }
    /** The dish view the editor reads (lock-free, single reader). */
    DishViewBuffer& getDishView() noexcept { return dishView; }
    /** Scope ring and voice meters for the page (lock-free). */
    OutputCapture& getOutputCapture() noexcept { return capture; }
    /** The scope's spectrum state, used only by the editor's publishing tick. */
    ScopeAnalysis& getScopeAnalysis() noexcept { return scopeAnalysis; }
    const NoteTracker& getNoteTracker() const noexcept { return notes; }
    /** The main engine: inspect only while holding the callback lock. */
    const SynthEngine& getMainEngine() const noexcept { return mainEngine; }

    //==============================================================================
    // Notes from the page and preset previews (message thread; each takes the callback lock).

    /** The on-screen keyboard's key went down or up. */
    void keyboardNoteOn (int note);
    void keyboardNoteOff();

    /** Asks for a preset preview: the preview engine plays `previewDish` with `params` at
        `note` once no other preview plays. With `releaseAtOnce`, every voice plays its attack and
        then releases. Call with the callback lock held. */
    void requestPreview (const SoundParams& params, int note, std::int32_t token, bool releaseAtOnce) noexcept;
    /** Silences the preview engine and forgets any request. Call with the callback lock held. */
    void stopPreview() noexcept;
    bool isPreviewPlaying() const noexcept { return preview.playing; }
    std::int32_t getPlayingPreviewToken() const noexcept { return preview.playingToken; }
    Dish& getPreviewDish() noexcept { return previewDish; }

    /** Species, discoveries, pipette, statistics and preset slots shared through the store
        (message thread). */
    Collection& getCollection() noexcept { return collection; }
    const Collection& getCollection() const noexcept { return collection; }

    /** The editor is closing: scope capture and stirring stop, the page's key is released (held
        MIDI keys resume), any preview stops and the pipette closes. */
    void editorClosing();
    /** A page (re)load: nothing the previous page started may still sound. */
    void resetPageActivity();

private:
    void timerCallback() override;
    void runFirstMessageThreadCall();

    // CollectionHost
    const juce::CriticalSection& dishLock() const noexcept override { return getCallbackLock(); }
    Dish& lockedMainDish() noexcept override { return dish; }
    Dish& lockedPreviewDish() noexcept override { return previewDish; }
    SpeciesExchange& sharedSpecies() noexcept override { return speciesExchange; }
    bool isPreparedForAudio() const noexcept override { return ready.load() && preparedBlockSize > 0; }
    void afterDishRewrite (bool ping) noexcept override;
    void auditionSpecies (Species species, double pan) noexcept override;
    bool readLatestDishView (DishViewSlots& slots) noexcept override;
    StatisticsCounters shownDishCounters() const noexcept override;
    SoundParams currentSoundParams() const override { return takeSnapshot (parameterArray); }
    void setSoundParamNotifyingHost (int index, double value) override;
    PresetPreviewStatus presetPreviewStatus() const noexcept override;
    void requestPresetPreview (const SoundParams& params, int note, int token) noexcept override;
    void releasePendingPresetPreviewAtOnce() noexcept override { preview.releaseAtOnce = true; }
    void releasePlayingPresetPreview() noexcept override;
    juce::String localDate() const override { return localDateKey (juce::Time::getCurrentTime()); }
    std::int64_t currentTimeMs() const override { return juce::Time::currentTimeMillis(); }

    void handleMidiEvent (const juce::MidiMessageMetadata& event) noexcept;
    void startPendingPreview() noexcept;
    void clearPreviewRequest() noexcept;
    void renderChunk (juce::AudioBuffer<float>& buffer, int offset, int length,
                      juce::MidiBufferIterator& nextEvent, juce::MidiBufferIterator endEvent) noexcept;
    void resetNotes() noexcept;
    void runDishTicks (int ticks) noexcept;
    void afterTickBatch (bool fromAudio) noexcept;

    //==============================================================================
    juce::AudioProcessorValueTreeState parameters;
    ParameterArray parameterArray {};

    DishClock clock;

    // The species record shared by the main dish and the discovery bookkeeping, then the main dish
    // and the dish used for preset previews.
    SpeciesExchange speciesExchange;
    Dish dish;
    Dish previewDish;

    SynthEngine mainEngine, previewEngine;

    // A preset preview: what was asked for, and what plays.
    struct PreviewRequest
    {
        SoundParams requestedParams, playingParams;
        bool pending = false;
        bool releaseAtOnce = false;
        bool playing = false;
        std::int32_t requestedToken = 0;
        std::int32_t playingToken = 0;
        int note = 60;
    };
    PreviewRequest preview;

    EffectsChain effects;
    OutputCapture capture;
    ScopeAnalysis scopeAnalysis;      // the editor's spectrum state, kept across editors

    // Discoveries, pipette, statistics and preset slots, through the shared store.
    Collection collection { *this };
    CatchUpClock catchUp;             // message thread only
    DishViewBuffer dishView;          // the dish as the page sees it

    // Event counters and incubation time for the page, copied after each batch of ticks.
    std::atomic<std::uint64_t> shownMerges { 0 }, shownSplits { 0 }, shownSpawns { 0 };
    std::atomic<double> shownDishSeconds { 0.0 };

    // Stored page number and theme value of the page, guarded by their own lock, which is never
    // held together with the callback lock.
    juce::CriticalSection uiSettingsLock;
    int pageNumber = 0;
    double themeValue = 1.0;

    // Notes: the tracker and the bridge that lets it play the main engine.
    struct MainNoteSink final : NoteSink
    {
        explicit MainNoteSink (BrivolaAudioProcessor& p) noexcept : owner (p) {}
        bool startNote (int note, bool legato, float velocity) noexcept override;
        void releaseNotes() noexcept override;
        void releaseEverything (bool fast) noexcept override;
        void setModulation (double depth) noexcept override;
        void setBend (double ratio) noexcept override;
        BrivolaAudioProcessor& owner;
    };
    NoteTracker notes;
    MainNoteSink noteSink { *this };

    std::shared_ptr<AsyncOwner> asyncOwner;

    StereoWork mainWork, auxWork;

    std::atomic<bool> ready { false };
    std::atomic<bool> dishSeeded { false };
    std::atomic<bool> firstPreparePosted { false };
    std::atomic<bool> firstCallDone { false };
    bool bypassInProgress = false;
    std::atomic<std::uint32_t> audioBlockCounter { 0 };
    int preparedBlockSize = 0;

    // Declared last: no host may hold the inspection interface once the processor is going.
    Vst3Inspection vst3Inspection { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BrivolaAudioProcessor)
};

} // namespace brivola
