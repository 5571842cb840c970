// Species colours of the dish: codes, display colours per theme, shape names and species keys.

//==============================================================================
/** Species colour codes by colour row (0 to 3) and column (0 to 1). */
export const SPECIES_CODES = Object.freeze ([
    Object.freeze (["#A9D1FD", "#B8A1FB"]),
    Object.freeze (["#FCD9EC", "#FDB8C0"]),
    Object.freeze (["#FCDA6F", "#FDC58E"]),
    Object.freeze (["#A1F2BF", "#AFB5BE"]),
]);

/** Display colours for the light theme, same layout as SPECIES_CODES. */
export const LIGHT_DISPLAY = Object.freeze ([
    Object.freeze (["#80BAFD", "#C7ADFD"]),
    Object.freeze (["#FDA095", "#FAAADC"]),
    Object.freeze (["#B4D76B", "#F4BC6C"]),
    Object.freeze (["#68D4A7", "#42DEF1"]),
]);

/** Display colours for the dark theme, same layout as SPECIES_CODES. */
export const DARK_DISPLAY = Object.freeze ([
    Object.freeze (["#80BAFD", "#C7ADFD"]),
    Object.freeze (["#FDA095", "#FDACDE"]),
    Object.freeze (["#BDE075", "#FDC474"]),
    Object.freeze (["#8EF7C9", "#5BEBFE"]),
]);

/** Display colour of a cell whose colour index lies outside the table. */
export const FALLBACK_DISPLAY = "#A7D1FF";

/** Shape names by motif index + 1 ("normal" is the plain blob, motif −1). */
export const SHAPE_NAMES = Object.freeze ([
    "normal", "spade", "clover", "heart", "diamond", "crown", "gear", "star", "bolt", "puzzle",
    "bell", "leaf", "flower", "controller", "ribbon", "moon",
]);

//==============================================================================
function validIndex (value, count)
{
    return Number.isInteger (value) && value >= 0 && value < count;
}

function pick (table, row, col, fallback)
{
    const r = validIndex (row, table.length) ? row : 0;
    return validIndex (col, table[r].length) ? table[r][col] : fallback;
}

/** The display colour ("#RRGGBB") of colour row and column for the theme; out-of-table indices
    fall back to row 0, then to FALLBACK_DISPLAY. */
export function displayColor (row, col, dark)
{
    return pick (dark ? DARK_DISPLAY : LIGHT_DISPLAY, row, col, FALLBACK_DISPLAY);
}

/** The species colour code of colour row and column, with the same fallbacks as displayColor
    (ending at the first code, so that a key built from it stays a valid species key). */
export function speciesCode (row, col)
{
    return pick (SPECIES_CODES, row, col, SPECIES_CODES[0][0]);
}

/** The display colour of a species colour code for the theme, or FALLBACK_DISPLAY for an unknown code. */
export function displayForCode (code, dark)
{
    const wanted = String (code).toUpperCase ();
    for (let r = 0; r < SPECIES_CODES.length; ++r)
        for (let c = 0; c < SPECIES_CODES[r].length; ++c)
            if (SPECIES_CODES[r][c] === wanted)
                return displayColor (r, c, dark);
    return FALLBACK_DISPLAY;
}

/** Shape name of a motif index; anything outside 0 to 14 is the plain blob "normal". */
export function shapeName (motif)
{
    return Number.isInteger (motif) && motif >= 0 && motif < SHAPE_NAMES.length - 1
        ? SHAPE_NAMES[motif + 1] : "normal";
}

/** The species key "shape|code" of a cell with the given motif and colour indices. */
export function speciesKey (motif, row, col)
{
    return shapeName (motif) + "|" + speciesCode (row, col);
}

//==============================================================================
/** Parses "#RRGGBB" into [r, g, b]; anything else gives the fallback display colour's channels. */
export function parseHex (hex)
{
    const m = /^#([0-9a-f]{6})$/i.exec (String (hex));
    const v = parseInt (m ? m[1] : FALLBACK_DISPLAY.slice (1), 16);
    return [(v >> 16) & 255, (v >> 8) & 255, v & 255];
}

/** Lightens [r, g, b] towards white by the highlight h: v + (255 − v) · min(1, h); h ≤ 0 keeps it. */
export function lighten (rgb, h)
{
    const f = Math.min (1, Math.max (0, Number.isFinite (h) ? h : 0));
    return rgb.map ((v) => Math.round (v + (255 - v) * f));
}
