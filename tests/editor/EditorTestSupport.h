#pragma once

#include "editor/PageBridge.h"
#include "editor/PageEvents.h"
#include "editor/UiOptionsBuilder.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brivola::test
{

/** A payload from JSON text; a test failure when the text is not JSON. */
inline juce::var json (const char* text)
{
    const auto value = juce::JSON::fromString (juce::String::fromUTF8 (text));
    if (value.isVoid() && juce::String (text).trim() != "null")
        ADD_FAILURE() << "bad JSON in test: " << text;
    return value;
}

/** The page-event listeners of the browser options built for `target`, by event name. */
inline auto listenersFor (PageEventTarget& target)
{
    return makePageOptions (target).getEventListeners();
}

/** Calls the listener registered for `name`; a test failure when there is none. */
template <typename Listeners>
void send (const Listeners& listeners, const char* name, const juce::var& payload)
{
    for (const auto& [id, listener] : listeners)
        if (id.toString() == name)
        {
            listener (payload);
            return;
        }
    ADD_FAILURE() << "no listener for " << name;
}

//==============================================================================
/** A window for the bridge with a hand-driven clock and screen. */
struct FakeWindow final : PageWindow
{
    double now = 10000.0;
    juce::Point<int> position { 200, 100 };
    juce::Point<int> size { 415, 646 };
    bool showing = true;
    bool browserVisible = true;
    std::optional<juce::Rectangle<int>> display = juce::Rectangle<int> { 0, 0, 1280, 800 };
    std::vector<std::pair<std::string, juce::var>> sent;

    double nowMs() override { return now; }
    juce::Point<int> screenPosition() override { return position; }
    bool isShowingOnScreen() override { return showing; }
    juce::Rectangle<int> screenBounds() override { return { position.x, position.y, size.x, size.y }; }
    std::optional<juce::Rectangle<int>> displayAreaFor (juce::Rectangle<int> bounds) override
    {
        if (display && display->intersects (bounds))
            return display;
        return std::nullopt;
    }
    void emit (const juce::Identifier& name, const juce::var& value) override
    {
        if (browserVisible)
            sent.emplace_back (name.toString().toStdString(), value);
    }

    /** The names of the messages sent so far, in order. */
    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (const auto& [name, value] : sent)
            result.push_back (name);
        return result;
    }

    /** The last message of a name (void when none). */
    juce::var last (const std::string& name) const
    {
        for (auto it = sent.rbegin(); it != sent.rend(); ++it)
            if (it->first == name)
                return it->second;
        return {};
    }

    /** Number of messages of a name. */
    int count (const std::string& name) const
    {
        int n = 0;
        for (const auto& [message, value] : sent)
            n += message == name ? 1 : 0;
        return n;
    }
};

} // namespace brivola::test
