#include "Screenshot.h"

#include <juce_gui_basics/juce_gui_basics.h>

#if JUCE_LINUX || JUCE_BSD
 #include <X11/Xlib.h>
 #include <X11/Xutil.h>
#endif

namespace brivola::host
{

#if JUCE_LINUX || JUCE_BSD
namespace
{
/** Turns one channel of an X pixel into 8 bits through its mask. */
juce::uint8 channel (unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;

    int shift = 0;

    while (((mask >> shift) & 1) == 0)
        ++shift;

    const auto max = mask >> shift;
    return (juce::uint8) (((pixel & mask) >> shift) * 255 / max);
}
} // namespace

bool saveScreenshot (juce::Rectangle<int> screenArea, const juce::File& png, juce::String& error)
{
    double scale = 1.0;

    if (const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect (screenArea))
        scale = display->scale;

    auto* xDisplay = XOpenDisplay (nullptr);

    if (xDisplay == nullptr)
    {
        error = "cannot open the X display for a screenshot";
        return false;
    }

    const auto screen = DefaultScreen (xDisplay);
    const auto root = RootWindow (xDisplay, screen);
    const auto physical = (screenArea.toDouble() * scale).getSmallestIntegerContainer()
                              .getIntersection ({ 0, 0, DisplayWidth (xDisplay, screen), DisplayHeight (xDisplay, screen) });

    if (physical.isEmpty())
    {
        XCloseDisplay (xDisplay);
        error = "the area to capture is not on the screen";
        return false;
    }

    XSync (xDisplay, False);
    auto* xImage = XGetImage (xDisplay, root, physical.getX(), physical.getY(), (unsigned int) physical.getWidth(),
                              (unsigned int) physical.getHeight(), AllPlanes, ZPixmap);

    if (xImage == nullptr)
    {
        XCloseDisplay (xDisplay);
        error = "the display server returned no image";
        return false;
    }

    juce::Image image (juce::Image::RGB, physical.getWidth(), physical.getHeight(), false);

    {
        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

        for (int y = 0; y < physical.getHeight(); ++y)
        {
            for (int x = 0; x < physical.getWidth(); ++x)
            {
                const auto p = XGetPixel (xImage, x, y);
                pixels.setPixelColour (x, y, juce::Colour (channel (p, xImage->red_mask),
                                                           channel (p, xImage->green_mask),
                                                           channel (p, xImage->blue_mask)));
            }
        }
    }

    XDestroyImage (xImage);
    XCloseDisplay (xDisplay);

    png.getParentDirectory().createDirectory();
    png.deleteFile();
    juce::FileOutputStream out (png);
    juce::PNGImageFormat format;

    if (! out.openedOk() || ! format.writeImageToStream (image, out))
    {
        error = "cannot write " + png.getFullPathName();
        return false;
    }

    return true;
}
#else
bool saveScreenshot (juce::Rectangle<int>, const juce::File&, juce::String& error)
{
    error = "screenshots are taken on Linux (X11) only";
    return false;
}
#endif

} // namespace brivola::host
