#include "store/SharedData.h"

#include "dish/Dish.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace brivola
{

namespace
{

/** A JSON number without fraction or exponent. */
bool isInteger (const juce::var& v) noexcept
{
    return v.isInt() || v.isInt64();
}

std::int64_t integerOf (const juce::var& v) noexcept
{
    return static_cast<std::int64_t> (static_cast<juce::int64> (v));
}

/** An integer value below 1 gives 0; anything else that is not an integer gives 0 too. */
std::int64_t positiveIntegerOrZero (const juce::var& v) noexcept
{
    if (! isInteger (v))
        return 0;

    const auto value = integerOf (v);
    return value < 1 ? 0 : value;
}

/** An output stream that only counts the bytes written to it. */
class ByteCountingStream final : public juce::OutputStream
{
public:
    void flush() override {}
    bool setPosition (juce::int64) override { return false; }
    juce::int64 getPosition() override { return count; }

    bool write (const void*, size_t numBytes) override
    {
        count += static_cast<juce::int64> (numBytes);
        return true;
    }

    bool writeRepeatedByte (juce::uint8, size_t numTimesToRepeat) override
    {
        count += static_cast<juce::int64> (numTimesToRepeat);
        return true;
    }

    juce::int64 count = 0;
};

bool isDigit (unsigned char c) noexcept
{
    return c >= '0' && c <= '9';
}

} // namespace

//==============================================================================
juce::File defaultSharedFolder()
{
    const auto appData = juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory);
   #if JUCE_MAC
    return appData.getChildFile ("Application Support").getChildFile ("Brivola");
   #else
    return appData.getChildFile ("Brivola");
   #endif
}

//==============================================================================
bool isValidSpeciesKey (const juce::String& key)
{
    const auto bar = key.indexOfChar ('|');

    if (bar <= 0)
        return false;

    const auto shape = key.substring (0, bar).toStdString();
    const auto colour = key.substring (bar + 1).toStdString();
    return motifFromName (shape).has_value() && colorFromString (colour).has_value();
}

bool presetDataFits (const juce::var& data)
{
    ByteCountingStream counter;
    juce::JSON::writeToStream (counter, data, juce::JSON::FormatOptions {});
    return counter.count <= static_cast<juce::int64> (maxPresetDataBytes);
}

bool isPlainJsonValue (const juce::var& data, int maxDepth)
{
    if (data.isVoid() || data.isBool() || data.isInt() || data.isInt64() || data.isDouble()
        || data.isString())
        return true;

    if (const auto* array = data.getArray())
    {
        if (maxDepth < 1)
            return false;

        for (const auto& element : *array)
            if (! isPlainJsonValue (element, maxDepth - 1))
                return false;

        return true;
    }

    if (auto* object = data.getDynamicObject())
    {
        if (maxDepth < 1)
            return false;

        for (const auto& member : object->getProperties())
            if (member.name.toString().isEmpty() || ! isPlainJsonValue (member.value, maxDepth - 1))
                return false;

        return true;
    }

    return false; // undefined, methods, binary data, other object kinds
}

