#include "engine/effects/OutputCapture.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

using namespace brivola;

namespace
{
struct Meters : ::testing::Test
{
    std::unique_ptr<OutputCapture> capture = std::make_unique<OutputCapture>();
    std::array<double, 24> peaks {};
    std::array<std::int32_t, 24> ids {};

    void batch (double peakOfSlot3, int cells)
    {
        peaks.fill (0.0);
        ids.fill (-1);
        peaks[3] = peakOfSlot3;
        ids[3] = 77;
        capture->updateVoiceMeters (peaks, ids, cells);
    }
};
} // namespace

TEST_F (Meters, PeaksAccumulateBetweenReadsAndAReadTakesThem)
{
    batch (0.2, 1);
    batch (0.5, 1);
    batch (0.3, 1);
    EXPECT_FLOAT_EQ (capture->takeVoiceMeter (3), 0.5f);
    EXPECT_EQ (capture->takeVoiceMeter (3), 0.0f);
    EXPECT_EQ (capture->cellId (3), 77);
    EXPECT_EQ (capture->cellId (4), -1);
    EXPECT_EQ (capture->takeVoiceMeter (4), 0.0f);
}

TEST_F (Meters, PeakIsScaledByTheRootOfTheActiveCellCount)
{
    struct Case
    {
        int cells;
        double peak, shown;
    };
    for (const Case& c : { Case { 9, 0.1, 0.3 }, Case { 0, 0.4, 0.4 }, Case { 4, 0.25, 0.5 }, Case { 24, 0.0, 0.0 } })
    {
        batch (c.peak, c.cells);
        EXPECT_FLOAT_EQ (capture->takeVoiceMeter (3), static_cast<float> (c.shown)) << c.cells;
    }
}

TEST_F (Meters, NonFinitePeakReadsAsZero)
{
    batch (std::numeric_limits<double>::quiet_NaN(), 1);
    EXPECT_EQ (capture->takeVoiceMeter (3), 0.0f);
    batch (std::numeric_limits<double>::infinity(), 1);
    EXPECT_EQ (capture->takeVoiceMeter (3), 0.0f);
}

TEST (Scope, CapturesTheMonoMixOnlyWhileOnAndWrapsAround)
{
    auto capture = std::make_unique<OutputCapture>();
    std::vector<double> l (5000), r (5000);
    for (std::size_t i = 0; i < l.size(); ++i)
    {
        l[i] = static_cast<double> (i);
        r[i] = 1.0;
    }

    capture->captureScope (l.data(), r.data(), 100); // off at construction
    EXPECT_EQ (capture->scopeWritePosition(), 0u);
    EXPECT_EQ (capture->scopeSample (0), 0.0f);

    capture->setCaptureEnabled (true);
    capture->captureScope (l.data(), r.data(), 10);
    EXPECT_EQ (capture->scopeWritePosition(), 10u);
    EXPECT_EQ (capture->scopeSample (9), 5.0f);

    capture->setCaptureEnabled (false);
    capture->captureScope (l.data() + 100, r.data(), 50);
    EXPECT_EQ (capture->scopeWritePosition(), 10u);
    EXPECT_EQ (capture->scopeSample (10), 0.0f);
    EXPECT_EQ (capture->scopeSample (9), 5.0f);

    // Turning it back on keeps the old contents until they are overwritten; the ring wraps.
    capture->setCaptureEnabled (true);
    capture->captureScope (l.data(), r.data(), 4090);
    EXPECT_EQ (capture->scopeWritePosition(), 4u);
    EXPECT_EQ (capture->scopeSample (3), (4089.0f + 1.0f) * 0.5f);
    EXPECT_EQ (capture->scopeSample (4), 2.5f);  // from the first capture
    EXPECT_EQ (capture->scopeSample (10), 0.5f); // first sample of this one
}

TEST (Scope, PrepareClearsTheRingAndCountsPreparations)
{
    auto capture = std::make_unique<OutputCapture>();
    EXPECT_EQ (capture->prepareCount(), 1u);
    EXPECT_EQ (capture->preparedSampleRate(), 44100.0);
    capture->setCaptureEnabled (true);
    const double one = 1.0;
    capture->captureScope (&one, &one, 1);

    capture->prepare (96000.0);
    EXPECT_EQ (capture->prepareCount(), 2u);
    EXPECT_EQ (capture->preparedSampleRate(), 96000.0);
    EXPECT_EQ (capture->scopeWritePosition(), 0u);
    EXPECT_EQ (capture->scopeSample (0), 0.0f);
}
