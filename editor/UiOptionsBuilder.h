#pragma once

#include "editor/PageEvents.h"

#include <juce_gui_extra/juce_gui_extra.h>

#include <utility>

namespace brivola
{

/** Builds the browser's options one page-event listener at a time:
    `UiOptionsBuilder { options }.registerUiEvent (...).registerUiEvent (...).build()`. */
class UiOptionsBuilder
{
public:
    explicit UiOptionsBuilder (juce::WebBrowserComponent::Options base) : options (std::move (base)) {}

    /** Adds a listener for `name` that runs `validator` (may be null) on the payload and, when it
        accepts, `handler` with the target. */
    template <typename Target, typename Handler>
    [[nodiscard]] UiOptionsBuilder registerUiEvent (const char* name, Target& target,
                                                      PageValidator validator, Handler handler) &&
    {
        options = options.withEventListener (juce::Identifier (name), makePageListener (target, validator, handler));
        return std::move (*this);
    }

    /** The options with every listener added so far. */
    [[nodiscard]] juce::WebBrowserComponent::Options build() && { return std::move (options); }

private:
    juce::WebBrowserComponent::Options options;
};

/** The browser's options for the page: native integration, the embedded resource provider and
    the twenty page-event listeners in their order, all reaching `target`. */
juce::WebBrowserComponent::Options makePageOptions (PageEventTarget& target);

} // namespace brivola