//==============================================================================
bool prevalidateJsonText (const char* text, std::size_t numBytes) noexcept
{
    constexpr auto maxInteger = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t maxExponent = 999999999;

    const auto* bytes = reinterpret_cast<const unsigned char*> (text);
    unsigned char quote = 0;
    int depth = 0;
    int tokens = 0;
    std::size_t i = 0;

    while (i < numBytes)
    {
        const auto c = bytes[i];

        if (quote != 0)
        {
            if (c == '\\')
            {
                if (i + 1 >= numBytes)
                    return false;

                i += 2;
                continue;
            }

            if (c == quote)
                quote = 0;

            ++i;
            continue;
        }

        switch (c)
        {
            case '"':
            case '\'':
                if (++tokens > maxJsonTokens)
                    return false;

                quote = c;
                ++i;
                break;

            case '[':
            case '{':
                if (depth == maxJsonDepth || ++tokens > maxJsonTokens)
                    return false;

                ++depth;
                ++i;
                break;

            case ']':
            case '}':
                if (depth == 0)
                    return false;

                --depth;
                ++i;
                break;

            case ',':
            case ':':
                if (++tokens > maxJsonTokens)
                    return false;

                ++i;
                break;

            default:
            {
                if (c == '-')
                {
                    if (i + 1 >= numBytes || ! isDigit (bytes[i + 1]))
                        return false;

                    ++i;
                }
                else if (! isDigit (c))
                {
                    ++i; // letters of literals, white space
                    break;
                }

                if (++tokens > maxJsonTokens)
                    return false;

                std::int64_t value = 0;

                for (; i < numBytes && isDigit (bytes[i]); ++i)
                {
                    const auto digit = static_cast<std::int64_t> (bytes[i] - '0');

                    if (value > (maxInteger - digit) / 10)
                        return false;

                    value = value * 10 + digit;
                }

                if (i < numBytes && bytes[i] == '.')
                    for (++i; i < numBytes && isDigit (bytes[i]); ++i) {}

                if (i < numBytes && (bytes[i] == 'e' || bytes[i] == 'E'))
                {
                    ++i;

                    if (i < numBytes && (bytes[i] == '+' || bytes[i] == '-'))
                        ++i;

                    // The framework's number reader keeps the exponent in an int: bound it.
                    std::int64_t exponent = 0;

                    for (; i < numBytes && isDigit (bytes[i]); ++i)
                    {
                        exponent = exponent * 10 + (bytes[i] - '0');

                        if (exponent > maxExponent)
                            return false;
                    }
                }

                break;
            }
        }
    }

    return depth == 0 && quote == 0;
}

bool prevalidateJsonText (const juce::String& text) noexcept
{
    const auto* utf8 = text.toRawUTF8();
    return prevalidateJsonText (utf8, std::strlen (utf8));
}

//==============================================================================
juce::var SharedData::toVar() const
{
    auto* root = new juce::DynamicObject();
    juce::var rootVar (root);

    root->setProperty ("version", sharedDocumentVersion);
    root->setProperty ("revision", static_cast<juce::int64> (revision));

    auto* discoveredObject = new juce::DynamicObject();
    juce::var discoveredVar (discoveredObject);

    for (const auto& [key, time] : discovered)
        discoveredObject->setProperty (juce::Identifier (key), static_cast<juce::int64> (time));

    root->setProperty ("discovered", discoveredVar);

    juce::Array<juce::var> seen;

    for (const auto& key : pipetteSeen)
        seen.add (key);

    root->setProperty ("pipetteSeen", seen);

    auto* quota = new juce::DynamicObject();
    juce::var quotaVar (quota);
    quota->setProperty ("day", uniqueQuota.day);
    quota->setProperty ("granted", uniqueQuota.granted);
    quota->setProperty ("discoveries", uniqueQuota.discoveries);
    root->setProperty ("uniqueQuota", quotaVar);

    juce::Array<juce::var> slots;

    for (const auto& slot : presets)
    {
        if (slot.revision == 0)
        {
            slots.add (juce::var());
            continue;
        }

        auto* slotObject = new juce::DynamicObject();
        juce::var slotVar (slotObject);
        slotObject->setProperty ("revision", static_cast<juce::int64> (slot.revision));
        slotObject->setProperty ("data", slot.data);
        slots.add (slotVar);
    }

    root->setProperty ("presets", slots);

    auto* statsObject = new juce::DynamicObject();
    juce::var statsVar (statsObject);
    statsObject->setProperty ("incubationTime", stats.incubationTime);
    statsObject->setProperty ("mergeCount", static_cast<juce::int64> (stats.mergeCount));
    statsObject->setProperty ("splitCount", static_cast<juce::int64> (stats.splitCount));
    statsObject->setProperty ("spawnCount", static_cast<juce::int64> (stats.spawnCount));
    root->setProperty ("stats", statsVar);

    return rootVar;
}

