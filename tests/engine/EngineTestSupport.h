#pragma once

#include "dish/Dish.h"
#include "engine/SynthEngine.h"
#include "engine/dsp/Fft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace brivola::test
{

/** A live cell of a species at a position. */
inline Cell liveCell (std::int32_t id, int motif = -1, int colour = 0, double mass = 1.0, double x = 0.0, double y = 0.0)
{
    Cell c;
    c.id = id;
    c.active = true;
    c.motif = motif;
    c.colorGroup = colour / 2;
    c.colorVariant = colour % 2;
    c.mass = mass;
    c.x = x;
    c.y = y;
    return c;
}

/** A voice wired to real wavetables and noise tables, outside an engine. */
struct VoiceRig
{
    std::shared_ptr<const WaveTableBundle> bundle;
    std::vector<double> noise1, noise2;
    EngineVoice voice;

    explicit VoiceRig (double sampleRate = 44100.0) : bundle (obtainBundle (sampleRate))
    {
        makePinkNoiseTables (sampleRate, noise1, noise2);
        allocateVoiceBuffers (voice, sampleRate);
        voice.bundle = bundle.get();
        voice.noise1 = noise1.data();
        voice.noise2 = noise2.data();
        voice.noiseLength = noise1.size();
        voice.lowPass.setCutoff (std::min (0.45 * sampleRate, 20000.0), sampleRate);
    }

    /** Configures the voice for a species; returns it. */
    EngineVoice& configure (int motif, int colour, double frequency, std::int32_t id = 7)
    {
        configureVoice (voice, TimbreSelectors { motif, colour / 2, colour % 2 }, id, frequency);
        return voice;
    }
};

/** Renders an engine's slot voices into two fresh channels. */
struct StereoBlock
{
    std::vector<double> left, right;

    explicit StereoBlock (std::size_t n = 0) : left (n, 0.0), right (n, 0.0) {}

    double peak() const
    {
        double p = 0.0;
        for (std::size_t i = 0; i < left.size(); ++i)
            p = std::max ({ p, std::abs (left[i]), std::abs (right[i]) });
        return p;
    }
};

inline StereoBlock renderEngine (SynthEngine& engine, int n)
{
    StereoBlock b (static_cast<std::size_t> (n));
    engine.render (b.left.data(), b.right.data(), n);
    return b;
}

/** Magnitude spectrum in dB (bins 0..N/2) under a 7-term Blackman-Harris window, whose side lobes lie
    far below anything measured here. The length must be a power of two. */
inline std::vector<double> spectrumDb (const std::vector<double>& x)
{
    const std::size_t n = x.size();
    constexpr double a[7] = { 0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
                              0.01081174209837, 0.00077658482522, 0.00001388721735 };
    Fft fft (n, Fft::Kind::real);
    for (std::size_t i = 0; i < n; ++i)
    {
        const double t = 2.0 * 3.141592653589793 * static_cast<double> (i) / static_cast<double> (n);
        double w = 0.0;
        for (int k = 0; k < 7; ++k)
            w += (k % 2 == 0 ? 1.0 : -1.0) * a[k] * std::cos (k * t);
        fft.real()[i] = x[i] * w;
    }
    fft.forward();
    std::vector<double> db (n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k)
        db[k] = 20.0 * std::log10 (std::abs (fft.spectrum()[k]) + 1e-300);
    return db;
}

/** Largest value of a spectrum within +-width bins of a frequency. */
inline double peakNear (const std::vector<double>& db, double frequency, double sampleRate, std::size_t fftSize, int width)
{
    const auto centre = static_cast<long> (std::lround (frequency * static_cast<double> (fftSize) / sampleRate));
    double best = -1e300;
    for (long k = centre - width; k <= centre + width; ++k)
        if (k >= 0 && k < static_cast<long> (db.size()))
            best = std::max (best, db[static_cast<std::size_t> (k)]);
    return best;
}

} // namespace brivola::test
