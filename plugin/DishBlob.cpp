#include "plugin/DishBlob.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace brivola
{

namespace
{
//==============================================================================
class BlobWriter
{
public:
    explicit BlobWriter (std::size_t reserve) { bytes.reserve (reserve); }

    void i32 (std::int32_t v) { put (static_cast<std::uint32_t> (v), 4); }
    void flag (bool v) { i32 (v ? 1 : 0); }
    void u64 (std::uint64_t v) { put (v, 8); }
    void f64 (double v)
    {
        std::uint64_t bits;
        std::memcpy (&bits, &v, 8);
        put (bits, 8);
    }

    template <std::size_t N>
    void deck (const ShuffleDeck<N>& d)
    {
        i32 (static_cast<std::int32_t> (d.n));
        i32 (static_cast<std::int32_t> (d.r));
        for (auto item : d.items)
            i32 (static_cast<std::int32_t> (item));
    }

    std::vector<std::uint8_t> bytes;

private:
    void put (std::uint64_t v, int count)
    {
        for (int i = 0; i < count; ++i)
            bytes.push_back (static_cast<std::uint8_t> (v >> (8 * i)));
    }
};

/** Reads little-endian fields; a field that does not fit reads as 0 and marks the read failed. */
class BlobReader
{
public:
    BlobReader (const std::uint8_t* d, std::size_t s) : data (d), size (s) {}

    std::int32_t i32() { return static_cast<std::int32_t> (static_cast<std::uint32_t> (get (4))); }
    bool flag() { return i32() != 0; }
    std::uint64_t u64() { return get (8); }
    double f64()
    {
        const std::uint64_t bits = get (8);
        double v;
        std::memcpy (&v, &bits, 8);
        return v;
    }

    std::size_t remaining() const noexcept { return size - pos; }
    bool failed = false;

private:
    std::uint64_t get (std::size_t count)
    {
        if (size - pos < count)
        {
            failed = true;
            pos = size;
            return 0;
        }
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < count; ++i)
            v |= static_cast<std::uint64_t> (data[pos + i]) << (8 * i);
        pos += count;
        return v;
    }

    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
};

constexpr double largestFloat = 3.4028234663852886e38;
constexpr std::int32_t largestId = 16777215;
constexpr std::uint64_t below2to63 = std::uint64_t (1) << 63;

bool finiteWithin (double v, double limit) noexcept { return std::isfinite (v) && std::abs (v) <= limit; }
bool between (double v, double lo, double hi) noexcept { return std::isfinite (v) && v >= lo && v <= hi; }

std::uint64_t limitCount (std::int32_t v, std::int32_t hi) noexcept { return static_cast<std::uint64_t> (std::clamp (v, 0, hi)); }

template <std::size_t N>
void readDeck (BlobReader& in, ShuffleDeck<N>& d, std::int32_t itemMax)
{
    d.n = limitCount (in.i32(), static_cast<std::int32_t> (N));
    d.r = std::min<std::uint64_t> (limitCount (in.i32(), static_cast<std::int32_t> (N)), d.n);
    for (auto& item : d.items)
        item = limitCount (in.i32(), itemMax);
}

template <std::size_t N>
bool deckIsConsistent (const ShuffleDeck<N>& d) noexcept
{
    if (d.r > d.n || d.n > N)
        return false;
    for (std::uint64_t k = 0; k < d.r; ++k)
        if (d.items[k] >= d.n)
            return false;
    return true;
}

void writeCell (BlobWriter& out, const Cell& c)
{
    out.i32 (c.id);
    out.flag (c.active);
    for (double v : { c.x, c.y, c.vx, c.vy, c.angle, c.spin, c.mass, c.stirEnergy, c.mergeCharge, c.splitCharge })
        out.f64 (v);
    out.flag (c.dying);
    out.i32 (c.colorGroup);
    out.i32 (c.colorVariant);
    out.i32 (c.motif);
    out.f64 (c.bornAt);
    out.flag (c.splitBorn);
    out.flag (c.splitThisTick);
    out.flag (c.founder);
    out.flag (c.founderSplitDone);
    out.f64 (c.founderSince);
    out.f64 (c.dieAt);
}

void readCell (BlobReader& in, Cell& c)
{
    c.id = in.i32();
    c.active = in.flag();
    for (double* v : { &c.x, &c.y, &c.vx, &c.vy, &c.angle, &c.spin, &c.mass, &c.stirEnergy, &c.mergeCharge, &c.splitCharge })
        *v = in.f64();
    c.dying = in.flag();
    c.colorGroup = in.i32();
    c.colorVariant = in.i32();
    c.motif = in.i32();
    c.bornAt = in.f64();
    c.splitBorn = in.flag();
    c.splitThisTick = in.flag();
    c.founder = in.flag();
    c.founderSplitDone = in.flag();
    c.founderSince = in.f64();
    c.dieAt = in.f64();
    // Drawing and sound state that is not saved.
    c.proximity = 0.0;
    c.flash = 0.0;
    c.launched = false;
}

bool cellIsValid (const Cell& c) noexcept
{
    if (c.id < -1 || c.id > largestId)
        return false;
    for (double v : { c.x, c.y, c.vx, c.vy, c.angle })
        if (! finiteWithin (v, largestFloat))
            return false;
    if (! (std::abs (c.spin) <= 0.01))
        return false;
    for (double v : { c.mass, c.stirEnergy, c.mergeCharge, c.splitCharge, c.bornAt, c.founderSince, c.dieAt })
        if (! std::isfinite (v))
            return false;
    if (! c.active)
        return true;
    return c.mass >= 1.0 && c.mass <= 15.0 && c.stirEnergy >= 0.0 && c.stirEnergy <= 1.0
        && c.mergeCharge >= 0.0 && c.splitCharge >= 0.0
        && c.colorGroup >= 0 && c.colorGroup <= 3 && c.colorVariant >= 0 && c.colorVariant <= 1
        && c.motif >= -1 && c.motif <= 14;
}

bool entryIsValid (const PendingCell& e) noexcept
{
    return e.motif >= -1 && e.motif <= 14 && e.colour >= -1 && e.colour <= 7
        && finiteWithin (e.x, largestFloat) && finiteWithin (e.y, largestFloat)
        && between (e.mass, 1.0, 15.0) && e.id >= -1 && e.id <= largestId;
}
} // namespace

