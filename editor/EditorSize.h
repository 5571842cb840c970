#pragma once

#include <optional>

namespace brivola
{

/** A width and height in logical pixels. */
struct EditorSize
{
    int width = 0, height = 0;

    bool operator== (const EditorSize&) const = default;
};

/** The editor's sizes: the portrait base, the smallest fitted size, the room kept for the window's
    title bar, and the largest size. */
inline constexpr EditorSize editorBaseSize { 415, 646 };
inline constexpr EditorSize editorMinimumSize { 360, 520 };
inline constexpr int editorDecorationAllowance = 40;
inline constexpr EditorSize editorMaximumSize { 1600, 2200 };

/** The size that fits a display's usable area (width, height), or the base size when there is no
    display: the base scaled down (never up) to the area less the decoration allowance, rounded
    half to even, and at least the minimum size. */
EditorSize fitEditorSize (std::optional<EditorSize> usableArea) noexcept;

} // namespace brivola
