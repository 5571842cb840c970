// Drag and flight arithmetic of the pages: the pipette drag's smoothed velocity and drop, hit
// tests against boxes and the dish circle, the discovery orb's path and the pipette button's bump.
// Pure: no DOM (boxes are plain { left, top, width, height } records).

/** A pipette drag counts as moved beyond this distance (px) from its start. */
export const PIPETTE_MOVE_PX = 10;
/** A culture drag starts once the pointer has moved this far (px). */
export const CULTURE_START_PX = 8;
/** The pipette ghost's top-left corner sits this far left of and above the pointer (px). */
export const GHOST_OFFSET_PX = 20;

/**
    One step of the smoothed pointer velocity (px per second): v = 0.6 v + 0.4 · movement / time,
    the time (ms) taken as at least 8 ms. v and movement are [x, y].
*/
export function smoothVelocity (v, movement, elapsedMs)
{
    const t = Math.max (8, Number.isFinite (elapsedMs) ? elapsedMs : 0) / 1000;
    return [0.6 * v[0] + 0.4 * movement[0] / t, 0.6 * v[1] + 0.4 * movement[1] / t];
}

/** Whether a point lies inside a box (edges included). */
export const insideBox = (p, box) =>
    p[0] >= box.left && p[0] <= box.left + box.width && p[1] >= box.top && p[1] <= box.top + box.height;

/** Whether a point lies inside the dish circle: at most half the box's width from its centre. */
export function insideDish (p, box)
{
    const cx = box.left + box.width / 2, cy = box.top + box.height / 2;
    return Math.hypot (p[0] - cx, p[1] - cy) <= box.width / 2;
}

/**
    The "pipetteDrop" payload for a release at point p over the dish box, or null when the drag
    did not move or the point lies outside the dish circle. x, y run −1 … 1 across the box; vx, vy
    are the smoothed velocity in dish radii per second.
*/
export function dropPayload ({ shape, color }, p, box, velocity, moved)
{
    if (! moved || ! insideDish (p, box))
        return null;
    const half = box.width / 2;
    return {
        shape,
        color,
        x: (p[0] - box.left) / box.width * 2 - 1,
        y: (p[1] - box.top) / box.height * 2 - 1,
        vx: velocity[0] / half,
        vy: velocity[1] / half,
    };
}

//==============================================================================
/** Flight time of a discovery orb (ms). */
export const ORB_MS = 900;

/**
    Key frames of a discovery orb flying from `from` to the pipette button's centre `to` (both
    [x, y] in px): it grows to 1.35 in the first 12 %, settles to 1.2 while rising 4 px by 24 %, then
    follows a quadratic curve in 16 straight steps to 6 px right of and 6 px above the button's
    centre, through a control point halfway across and 40 px above the higher end, shrinking from
    1.2 to 0.6 and to 0 at the last step. Each frame is { offset, x, y, scale }, x and y being
    the orb's centre.
*/
export function orbFrames (from, to)
{
    const start = [from[0], from[1] - 4];
    const end = [to[0] + 6, to[1] - 6];
    const control = [(start[0] + end[0]) / 2, Math.min (start[1], end[1]) - 40];
    const frames = [
        { offset: 0, x: from[0], y: from[1], scale: 0 },
        { offset: 0.12, x: from[0], y: from[1], scale: 1.35 },
        { offset: 0.24, x: start[0], y: start[1], scale: 1.2 },
    ];
    const steps = 16;
    for (let k = 1; k <= steps; ++k)
    {
        const t = k / steps, u = 1 - t;
        frames.push ({
            offset: 0.24 + 0.76 * t,
            x: u * u * start[0] + 2 * u * t * control[0] + t * t * end[0],
            y: u * u * start[1] + 2 * u * t * control[1] + t * t * end[1],
            scale: k === steps ? 0 : 1.2 - 0.6 * t,
        });
    }
    return frames;
}

/** The pipette button's bump when an orb lands: bulb scales and icon wiggle (degrees), over BUMP_MS. */
export const BUMP_MS = 700;
export const BULB_SCALES = Object.freeze ([1, 1.45, 0.85, 1.12, 1]);
export const ICON_WIGGLE = Object.freeze ([0, -14, 10, -5, 0]);