//==============================================================================
std::vector<std::uint8_t> encodeDishBlob (const SavedDish& saved)
{
    const Dish& d = saved.dish;
    BlobWriter out (dishBlobSize);

    out.i32 (dishBlobVersion);
    out.i32 (saved.page);
    out.f64 (saved.theme);
    out.i32 (0);
    out.f64 (saved.tickAccumulator);
    out.u64 (saved.tickCounter);
    out.i32 (static_cast<std::int32_t> (dishCapacity));
    for (const auto& c : d.cells)
        writeCell (out, c);

    out.deck (d.colorGroupDeck);
    for (const auto& deck : d.colorVariantDecks)
        out.deck (deck);
    out.u64 (d.ticks);
    out.u64 (d.mergeCount);
    out.u64 (d.splitCount);
    out.u64 (d.spawnCount);
    out.f64 (d.lastBirthAt);
    out.i32 (static_cast<std::int32_t> (d.rngState));
    out.f64 (d.mutationClock);
    out.flag (d.mutationToParent);
    out.deck (d.motifDeck);
    out.deck (d.discoveredDeck);
    out.i32 (d.discoveredGeneration);
    out.i32 (d.discoveredCount);
    for (auto s : d.discoveredList)
        out.i32 (s);
    out.i32 (d.nextId);
    out.f64 (0.0);
    out.f64 (0.0);
    out.f64 (d.activity);
    out.f64 (d.lastBounceSpeed);
    out.i32 (0);

    const auto& q = d.arrivalQueue;
    out.i32 (q.count);
    out.i32 (q.nextIndex);
    out.f64 (q.dueAt);
    out.i32 (q.seedSequence);
    for (const auto& e : q.entries)
    {
        out.i32 (e.motif);
        out.i32 (e.colour);
        out.f64 (e.x);
        out.f64 (e.y);
        out.f64 (e.mass);
        out.flag (e.launch);
    }
    out.i32 (d.launchCounter);
    out.f64 (q.interval);
    for (const auto& e : q.entries)
        out.i32 (e.id);

    return std::move (out.bytes);
}

