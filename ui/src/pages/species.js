// Species keys as the pipette, culture and chart pages read them: the key check, the sort orders,
// the pipette's pages of twelve, the species number and the shapes' display names.
// Pure functions: no DOM.

import { SPECIES_CODES, displayForCode } from "../dish/colors.js";

//==============================================================================
/** Shapes in sorting and numbering order ("normal" is the plain blob). */
export const SHAPE_ORDER = Object.freeze ([
    "normal", "spade", "clover", "heart", "diamond", "crown", "gear", "star", "bolt", "puzzle",
    "bell", "leaf", "flower", "controller", "ribbon", "moon",
]);

/** Colour codes in the pipette's sorting order. */
export const COLOR_ORDER = Object.freeze ([
    "#FCD9EC", "#FDC58E", "#FCDA6F", "#A1F2BF", "#AFB5BE", "#A9D1FD", "#B8A1FB", "#FDB8C0",
]);

/** Colour codes in the processor's colour-index order (row-major over the dish's colour table):
    the order of the timbre table, which the species number follows. */
export const COLOR_INDEX_ORDER = Object.freeze (SPECIES_CODES.flat ());

/** Display names of the shapes. */
export const SHAPE_LABELS = Object.freeze ({
    normal: "Blob", spade: "Spade", clover: "Clover", heart: "Heart", diamond: "Diamond",
    crown: "Crown", gear: "Gear", star: "Star", bolt: "Bolt", puzzle: "Puzzle", bell: "Bell",
    leaf: "Leaf", flower: "Flower", controller: "Controller", ribbon: "Ribbon", moon: "Moon",
});

/** Species shown on one pipette page. */
export const PER_PAGE = 12;

//==============================================================================
/** Splits a species key into { shape, color }, or null when it is not a key: exactly two parts
    around "|", a known shape name and a known colour code (exact, case-sensitive). */
export function parseSpeciesKey (key)
{
    if (typeof key !== "string")
        return null;
    const parts = key.split ("|");
    if (parts.length !== 2 || ! SHAPE_ORDER.includes (parts[0]) || ! COLOR_ORDER.includes (parts[1]))
        return null;
    return { shape: parts[0], color: parts[1] };
}

export const isSpeciesKey = (key) => parseSpeciesKey (key) !== null;

/** Keys of plain blobs are never announced nor marked new. */
export const isPlainKey = (key) => key.startsWith ("normal|");

/**
    The keys sorted for the pipette: by shape then colour (sort "shape") or by colour then shape
    (sort "color"), in the orders above. Keys that fail the check are left out.
*/
export function sortSpecies (keys, sort)
{
    const rank = (key) =>
    {
        const { shape, color } = parseSpeciesKey (key);
        const s = SHAPE_ORDER.indexOf (shape), c = COLOR_ORDER.indexOf (color);
        return sort === "color" ? c * SHAPE_ORDER.length + s : s * COLOR_ORDER.length + c;
    };
    return keys.filter (isSpeciesKey)
               .map ((key) => [rank (key), key])
               .sort ((a, b) => a[0] - b[0])
               .map (([, key]) => key);
}

/** Number of pipette pages for a count of keys: at least one. */
export const pageCount = (count) => Math.max (1, Math.ceil (count / PER_PAGE));

/** A page number kept within 0 … count − 1 (lowered to the last page when beyond it). */
export const clampPage = (page, count) => Math.max (0, Math.min (page, count - 1));

/** The page before (delta −1) or after (delta +1), wrapping around. */
export const stepPage = (page, delta, count) => ((page + delta) % count + count) % count;

/** The keys of one page: PER_PAGE entries, null where an empty dish stands. */
export function pageKeys (sortedKeys, page)
{
    const out = sortedKeys.slice (page * PER_PAGE, (page + 1) * PER_PAGE);
    while (out.length < PER_PAGE)
        out.push (null);
    return out;
}

/** The indicator under the grid: "1 / 3". */
export const pageIndicator = (page, count) => `${page + 1} / ${count}`;

//==============================================================================
/**
    The species number as three digits, "001" to "128": shape position × 8 + colour index + 1,
    the colour index in the processor's colour order, so that the number is the timbre's number
    (moon|#AFB5BE is "128").
*/
export function speciesNumber (key)
{
    const parsed = parseSpeciesKey (key);
    if (! parsed)
        return "000";
    const n = SHAPE_ORDER.indexOf (parsed.shape) * 8 + COLOR_INDEX_ORDER.indexOf (parsed.color) + 1;
    return String (n).padStart (3, "0");
}

/** The display colours of a species colour code, { light, dark }. */
export const displayColours = (code) => ({ light: displayForCode (code, false), dark: displayForCode (code, true) });

/** What the specimen label shows for a key. */
export function labelParts (key)
{
    const { shape, color } = parseSpeciesKey (key);
    return { number: speciesNumber (key), name: SHAPE_LABELS[shape], colours: displayColours (color) };
}
