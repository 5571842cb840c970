#include "plugin/PluginProcessor.h"

#include "dish/DishStep.h"
#include "dish/Pipette.h"
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
    heldNotes.fill (0);
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
            if (maxBlock != mainWork.capacity || mainWork.left.empty() || auxWork.left.empty())
            {
                allocateStereo (mainWork, maxBlock);
                allocateStereo (auxWork, maxBlock);
            }
            preparedSampleRate = rate;
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
        dishView.write (dish);

        ready = true;
        brivola::setStirring (dish, false);
        clearNotesAndPedal();
    }

    if (! firstPreparePosted.exchange (true))
    {
        std::weak_ptr<AsyncOwner> unused;
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

    sharedDataRefreshRequest = true;
    timerCallback();
    startTimer (1000);
}

void BrivolaAudioProcessor::timerCallback()
{
    sharedDataRefreshRequest = false;
}

void BrivolaAudioProcessor::releaseResources()
{
    const juce::ScopedLock sl (getCallbackLock());
    if (! ready.load())
        return;

    brivola::setStirring (dish, false);
    clearNotesAndPedal();
    ready = false;
    preparedBlockSize = 0;
}

void BrivolaAudioProcessor::reset()
{
    const juce::ScopedLock sl (getCallbackLock());
    brivola::setStirring (dish, false);
    clearNotesAndPedal();
}

void BrivolaAudioProcessor::clearNotesAndPedal() noexcept
{
    heldCount = 0;
    sustainDown = false;
    keyboardNote = -1;
    currentNote = -1;
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

    auto nextEvent = midi.cbegin();
    const auto endEvent = midi.cend();
    const int total = buffer.getNumSamples();

    for (int offset = 0; offset < total; offset += preparedBlockSize)
        renderChunk (buffer, offset, std::min (preparedBlockSize, total - offset), nextEvent, endEvent);

    // Events at or past the buffer's end still act, so no note-off is lost.
    for (; nextEvent != endEvent; ++nextEvent)
    {
        const auto event = *nextEvent;
        if (event.numBytes <= 3)
            handleMidiEvent (event.getMessage());
    }
}

void BrivolaAudioProcessor::renderChunk (juce::AudioBuffer<float>& buffer, int offset, int length,
                                         juce::MidiBufferIterator& nextEvent, juce::MidiBufferIterator endEvent) noexcept
{
    const int chunkEnd = offset + length;
    int position = offset;

    while (position < chunkEnd)
    {
        while (nextEvent != endEvent && (*nextEvent).samplePosition <= position)
        {
            const auto event = *nextEvent;
            if (event.numBytes <= 3)
                handleMidiEvent (event.getMessage());
            ++nextEvent;
        }

        int end = chunkEnd;
        if (nextEvent != endEvent)
            end = std::min (end, (*nextEvent).samplePosition);
        const int len = std::min (end - position, samplesUntilTick (clock));

        position += len;
        if (const int ticks = advanceDishClock (clock, len); ticks > 0)
            runDishTicks (ticks);
    }

    const int channels = buffer.getNumChannels();
    if (channels == 1)
    {
        auto* out = buffer.getWritePointer (0, offset);
        for (int i = 0; i < length; ++i)
            out[i] = static_cast<float> ((mainWork.left[(size_t) i] + mainWork.right[(size_t) i]) * 0.5);
    }
    else if (channels >= 2)
    {
        auto* outL = buffer.getWritePointer (0, offset);
        auto* outR = buffer.getWritePointer (1, offset);
        for (int i = 0; i < length; ++i)
        {
            outL[i] = static_cast<float> (mainWork.left[(size_t) i]);
            outR[i] = static_cast<float> (mainWork.right[(size_t) i]);
        }
    }
}

void BrivolaAudioProcessor::runDishTicks (int ticks) noexcept
{
    for (int t = 0; t < ticks; ++t)
        dishStep (dish);
    afterTickBatch (true);
}

void BrivolaAudioProcessor::afterTickBatch (bool fromAudio) noexcept
{
    if (! fromAudio)
        dish.arrivalQueue.arrivals = 0;

    shownMerges = dish.mergeCount;
    shownSplits = dish.splitCount;
    shownSpawns = dish.spawnCount;
    shownDishSeconds = static_cast<double> (clock.tickCounter) / 60.0;
    dishView.write (dish);
}

void BrivolaAudioProcessor::afterDishChange() noexcept
{
    dishView.write (dish);
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
    pageNumber = page;
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
    const auto palette = pipettePalette (plainColorMask, speciesExchange);
    auto& random = juce::Random::getSystemRandom();
    const auto choice = chooseRerollSpecies (palette, [&random] (int n) { return random.nextInt (n); });
    if (choice.count == 0)
        return;

    const juce::ScopedLock sl (getCallbackLock());
    brivola::rerollDish (dish, choice);
    afterDishChange();
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
        dishStep (dish);
    if (ticks > 0)
        afterTickBatch (false);
    return ticks;
}

void BrivolaAudioProcessor::handleMidiEvent (const juce::MidiMessage& message) noexcept
{
    if (message.isNoteOn())
    {
        if (bypassInProgress)
            return;
        currentNote = message.getNoteNumber();
    }
    else if (message.isNoteOff())
    {
        if (currentNote.load() == message.getNoteNumber())
            currentNote = -1;
    }
}

//==============================================================================
juce::AudioProcessorEditor* BrivolaAudioProcessor::createEditor()
{
    return new juce::GenericAudioProcessorEditor (*this);
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
    afterDishChange();
}

} // namespace brivola

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new brivola::BrivolaAudioProcessor();
}
