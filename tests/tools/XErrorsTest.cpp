#include "host/XErrors.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdlib>

namespace
{
bool haveDisplay()
{
    const char* display = std::getenv ("DISPLAY");
    return display != nullptr && *display != 0;
}
} // namespace

// With Xlib's default handler the first error below would end this process.
TEST (XErrors, AnErrorOnAnyConnectionIsRecordedAndTheProcessGoesOn)
{
    if (! haveDisplay())
        GTEST_SKIP() << "no display";

    brivola::host::installXErrorHandler();
    auto* display = XOpenDisplay (nullptr);
    ASSERT_NE (display, nullptr);

    const auto before = brivola::host::xErrorCount();

    // A window id no client owns: the server answers BadWindow to the tree query.
    const auto missing = (Window) 0x1fffff0;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    const auto status = XQueryTree (display, missing, &root, &parent, &children, &count);
    XSync (display, False);

    EXPECT_EQ (status, 0);
    EXPECT_EQ (brivola::host::xErrorCount(), before + 1);

    const auto lines = brivola::host::xErrorDescriptions();
    ASSERT_FALSE (lines.isEmpty());
    EXPECT_EQ (lines[lines.size() - 1], "BadWindow (3) in request 15, resource 0x1fffff0");

    XCloseDisplay (display);
}
