// The dish's incoming records: the 13-number cell record of "cells" and the level pairs of "voices".

//==============================================================================
/** Numbers per cell record. */
export const STRIDE = 13;

/** Most cells the dish holds. */
export const MAX_CELLS = 24;

/** Positions inside one cell record. */
export const F = Object.freeze ({
    id: 0, x: 1, y: 2, mass: 3, row: 4, col: 5, motif: 6, angle: 7,
    vx: 8, vy: 9, fade: 10, highlight: 11, newborn: 12,
});

/** Positions that glide between two successive arrays. */
export const GLIDING = Object.freeze ([F.x, F.y, F.mass, F.angle, F.vx, F.vy, F.fade, F.highlight]);

function allFinite (array)
{
    for (const v of array)
        if (typeof v !== "number" || ! Number.isFinite (v))
            return false;
    return true;
}

/** The cell array of a "cells" payload ({ cells: [...] }), or null when the payload fails its
    check: an array of at most 312 finite numbers whose length is a multiple of 13. */
export function checkCells (payload)
{
    const cells = payload?.cells;
    if (! Array.isArray (cells) || cells.length > STRIDE * MAX_CELLS || cells.length % STRIDE !== 0)
        return null;
    return allFinite (cells) ? cells : null;
}

/** The level pairs of a "voices" payload ({ levels: [...] }), or null when they fail their check:
    an array of at most 48 finite numbers of even length. */
export function checkVoices (payload)
{
    const levels = payload?.levels;
    if (! Array.isArray (levels) || levels.length > 2 * MAX_CELLS || levels.length % 2 !== 0)
        return null;
    return allFinite (levels) ? levels : null;
}

/** Turns a checked cell array into plain cell objects (motif and colour indices truncated). */
export function readCells (array)
{
    const out = [];
    for (let i = 0; i + STRIDE <= array.length; i += STRIDE)
        out.push (readCell (array, i));
    return out;
}

/** One cell object from the record starting at offset i. */
export function readCell (array, i)
{
    return {
        id: array[i + F.id],
        x: array[i + F.x],
        y: array[i + F.y],
        mass: array[i + F.mass],
        row: Math.trunc (array[i + F.row]),
        col: Math.trunc (array[i + F.col]),
        motif: Math.trunc (array[i + F.motif]),
        angle: array[i + F.angle],
        vx: array[i + F.vx],
        vy: array[i + F.vy],
        fade: array[i + F.fade],
        highlight: array[i + F.highlight],
        newborn: array[i + F.newborn] > 0.5,
    };
}