SharedData SharedData::fromVar (const juce::var& rootVar)
{
    SharedData document;
    const auto* root = rootVar.getDynamicObject();

    if (root == nullptr)
        return document;

    const auto& versionVar = root->getProperty ("version");

    if (! isInteger (versionVar) || (integerOf (versionVar) != 1 && integerOf (versionVar) != 2))
        return document;

    document.version = static_cast<int> (integerOf (versionVar));
    const bool isVersion1 = document.version == 1;

    if (! isVersion1)
        document.revision = positiveIntegerOrZero (root->getProperty ("revision"));

    if (const auto* discoveredObject = root->getProperty ("discovered").getDynamicObject())
    {
        for (const auto& member : discoveredObject->getProperties())
        {
            const auto key = member.name.toString();

            if (! isValidSpeciesKey (key))
                continue;

            const auto time = isInteger (member.value) ? integerOf (member.value) : std::int64_t { 0 };
            document.discovered[key] = time < 0 ? 0 : time;
        }
    }

    if (const auto* seen = root->getProperty ("pipetteSeen").getArray())
        for (const auto& element : *seen)
            if (element.isString() && isValidSpeciesKey (element.toString()))
                document.pipetteSeen.insert (element.toString());

    if (const auto* quota = root->getProperty ("uniqueQuota").getDynamicObject())
    {
        const auto& day = quota->getProperty ("day");
        document.uniqueQuota.day = day.isString() ? day.toString().substring (0, maxQuotaDayLength)
                                                  : juce::String();

        const auto& granted = quota->getProperty ("granted");
        document.uniqueQuota.granted = isInteger (granted)
                                           ? static_cast<int> (std::clamp<std::int64_t> (integerOf (granted), 0, maxStoredGrantsPerDay))
                                           : 0;

        const auto& discoveries = quota->getProperty ("discoveries");
        document.uniqueQuota.discoveries = isInteger (discoveries)
                                               ? static_cast<int> (std::clamp<std::int64_t> (integerOf (discoveries),
                                                                                             document.uniqueQuota.granted,
                                                                                             maxStoredDiscoveriesPerDay))
                                               : document.uniqueQuota.granted;
    }

    std::int64_t largestSlotRevision = 0;

    if (const auto* slots = root->getProperty ("presets").getArray())
    {
        const auto count = std::min (slots->size(), numPresetSlots);

        for (int i = 0; i < count; ++i)
        {
            const auto* slotObject = slots->getReference (i).getDynamicObject();

            if (slotObject == nullptr)
                continue;

            auto& slot = document.presets[static_cast<size_t> (i)];
            slot.revision = positiveIntegerOrZero (slotObject->getProperty (isVersion1 ? "savedAt" : "revision"));

            const auto& data = slotObject->getProperty ("data");
            slot.data = presetDataFits (data) ? data : juce::var();

            largestSlotRevision = std::max (largestSlotRevision, slot.revision);
        }
    }

    if (isVersion1)
        document.revision = largestSlotRevision;

    if (const auto* statsObject = root->getProperty ("stats").getDynamicObject())
    {
        const auto& incubation = statsObject->getProperty ("incubationTime");

        if (incubation.isInt() || incubation.isInt64() || incubation.isDouble())
        {
            // Limited to what survives writing: a larger finite time would come back infinite (and
            // so as 0) from the next write.
            const auto seconds = static_cast<double> (incubation);
            document.stats.incubationTime = std::isfinite (seconds) && seconds > 0.0
                                                ? std::min (seconds, maxStoredIncubationTime)
                                                : 0.0;
        }

        document.stats.mergeCount = positiveIntegerOrZero (statsObject->getProperty ("mergeCount"));
        document.stats.splitCount = positiveIntegerOrZero (statsObject->getProperty ("splitCount"));
        document.stats.spawnCount = positiveIntegerOrZero (statsObject->getProperty ("spawnCount"));
    }

    return document;
}

//==============================================================================
bool parseSharedDocument (const juce::String& text, SharedData& out)
{
    if (! prevalidateJsonText (text))
        return false;

    juce::var root;

    if (juce::JSON::parse (text, root).failed())
        return false;

    const auto* object = root.getDynamicObject();

    if (object == nullptr)
        return false;

    const auto& version = object->getProperty ("version");

    if (! isInteger (version) || (integerOf (version) != 1 && integerOf (version) != 2))
        return false;

    out = SharedData::fromVar (root);
    return true;
}

juce::String sharedDocumentText (const SharedData& document)
{
    return juce::JSON::toString (document.toVar(), juce::JSON::FormatOptions {});
}

} // namespace brivola
