#include "editor/UiOptionsBuilder.h"

#include "editor/PageResources.h"

namespace brivola
{

juce::WebBrowserComponent::Options makePageOptions (PageEventTarget& target)
{
    auto builder = UiOptionsBuilder { juce::WebBrowserComponent::Options {}
                                          .withNativeIntegrationEnabled()
                                          .withResourceProvider (providePageResource) };
    for (const auto& event : pageEvents)
        builder = std::move (builder).registerUiEvent (event.name, target, event.validator, event.handler);
    return std::move (builder).build();
}

} // namespace brivola
