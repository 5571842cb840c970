#include "editor/EmbeddedUiBrowser.h"

namespace brivola
{

bool isAllowedPageAddress (const juce::String& address, const juce::String& root)
{
    return (root.isNotEmpty() && address.startsWith (root)) || address == "about:blank";
}

EmbeddedUiBrowser::EmbeddedUiBrowser (const Options& options) : juce::WebBrowserComponent (options) {}

EmbeddedUiBrowser::~EmbeddedUiBrowser() = default;

bool EmbeddedUiBrowser::pageAboutToLoad (const juce::String& newURL)
{
    return isAllowedPageAddress (newURL, getResourceProviderRoot());
}

} // namespace brivola
