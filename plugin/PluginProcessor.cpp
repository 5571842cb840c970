#include "plugin/PluginProcessor.h"

#include "dish/DishStep.h"
#include "dish/Pipette.h"
#include "editor/PluginEditor.h"
#include "plugin/HostState.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace brivola
{

namespace
{
constexpr int maxPreparedBlock = 65536;

int roundUpToFour (int n) noexcept { return (n + 3) & ~3; }

void allocateStereo (StereoWork& work, int samples)
{
    const auto size = static_cast<std::size_t> (roundUpToFour (samples));
    std::vector<double> l (size, 0.0), r (size, 0.0);
    work.left.swap (l);
    work.right.swap (r);
    work.capacity = samples;
}
} // namespace

//==============================================================================
BrivolaAudioProcessor::BrivolaAudioProcessor()
    : juce::AudioProcessor (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, juce::Identifier (parameterStateType), createParameterLayout()),
      parameterArray (findParameters (parameters)),
      asyncOwner (std::make_shared<AsyncOwner>())
{
    dish.exchange = &speciesExchange;
    asyncOwner->processor = this;
}

BrivolaAudioProcessor::~BrivolaAudioProcessor()
{
    {
        const juce::ScopedLock sl (asyncOwner->lock);
        asyncOwner->processor = nullptr;
    }
    stopTimer();
    collection.shutdown();
}

//==============================================================================
void BrivolaAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    const double rate = validSampleRate (sampleRate);

    {
        const juce::ScopedLock sl (getCallbackLock());
        ready = false;
        preparedBlockSize = 0;

        try
        {
            const int maxBlock = std::clamp (maximumExpectedSamplesPerBlock, 1, maxPreparedBlock);
            mainEngine.prepare (rate);
            previewEngine.prepare (rate);
            clearPreviewRequest();
            effects.prepare (rate, maxBlock);
            capture.prepare (rate);

            if (maxBlock != mainWork.capacity || mainWork.left.empty() || auxWork.left.empty())
            {
                allocateStereo (mainWork, maxBlock);
                allocateStereo (auxWork, maxBlock);
            }
            preparedBlockSize = maxBlock;
        }
        catch (const std::bad_alloc&)
        {
            preparedBlockSize = 0;
            return;
        }

        setDishClockRate (clock, rate);


        if (! dishSeeded.exchange (true))
            seedDish (dish);
        mainEngine.updateFromDish (dish.cells, false);
        dishView.write (dish);

        ready = true;
        mainEngine.gateOff();
        mainEngine.releaseAll();
        brivola::setStirring (dish, false);
        resetNotes();
    }

    // The effects' three look-ahead stages delay the voices by a fixed amount; hosts compensate.
    // Told outside the callback lock: a host may re-enter the processor when the latency changes.
    setLatencySamples (3 * std::min (static_cast<int> (std::floor (0.006 * rate)), 1023));

    if (! firstPreparePosted.exchange (true))
    {
        auto owner = asyncOwner;
        const bool posted = juce::MessageManager::callAsync ([owner]
        {
            const juce::ScopedLock sl (owner->lock);
            if (owner->processor != nullptr)
                owner->processor->runFirstMessageThreadCall();
        });
        if (! posted)
            firstPreparePosted = false;
    }
}

void BrivolaAudioProcessor::runFirstMessageThreadCall()
{
    if (firstCallDone.exchange (true))
        return;

    collection.loadSharedData();
    startTimer (1000);
}

void BrivolaAudioProcessor::timerCallback()
{
    collection.runTimerWork();
}

void BrivolaAudioProcessor::releaseResources()
{
    const juce::ScopedLock sl (getCallbackLock());
    if (! ready.load())
        return;

    effects.reset();
    mainEngine.reset();
    previewEngine.reset();
    brivola::setStirring (dish, false);
    resetNotes();
    clearPreviewRequest();
    capture.setCaptureEnabled (false);
    ready = false;
    preparedBlockSize = 0;
}

void BrivolaAudioProcessor::reset()
{
    const juce::ScopedLock sl (getCallbackLock());
    if (ready.load())
    {
        effects.reset();
        mainEngine.reset();
        previewEngine.reset();
        clearPreviewRequest();
    }
    brivola::setStirring (dish, false);
    resetNotes();
}

