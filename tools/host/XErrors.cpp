#include "XErrors.h"

#if JUCE_LINUX || JUCE_BSD
 #include <X11/Xlib.h>
#endif

#include <array>
#include <atomic>

namespace brivola::host
{
namespace
{
struct RecordedError
{
    int code = 0;
    int request = 0;
    unsigned long resource = 0;
};

constexpr int recordedLimit = 8;
std::array<RecordedError, recordedLimit> recorded {};
std::atomic<int> errors { 0 };

#if JUCE_LINUX || JUCE_BSD
// Called by Xlib with the display locked: it only records, and never calls back into Xlib.
int onXError (Display*, XErrorEvent* event)
{
    const auto index = errors.fetch_add (1);

    if (index < recordedLimit)
        recorded[(size_t) index] = { event->error_code, event->request_code, event->resourceid };

    return 0;
}
#endif

juce::String errorName (int code)
{
    switch (code)
    {
        case 2:  return "BadValue";
        case 3:  return "BadWindow";
        case 4:  return "BadPixmap";
        case 8:  return "BadMatch";
        case 9:  return "BadDrawable";
        case 13: return "BadGC";
        default: return "X error";
    }
}
} // namespace

void installXErrorHandler()
{
   #if JUCE_LINUX || JUCE_BSD
    XSetErrorHandler (onXError);
   #endif
}

int xErrorCount()
{
    return errors.load();
}

juce::StringArray xErrorDescriptions()
{
    juce::StringArray lines;
    const auto count = juce::jmin (errors.load(), recordedLimit);

    for (int i = 0; i < count; ++i)
    {
        const auto& e = recorded[(size_t) i];
        lines.add (errorName (e.code) + " (" + juce::String (e.code) + ") in request " + juce::String (e.request)
                   + ", resource 0x" + juce::String::toHexString ((juce::int64) e.resource));
    }

    return lines;
}
} // namespace brivola::host
