// Fuzzes the host-state reader: container, text checks, XML, base 64 and the dish blob. A state
// that is accepted must give a dish that steps without faults.
#include "dish/DishStep.h"
#include "plugin/HostState.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
/** The container the framework writes: magic, text length, text, terminating zero. */
juce::MemoryBlock container (const juce::String& text)
{
    juce::MemoryBlock out;
    juce::MemoryOutputStream stream (out, false);
    stream.writeInt (0x21324356);
    stream.writeInt ((int) text.getNumBytesAsUTF8());
    stream.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
    stream.writeByte (0);
    stream.flush();
    return out;
}

/** A saved state as the plug-in writes it: twelve parameters and a dish that has lived. */
juce::MemoryBlock realState (int ticks, std::uint32_t seed)
{
    juce::ValueTree params ("brivola");
    const char* ids[] = { "filter", "attack", "chorus", "reverb", "sub", "sat", "delay", "width", "detune", "shimmer", "formant", "phaser" };
    for (int i = 0; i < 12; ++i)
    {
        juce::ValueTree p ("PARAM");
        p.setProperty ("id", ids[i], nullptr);
        p.setProperty ("value", (i * 7 % 5) / 4.0, nullptr);
        params.appendChild (p, nullptr);
    }
    brivola::SavedDish saved;
    brivola::seedDish (saved.dish);
    saved.dish.rngState = seed;
    for (int t = 0; t < ticks; ++t)
        brivola::dishStep (saved.dish);
    saved.tickCounter = (std::uint64_t) ticks;
    saved.tickAccumulator = 100.0;
    return container (brivola::stateTreeWithDish (params, saved).toXmlString (juce::XmlElement::TextFormat().singleLine()));
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int* argc, char*** argv)
{
    // Seed the corpus folder (the first folder argument) with real states when it is empty.
    for (int i = 1; i < *argc; ++i)
    {
        const char* arg = (*argv)[i];
        if (arg[0] == '-')
            continue;
        juce::File dir (juce::File::getCurrentWorkingDirectory().getChildFile (arg));
        if (dir.isDirectory() && dir.getNumberOfChildFiles (juce::File::findFiles) == 0)
            for (int k = 0; k < 6; ++k)
                dir.getChildFile ("seed" + juce::String (k)).replaceWithData (realState (k * 400, 1u + (std::uint32_t) k * 977u).getData(),
                                                                                 realState (k * 400, 1u + (std::uint32_t) k * 977u).getSize());
        break;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    brivola::SpeciesExchange exchange;
    auto state = brivola::readHostState (data, (int) std::min<std::size_t> (size, 1 << 20), 800.0, &exchange);
    if (state && state->dish)
    {
        auto& dish = state->dish->dish;
        for (int t = 0; t < 30; ++t)
            brivola::dishStep (dish);
        for (const auto& c : dish.cells)
            if (c.active && ! (std::isfinite (c.x) && std::isfinite (c.y) && c.mass <= 10.0))
                std::abort();
    }
    return 0;
}
