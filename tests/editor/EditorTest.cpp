// The editor window: its size rules, the resources it serves, the addresses it loads, and a real
// editor with its web view (needs an X display; the test command provides one).
#include "EditorTestSupport.h"

#include "editor/EditorSize.h"
#include "editor/EmbeddedUiBrowser.h"
#include "editor/PageResources.h"
#include "editor/PluginEditor.h"
#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

using namespace brivola;
using namespace brivola::test;

TEST (EditorSize, FitsTheDisplaysUsableArea)
{
    struct Row
    {
        std::optional<EditorSize> area;
        EditorSize expected;
    };
    const std::vector<Row> rows {
        { std::nullopt, { 415, 646 } },
        { EditorSize { 1280, 800 }, { 415, 646 } },
        { EditorSize { 415, 686 }, { 415, 646 } },
        { EditorSize { 1280, 680 }, { 411, 640 } },
        { EditorSize { 1440, 600 }, { 360, 560 } },
        { EditorSize { 1024, 500 }, { 360, 520 } },
        { EditorSize { 400, 900 }, { 400, 623 } },
        { EditorSize { 0, 0 }, { 360, 520 } },
        { EditorSize { 3840, 30 }, { 360, 520 } },
    };
    for (const auto& row : rows)
    {
        const auto size = fitEditorSize (row.area);
        EXPECT_EQ (size.width, row.expected.width) << (row.area ? row.area->width : -1) << "x" << (row.area ? row.area->height : -1);
        EXPECT_EQ (size.height, row.expected.height) << (row.area ? row.area->width : -1) << "x" << (row.area ? row.area->height : -1);
    }

}

namespace
{
const char indexBytes[] = "<html>page</html>";
const char scriptBytes[] = "console.log(1)";

const char* fakeLookup (const char* name, int& size)
{
    if (std::strcmp (name, "index_html") == 0)
    {
        size = static_cast<int> (sizeof (indexBytes) - 1);
        return indexBytes;
    }
    if (std::strcmp (name, "ui_js") == 0)
    {
        size = static_cast<int> (sizeof (scriptBytes) - 1);
        return scriptBytes;
    }
    size = 0;
    return nullptr;
}

std::string bytesOf (const juce::WebBrowserComponent::Resource& r)
{
    return std::string (reinterpret_cast<const char*> (r.data.data()), r.data.size());
}
} // namespace

TEST (PageResources, OnlyTheTablesPathsWithTheirTypes)
{
    const auto root = findPageResource ("/", fakeLookup);
    const auto index = findPageResource ("/index.html", fakeLookup);
    ASSERT_TRUE (root && index);
    EXPECT_EQ (bytesOf (*root), indexBytes);
    EXPECT_EQ (bytesOf (*index), indexBytes);
    EXPECT_EQ (root->mimeType, "text/html");

    const auto script = findPageResource ("/ui.js", fakeLookup);
    ASSERT_TRUE (script);
    EXPECT_EQ (bytesOf (*script), scriptBytes);
    EXPECT_EQ (script->mimeType, "text/javascript");

    for (const char* refused : { "/UI.JS", "/Index.html", "ui.js", "/ui.js?x=1", "/../ui.js", "/secret.txt", "", "//" })
        EXPECT_FALSE (findPageResource (refused, fakeLookup)) << refused;

    // A row whose resource is not embedded gives nothing.
    EXPECT_FALSE (findPageResource ("/style.css", fakeLookup));
}

TEST (PageResources, EveryRowIsEmbedded)
{
    for (const auto& row : pageResourceTable)
    {
        const auto resource = providePageResource (row.path);
        ASSERT_TRUE (resource) << row.path;
        EXPECT_FALSE (resource->data.empty()) << row.path;
        EXPECT_EQ (resource->mimeType, row.mimeType) << row.path;
    }
    EXPECT_EQ (providePageResource ("/")->data, providePageResource ("/index.html")->data);
    const auto font = providePageResource ("/OutfitLatin.woff2");
    ASSERT_TRUE (font && font->data.size() > 4);
    EXPECT_EQ (std::string (reinterpret_cast<const char*> (font->data.data()), 4), "wOF2");
}

