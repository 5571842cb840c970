#include "StateFiles.h"

#include <cstring>

namespace brivola::host
{

namespace
{
constexpr const char* hostStateTag = "VST3PluginState";
constexpr const char* componentTag = "IComponent";
constexpr const char* privateDataMagic = "JUCEPrivateData";
} // namespace

bool isHostState (const juce::MemoryBlock& bytes)
{
    if (bytes.getSize() > (size_t) std::numeric_limits<int>::max())
        return false;

    const auto xml = juce::AudioProcessor::getXmlFromBinary (bytes.getData(), (int) bytes.getSize());
    return xml != nullptr && xml->hasTagName (hostStateTag);
}

std::optional<juce::MemoryBlock> extractComponentState (const juce::MemoryBlock& hostState)
{
    if (hostState.getSize() > (size_t) std::numeric_limits<int>::max())
        return std::nullopt;

    const auto xml = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());

    if (xml == nullptr || ! xml->hasTagName (hostStateTag))
        return std::nullopt;

    const auto* component = xml->getChildByName (componentTag);

    if (component == nullptr)
        return std::nullopt;

    juce::MemoryBlock bytes;

    if (! bytes.fromBase64Encoding (component->getAllSubText()))
        return std::nullopt;

    return bytes;
}

std::optional<juce::MemoryBlock> stripWrapperSection (const juce::MemoryBlock& componentBytes)
{
    const auto magicLength = std::strlen (privateDataMagic);
    const auto size = componentBytes.getSize();
    const auto* data = static_cast<const char*> (componentBytes.getData());

    if (size < magicLength + sizeof (juce::int64) || std::memcmp (data + size - magicLength, privateDataMagic, magicLength) != 0)
        return componentBytes;

    juce::uint64 privateSize = 0;
    std::memcpy (&privateSize, data + size - magicLength - sizeof (juce::uint64), sizeof (juce::uint64));
    privateSize = juce::ByteOrder::swapIfBigEndian (privateSize);

    // plug-in bytes, int64 0, private data (privateSize bytes), int64 size, magic
    const auto overhead = (juce::uint64) magicLength + 2 * sizeof (juce::uint64);

    if (privateSize > (juce::uint64) size || privateSize + overhead > (juce::uint64) size)
        return std::nullopt;

    const auto ownSize = (size_t) ((juce::uint64) size - privateSize - overhead);
    return juce::MemoryBlock (data, ownSize);
}

juce::MemoryBlock wrapAsHostState (const juce::MemoryBlock& pluginBytes)
{
    juce::XmlElement state (hostStateTag);
    state.createNewChildElement (componentTag)->addTextElement (pluginBytes.toBase64Encoding());

    juce::MemoryBlock result;
    juce::AudioProcessor::copyXmlToBinary (state, result);
    return result;
}

std::optional<juce::MemoryBlock> readStateFile (const juce::File& file, bool& wasHostState, juce::String& error)
{
    juce::MemoryBlock bytes;

    if (! file.existsAsFile() || ! file.loadFileAsData (bytes))
    {
        error = "cannot read state file " + file.getFullPathName();
        return std::nullopt;
    }

    if (bytes.getSize() > (size_t) std::numeric_limits<int>::max())
    {
        error = "state file too large: " + file.getFullPathName();
        return std::nullopt;
    }

    wasHostState = isHostState (bytes);
    return wasHostState ? bytes : wrapAsHostState (bytes);
}

bool writeBytes (const juce::File& file, const juce::MemoryBlock& bytes, juce::String& error)
{
    file.getParentDirectory().createDirectory();

    // File::replaceWithData deletes the file for zero bytes; an empty state is still a file.
    const auto written = bytes.getSize() == 0 ? (file.deleteFile() && file.create().wasOk())
                                              : file.replaceWithData (bytes.getData(), bytes.getSize());

    if (! file.getParentDirectory().isDirectory() || ! written)
    {
        error = "cannot write " + file.getFullPathName();
        return false;
    }

    return true;
}

} // namespace brivola::host
