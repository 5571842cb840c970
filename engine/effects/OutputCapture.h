#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace brivola
{

/** What the audio thread leaves for the page's scope and level meters.

    The scope ring holds the last 4096 mono output samples; the audio thread appends, the message
    thread reads without a lock (it may see one sample being replaced). Each of the 24 voice meters
    is only ever raised by the audio thread (compare-and-swap) and taken by the reader (exchange
    with 0), so no peak is lost between two reads. All shared values are atomics with relaxed
    order, except the write position, which is published with release order after the samples. */
class OutputCapture
{
public:
    static constexpr std::size_t scopeSize = 4096;
    static constexpr std::size_t voiceSlots = 24;

    OutputCapture() = default;
    OutputCapture (const OutputCapture&) = delete;
    OutputCapture& operator= (const OutputCapture&) = delete;

    //==============================================================================
    /** From prepareToPlay: clears the ring, sets the write position to 0, stores the validated
        rate and counts the preparation. */
    void prepare (double sampleRate) noexcept;

    /** Turns scope capture on or off (page, releaseResources, editor closing). */
    void setCaptureEnabled (bool on) noexcept { captureOn.store (on, std::memory_order_relaxed); }

    /** Audio thread, once per chunk after the effects: when capture is on, appends
        (left + right) × 0.5 of every sample as a float. */
    void captureScope (const double* left, const double* right, std::size_t numSamples) noexcept;

    /** Audio thread, after each batch of dish ticks. For each slot: stores the cell id (-1 for a
        free voice) and raises the meter to peak × √max(activeCellCount, 1) (non-finite → 0). The
        caller takes each voice's peak and resets it to 0. */
    void updateVoiceMeters (std::span<const double, voiceSlots> peaks, std::span<const std::int32_t, voiceSlots> cellIds,
                            int activeCellCount) noexcept;

    //==============================================================================
    /** True while scope capture is on. */
    bool captureEnabled() const noexcept { return captureOn.load (std::memory_order_relaxed); }
    /** Ring sample i (0..4095). */
    float scopeSample (std::size_t i) const noexcept { return scope[i % scopeSize].load (std::memory_order_relaxed); }
    /** Where the next sample goes, 0..4095. */
    std::uint64_t scopeWritePosition() const noexcept { return writePosition.load (std::memory_order_acquire); }
    /** 1 at construction, +1 per prepare. */
    std::uint32_t prepareCount() const noexcept { return prepareCounter.load (std::memory_order_acquire); }
    /** The rate of the last prepare (44100 before the first). */
    double preparedSampleRate() const noexcept { return sampleRate.load (std::memory_order_relaxed); }
    /** Takes the meter of a slot: returns the accumulated peak and leaves 0. */
    float takeVoiceMeter (std::size_t slot) noexcept { return meters[slot].exchange (0.0f, std::memory_order_relaxed); }
    /** The cell id last seen in a slot (-1 for a free voice, 0 before the first update). */
    std::int32_t cellId (std::size_t slot) const noexcept { return ids[slot].load (std::memory_order_relaxed); }

private:
    std::array<std::atomic<float>, scopeSize> scope {};
    std::atomic<std::uint64_t> writePosition { 0 };
    std::atomic<bool> captureOn { false };
    std::atomic<std::uint32_t> prepareCounter { 1 };
    std::atomic<double> sampleRate { 44100.0 };
    std::array<std::atomic<float>, voiceSlots> meters {};
    std::array<std::atomic<std::int32_t>, voiceSlots> ids {};
};

} // namespace brivola