TEST (EmbeddedUiBrowser, LoadsOnlyThePageAndBlank)
{
    const juce::String root = juce::WebBrowserComponent::getResourceProviderRoot();
    EXPECT_TRUE (isAllowedPageAddress (root, root));
    EXPECT_TRUE (isAllowedPageAddress (root + "index.html", root));
    EXPECT_TRUE (isAllowedPageAddress ("about:blank", root));
    for (const char* refused : { "https://example.com/", "http://juce.backend/", "file:///etc/passwd", "about:blank#x",
                                 "ABOUT:BLANK", "javascript:alert(1)", "" })
        EXPECT_FALSE (isAllowedPageAddress (refused, root)) << refused;
    EXPECT_FALSE (isAllowedPageAddress (root.substring (0, root.length() - 1), root));
    EXPECT_FALSE (isAllowedPageAddress (root.toUpperCase(), root));
}

//==============================================================================
// A real editor (web view and all).

namespace
{
/** The framework runs the web view in a helper process that loads the plug-in's shared library;
    a test program is no shared library, so here the helper cannot start and the browser stays
    empty (the page itself is tested through the real bundle). Writes to the missing helper must
    not end the test program. */
struct IgnoreBrokenPipes
{
    IgnoreBrokenPipes() { previous = std::signal (SIGPIPE, SIG_IGN); }
    ~IgnoreBrokenPipes() { std::signal (SIGPIPE, previous); }
    void (*previous) (int) = nullptr;
};

bool haveDisplay()
{
    const char* display = std::getenv ("DISPLAY");
    return display != nullptr && *display != 0;
}

void pumpMessages (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}
} // namespace

TEST (RealEditor, OpensAtItsFittedSizeWithItsLimitsAndClosesCleanly)
{
    ASSERT_TRUE (haveDisplay()) << "this test opens a window: run it with an X display (scripts/with-display.sh)";
    const IgnoreBrokenPipes noHelper;

    BrivolaAudioProcessor processor;
    processor.prepareToPlay (48000.0, 256);

    for (int opening = 0; opening < 2; ++opening)
    {
        auto editor = std::make_unique<BrivolaAudioProcessorEditor> (processor);
        const auto fitted = editor->getFittedSize();
        const auto primary = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
        ASSERT_NE (primary, nullptr);
        const auto expected = fitEditorSize (EditorSize { primary->userArea.getWidth(), primary->userArea.getHeight() });
        EXPECT_EQ (fitted, expected);
        EXPECT_EQ (editor->getWidth(), fitted.width);
        EXPECT_EQ (editor->getHeight(), fitted.height);
        EXPECT_EQ (editor->getBrowser().getBounds(), editor->getLocalBounds());
        EXPECT_TRUE (editor->isResizable());

        auto* limits = editor->getConstrainer();
        ASSERT_NE (limits, nullptr);
        EXPECT_EQ (limits->getMinimumWidth(), fitted.width);
        EXPECT_EQ (limits->getMinimumHeight(), fitted.height);
        EXPECT_EQ (limits->getMaximumWidth(), 1600);
        EXPECT_EQ (limits->getMaximumHeight(), 2200);

        editor->setSize (900, 1000);
        EXPECT_EQ (editor->getBrowser().getBounds(), juce::Rectangle<int> (0, 0, 900, 1000));

        // On the desktop, with its timer ticking.
        editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
        editor->setVisible (true);
        processor.getOutputCapture().setCaptureEnabled (true);
        pumpMessages (300);

        editor.reset();
        EXPECT_FALSE (processor.getOutputCapture().captureEnabled()); // the editor's closing ends capture
        pumpMessages (50);
    }
    processor.releaseResources();
}

TEST (RealEditor, TheProcessorCreatesIt)
{
    ASSERT_TRUE (haveDisplay()) << "this test opens a window: run it with an X display (scripts/with-display.sh)";
    const IgnoreBrokenPipes noHelper;

    BrivolaAudioProcessor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditorIfNeeded());
    ASSERT_NE (dynamic_cast<BrivolaAudioProcessorEditor*> (editor.get()), nullptr);
    editor.reset();
}