std::unique_ptr<SavedDish> decodeDishBlob (const std::uint8_t* data, std::size_t size,
                                           double samplesPerTick, SpeciesExchange* exchange)
{
    if (data == nullptr)
        return nullptr;

    auto saved = std::make_unique<SavedDish>();
    Dish& d = saved->dish;
    resetDish (d);
    d.exchange = exchange;

    BlobReader in (data, size);
    if (in.i32() != dishBlobVersion)
        return nullptr;
    saved->page = in.i32();
    saved->theme = in.f64();
    in.i32();
    saved->tickAccumulator = in.f64();
    saved->tickCounter = in.u64();
    saved->clockAccepted = std::isfinite (samplesPerTick) && samplesPerTick > 0.0
                        && std::isfinite (saved->tickAccumulator) && saved->tickAccumulator >= 0.0
                        && saved->tickAccumulator < samplesPerTick;

    if (in.i32() != static_cast<std::int32_t> (dishCapacity))
        return nullptr;
    for (auto& c : d.cells)
        readCell (in, c);

    readDeck (in, d.colorGroupDeck, 3);
    for (auto& deck : d.colorVariantDecks)
        readDeck (in, deck, 1);
    d.ticks = in.u64();
    d.mergeCount = in.u64();
    d.splitCount = in.u64();
    d.spawnCount = in.u64();
    d.lastBirthAt = in.f64();
    d.rngState = static_cast<std::uint32_t> (in.i32());
    d.mutationClock = in.f64();
    d.mutationToParent = in.flag();
    readDeck (in, d.motifDeck, 14);
    readDeck (in, d.discoveredDeck, static_cast<std::int32_t> (speciesCount) - 1);
    d.discoveredGeneration = in.i32();
    d.discoveredCount = std::clamp (in.i32(), 0, static_cast<std::int32_t> (speciesCount));
    for (auto& s : d.discoveredList)
        s = std::clamp (in.i32(), 0, static_cast<std::int32_t> (speciesCount) - 1);
    d.nextId = in.i32();
    const double reserved1 = in.f64();
    const double reserved2 = in.f64();
    d.activity = in.f64();
    d.lastBounceSpeed = in.f64();
    in.i32();

    auto& q = d.arrivalQueue;
    q.count = std::clamp (in.i32(), 0, static_cast<std::int32_t> (dishCapacity));
    q.nextIndex = std::clamp (in.i32(), 0, q.count);
    q.dueAt = in.f64();
    q.seedSequence = in.i32();
    for (auto& e : q.entries)
    {
        e.motif = in.i32();
        e.colour = in.i32();
        e.x = in.f64();
        e.y = in.f64();
        e.mass = in.f64();
        e.launch = in.flag();
        e.id = -1;
    }
    q.arrivalsCounted = false;
    q.arrivals = 0;

    // The tail: absent in older states, then launch counter and interval, then the arrival ids.
    const std::size_t tail = in.remaining();
    if (tail == 0)
    {
        d.launchCounter = 0;
        q.interval = arrivalIntervalMs;
        for (int k = q.nextIndex; k < q.count; ++k)
            if (! q.entries[(std::size_t) k].launch)
                q.interval = 0.0;
    }
    else if (tail == 12 || tail == 108)
    {
        d.launchCounter = in.i32();
        q.interval = in.f64();
        if (tail == 108)
            for (auto& e : q.entries)
                e.id = in.i32();
    }
    else
        return nullptr;

    if (in.failed)
        return nullptr;

    // Validation: any failure rejects the whole dish.
    if (d.colorGroupDeck.n != 4 || ! deckIsConsistent (d.colorGroupDeck))
        return nullptr;
    for (const auto& deck : d.colorVariantDecks)
        if (deck.n != 2 || ! deckIsConsistent (deck))
            return nullptr;
    if (! deckIsConsistent (d.motifDeck) || ! deckIsConsistent (d.discoveredDeck))
        return nullptr;
    if (d.motifDeck.n == 15)
    {
        if (static_cast<std::uint64_t> (d.discoveredCount) != d.discoveredDeck.n)
            return nullptr;
        if (d.discoveredGeneration < -1 || d.discoveredGeneration > static_cast<std::int32_t> (speciesCount))
            return nullptr;
    }
    if (! (std::isfinite (d.mutationClock) && d.mutationClock >= 0.0 && d.mutationClock < 1.0))
        return nullptr;
    for (auto count : { d.ticks, d.mergeCount, d.splitCount, d.spawnCount })
        if (count >= below2to63)
            return nullptr;
    // Negative counters would hand out negative cell ids and placement indices.
    if (d.nextId < 0 || d.nextId > largestId || q.seedSequence < 0 || q.seedSequence > largestId)
        return nullptr;
    for (double v : { d.lastBirthAt, reserved1, reserved2, d.lastBounceSpeed, q.dueAt })
        if (! std::isfinite (v))
            return nullptr;
    if (! between (d.activity, 0.0, 3.0) || ! between (q.interval, 0.0, arrivalIntervalMs))
        return nullptr;
    if (! std::isfinite (saved->theme))
        return nullptr;

    for (std::size_t i = 0; i < dishCapacity; ++i)
    {
        const Cell& c = d.cells[i];
        if (! cellIsValid (c))
            return nullptr;
        if (c.active)
            for (std::size_t j = 0; j < i; ++j)
                if (d.cells[j].active && d.cells[j].id == c.id)
                    return nullptr;
    }
    for (const auto& e : q.entries)
        if (! entryIsValid (e))
            return nullptr;

    for (auto& c : d.cells)
        c.mass = std::min (c.mass, 10.0);
    for (auto& e : q.entries)
        e.mass = std::min (e.mass, 10.0);

    return saved;
}