void BrivolaAudioProcessor::resetNotes() noexcept
{
    notes.clear();
}

//==============================================================================
// Notes and previews

bool BrivolaAudioProcessor::MainNoteSink::startNote (int note, bool legato, float velocity) noexcept
{
    auto& p = owner;
    if (! p.ready.load())
        return false;

    p.preview.pending = false;
    p.preview.releaseAtOnce = false;
    p.preview.requestedToken = 0;
    if (p.preview.playing)
    {
        p.previewEngine.gateOff();
        p.previewEngine.releaseAllFast();
    }

    p.mainEngine.applyParams (takeSnapshot (p.parameterArray));
    p.mainEngine.noteOn (p.dish.cells, legato, noteFrequency (note), velocity);
    return true;
}

void BrivolaAudioProcessor::MainNoteSink::releaseNotes() noexcept
{
    owner.mainEngine.gateOff();
    owner.mainEngine.releaseAll();
}

void BrivolaAudioProcessor::MainNoteSink::releaseEverything (bool fast) noexcept
{
    owner.mainEngine.gateOff();
    if (fast)
        owner.mainEngine.releaseAllFast();
    else
        owner.mainEngine.releaseAll();
}

void BrivolaAudioProcessor::MainNoteSink::setModulation (double depth) noexcept { owner.mainEngine.setModulation (depth); }
void BrivolaAudioProcessor::MainNoteSink::setBend (double ratio) noexcept { owner.mainEngine.setBend (ratio); }

void BrivolaAudioProcessor::keyboardNoteOn (int note)
{
    const juce::ScopedLock sl (getCallbackLock());
    notes.keyboardNoteOn (note, noteSink);
}

void BrivolaAudioProcessor::keyboardNoteOff()
{
    const juce::ScopedLock sl (getCallbackLock());
    notes.keyboardNoteOff (noteSink);
}

void BrivolaAudioProcessor::clearPreviewRequest() noexcept
{
    preview.pending = false;
    preview.releaseAtOnce = false;
    preview.requestedToken = 0;
    preview.playing = false;
    preview.playingToken = 0;
}

void BrivolaAudioProcessor::requestPreview (const SoundParams& params, int note, std::int32_t token, bool releaseAtOnce) noexcept
{
    preview.requestedParams = sanitised (params);
    preview.note = std::clamp (note, 0, 127);
    preview.requestedToken = token;
    preview.releaseAtOnce = releaseAtOnce;
    preview.pending = true;
}

void BrivolaAudioProcessor::stopPreview() noexcept
{
    previewEngine.reset();
    clearPreviewRequest();
}

void BrivolaAudioProcessor::startPendingPreview() noexcept
{
    if (! preview.pending || preview.playing)
        return;

    preview.playingParams = preview.requestedParams;
    previewEngine.reset();
    previewEngine.freeVoices();
    previewEngine.applyParams (preview.playingParams);
    previewEngine.updateFromDish (previewDish.cells, true);
    previewEngine.noteOn (previewDish.cells, false, noteFrequency (preview.note), 1.0);
    if (preview.releaseAtOnce)
    {
        previewEngine.gateOff();
        previewEngine.releaseEachAfterAttack();
    }

    preview.playing = previewEngine.anySounding();
    preview.playingToken = preview.playing ? preview.requestedToken : 0;
    preview.pending = false;
    preview.releaseAtOnce = false;
    preview.requestedToken = 0;
}

void BrivolaAudioProcessor::editorClosing()
{
    capture.setCaptureEnabled (false);
    {
        const juce::ScopedLock sl (getCallbackLock());
        brivola::setStirring (dish, false);
        notes.keyboardNoteOff (noteSink);
        stopPreview();
    }
    collection.setPipetteMode (false);
}

void BrivolaAudioProcessor::resetPageActivity()
{
    const juce::ScopedLock sl (getCallbackLock());
    if (notes.keyboardNote() >= 0)
        notes.keyboardNoteOff (noteSink);
    if (preview.pending || preview.playing)
        stopPreview();
}

//==============================================================================
void BrivolaAudioProcessor::processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    bypassInProgress = true;
    processBlock (buffer, midi);
    bypassInProgress = false;
    if (! buffer.hasBeenCleared())
        buffer.clear();
}

void BrivolaAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    juce::ScopedNoDenormals noDenormals;
    audioBlockCounter.fetch_add (1);

    if (! buffer.hasBeenCleared())
        buffer.clear();

    if (preparedBlockSize <= 0)
        return;

    startPendingPreview();

    const SoundParams hostParams = takeSnapshot (parameterArray);
    effects.configure (preview.playing ? preview.playingParams : hostParams);
    mainEngine.applyParams (hostParams);
    if (preview.playing)
        previewEngine.applyParams (preview.playingParams);

    auto nextEvent = midi.cbegin();
    const auto endEvent = midi.cend();
    const int total = buffer.getNumSamples();

    for (int offset = 0; offset < total; offset += preparedBlockSize)
        renderChunk (buffer, offset, std::min (preparedBlockSize, total - offset), nextEvent, endEvent);

    // Events at or past the buffer's end still act, so no note-off is lost.
    for (; nextEvent != endEvent; ++nextEvent)
        handleMidiEvent (*nextEvent);
}

void BrivolaAudioProcessor::handleMidiEvent (const juce::MidiMessageMetadata& event) noexcept
{
    if (event.numBytes <= 3)
        notes.handleMidi (event.data, event.numBytes, bypassInProgress, noteSink);
}

void BrivolaAudioProcessor::renderChunk (juce::AudioBuffer<float>& buffer, int offset, int length,
                                         juce::MidiBufferIterator& nextEvent, juce::MidiBufferIterator endEvent) noexcept
{
    const int chunkEnd = offset + length;
    int position = offset;
    double* mainL = mainWork.l();
    double* mainR = mainWork.r();
    double* auxL = auxWork.l();
    double* auxR = auxWork.r();

    while (position < chunkEnd)
    {
        while (nextEvent != endEvent && (*nextEvent).samplePosition <= position)
        {
            handleMidiEvent (*nextEvent);
            ++nextEvent;
        }

        int end = chunkEnd;
        if (nextEvent != endEvent)
            end = std::min (end, (*nextEvent).samplePosition);
        const int len = std::min (end - position, samplesUntilTick (clock));
        const int at = position - offset;

        mainEngine.render (mainL + at, mainR + at, len);
        if (preview.playing)
        {
            previewEngine.render (auxL + at, auxR + at, len);
            for (int i = at; i < at + len; ++i)
            {
                mainL[i] += auxL[i];
                mainR[i] += auxR[i];
            }
        }

        position += len;
        if (const int ticks = advanceDishClock (clock, len); ticks > 0)
            runDishTicks (ticks);
    }

    // One-shots and chimes for the whole chunk.
    const bool chimes = mainEngine.chimesActive();
    if (chimes)
    {
        std::fill_n (auxL, length, 0.0);
        std::fill_n (auxR, length, 0.0);
        mainEngine.renderOneShotsAndPings (auxL, auxR, length);
    }
    mainEngine.advancePingClock (length);

    effects.process (mainL, mainR, chimes ? auxL : nullptr, chimes ? auxR : nullptr, static_cast<std::size_t> (length));

    if (preview.playing && ! previewEngine.anySounding())
    {
        previewEngine.reset();
        preview.playing = false;
        preview.playingToken = 0;
        startPendingPreview();
    }

    capture.captureScope (mainL, mainR, static_cast<std::size_t> (length));

    const int channels = buffer.getNumChannels();
    if (channels == 1)
    {
        auto* out = buffer.getWritePointer (0, offset);
        for (int i = 0; i < length; ++i)
            out[i] = static_cast<float> ((mainL[i] + mainR[i]) * 0.5);
    }
    else if (channels >= 2)
    {
        auto* outL = buffer.getWritePointer (0, offset);
        auto* outR = buffer.getWritePointer (1, offset);
        for (int i = 0; i < length; ++i)
        {
            outL[i] = static_cast<float> (mainL[i]);
            outR[i] = static_cast<float> (mainR[i]);
        }
    }
}

void BrivolaAudioProcessor::runDishTicks (int ticks) noexcept
{
    for (int t = 0; t < ticks; ++t)
    {
        dishStep (dish);
        collection.autoDropTick (dish);
    }
    afterTickBatch (true);
}

