#include "editor/EditorSize.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

namespace
{
/** Nearest integer, halves to even; limited to the int range. */
int roundHalfEven (double v) noexcept
{
    if (! std::isfinite (v))
        return 0;
    v = std::clamp (v, -2147483648.0, 2147483647.0);
    const double down = std::floor (v);
    const double fraction = v - down;
    double r = down;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod (down, 2.0) != 0.0))
        r = down + 1.0;
    return static_cast<int> (std::min (r, 2147483647.0));
}
} // namespace

EditorSize fitEditorSize (std::optional<EditorSize> usableArea) noexcept
{
    if (! usableArea)
        return editorBaseSize;

    const double scale = std::min ({ 1.0,
                                     usableArea->width / static_cast<double> (editorBaseSize.width),
                                     (usableArea->height - editorDecorationAllowance) / static_cast<double> (editorBaseSize.height) });
    if (! (scale < 1.0))
        return editorBaseSize;

    return { std::max (editorMinimumSize.width, roundHalfEven (editorBaseSize.width * scale)),
             std::max (editorMinimumSize.height, roundHalfEven (editorBaseSize.height * scale)) };
}

} // namespace brivola
