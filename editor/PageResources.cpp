#include "editor/PageResources.h"

#include "BinaryData.h"

#include <cstring>

namespace brivola
{

std::optional<juce::WebBrowserComponent::Resource> findPageResource (const juce::String& path,
                                                                     EmbeddedResourceLookup lookup)
{
    for (const auto& row : pageResourceTable)
    {
        if (path != row.path)
            continue;

        int size = 0;
        const char* bytes = lookup != nullptr ? lookup (row.resourceName, size) : nullptr;
        if (bytes == nullptr || size < 0)
            return std::nullopt;

        juce::WebBrowserComponent::Resource resource;
        resource.data.resize (static_cast<std::size_t> (size));
        if (size > 0)
            std::memcpy (resource.data.data(), bytes, static_cast<std::size_t> (size));
        resource.mimeType = row.mimeType;
        return resource;
    }
    return std::nullopt;
}

std::optional<juce::WebBrowserComponent::Resource> providePageResource (const juce::String& path)
{
    return findPageResource (path, &BinaryData::getNamedResource);
}

} // namespace brivola
