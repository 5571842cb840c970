// Dish geometry and per-cell motion rules: coordinates, radius, stretch, rim squeeze, bridges,
// singing and shiver. Pure functions over plain numbers.

//==============================================================================
/** Side of the dish's drawing square in dish units. */
export const DISH_SIZE = 300;
/** Centre of the drawing square. */
export const CENTRE = 150;
/** Inner radius of the liquid. */
export const INNER_RADIUS = 134;
/** Radius that squeezed cells and floor shadows stay inside. */
export const SQUEEZE_RADIUS = 133;
/** Bridges reach this far beyond touching. */
export const BRIDGE_REACH = 15;
/** Extent of a plain blob as a multiple of its radius (before shiver). */
export const BLOB_EXTENT = 1.1;

/** Device pixels on each side of the drawing surface for a device pixel ratio (capped at 3). */
export function surfacePixels (dpr)
{
    const ratio = Number.isFinite (dpr) && dpr > 0 ? Math.min (dpr, 3) : 1;
    return Math.max (1, Math.round (240 * ratio));
}

/** Dish units of a cell position (x, y roughly −1 to 1). */
export function toDish (x, y)
{
    return [CENTRE + CENTRE * 0.9 * x, CENTRE + CENTRE * 0.9 * y];
}

/** Drawn radius of a cell of the given mass. */
export function cellRadius (mass)
{
    return 4 + 3.5 * mass;
}

/** Gesture position from a pointer and the dish element's box: −1 at the left or top, +1 at the
    right or bottom. */
export function gesturePosition (clientX, clientY, box)
{
    return [(clientX - box.left) / box.width * 2 - 1, (clientY - box.top) / box.height * 2 - 1];
}

/** The id hash: a 32-bit integer to a number in [0, 1). */
export function hash01 (id)
{
    let v = (id | 0) >>> 0;
    v = Math.imul (v, 0x85EBCA6B) >>> 0;
    v = (v ^ (v >>> 13)) >>> 0;
    v = Math.imul (v, 0xC2B2AE35) >>> 0;
    v = (v ^ (v >>> 16)) >>> 0;
    return v / 4294967296;
}

export const clamp01 = (v) => (v < 0 ? 0 : v > 1 ? 1 : v);

//==============================================================================
/** Stretch along the velocity: 1 + min(0.6, 25 · speed). */
export function motionStretch (vx, vy)
{
    return 1 + Math.min (0.6, 25 * Math.hypot (vx, vy));
}

/** Extent E of a cell for the rim squeeze: max(r + 3, r · motif extent), plain blobs
    r · (1.1 + 0.25 · shiver). */
export function squeezeExtent (radius, motifExtent, shiver)
{
    const own = motifExtent > 0 ? radius * motifExtent : radius * (BLOB_EXTENT + 0.25 * shiver);
    return Math.max (radius + 3, own);
}

/** Rim squeeze of a cell whose centre lies d units from the dish centre: the stretch it may keep
    and the scale it is drawn at, so that it flattens against the wall instead of crossing it. */
export function rimSqueeze (d, extent, stretch)
{
    const l = (SQUEEZE_RADIUS - d) / extent;
    return { stretch: Math.min (stretch, Math.max (1, l)), scale: l < 1 ? clamp01 (l) : 1 };
}

/** Strength of the liquid bridge between two cells (centre distance, radii): 1 when they overlap,
    1 − gap / 15 otherwise; 0 (no bridge) at or beyond the reach, at 0.05 or less, or when the
    centres are closer than 0.3 (r1 + r2). */
export function bridgeStrength (distance, r1, r2)
{
    if (! (distance < r1 + r2 + BRIDGE_REACH) || distance < 0.3 * (r1 + r2))
        return 0;
    const gap = distance - r1 - r2;
    const k = gap <= 0 ? 1 : 1 - gap / BRIDGE_REACH;
    return k > 0.05 ? k : 0;
}

/** Half-width factor of a stretched cell across the direction (nx, ny): the extent of the ellipse
    (stretch along the unit velocity (ux, uy), 1 / stretch across it) along that direction. */
export function stretchedWidth (stretch, ux, uy, nx, ny)
{
    const along = ux * nx + uy * ny;
    const across = -uy * nx + ux * ny;
    return Math.hypot (stretch * along, across / stretch);
}

//==============================================================================
/** Singing target of a voice level: (20 · log10(level) + 40) / 30, 0 unless above 0, at most 1. */
export function singingTarget (level)
{
    if (! (level > 0))
        return 0;
    const t = (20 * Math.log10 (level) + 40) / 30;
    return t > 0 ? Math.min (1, t) : 0;
}

/** One frame of a singing value towards its target: fast rise (30 ms), slow fall (220 ms), snapped
    to 0 below 0.002. */
export function stepSinging (value, target, dt)
{
    const tau = target > value ? 0.03 : 0.22;
    const next = value + (target - value) * (1 - Math.exp (-dt / tau));
    return next < 0.002 ? 0 : next;
}

/** One frame of the shiver: rises by 15 per second while a note sounds, falls by 3 otherwise. */
export function stepShiver (shiver, noteOn, dt)
{
    return clamp01 (shiver + (noteOn ? 15 : -3) * dt);
}

/** Wobble offsets of the 22 outline points of a plain blob: 1 + 0.03 sin(2θ + φ) + 0.02 cos(3θ). */
export function wobbleOffsets (phase)
{
    const out = new Float32Array (22);
    for (let k = 0; k < 22; ++k)
    {
        const th = 2 * Math.PI * k / 22;
        out[k] = 1 + 0.03 * Math.sin (2 * th + phase) + 0.02 * Math.cos (3 * th);
    }
    return out;
}