void BrivolaAudioProcessor::afterTickBatch (bool fromAudio) noexcept
{
    mainEngine.updateFromDish (dish.cells, false);
    const int arrivals = takeArrivals (dish);
    if (fromAudio)
    {
        mainEngine.firePing (static_cast<std::uint64_t> (arrivals));

        std::array<double, OutputCapture::voiceSlots> peaks {};
        std::array<std::int32_t, OutputCapture::voiceSlots> ids {};
        for (int slot = 0; slot < SynthEngine::numVoices; ++slot)
        {
            peaks[(std::size_t) slot] = mainEngine.takeVoicePeak (slot);
            ids[(std::size_t) slot] = mainEngine.voiceCellId (slot);
        }
        capture.updateVoiceMeters (peaks, ids, static_cast<int> (mainEngine.activeCellCount()));
    }

    shownMerges = dish.mergeCount;
    shownSplits = dish.splitCount;
    shownSpawns = dish.spawnCount;
    shownDishSeconds = static_cast<double> (clock.tickCounter) / 60.0;
    dishView.write (dish);
}

//==============================================================================
// What the collection asks of the processor

void BrivolaAudioProcessor::afterDishRewrite (bool ping) noexcept
{
    if (isPreparedForAudio())
    {
        mainEngine.updateFromDish (dish.cells, false);
        if (ping)
            mainEngine.firePing (1);
    }
    dishView.write (dish);
}

void BrivolaAudioProcessor::auditionSpecies (Species species, double pan) noexcept
{
    const int colour = std::clamp (static_cast<int> (species.colorIndex), 0, 7);
    mainEngine.releaseOneShots();
    mainEngine.startOneShot (TimbreSelectors { static_cast<int> (species.motif), colour / 2, colour % 2 }, pan);
}

bool BrivolaAudioProcessor::readLatestDishView (DishViewSlots& slots) noexcept
{
    std::int32_t live = 0;
    return dishView.read (slots, live);
}

StatisticsCounters BrivolaAudioProcessor::shownDishCounters() const noexcept
{
    return { shownMerges.load(), shownSplits.load(), shownSpawns.load(), shownDishSeconds.load() };
}

void BrivolaAudioProcessor::setSoundParamNotifyingHost (int index, double value)
{
    if (index >= 0 && index < static_cast<int> (SoundParams::count))
        parameterArray[(std::size_t) index]->setValueNotifyingHost (static_cast<float> (sanitiseParam (value)));
}

PresetPreviewStatus BrivolaAudioProcessor::presetPreviewStatus() const noexcept
{
    return { preview.pending, preview.requestedToken, preview.playing, preview.playingToken };
}

void BrivolaAudioProcessor::requestPresetPreview (const SoundParams& params, int note, int token) noexcept
{
    // The audition replaces whatever the main engine plays.
    mainEngine.gateOff();
    mainEngine.releaseAllFast();
    resetNotes();
    if (preview.playing)
    {
        previewEngine.gateOff();
        previewEngine.releaseAllFast();
    }
    requestPreview (params, note, token, false);
}

void BrivolaAudioProcessor::releasePlayingPresetPreview() noexcept
{
    previewEngine.gateOff();
    previewEngine.releaseEachAfterAttack();
}

//==============================================================================
void BrivolaAudioProcessor::setTheme (double value)
{
    if (! std::isfinite (value))
        return;
    double stored = 0.0;
    {
        const juce::ScopedLock sl (uiSettingsLock);
        themeValue = std::clamp (value, 0.0, 1.0);
        stored = themeValue;
    }
    const juce::ScopedLock sl (getCallbackLock());
    setDishTheme (dish, stored);
}

double BrivolaAudioProcessor::getTheme() const
{
    const juce::ScopedLock sl (uiSettingsLock);
    return themeValue;
}

void BrivolaAudioProcessor::setPageNumber (int page)
{
    const juce::ScopedLock sl (uiSettingsLock);
    pageNumber = std::clamp (page, 0, 2);
}

int BrivolaAudioProcessor::getPageNumber() const
{
    const juce::ScopedLock sl (uiSettingsLock);
    return pageNumber;
}

void BrivolaAudioProcessor::stirAt (double x, double y, double dx, double dy)
{
    const juce::ScopedLock sl (getCallbackLock());
    brivola::stirAt (dish, x, y, dx, dy);
}

