#include "editor/EmbeddedUiBrowser.h"

#if JUCE_LINUX || JUCE_BSD
 #include <dlfcn.h>
#endif

namespace brivola
{

namespace
{
/** On Linux the framework loads WebKitGTK into the host's process for the web view and unloads it
    when the plug-in's last instance goes, while threads WebKit started may still run: the host
    then crashes in unmapped code. Once loaded, the libraries stay until the process ends. */
void keepWebKitLoaded()
{
   #if JUCE_LINUX || JUCE_BSD
    for (const auto* name : { "libwebkit2gtk-4.1.so", "libjavascriptcoregtk-4.1.so", "libsoup-3.0.so",
                              "libwebkit2gtk-4.0.so", "libjavascriptcoregtk-4.0.so", "libsoup-2.4.so" })
        dlopen (name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE); // only marks what is loaded already
   #endif
}
} // namespace

bool isAllowedPageAddress (const juce::String& address, const juce::String& root)
{
    return (root.isNotEmpty() && address.startsWith (root)) || address == "about:blank";
}

EmbeddedUiBrowser::EmbeddedUiBrowser (const Options& options) : juce::WebBrowserComponent (options)
{
    keepWebKitLoaded();
}

EmbeddedUiBrowser::~EmbeddedUiBrowser() = default;

bool EmbeddedUiBrowser::pageAboutToLoad (const juce::String& newURL)
{
    return isAllowedPageAddress (newURL, getResourceProviderRoot());
}

} // namespace brivola