//==============================================================================
namespace
{
/** Length of the UTF-8 sequence at p, or 0 when it is malformed. */
std::size_t utf8SequenceLength (const unsigned char* p, std::size_t left) noexcept
{
    const unsigned c = p[0];
    if (c < 0x80)
        return 1;
    std::size_t n;
    std::uint32_t cp;
    if ((c & 0xE0) == 0xC0) { n = 2; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { n = 3; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { n = 4; cp = c & 0x07; }
    else return 0;
    if (left < n)
        return 0;
    for (std::size_t i = 1; i < n; ++i)
    {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    const std::uint32_t smallest[] = { 0, 0, 0x80, 0x800, 0x10000 };
    if (cp < smallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}
} // namespace

bool stateTextIsAcceptable (const char* text, std::size_t length) noexcept
{
    if (text == nullptr)
        return false;
    const auto* s = reinterpret_cast<const unsigned char*> (text);
    if (const void* zero = std::memchr (s, 0, length))
        length = static_cast<std::size_t> (static_cast<const unsigned char*> (zero) - s);

    for (std::size_t i = 0; i < length;)
    {
        const std::size_t n = utf8SequenceLength (s + i, length - i);
        if (n == 0)
            return false;
        i += n;
    }

    int depth = 0;
    std::size_t tags = 0;
    for (std::size_t i = 0; i < length; ++i)
    {
        if (s[i] != '<')
            continue;
        if (i + 1 < length && s[i + 1] == '!')
            return false;
        if (i + 1 < length && s[i + 1] == '?')
        {
            std::size_t j = i + 2;
            while (j + 1 < length && ! (s[j] == '?' && s[j + 1] == '>'))
                ++j;
            if (j + 1 >= length)
                return false;
            i = j + 1;
            continue;
        }

        // A tag: find its closing '>' outside quoted values.
        std::size_t j = i + 1;
        unsigned char quote = 0;
        for (; j < length; ++j)
        {
            if (quote != 0)
            {
                if (s[j] == quote)
                    quote = 0;
            }
            else if (s[j] == '"' || s[j] == '\'')
                quote = s[j];
            else if (s[j] == '>')
                break;
        }
        if (j >= length)
            return false;

        if (++tags > 65536)
            return false;
        const bool closing = i + 1 < j && s[i + 1] == '/';
        const bool selfClosing = j > i + 1 && s[j - 1] == '/';
        if (closing)
        {
            if (--depth < 0)
                return false;
        }
        else if (! selfClosing && ++depth > 32)
            return false;
        i = j;
    }
    return depth == 0;
}

} // namespace brivola
