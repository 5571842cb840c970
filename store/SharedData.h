#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>

namespace brivola
{

//==============================================================================
// Limits of the shared document.

/** Format version of every document this program writes. */
inline constexpr int sharedDocumentVersion = 2;
/** Number of shared preset slots. */
inline constexpr int numPresetSlots = 12;
/** Largest preset value, in bytes of its default (multi-line) JSON text. */
inline constexpr std::size_t maxPresetDataBytes = 49152;
/** Largest document file, in bytes, that is read or written. */
inline constexpr std::int64_t maxSharedDocumentBytes = 1048576;
/** Deepest bracket nesting the reader accepts. */
inline constexpr int maxJsonDepth = 32;
/** Most tokens (strings, brackets, separators, numbers) the reader accepts. */
inline constexpr int maxJsonTokens = 65536;
/** Longest day text kept in the daily counters. */
inline constexpr int maxQuotaDayLength = 32;
/** Largest number of birth grants per day the document records. */
inline constexpr int maxStoredGrantsPerDay = 2;
/** Largest number of discoveries per day the document records. */
inline constexpr int maxStoredDiscoveriesPerDay = 10;
/** Largest incubation time, in seconds, that survives writing: the written text keeps 15 decimal
    places, and the largest finite double would be rounded up past the double range and read back
    as infinite. */
inline constexpr double maxStoredIncubationTime = 1.797693134862315e308;

//==============================================================================
// File names inside the store's folder.

/** The document. */
inline constexpr const char* sharedDocumentFileName = "brivola.shared.v1.json";
/** The previous readable version of the document. */
inline constexpr const char* sharedBackupFileName = "brivola.shared.v1.json.bak";
/** A new document while it is being written. */
inline constexpr const char* sharedTempFileName = "brivola.shared.v1.json.tmp";
/** A copy of the document while the backup is being replaced. */
inline constexpr const char* sharedBackupTempFileName = "brivola.shared.v1.json.bak.tmp";
/** The lock file: holds no data and is never deleted. */
inline constexpr const char* sharedLockFileName = "brivola.shared.v1.lock";

/** The default folder of the shared document: on macOS ~/Library/Application Support/Brivola,
    elsewhere the framework's user application-data folder (~/.config on Linux) joined with "Brivola". */
juce::File defaultSharedFolder();

//==============================================================================
/** One shared preset slot. Revision 0: never written. Revision above 0 with void data: cleared.
    Revision above 0 with data: a saved dish (an opaque JSON value). The revision is the document
    revision of the write that last saved or cleared the slot.

    `data` is a juce::var: copies of a slot share the value's objects and arrays; use
    `data.clone()` for an independent copy. */
struct PresetSlot
{
    std::int64_t revision = 0;
    juce::var data;
};

/** The shared document of all instances of one user: discoveries, seen pipette entries, the daily
    discovery counters, twelve preset slots and cumulative statistics. A plain value: every
    operation works on its own copy. */
struct SharedData
{
    /** Cumulative statistics of all instances. */
    struct Stats
    {
        double incubationTime = 0.0; ///< seconds, finite and >= 0
        std::int64_t mergeCount = 0;
        std::int64_t splitCount = 0;
        std::int64_t spawnCount = 0;

        bool operator== (const Stats&) const = default;
    };

    /** The daily discovery counters: the local date they belong to, the species granted from
        births on that day (0 to 2) and the discoveries made on that day (granted to 10). */
    struct DailyQuota
    {
        juce::String day;
        int granted = 0;
        int discoveries = 0;

        bool operator== (const DailyQuota&) const = default;
    };

    int version = sharedDocumentVersion;
    std::int64_t revision = 0;
    std::map<juce::String, std::int64_t> discovered; ///< species key -> first discovery, ms since 1970
    std::set<juce::String> pipetteSeen;
    DailyQuota uniqueQuota;
    std::array<PresetSlot, numPresetSlots> presets;
    Stats stats;

    /** The JSON object that is written, with its keys in the fixed order. */
    juce::var toVar() const;

    /** Builds a document from a parsed JSON root, taking each known key that has the right kind
        and dropping or clamping bad members. Never fails: a root that is not an object or whose
        "version" is not the integer 1 or 2 gives the default document. */
    static SharedData fromVar (const juce::var& root);
};

//==============================================================================
/** True when `key` is a shape name, "|" and a colour code, exactly (case-sensitive). */
bool isValidSpeciesKey (const juce::String& key);

/** True when `data`, formatted as default multi-line JSON (CR LF, two-space indents), takes at
    most 49152 bytes in UTF-8. */
bool presetDataFits (const juce::var& data);

/** True when `data` holds only values that JSON text can carry (void, booleans, numbers, strings,
    arrays and plain objects with non-empty member names) and nests at most `maxDepth` brackets deep. */
bool isPlainJsonValue (const juce::var& data, int maxDepth);

/** Deepest nesting a preset value may have so that the document holding it stays readable: the
    document's root object, its "presets" array and the slot object take three levels. */
inline constexpr int maxPresetDataDepth = maxJsonDepth - 3;

/** One bounded scan over UTF-8 JSON text, so that the recursive JSON parser never sees deep
    nesting, huge token counts or integer overflow. Returns false when a bound is crossed: more
    than 32 nesting levels, more than 65536 tokens, an integer run above 9223372036854775807, an
    exponent above 999999999, a "-" not followed by a digit, unbalanced brackets or an unterminated
    string. */
bool prevalidateJsonText (const char* utf8, std::size_t numBytes) noexcept;

/** prevalidateJsonText over the UTF-8 form of `text`. */
bool prevalidateJsonText (const juce::String& text) noexcept;

/** Turns document text into a document. Returns false, leaving `out` untouched, unless the text
    passes the scan, parses as a JSON object and carries "version" as the integer 1 or 2. */
bool parseSharedDocument (const juce::String& text, SharedData& out);

/** The file text of a document: its JSON object in the default multi-line format. */
juce::String sharedDocumentText (const SharedData& document);

} // namespace brivola
