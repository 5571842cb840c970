// Ripples on the dish: a list of plain records stepped each frame, and the kinds the dish uses.

//==============================================================================
/** Defaults of a ripple: speed and fade per second, gain, colour. */
export const RIPPLE_DEFAULTS = Object.freeze ({ speed: 70, fade: 0.85, gain: 1, color: Object.freeze ([180, 210, 245]) });

/** Most ripples alive at once, whatever their kinds; the oldest goes first. */
export const MAX_RIPPLES = 48;

/** Cap of cell-event ripples. */
export const CELL_EVENT_CAP = 4;

function finiteOr (v, fallback)
{
    return typeof v === "number" && Number.isFinite (v) ? v : fallback;
}

/** A complete ripple from a partial description (x, y in dish units, radius, speed, fade, gain,
    color [r, g, b], glints, phase, glow, ringless, kind, clip). */
export function makeRipple (spec = {})
{
    const color = Array.isArray (spec.color) && spec.color.length === 3 && spec.color.every (Number.isFinite)
        ? spec.color.map ((v) => Math.max (0, Math.min (255, Math.round (v)))) : RIPPLE_DEFAULTS.color.slice ();
    return {
        x: finiteOr (spec.x, 150),
        y: finiteOr (spec.y, 150),
        radius: Math.max (0, finiteOr (spec.radius, 0)),
        life: 1,
        speed: finiteOr (spec.speed, RIPPLE_DEFAULTS.speed),
        fade: Math.max (0.01, finiteOr (spec.fade, RIPPLE_DEFAULTS.fade)),
        gain: Math.max (0, finiteOr (spec.gain, RIPPLE_DEFAULTS.gain)),
        color,
        glints: Math.max (0, Math.min (32, Math.trunc (finiteOr (spec.glints, 0)))),
        phase: finiteOr (spec.phase, 0),
        glow: spec.glow === true,
        ringless: spec.ringless === true,
        kind: typeof spec.kind === "string" ? spec.kind : "plain",
        clip: spec.clip !== false,
    };
}

/** Adds a ripple; with a cap n, the oldest ripple of the same kind goes when n of that kind exist. */
export function addRipple (list, spec, cap = 0)
{
    const ripple = makeRipple (spec);
    if (cap > 0)
    {
        let count = 0;
        for (const r of list)
            if (r.kind === ripple.kind)
                ++count;
        if (count >= cap)
            list.splice (list.findIndex ((r) => r.kind === ripple.kind), 1);
    }
    if (list.length >= MAX_RIPPLES)
        list.shift ();
    list.push (ripple);
    return ripple;
}

/** Grows and fades every ripple by dt seconds and removes those whose life is over. */
export function stepRipples (list, dt)
{
    let kept = 0;
    for (const r of list)
    {
        r.radius += r.speed * dt;
        r.life -= r.fade * dt;
        if (r.life > 0)
            list[kept++] = r;
    }
    list.length = kept;
}

//==============================================================================
// The kinds the dish plays. Each returns the descriptions to add, with their caps.

/** A new cell's ring. */
export function plainRipple (x, y, color)
{
    return [{ spec: { x, y, color, kind: "plain" }, cap: 0 }];
}

/** A discovery: wide, bright, eight glints at a random phase. */
export function discoveryRipple (x, y, color, random = Math.random)
{
    return [{ spec: { x, y, color, speed: 60, fade: 0.7, gain: 2.4, glints: 8, phase: random () * 2 * Math.PI, kind: "discovery" }, cap: 0 }];
}

/** A cell that appeared on its own: starts at its radius, glows, at most four at once. */
export function cellEventRipple (x, y, radius, color)
{
    return [{ spec: { x, y, radius, color, speed: 40, fade: 1.5, gain: 1.5, glow: true, kind: "cellEvent" }, cap: CELL_EVENT_CAP }];
}

/** The jackpot pair of a motif cell born right after a reroll. */
export function jackpotRipples (x, y, color, random = Math.random)
{
    const phase = random () * 2 * Math.PI;
    return [
        { spec: { x, y, color, speed: 70, fade: 0.8, gain: 2.6, glints: 12, phase, kind: "jackpot" }, cap: 0 },
        { spec: { x, y, color, speed: 40, fade: 1.1, gain: 2.0, glints: 12, phase: phase + Math.PI / 12, kind: "jackpot" }, cap: 0 },
    ];
}

/** The splash (glints only) and its ring, for a cell born from a pipette drop. */
export function splashRipples (x, y, color, random = Math.random)
{
    return [
        { spec: { x, y, color, speed: 55, fade: 1.5, gain: 2.2, glints: 6, phase: random () * 2 * Math.PI, ringless: true, kind: "splash" }, cap: 0 },
        { spec: { x, y, color, speed: 60, fade: 0.9, gain: 1.8, kind: "splashRing" }, cap: 0 },
    ];
}
