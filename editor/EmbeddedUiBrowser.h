#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

namespace brivola
{

/** True for the addresses the editor's browser may load: those beginning with `root` (the
    resource provider's root, compared over its full length) and "about:blank", which the
    framework shows while the editor is hidden. */
bool isAllowedPageAddress (const juce::String& address, const juce::String& root);

//==============================================================================
/** The editor's web view: shows only the embedded page and never navigates away from it. */
class EmbeddedUiBrowser final : public juce::WebBrowserComponent
{
public:
    explicit EmbeddedUiBrowser (const Options& options);
    ~EmbeddedUiBrowser() override;

    /** Allows only the embedded page's own addresses and "about:blank". */
    bool pageAboutToLoad (const juce::String& newURL) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EmbeddedUiBrowser)
};

} // namespace brivola
