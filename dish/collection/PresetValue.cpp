#include "dish/collection/PresetValue.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace brivola
{

namespace
{
const juce::Identifier cellsKey { "cells" };
const juce::Identifier fxControlsKey { "fxControls" };
const juce::Identifier xKey { "x" };
const juce::Identifier yKey { "y" };
const juce::Identifier massKey { "mass" };
const juce::Identifier idKey { "id" };
const juce::Identifier colorKey { "color" };
const juce::Identifier motifKey { "motif" };

/** The number a var holds when it is a finite number. */
bool finiteNumber (const juce::var& v, double& out) noexcept
{
    if (! isNumberVar (v))
        return false;
    const double d = static_cast<double> (v);
    if (! std::isfinite (d))
        return false;
    out = d;
    return true;
}

/** The id a var holds when it is an integer in 0 … 16777215. */
bool validCellId (const juce::var& v, std::int32_t& out) noexcept
{
    if (! isIntegerVar (v))
        return false;
    const auto n = static_cast<juce::int64> (v);
    if (n < 0 || n > maxCellId)
        return false;
    out = static_cast<std::int32_t> (n);
    return true;
}

std::optional<int> colourOf (const juce::var& v)
{
    if (! v.isString())
        return std::nullopt;
    return colorFromString (v.toString().toStdString());
}

/** Motif 0 … 14 named by a var; "normal" and anything else give nullopt. */
std::optional<int> motifOf (const juce::var& v)
{
    if (! v.isString())
        return std::nullopt;
    const auto m = motifFromName (v.toString().toStdString());
    if (! m.has_value() || *m < 0)
        return std::nullopt;
    return m;
}

juce::String toJuceString (std::string_view s)
{
    return juce::String (s.data(), s.size());
}
} // namespace

bool isNumberVar (const juce::var& v) noexcept
{
    return v.isInt() || v.isInt64() || v.isDouble();
}

bool isIntegerVar (const juce::var& v) noexcept
{
    return v.isInt() || v.isInt64();
}

//==============================================================================
juce::var normalizePreset (const juce::var& value)
{
    if (! value.isObject())
        return {};
    const juce::var cells = value.getProperty (cellsKey, {});
    const auto* elements = cells.getArray();
    if (elements == nullptr)
        return {};

    juce::Array<juce::var> accepted;
    std::set<std::int32_t> usedIds;
    for (const auto& element : *elements)
    {
        if (accepted.size() >= dishCapacity)
            break;
        if (! element.isObject())
            continue;

        double x = 0.0, y = 0.0, mass = 0.0;
        if (! finiteNumber (element.getProperty (xKey, {}), x)
            || ! finiteNumber (element.getProperty (yKey, {}), y)
            || ! finiteNumber (element.getProperty (massKey, {}), mass))
            continue;

        auto* cell = new juce::DynamicObject();
        const juce::var cellVar (cell);
        cell->setProperty (xKey, std::clamp (x, -1.0, 1.0));
        cell->setProperty (yKey, std::clamp (y, -1.0, 1.0));
        cell->setProperty (massKey, std::clamp (mass, 1.0, 10.0));

        std::int32_t id = -1;
        if (validCellId (element.getProperty (idKey, {}), id) && usedIds.insert (id).second)
            cell->setProperty (idKey, static_cast<int> (id));

        const int colour = colourOf (element.getProperty (colorKey, {})).value_or (0);
        cell->setProperty (colorKey, toJuceString (colorString (colour)));

        if (const auto motif = motifOf (element.getProperty (motifKey, {})))
            cell->setProperty (motifKey, toJuceString (shapeName (*motif)));

        accepted.add (cellVar);
    }

    if (accepted.isEmpty())
        return {};

    juce::Array<juce::var> fx;
    const juce::var fxIn = value.getProperty (fxControlsKey, {});
    const auto* fxElements = fxIn.getArray();
    const bool fxUsable = fxElements != nullptr && fxElements->size() == static_cast<int> (SoundParams::count);
    for (int i = 0; i < static_cast<int> (SoundParams::count); ++i)
    {
        double v = 0.0;
        if (fxUsable && finiteNumber (fxElements->getReference (i), v))
            v = std::clamp (v, 0.0, 1.0);
        else
            v = 0.0;
        fx.add (v);
    }

    auto* preset = new juce::DynamicObject();
    juce::var presetVar (preset);
    preset->setProperty (cellsKey, juce::var (accepted));
    preset->setProperty (fxControlsKey, juce::var (fx));
    return presetVar;
}

juce::var presetFromCells (const std::array<Cell, dishCapacity>& cells, const SoundParams& params)
{
    juce::Array<juce::var> out;
    for (const auto& c : cells)
    {
        if (! isLive (c))
            continue;
        auto* cell = new juce::DynamicObject();
        const juce::var cellVar (cell);
        cell->setProperty (xKey, c.x);
        cell->setProperty (yKey, c.y);
        cell->setProperty (massKey, c.mass);
        cell->setProperty (idKey, static_cast<int> (c.id));
        cell->setProperty (colorKey, toJuceString (colorString (colorIndex (c))));
        if (c.motif >= 0 && c.motif < motifCount)
            cell->setProperty (motifKey, toJuceString (shapeName (c.motif)));
        out.add (cellVar);
    }

    if (out.isEmpty())
        return {};

    juce::Array<juce::var> fx;
    for (std::size_t i = 0; i < SoundParams::count; ++i)
        fx.add (params[i]);

    auto* preset = new juce::DynamicObject();
    juce::var presetVar (preset);
    preset->setProperty (cellsKey, juce::var (out));
    preset->setProperty (fxControlsKey, juce::var (fx));
    return presetVar;
}

PresetArrivals presetArrivals (const juce::var& preset)
{
    PresetArrivals result;
    const juce::var cells = preset.getProperty (cellsKey, {});
    const auto* elements = cells.getArray();
    if (elements == nullptr)
        return result;

    for (const auto& element : *elements)
    {
        if (result.count >= dishCapacity)
            break;

        PendingCell entry;
        entry.motif = motifOf (element.getProperty (motifKey, {})).value_or (-1);
        entry.colour = colourOf (element.getProperty (colorKey, {})).value_or (0);
        double v = 0.0;
        entry.x = finiteNumber (element.getProperty (xKey, {}), v) ? v : 0.0;
        entry.y = finiteNumber (element.getProperty (yKey, {}), v) ? v : 0.0;
        entry.mass = finiteNumber (element.getProperty (massKey, {}), v) ? v : 1.0;
        std::int32_t id = -1;
        entry.id = validCellId (element.getProperty (idKey, {}), id) ? id : -1;
        entry.launch = false;
        result.entries[static_cast<std::size_t> (result.count++)] = entry;
    }
    return result;
}

PresetSoundParams presetSoundParams (const juce::var& preset)
{
    PresetSoundParams result;
    const juce::var fx = preset.getProperty (fxControlsKey, {});
    const auto* elements = fx.getArray();
    if (elements == nullptr)
        return result;

    const int n = std::min (elements->size(), static_cast<int> (SoundParams::count));
    for (int i = 0; i < n; ++i)
    {
        double v = 0.0;
        result.params[static_cast<std::size_t> (i)] = finiteNumber (elements->getReference (i), v) ? std::clamp (v, 0.0, 1.0) : 0.0;
        result.present[static_cast<std::size_t> (i)] = true;
    }
    return result;
}

} // namespace brivola
