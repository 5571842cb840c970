#include "plugin/DishBlob.h"
#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

using namespace brivola;

namespace
{
/** A processor that has run for a while, with a few parameters set. */
std::unique_ptr<BrivolaAudioProcessor> livedProcessor (int blocks = 300)
{
    auto p = std::make_unique<BrivolaAudioProcessor>();
    p->prepareToPlay (48000.0, 480);
    p->getParameterArray()[SoundParams::reverb]->setValueNotifyingHost (0.6f);
    p->getParameterArray()[SoundParams::delay]->setValueNotifyingHost (1.0f);
    juce::AudioBuffer<float> buffer (2, 480);
    juce::MidiBuffer midi;
    for (int i = 0; i < blocks; ++i)
        p->processBlock (buffer, midi);
    return p;
}

std::vector<std::uint8_t> blobOf (BrivolaAudioProcessor& p, double& accumulator, std::uint64_t& ticks)
{
    SavedDish s;
    s.dish = p.getDish();
    s.tickAccumulator = p.getTickAccumulator();
    s.tickCounter = p.getTickCounter();
    accumulator = s.tickAccumulator;
    ticks = s.tickCounter;
    return encodeDishBlob (s);
}

/** A host state with the given parameter values and dish blob. */
juce::MemoryBlock stateWith (const std::vector<std::uint8_t>& blob, float reverb = 0.25f)
{
    BrivolaAudioProcessor source;
    source.getParameterArray()[SoundParams::reverb]->setValueNotifyingHost (reverb);
    auto tree = source.getParameterTree().copyState();
    tree.setProperty ("dish", juce::MemoryBlock (blob.data(), blob.size()).toBase64Encoding(), nullptr);
    juce::MemoryBlock out;
    juce::AudioProcessor::copyXmlToBinary (*tree.createXml(), out);
    return out;
}

template <typename T>
void poke (std::vector<std::uint8_t>& blob, std::size_t offset, T value)
{
    std::memcpy (blob.data() + offset, &value, sizeof (T));
}

constexpr std::size_t cellOffset (int slot) { return 40 + 144 * std::size_t (slot); }
constexpr std::size_t massInCell = 56, groupInCell = 92, xInCell = 8;

float reverbOf (BrivolaAudioProcessor& p) { return p.getParameterArray()[SoundParams::reverb]->get(); }
} // namespace

TEST (State, RoundTripReproducesTheCultureExactly)
{
    auto a = livedProcessor();
    juce::MemoryBlock state;
    a->getStateInformation (state);

    BrivolaAudioProcessor b;
    b.setStateInformation (state.getData(), (int) state.getSize());
    b.prepareToPlay (48000.0, 480);

    double accA, accB;
    std::uint64_t ticksA, ticksB;
    const auto blobA = blobOf (*a, accA, ticksA);
    const auto blobB = blobOf (b, accB, ticksB);
    ASSERT_EQ (blobA.size(), dishBlobSize);
    EXPECT_EQ (blobA, blobB);
    EXPECT_EQ (accA, accB);
    EXPECT_EQ (ticksA, ticksB);
    EXPECT_NEAR (reverbOf (b), 0.6f, 1e-6);

    // The next 100 ticks of both instances give the same cells.
    juce::AudioBuffer<float> buffer (2, 800);
    juce::MidiBuffer midi;
    for (int i = 0; i < 100; ++i)
    {
        a->processBlock (buffer, midi);
        b.processBlock (buffer, midi);
    }
    EXPECT_EQ (blobOf (*a, accA, ticksA), blobOf (b, accB, ticksB));
}

TEST (State, RestoreBeforePrepareWinsOverSeeding)
{
    auto a = livedProcessor();
    juce::MemoryBlock state;
    a->getStateInformation (state);
    BrivolaAudioProcessor b;
    b.setStateInformation (state.getData(), (int) state.getSize());
    b.prepareToPlay (48000.0, 480);
    EXPECT_EQ (b.getDish().spawnCount, a->getDish().spawnCount);
    EXPECT_EQ (b.getShownSpawns(), a->getDish().spawnCount);
}

