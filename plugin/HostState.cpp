#include "plugin/HostState.h"

namespace brivola
{

namespace
{
/** The framework's base-64 form is "<byte count>.<digits>", and its decoder allocates the stated
    count before looking at the digits. A count the digits cannot hold is refused here, so a
    damaged state cannot ask for gigabytes. */
bool base64CountIsPlausible (const juce::String& text)
{
    const int dot = text.indexOfChar ('.');
    if (dot <= 0 || dot > 9)
        return false;
    const auto count = text.substring (0, dot);
    if (! count.containsOnly ("0123456789"))
        return false;
    const auto digits = static_cast<juce::int64> (text.length() - dot - 1);
    return count.getLargeIntValue() <= digits * 6 / 8 + 2;
}
} // namespace

juce::ValueTree stateTreeWithDish (juce::ValueTree parameterState, const SavedDish& saved)
{
    const auto blob = encodeDishBlob (saved);
    parameterState.setProperty (hostStateDishProperty,
                                juce::MemoryBlock (blob.data(), blob.size()).toBase64Encoding(), nullptr);
    return parameterState;
}

std::optional<RestoredHostState> readHostState (const void* data, int sizeInBytes, double samplesPerTick,
                                                SpeciesExchange* exchange)
{
    if (data == nullptr || sizeInBytes < 1 || sizeInBytes > 262144)
        return std::nullopt;

    const auto* bytes = static_cast<const std::uint8_t*> (data);
    const auto size = static_cast<std::size_t> (sizeInBytes);
    if (size < 9 || juce::ByteOrder::littleEndianInt (bytes) != 0x21324356u)
        return std::nullopt;
    const auto textLength = static_cast<std::size_t> (juce::ByteOrder::littleEndianInt (bytes + 4));
    if (textLength < 1 || textLength > size - 8)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*> (bytes + 8);
    if (! stateTextIsAcceptable (text, textLength))
        return std::nullopt;

    const auto xml = juce::parseXML (juce::String::fromUTF8 (text, static_cast<int> (textLength)));
    if (xml == nullptr)
        return std::nullopt;

    RestoredHostState result;
    result.parameters = juce::ValueTree::fromXml (*xml);
    if (! result.parameters.isValid())
        return std::nullopt;

    const auto dishText = result.parameters.getProperty (hostStateDishProperty).toString();
    if (dishText.isNotEmpty())
    {
        juce::MemoryBlock blob;
        if (base64CountIsPlausible (dishText) && blob.fromBase64Encoding (dishText))
            result.dish = decodeDishBlob (static_cast<const std::uint8_t*> (blob.getData()), blob.getSize(),
                                          samplesPerTick, exchange);
    }
    return result;
}

} // namespace brivola
