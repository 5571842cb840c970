// libFuzzer target for the page-event listeners: the first byte picks an event (or every event),
// the rest is UTF-8 JSON text parsed as the web view's bridge parses a payload. Whatever arrives, each
// listener must either drop the event or call its operation with arguments inside the ranges the
// operations are promised; anything else aborts.
#include "editor/PageEvents.h"
#include "editor/PageFields.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
[[noreturn]] void fault (const char* what)
{
    std::fprintf (stderr, "page event fault: %s\n", what);
    std::abort();
}

void expect (bool ok, const char* what)
{
    if (! ok)
        fault (what);
}

bool finite (std::initializer_list<double> values)
{
    for (const double v : values)
        if (! std::isfinite (v))
            return false;
    return true;
}

bool shortString (const juce::String& s) { return s.length() <= brivola::maxPageStringLength; }

struct CheckingTarget final : brivola::PageEventTarget
{
    void keyboardNoteOn (int) override {}
    void keyboardNoteOff() override {}
    void pageReady() override {}
    void setParameterFromPage (int index, float value) override
    {
        expect (index >= 0 && index < brivola::pageParameterCount, "fx index");
        expect (value >= 0.0f && value <= 1.0f, "fx value");
    }
    void parameterGesture (int index, bool) override { expect (index >= 0 && index < brivola::pageParameterCount, "gesture index"); }
    void setPageNumber (int page) override { expect (page >= 0 && page <= 2, "page"); }
    void savePresetSlot (int) override {}
    void startPresetPreview (int, int, int) override {}
    void stopPresetPreview (int) override {}
    void recallPresetSlot (int) override {}
    void clearPresetSlot (int) override {}
    void setScopeCapture (bool) override {}
    void stirAt (double x, double y, double dx, double dy) override { expect (finite ({ x, y, dx, dy }), "stir"); }
    void setStirring (bool) override {}
    void setPipetteMode (bool) override {}
    void rerollDish() override {}
    void setTheme (double value) override { expect (std::isfinite (value), "theme"); }
    void previewPipette (const juce::String& shape, const juce::String& colour, double pan) override
    {
        expect (shortString (shape) && shortString (colour) && std::isfinite (pan), "pipettePreview");
    }
    void dropPipette (const juce::String& shape, const juce::String& colour, double x, double y, double vx, double vy) override
    {
        expect (shortString (shape) && shortString (colour) && finite ({ x, y, vx, vy }), "pipetteDrop");
    }
    void markPipetteSeen (const juce::StringArray& keys) override
    {
        expect (keys.size() <= 128, "seen count");
        for (const auto& key : keys)
            expect (shortString (key), "seen key");
    }
};

/** juce::JSON reads integer literals into a 64-bit value and exponents into an int without
    overflow checks (undefined behaviour in the framework's reader, before any listener sees the
    payload); inputs with integers of more than 18 digits or exponents of more than 8 are left out
    so that the sanitizers judge the listeners. So are a '-' followed by anything but a digit and
    then 12 or more digits: the reader takes that character itself as the number's first digit
    (a code point up to 0x10FFFF), which overflows after fewer digits. The same reading runs past
    the end of the text when the '-' is its last character, or past an embedded NUL byte, so those
    are left out too. Huge values still arrive: "1e308", and "1e999" reads as infinity. No page
    sends such text (the page's text is JSON.stringify output: no raw NUL, no bare '-'). */
bool overflowsTheJsonReader (const std::uint8_t* data, std::size_t size)
{
    const auto isDigit = [] (std::uint8_t c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] == 0)
            return true;

    for (std::size_t i = 0; i < size; ++i)
    {
        if (data[i] != '-')
            continue;
        std::size_t j = i + 1;
        while (j < size && (data[j] == ' ' || data[j] == '\t' || data[j] == '\n' || data[j] == '\r'))
            ++j;
        if (j >= size)
            return true;
        if (isDigit (data[j]))
            continue;
        ++j; // the character taken as a digit, with its UTF-8 continuation bytes
        while (j < size && (data[j] & 0xc0) == 0x80)
            ++j;
        std::size_t digits = 0;
        while (j + digits < size && isDigit (data[j + digits]))
            ++digits;
        if (digits >= 12)
            return true;
    }

    int run = 0;
    bool exponent = false;
    for (std::size_t i = 0; i < size; ++i)
    {
        const auto c = data[i];
        if (c >= '0' && c <= '9')
        {
            if (run == 0)
            {
                // An exponent's digits follow 'e' or 'E', with an optional sign between.
                const std::size_t j = (i >= 1 && (data[i - 1] == '+' || data[i - 1] == '-')) ? i - 1 : i;
                exponent = j >= 1 && (data[j - 1] == 'e' || data[j - 1] == 'E');
            }
            ++run;
            if (run > 18 || (exponent && run > 8))
                return true;
        }
        else
        {
            run = 0;
        }
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static CheckingTarget target;
    static const auto listeners = []
    {
        std::vector<std::function<void (juce::var)>> all;
        for (const auto& event : brivola::pageEvents)
            all.push_back (brivola::makePageListener (target, event.validator, event.handler));
        return all;
    }();

    // The web view hands the bridge valid UTF-8 text.
    const auto* text = reinterpret_cast<const char*> (data + 1);
    const auto length = static_cast<int> (size > 0 ? size - 1 : 0);
    if (size < 1 || overflowsTheJsonReader (data + 1, size - 1) || ! juce::CharPointer_UTF8::isValidString (text, length))
        return 0;

    const auto payload = juce::JSON::fromString (juce::String::fromUTF8 (text, length));
    const auto pick = static_cast<std::size_t> (data[0]);
    if (pick < listeners.size())
        listeners[pick] (payload);
    else
        for (const auto& listener : listeners)
            listener (payload);
    return 0;
}