TEST (State, DishFieldRules)
{
    auto a = livedProcessor();
    double acc;
    std::uint64_t ticks;
    const auto good = blobOf (*a, acc, ticks);
    ASSERT_TRUE (a->getDish().cells[0].active);

    struct Case
    {
        const char* name;
        std::function<void (std::vector<std::uint8_t>&)> change;
        bool dishTaken;
    };
    const Case cases[] = {
        { "unchanged", [] (auto&) {}, true },
        { "version 4", [] (auto& b) { poke<std::int32_t> (b, 0, 4); }, false },
        { "mass 12 is cut", [] (auto& b) { poke (b, cellOffset (0) + massInCell, 12.0); }, true },
        { "mass 16", [] (auto& b) { poke (b, cellOffset (0) + massInCell, 16.0); }, false },
        { "7-byte tail", [] (auto& b) { b.resize (b.size() - 108 + 7); }, false },
        { "12-byte tail", [] (auto& b) { b.resize (b.size() - 96); }, true },
        { "no tail", [] (auto& b) { b.resize (b.size() - 108); }, true },
        { "truncated", [] (auto& b) { b.resize (3000); }, false },
        { "NaN position", [] (auto& b) { poke (b, cellOffset (0) + xInCell, std::numeric_limits<double>::quiet_NaN()); }, false },
        { "inactive cell, bad colour group", [] (auto& b) { poke<std::int32_t> (b, cellOffset (23) + 4, 0); poke<std::int32_t> (b, cellOffset (23) + groupInCell, 9); }, true },
        { "inactive cell, NaN", [] (auto& b) { poke<std::int32_t> (b, cellOffset (23) + 4, 0); poke (b, cellOffset (23) + xInCell, std::numeric_limits<double>::infinity()); }, false },
        { "cell count 23", [] (auto& b) { poke<std::int32_t> (b, 36, 23); }, false },
    };

    for (const auto& c : cases)
    {
        auto blob = good;
        c.change (blob);
        auto decoded = decodeDishBlob (blob.data(), blob.size(), 800.0, nullptr);
        EXPECT_EQ (decoded != nullptr, c.dishTaken) << c.name;
    }

    auto cut = good;
    poke (cut, cellOffset (0) + massInCell, 12.0);
    EXPECT_EQ (decodeDishBlob (cut.data(), cut.size(), 800.0, nullptr)->dish.cells[0].mass, 10.0);

    auto shortTail = good;
    shortTail.resize (shortTail.size() - 96);
    for (const auto& e : decodeDishBlob (shortTail.data(), shortTail.size(), 800.0, nullptr)->dish.arrivalQueue.entries)
        EXPECT_EQ (e.id, -1);
}

TEST (State, DuplicateIdsRejectTheDishButTheParametersAreTaken)
{
    auto a = livedProcessor();
    double acc;
    std::uint64_t ticks;
    auto blob = blobOf (*a, acc, ticks);
    ASSERT_TRUE (a->getDish().cells[1].active);
    poke<std::int32_t> (blob, cellOffset (0), 7);
    poke<std::int32_t> (blob, cellOffset (1), 7);

    BrivolaAudioProcessor b;
    b.prepareToPlay (48000.0, 480);
    const auto spawnsBefore = b.getDish().spawnCount;
    const auto state = stateWith (blob, 0.8f);
    b.setStateInformation (state.getData(), (int) state.getSize());
    EXPECT_NEAR (reverbOf (b), 0.8f, 1e-6);
    EXPECT_EQ (b.getDish().spawnCount, spawnsBefore);
}

TEST (State, PageAndThemeAreLimited)
{
    auto a = livedProcessor (10);
    double acc;
    std::uint64_t ticks;
    auto blob = blobOf (*a, acc, ticks);
    poke<std::int32_t> (blob, 4, 5);
    poke (blob, 8, -0.3);
    BrivolaAudioProcessor b;
    const auto state = stateWith (blob);
    b.setStateInformation (state.getData(), (int) state.getSize());
    EXPECT_EQ (b.getPageNumber(), 2);
    EXPECT_EQ (b.getTheme(), 0.0);
    // The restored activity is the blob's, not derived from the theme.
    EXPECT_EQ (b.getDish().activity, a->getDish().activity);
}

TEST (State, OversizedOrMarkedUpStatesChangeNothing)
{
    auto a = livedProcessor (10);
    double acc;
    std::uint64_t ticks;
    const auto blob = blobOf (*a, acc, ticks);

    auto check = [] (const juce::MemoryBlock& state, const char* what)
    {
        BrivolaAudioProcessor b;
        b.setStateInformation (state.getData(), (int) state.getSize());
        EXPECT_EQ (reverbOf (b), 0.0f) << what;
        EXPECT_EQ (b.getDish().spawnCount, 0u) << what;
    };

    // The state's XML text with one edit, in the framework's container again.
    auto editedState = [&blob] (const juce::String& from, const juce::String& to)
    {
        const auto state = stateWith (blob);
        auto text = juce::String (static_cast<const char*> (state.getData()) + 8, state.getSize() - 9).replace (from, to);
        juce::MemoryBlock edited;
        juce::MemoryOutputStream out (edited, false);
        out.writeInt (0x21324356);
        out.writeInt ((int) text.getNumBytesAsUTF8());
        out.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
        out.writeByte (0);
        out.flush();
        return edited;
    };

    // Over 262144 bytes: padded with spaces inside the text.
    const auto big = editedState ("<brivola ", "<brivola " + juce::String::repeatedString (" ", 262145));
    ASSERT_GT (big.getSize(), 262144u);
    check (big, "oversized");
    // A comment in the XML.
    check (editedState ("<brivola ", "<!-- hi --><brivola "), "comment");
    // A dish property whose byte count asks for far more than its digits hold.
    {
        BrivolaAudioProcessor source;
        auto tree = source.getParameterTree().copyState();
        tree.setProperty ("dish", "3000000000.AAAA", nullptr);
        juce::MemoryBlock state;
        juce::AudioProcessor::copyXmlToBinary (*tree.createXml(), state);
        BrivolaAudioProcessor b;
        b.setStateInformation (state.getData(), (int) state.getSize()); // the count overflows the decoder's int: it must not throw
        EXPECT_EQ (b.getDish().spawnCount, 0u);
    }
    // A broken container.
    {
        auto state = stateWith (blob);
        static_cast<char*> (state.getData())[0] = 'X';
        check (state, "magic");
    }
}