void BrivolaAudioProcessor::setStirring (bool on)
{
    const juce::ScopedLock sl (getCallbackLock());
    brivola::setStirring (dish, on);
}

void BrivolaAudioProcessor::slosh (double dx, double dy)
{
    const juce::ScopedLock sl (getCallbackLock());
    brivola::slosh (dish, dx, dy);
}

void BrivolaAudioProcessor::rerollDish()
{
    const auto palette = collection.palette();
    auto& random = juce::Random::getSystemRandom();
    const auto choice = chooseRerollSpecies (palette, [&random] (int n) { return random.nextInt (n); });
    if (choice.count == 0)
        return;

    const juce::ScopedLock sl (getCallbackLock());
    brivola::rerollDish (dish, choice);
    afterDishRewrite (false);
}

int BrivolaAudioProcessor::advanceWhilePaused (double nowMs)
{
    if (! catchUpDue (catchUp, audioBlockCounter.load(), nowMs, isNonRealtime(), ready.load() && preparedBlockSize > 0))
        return 0;

    const juce::GenericScopedTryLock<juce::CriticalSection> tryLock (getCallbackLock());
    if (! tryLock.isLocked())
        return 0;

    const int ticks = advanceDishClock (clock, takeCatchUpSamples (catchUp, nowMs, clock.samplesPerTick));

    for (int t = 0; t < ticks; ++t)
    {
        dishStep (dish);
        collection.autoDropTick (dish);
    }
    if (ticks > 0)
        afterTickBatch (false);
    return ticks;
}

//==============================================================================
juce::AudioProcessorEditor* BrivolaAudioProcessor::createEditor()
{
    // Without prepareToPlay (a stand-alone application with no audio device, a host that opens the
    // editor first) the shared store would stay closed: open it now; the posted call then does nothing.
    runFirstMessageThreadCall();
    return new BrivolaAudioProcessorEditor (*this);
}

bool BrivolaAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    if (layouts.outputBuses.isEmpty())
        return false;
    const auto set = layouts.getMainOutputChannelSet();
    return set == juce::AudioChannelSet::mono() || set == juce::AudioChannelSet::stereo();
}

//==============================================================================
void BrivolaAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    // Copy under the locks (never both at once), encode without them.
    auto saved = std::make_unique<SavedDish>();
    {
        const juce::ScopedLock sl (getCallbackLock());
        saved->tickAccumulator = clock.accumulator;
        saved->tickCounter = clock.tickCounter;
        saved->dish = dish;
    }
    {
        const juce::ScopedLock sl (uiSettingsLock);
        saved->page = pageNumber;
        saved->theme = themeValue;
    }

    if (auto xml = stateTreeWithDish (parameters.copyState(), *saved).createXml())
        copyXmlToBinary (*xml, destData);
}

void BrivolaAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    double samplesPerTick;
    {
        const juce::ScopedLock sl (getCallbackLock());
        samplesPerTick = clock.samplesPerTick;
    }
    auto state = readHostState (data, sizeInBytes, samplesPerTick, &speciesExchange);
    if (! state)
        return;
    // A tree of another type is not a state of this plug-in.
    if (! state->parameters.hasType (parameters.state.getType()))
        return;

    state->parameters.removeProperty (hostStateDishProperty, nullptr);
    parameters.replaceState (state->parameters);

    auto restored = std::move (state->dish);
    if (restored == nullptr)
        return;

    {
        const juce::ScopedLock sl (uiSettingsLock);
        pageNumber = std::clamp (restored->page, 0, 2);
        themeValue = std::clamp (restored->theme, 0.0, 1.0);
    }

    const juce::ScopedLock sl (getCallbackLock());
    if (restored->clockAccepted)
    {
        clock.accumulator = restored->tickAccumulator;
        clock.tickCounter = restored->tickCounter;
    }
    dish = restored->dish;
    dish.exchange = &speciesExchange;
    dishSeeded.exchange (true);
    shownMerges = dish.mergeCount;
    shownSplits = dish.splitCount;
    shownSpawns = dish.spawnCount;
    shownDishSeconds = static_cast<double> (clock.tickCounter) / 60.0;
    collection.restoreStatisticsBaseline (shownDishCounters());
    afterDishRewrite (false);
}

} // namespace brivola

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new brivola::BrivolaAudioProcessor();
}
