#include "engine/WaveTables.h"

#include "engine/dsp/Fft.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace brivola
{

namespace
{

constexpr double pi = 3.141592653589793;
constexpr std::size_t normalisationSize = 4096;
constexpr std::size_t tableLengthCap = 8192;

// Shortest table length per harmonic of the limit (before the cap). The 4-point cubic read images
// every harmonic k of a table of length L to L - k, L + k, ... times the note; those images fold back
// below half the sample rate at roughly (k / L)^4 of the harmonic's level. With 8 samples per harmonic
// a bright spectrum (the "star" additive timbres, narrow pulses) shows folded images at about -58 dB
// relative to its fundamental at high notes (64 would push them below -100 dB at twice the memory).
constexpr std::size_t samplesPerHarmonic = 8;

/** Real inverse transforms by size, planned once per bundle build. */
class FftPool
{
public:
    Fft& get (std::size_t size)
    {
        for (auto& f : ffts)
            if (f.size() == size)
                return f;
        ffts.emplace_back (size, Fft::Kind::real);
        return ffts.back();
    }

private:
    std::vector<Fft> ffts;
};

/** Inverse transform of harmonics 1..limit with bins scaled by the transform length; leaves the
    waveform in fft.real(). */
void synthesise (Fft& fft, const HarmonicSpectrum& s, int limit)
{
    const std::size_t n = fft.size();
    const double scale = 0.5 * static_cast<double> (n);
    auto* bins = fft.spectrum();
    for (std::size_t k = 0; k <= n / 2; ++k)
        bins[k] = {};
    const int top = std::min ({ limit, static_cast<int> (s.sine.size()) - 1, static_cast<int> (n / 2) - 1 });
    for (int k = 1; k <= top; ++k)
        bins[k] = { s.cosine[static_cast<std::size_t> (k)] * scale, -s.sine[static_cast<std::size_t> (k)] * scale };
    fft.inverse();
}

double normalisingGainWith (FftPool& pool, const HarmonicSpectrum& s)
{
    auto& fft = pool.get (normalisationSize);
    synthesise (fft, s, std::min (s.highest(), maxNamedHarmonic));
    double peak = 0.0;
    for (std::size_t i = 0; i < normalisationSize; ++i)
        peak = std::max (peak, std::abs (fft.real()[i]));
    return peak > 0.0 ? 1.0 / peak : 1.0;
}

WaveTableSet buildTableSetWith (FftPool& pool, const HarmonicSpectrum& s, double sampleRate)
{
    WaveTableSet set;
    set.normalisingGain = normalisingGainWith (pool, s);
    const int highest = s.highest();

    for (int level = 0; level < waveTableLevelCount; ++level)
    {
        const double bandTop = 8.0 * std::pow (2.0, (level + 1) / 12.0);
        const double fit = std::floor ((sampleRate / 2.0) / bandTop);
        const int limit = std::max (0, fit >= highest ? highest : static_cast<int> (fit));

        const auto found = std::find (set.harmonicLimits.begin(), set.harmonicLimits.end(), limit);
        if (found != set.harmonicLimits.end())
        {
            set.levelMap[static_cast<std::size_t> (level)] = static_cast<std::uint16_t> (found - set.harmonicLimits.begin());
            continue;
        }

        std::size_t length = 64;
        while (length < samplesPerHarmonic * static_cast<std::size_t> (std::max (limit, 1)))
            length *= 2;
        length = std::min (length, tableLengthCap);
        while (length < 2 * static_cast<std::size_t> (limit) + 2)
            length *= 2;

        auto& fft = pool.get (length);
        synthesise (fft, s, limit);
        std::vector<double> table (length);
        for (std::size_t i = 0; i < length; ++i)
            table[i] = fft.real()[i] * set.normalisingGain;

        set.levelMap[static_cast<std::size_t> (level)] = static_cast<std::uint16_t> (set.tables.size());
        set.tables.push_back (std::move (table));
        set.harmonicLimits.push_back (limit);
    }
    return set;
}

/** A waveform name with the phase offsets its readers need, in first-seen order. */
struct WaveformUse
{
    std::string name;
    std::vector<double> offsets;
};

void addUse (std::vector<WaveformUse>& uses, std::string_view name, double offset)
{
    auto it = std::find_if (uses.begin(), uses.end(), [&] (const WaveformUse& u) { return u.name == name; });
    if (it == uses.end())
    {
        uses.push_back ({ std::string (name), {} });
        it = uses.end() - 1;
    }
    if (std::find (it->offsets.begin(), it->offsets.end(), offset) == it->offsets.end())
        it->offsets.push_back (offset);
}

std::string customKey (const Timbre& t) { return std::string (t.motif) + "/" + t.colour; }

const WaveTableSet* findSet (const std::map<std::string, WaveTableSet, std::less<>>& sets, std::string_view key)
{
    const auto it = sets.find (key);
    return it == sets.end() ? nullptr : &it->second;
}

void buildInto (WaveTableBundle& bundle, double sampleRate)
{
    bundle.sampleRate = sampleRate;
    FftPool pool;
    const auto& timbres = timbreTable();

    std::vector<WaveformUse> uses;
    for (const auto& t : timbres)
    {
        switch (t.type)
        {
            case TimbreType::unison:
            {
                const int n = unisonOscillatorCount (t.count);
                for (int j = 0; j < n; ++j)
                    addUse (uses, t.waveform, unisonPhaseOffset (j, n));
                break;
            }
            case TimbreType::frequencyModulation:
                addUse (uses, t.carrier, 0.0);
                addUse (uses, t.modulator, 0.0);
                break;
            case TimbreType::pulse:
                addUse (uses, "sawtooth", 0.0);
                addUse (uses, "sawtooth", pulsePhaseOffset (t.pulseWidth));
                break;
            case TimbreType::additive:
            {
                auto key = customKey (t);
                if (bundle.custom.find (key) == bundle.custom.end())
                {
                    const auto spectrum = sineSpectrum (t.harmonics.data(), std::clamp (t.harmonicCount, 0, 16));
                    bundle.custom.emplace (std::move (key), buildTableSetWith (pool, spectrum, sampleRate));
                }
                break;
            }
            case TimbreType::pluck:
                break;
        }
    }

    for (const auto& use : uses)
    {
        const auto spectrum = namedSpectrum (use.name);
        if (! spectrum)
            continue;
        auto set = buildTableSetWith (pool, *spectrum, sampleRate);
        for (const double offset : use.offsets)
        {
            if (offset == 0.0)
            {
                set.offsetGains.emplace_back (0.0, 1.0);
                continue;
            }
            const double shiftedGain = normalisingGainWith (pool, *namedSpectrum (use.name, offset));
            set.offsetGains.emplace_back (offset, shiftedGain / set.normalisingGain);
        }
        bundle.named.emplace (use.name, std::move (set));
    }

    for (std::size_t i = 0; i < timbres.size(); ++i)
    {
        const auto& t = timbres[i];
        auto& refs = bundle.timbreTables[i];
        switch (t.type)
        {
            case TimbreType::unison: refs.first = findSet (bundle.named, t.waveform); break;
            case TimbreType::frequencyModulation:
                refs.first = findSet (bundle.named, t.carrier);
                refs.second = findSet (bundle.named, t.modulator);
                break;
            case TimbreType::pulse: refs.first = findSet (bundle.named, "sawtooth"); break;
            case TimbreType::additive: refs.first = findSet (bundle.custom, customKey (t)); break;
            case TimbreType::pluck: break;
        }
    }
}

std::mutex& cacheMutex()
{
    static std::mutex m;
    return m;
}

std::map<double, std::weak_ptr<const WaveTableBundle>>& cache()
{
    static std::map<double, std::weak_ptr<const WaveTableBundle>> c;
    return c;
}

} // namespace

//==============================================================================
int HarmonicSpectrum::highest() const noexcept
{
    for (std::size_t k = sine.size(); k-- > 1;)
        if (sine[k] != 0.0 || cosine[k] != 0.0)
            return static_cast<int> (k);
    return 0;
}

std::optional<HarmonicSpectrum> namedSpectrum (std::string_view name, double phaseOffset)
{
    const auto digits = name.find_first_of ("0123456789");
    const auto base = name.substr (0, digits);
    int count = 0;
    if (digits != std::string_view::npos)
    {
        const auto number = name.substr (digits);
        if (number.size() > 6 || number.find_first_not_of ("0123456789") != std::string_view::npos)
            return std::nullopt;
        for (const char c : number)
            count = count * 10 + (c - '0');
    }

    enum class Shape { sine, sawtooth, square, triangle } shape;
    if (base == "sine")
        shape = Shape::sine;
    else if (base == "sawtooth")
        shape = Shape::sawtooth;
    else if (base == "square")
        shape = Shape::square;
    else if (base == "triangle")
        shape = Shape::triangle;
    else
        return std::nullopt;

    const int top = count > 0 ? count : maxNamedHarmonic;
    HarmonicSpectrum s;
    s.cosine.assign (static_cast<std::size_t> (top) + 1, 0.0);
    s.sine.assign (static_cast<std::size_t> (top) + 1, 0.0);

    for (int k = 1; k <= top; ++k)
    {
        const double kd = static_cast<double> (k);
        double a = 0.0;
        switch (shape)
        {
            case Shape::sine: a = k == 1 ? 1.0 : 0.0; break;
            case Shape::sawtooth: a = (k % 2 == 1 ? 2.0 : -2.0) / (kd * pi); break;
            case Shape::square: a = k % 2 == 1 ? 4.0 / (kd * pi) : 0.0; break;
            case Shape::triangle:
                a = k % 2 == 1 ? (k % 4 == 1 ? 8.0 : -8.0) / (kd * kd * pi * pi) : 0.0;
                break;
        }
        if (a == 0.0)
            continue;
        const auto i = static_cast<std::size_t> (k);
        if (phaseOffset == 0.0)
        {
            s.sine[i] = a;
        }
        else
        {
            s.cosine[i] = -a * std::sin (kd * phaseOffset);
            s.sine[i] = a * std::cos (kd * phaseOffset);
        }
    }
    return s;
}

HarmonicSpectrum sineSpectrum (const double* amplitudes, int count)
{
    HarmonicSpectrum s;
    const auto n = static_cast<std::size_t> (std::max (count, 0));
    s.cosine.assign (n + 1, 0.0);
    s.sine.assign (n + 1, 0.0);
    for (std::size_t k = 1; k <= n; ++k)
        s.sine[k] = amplitudes[k - 1];
    return s;
}

double normalisingGain (const HarmonicSpectrum& spectrum)
{
    FftPool pool;
    return normalisingGainWith (pool, spectrum);
}

WaveTableSet buildTableSet (const HarmonicSpectrum& spectrum, double sampleRate)
{
    FftPool pool;
    return buildTableSetWith (pool, spectrum, sampleRate);
}

const std::vector<double>& WaveTableSet::tableForLevel (int level) const noexcept
{
    const int l = std::clamp (level, 0, waveTableLevelCount - 1);
    return tables[levelMap[static_cast<std::size_t> (l)]];
}

double WaveTableSet::offsetGain (double phaseOffset) const noexcept
{
    if (phaseOffset == 0.0)
        return 1.0;
    for (const auto& [offset, gain] : offsetGains)
        if (offset == phaseOffset)
            return gain;
    return 1.0;
}

std::size_t WaveTableBundle::memoryBytes() const noexcept
{
    std::size_t bytes = sizeof (WaveTableBundle);
    const auto add = [&bytes] (const auto& sets) {
        for (const auto& [key, set] : sets)
        {
            bytes += key.capacity() + sizeof (set) + 64; // key, set and the map node around them
            for (const auto& t : set.tables)
                bytes += t.capacity() * sizeof (double) + sizeof (t);
            bytes += set.harmonicLimits.capacity() * sizeof (int);
            bytes += set.offsetGains.capacity() * sizeof (std::pair<double, double>);
        }
    };
    add (named);
    add (custom);
    return bytes;
}

std::shared_ptr<const WaveTableBundle> buildWaveTableBundle (double sampleRate)
{
    auto bundle = std::make_shared<WaveTableBundle>();
    buildInto (*bundle, sampleRate);
    return bundle;
}

std::shared_ptr<const WaveTableBundle> obtainBundle (double sampleRate)
{
    const std::lock_guard<std::mutex> lock (cacheMutex());
    auto& entries = cache();

    if (const auto it = entries.find (sampleRate); it != entries.end())
        if (auto live = it->second.lock())
            return live;

    // Forget entries whose bundles are gone, then remember the new one.
    std::erase_if (entries, [] (const auto& entry) { return entry.second.expired(); });
    auto bundle = buildWaveTableBundle (sampleRate);
    entries[sampleRate] = bundle;
    return bundle;
}

int waveTableLevel (double frequency) noexcept
{
    if (! (frequency > 8.0))
        return 0;
    const double level = std::floor (12.0 * std::log2 (frequency / 8.0));
    return level >= 143.0 ? 143 : static_cast<int> (level);
}

} // namespace brivola