TEST (State, TextChecks)
{
    struct Case { std::string text; bool ok; };
    const Case cases[] = {
        { "<a x=\"1\"><b/></a>", true },
        { "<?xml version=\"1.0\"?><a/>", true },
        { "<a x=\"3 > 2\"/>", true },
        { "<!DOCTYPE a><a/>", false },
        { "<a><!-- c --></a>", false },
        { "<a><![CDATA[x]]></a>", false },
        { "<a>", false },
        { "</a>", false },
        { "<a></a></a>", false },
        { "<a x=\"1\"", false },
        { "<?xml <a/>", false },
        { "<a>\xC3\xA9</a>", true },          // é
        { "<a>\xC0\xAF</a>", false },         // overlong '/'
        { "<a>\xED\xA0\x80</a>", false },     // surrogate U+D800
        { "<a>\xF4\x90\x80\x80</a>", false }, // above U+10FFFF
        { "<a>\xE2\x82</a>", false },         // truncated sequence
        { std::string ("<a/>\0<<<", 8), true }, // only up to the first zero byte
    };
    for (const auto& c : cases)
        EXPECT_EQ (stateTextIsAcceptable (c.text.data(), c.text.size()), c.ok) << c.text;

    std::string deep, deeper;
    for (int i = 0; i < 32; ++i) deep += "<a>";
    for (int i = 0; i < 32; ++i) deep += "</a>";
    EXPECT_TRUE (stateTextIsAcceptable (deep.data(), deep.size()));
    for (int i = 0; i < 33; ++i) deeper += "<a>";
    for (int i = 0; i < 33; ++i) deeper += "</a>";
    EXPECT_FALSE (stateTextIsAcceptable (deeper.data(), deeper.size()));

    std::string many = "<r>", tooMany = "<r>";
    for (int i = 0; i < 65534; ++i) many += "<b/>";
    for (int i = 0; i < 65535; ++i) tooMany += "<b/>";
    many += "</r>";
    tooMany += "</r>";
    EXPECT_TRUE (stateTextIsAcceptable (many.data(), many.size()));
    EXPECT_FALSE (stateTextIsAcceptable (tooMany.data(), tooMany.size()));
}

TEST (State, FuzzedStatesNeverCrashAndKeepTheDishValid)
{
    auto a = livedProcessor (50);
    juce::MemoryBlock good;
    a->getStateInformation (good);
    double acc;
    std::uint64_t ticks;
    const auto blob = blobOf (*a, acc, ticks);

    std::mt19937 rng (1234);
    BrivolaAudioProcessor b;
    b.prepareToPlay (44100.0, 256);
    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    for (int round = 0; round < 3000; ++round)
    {
        if (round % 2 == 0)
        {
            // Mutate the host state's bytes.
            juce::MemoryBlock state (good);
            auto* bytes = static_cast<std::uint8_t*> (state.getData());
            for (int k = 0, n = 1 + int (rng() % 8); k < n; ++k)
                bytes[rng() % state.getSize()] = std::uint8_t (rng());
            const int size = int (rng() % 4 == 0 ? rng() % state.getSize() : state.getSize());
            b.setStateInformation (state.getData(), size);
        }
        else
        {
            // Mutate the dish blob itself inside a well-formed state.
            auto mutated = blob;
            for (int k = 0, n = 1 + int (rng() % 6); k < n; ++k)
                mutated[rng() % mutated.size()] = std::uint8_t (rng());
            const auto state = stateWith (mutated);
            b.setStateInformation (state.getData(), (int) state.getSize());
        }
        b.processBlock (buffer, midi);
        for (const auto& c : b.getDish().cells)
            if (c.active)
            {
                ASSERT_TRUE (std::isfinite (c.x) && std::isfinite (c.y));
                ASSERT_LE (c.mass, 10.0);
            }
    }
}
