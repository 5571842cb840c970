// Checks of the scope, window and light messages. Each returns the accepted payload in a plain
// form, or null when the payload must be dropped.

//==============================================================================
export const WAVE_LENGTH = 512;
export const BAR_COUNT = 32;

const isObject = (p) => p !== null && typeof p === "object" && ! Array.isArray (p);
const finiteArray = (a, length) => Array.isArray (a) && a.length === length && a.every (Number.isFinite);

/** "scope": { idle: true } or { wave: 512 finite numbers, bars: 32 finite numbers }. */
export function checkScope (p)
{
    if (! isObject (p))
        return null;
    if (p.idle === true)
        return { idle: true };
    if (! finiteArray (p.wave, WAVE_LENGTH) || ! finiteArray (p.bars, BAR_COUNT))
        return null;
    return { idle: false, wave: p.wave, bars: p.bars };
}

/** "window": finite dx and dy (pixels the window moved). */
export function checkWindow (p)
{
    if (! isObject (p) || ! Number.isFinite (p.dx) || ! Number.isFinite (p.dy))
        return null;
    return { dx: p.dx, dy: p.dy };
}

/** "light": finite x and y, each within ±100. */
export function checkLight (p)
{
    if (! isObject (p) || ! Number.isFinite (p.x) || ! Number.isFinite (p.y)
        || Math.abs (p.x) > 100 || Math.abs (p.y) > 100)
        return null;
    return { x: p.x, y: p.y };
}
