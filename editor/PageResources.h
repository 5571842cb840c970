#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

#include <array>
#include <optional>

namespace brivola
{

/** One file the editor's page is served from: the path the browser asks for, the embedded
    resource's name and the MIME type it is served with. */
struct PageResourceRow
{
    const char* path;
    const char* resourceName;
    const char* mimeType;
};

/** The only paths the page is served from (compared exactly, case-sensitive). */
inline constexpr std::array<PageResourceRow, 9> pageResourceTable { {
    { "/", "index_html", "text/html" },
    { "/index.html", "index_html", "text/html" },
    { "/style.css", "style_css", "text/css" },
    { "/ui.js", "ui_js", "text/javascript" },
    { "/OutfitLatin.woff2", "OutfitLatin_woff2", "font/woff2" },
    { "/anodizeGrain.png", "anodizeGrain_png", "image/png" },
    { "/anodizeGrainDark.png", "anodizeGrainDark_png", "image/png" },
    { "/anodizeGrainRecess.png", "anodizeGrainRecess_png", "image/png" },
    { "/anodizeGrainRecessDark.png", "anodizeGrainRecessDark_png", "image/png" },
} };

/** Looks an embedded resource up by name: its bytes and size, or nullptr (the signature of
    `BinaryData::getNamedResource`). */
using EmbeddedResourceLookup = const char* (*) (const char* resourceName, int& sizeInBytes);

/** The resource for a requested path: the table row's embedded bytes (copied) with its MIME type;
    nothing for a path outside the table or a resource the lookup does not find. */
std::optional<juce::WebBrowserComponent::Resource> findPageResource (const juce::String& path,
                                                                     EmbeddedResourceLookup lookup);

/** The browser's resource provider: `findPageResource` over the page files compiled into the
    plug-in. */
std::optional<juce::WebBrowserComponent::Resource> providePageResource (const juce::String& path);

} // namespace brivola
