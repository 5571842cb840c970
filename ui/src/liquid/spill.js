// Spilled drops: liquid thrown over the dish's rim when the window is moved hard, living on the
// whole window area (CSS pixels). They slide under the window's motion, rest on the tops of the
// page's controls, merge, leave trail drops, shrink and split into beads, fall off the edges and
// are wiped aside by the pointer. Pure code: the drawing is in surface.js.

//==============================================================================
export const MAX_DROPS = 150;
export const SPILL_SPEED = 500;             // px/s of the window's speed envelope
export const SPILL_PEAK = 7.5;              // mm of the slosh's rim peak
export const GRAVITY = 1600;                // px/s² for airborne drops
export const THROW_SPEED = 260;
export const BULK_RADIUS = 22;
export const BULK_MAX = 32;
export const SMALL_RADIUS = 6;
export const SMALL_MIN = 0.8;
export const WATER = [120, 160, 215];

const clamp = (v, lo, hi) => Math.min (hi, Math.max (lo, v));

/** The spill's state. random() gives numbers in [0, 1). */
export function createSpill (random = Math.random)
{
    return {
        drops: [],
        random,
        geometry: null,          // { width, height, dish: { x, y, r } } in CSS pixels
        obstacles: [],           // [{ x, y, w, h }] control outlines in CSS pixels
        nextBurst: 0,            // seconds until the next burst while spilling
        spilling: false,
        windowAccel: [0, 0],
        moving: false,
        nextId: 1,
        changed: true,
    };
}

/** A normal random number (Box-Muller). */
function gauss (random)
{
    const u = Math.max (1e-9, random ()), v = random ();
    return Math.sqrt (-2 * Math.log (u)) * Math.cos (2 * Math.PI * v);
}

function addDrop (spill, drop)
{
    if (spill.drops.length >= MAX_DROPS)
        return null;
    drop.id = spill.nextId++;
    drop.biggest = drop.r;
    drop.travel = 0;
    drop.shape = Math.floor (spill.random () * 4);
    drop.moved = true;
    spill.drops.push (drop);
    spill.changed = true;
    return drop;
}

/**
    Throws one burst from the rim at the angle (radians, screen orientation) in the colour given:
    a bulk of large drops sliding over the rim and small airborne drops thrown upwards.
*/
export function burst (spill, angle, spread, color)
{
    const g = spill.geometry;
    if (! g)
        return 0;
    const random = spill.random;
    let made = 0;
    const rimX = (a, r) => g.dish.x + Math.cos (a) * (g.dish.r + r), rimY = (a, r) => g.dish.y + Math.sin (a) * (g.dish.r + r);
    const bulk = 1 + Math.floor (random () * 3);
    for (let k = 0; k < bulk; ++k)
    {
        const a = angle + (random () - 0.5) * Math.max (0.2, spread);
        const r = Math.min (BULK_MAX, BULK_RADIUS * Math.exp (0.35 * gauss (random)) * 0.5);
        const out = 6 + 20 * random ();
        if (addDrop (spill, { x: rimX (a, 0.6 * r), y: rimY (a, 0.6 * r), vx: Math.cos (a) * out, vy: Math.sin (a) * out + 20,
                              r, color: color.slice (), airborne: false }))
            ++made;
    }
    const small = 3 + Math.floor (random () * 5);
    for (let k = 0; k < small; ++k)
    {
        const a = angle + (random () - 0.5) * Math.max (0.3, spread);
        const side = Math.cos (a) >= 0 ? 1 : -1;
        const elevation = (20 + 50 * random ()) * Math.PI / 180;
        const speed = THROW_SPEED * (0.7 + 0.6 * random ());
        const r = Math.max (SMALL_MIN, SMALL_RADIUS * Math.exp (0.4 * gauss (random)) * 0.6);
        if (addDrop (spill, { x: rimX (a, r), y: rimY (a, r), vx: side * speed * Math.cos (elevation),
                              vy: -speed * Math.sin (elevation), r, color: color.slice (), airborne: true }))
            ++made;
    }
    return made;
}

/**
    Decides the bursts of a frame of dt seconds: the window's speed envelope (px/s) and the slosh's
    rim peak (mm, angle, spread). Spills while the window moves hard and the peak is high.
*/
export function spillFrom (spill, dt, envelope, rim, color)
{
    const spilling = envelope >= SPILL_SPEED && rim.peak > SPILL_PEAK;
    if (! spilling)
    {
        spill.spilling = false;
        return 0;
    }
    const excess = rim.peak - SPILL_PEAK;
    const rate = Math.min (7, 4 * excess / SPILL_PEAK);
    let made = 0;
    if (! spill.spilling)
    {
        spill.spilling = true;
        spill.nextBurst = 0;
    }
    spill.nextBurst -= dt;
    if (spill.nextBurst <= 0 && rate > 0)
    {
        made += burst (spill, rim.angle, rim.spread, color);
        spill.nextBurst = 1 / rate;
    }
    return made;
}

/** Mixes two colours by optical density, weighted by volume. */
export function mixColour (a, wa, b, wb)
{
    const density = (v) => -Math.log (clamp (v, 1, 255) / 255);
    const out = [0, 0, 0];
    for (let i = 0; i < 3; ++i)
        out[i] = Math.round (255 * Math.exp (-(density (a[i]) * wa + density (b[i]) * wb) / (wa + wb)));
    return out;
}

function floorBelow (spill, d)
{
    // The nearest control top under the drop's centre that its bottom has reached.
    for (const o of spill.obstacles)
        if (d.x >= o.x && d.x <= o.x + o.w && d.y + d.r >= o.y - 1 && d.y + d.r <= o.y + Math.max (6, d.r))
            return o.y;
    return null;
}

function insideControl (spill, d)
{
    for (const o of spill.obstacles)
        if (d.x > o.x && d.x < o.x + o.w && d.y > o.y + Math.max (6, d.r) && d.y < o.y + o.h)
            return o;
    return null;
}

/** Advances the drops by dt seconds. Returns true while any drop moves. */
export function stepSpill (spill, dt)
{
    const g = spill.geometry;
    const drops = spill.drops;
    let moving = false;
    const [ax, ay] = spill.windowAccel;
    spill.windowAccel = [0, 0];
    for (const d of drops)
    {
        const x0 = d.x, y0 = d.y, r0 = d.r;
        if (d.airborne)
        {
            d.vy += GRAVITY * dt;
            d.x += d.vx * dt;
            d.y += d.vy * dt;
            const floor = d.vy > 0 ? floorBelow (spill, d) : null;
            if (floor !== null)
            {
                // Splat: the drop lands, flattens a little and stays.
                d.airborne = false;
                d.y = floor - d.r;
                d.vx *= 0.1;
                d.vy = 0;
                d.r *= 1.1;
                d.biggest = Math.max (d.biggest, d.r);
            }
        }
        else
        {
            // Sliding: slowly down under gravity, pushed by the window's motion, held by floors.
            const slide = 6 + 1.2 * d.r;
            d.vx -= ax * 0.25;
            d.vy -= ay * 0.25;
            const floor = floorBelow (spill, d);
            if (floor !== null && d.vy >= 0)
            {
                d.vy = 0;
                d.y = Math.min (d.y, floor - d.r);
                d.vx *= Math.exp (-6 * dt);
            }
            else
                d.vy += (slide - d.vy) * Math.min (1, 4 * dt);
            d.vx *= Math.exp (-2 * dt);
            if (Math.abs (d.vx) < 0.5)
                d.vx = 0;
            if (Math.abs (d.vy) < 0.5)
                d.vy = 0;
            d.x += d.vx * dt;
            d.y += d.vy * dt;
            const inside = insideControl (spill, d);
            if (inside)
            {
                // Pushed off a control's surface towards its nearer side.
                const left = d.x - inside.x, right = inside.x + inside.w - d.x;
                d.vx += (left < right ? -1 : 1) * 40 * dt * 60;
            }
        }
        // A drop that falls or slides back over the dish drops into the liquid again.
        if (g && (! d.airborne || d.vy > 0) && Math.hypot (d.x - g.dish.x, d.y - g.dish.y) < g.dish.r - 2)
            d.gone = true;
        const travelled = Math.hypot (d.x - x0, d.y - y0);
        d.moved = travelled > 0.01 || d.r !== r0;
        if (d.moved)
        {
            moving = true;
            if (! d.airborne)
            {
                d.travel += travelled;
                d.r = Math.max (0, d.r - 0.004 * travelled);
            }
        }
    }

    // Trails: a small drop left behind every 20 + 6r px of travel.
    for (const d of drops.slice ())
        if (! d.airborne && d.r > 2 && d.travel >= 20 + 6 * d.r)
        {
            d.travel = 0;
            const tr = Math.max (SMALL_MIN, d.r * 0.22);
            const volume = d.r ** 3 - tr ** 3;
            if (volume > 0 && addDrop (spill, { x: d.x - Math.sign (d.vx) * d.r * 0.5, y: d.y - d.r * 0.8, vx: 0, vy: 0,
                                                r: tr, color: d.color.slice (), airborne: false, trail: true }))
                d.r = Math.cbrt (volume);
        }

    // Beads: a drop shrunk below 80 % of its largest size splits into three.
    for (const d of drops.slice ())
        if (! d.airborne && d.r >= 3 && d.r < 0.8 * d.biggest && drops.length + 2 <= MAX_DROPS)
        {
            const r = d.r / Math.cbrt (3);
            d.r = r;
            d.biggest = r;
            d.moved = true;
            for (const side of [-1, 1])
                addDrop (spill, { x: d.x + side * r * 1.6, y: d.y + r * 0.4, vx: side * 4, vy: 0, r,
                                  color: d.color.slice (), airborne: false });
        }
        else if (d.r < 0.8 * d.biggest && d.r < 3)
            d.biggest = d.r;

    // Merging: touching drops become one, volume-weighted, colour mixed by optical density.
    for (let i = 0; i < drops.length; ++i)
    {
        const a = drops[i];
        if (a.gone || a.airborne)
            continue;
        for (let j = i + 1; j < drops.length; ++j)
        {
            const b = drops[j];
            if (b.gone || b.airborne || (! a.moved && ! b.moved))
                continue;
            const dx = b.x - a.x, dy = b.y - a.y;
            if (dx * dx + dy * dy >= (a.r + b.r) * (a.r + b.r) * 0.64)
                continue;
            const va = a.r ** 3, vb = b.r ** 3;
            a.x = (a.x * va + b.x * vb) / (va + vb);
            a.y = (a.y * va + b.y * vb) / (va + vb);
            a.vx = (a.vx * va + b.vx * vb) / (va + vb);
            a.vy = (a.vy * va + b.vy * vb) / (va + vb);
            a.color = mixColour (a.color, va, b.color, vb);
            a.r = Math.cbrt (va + vb);
            a.biggest = Math.max (a.biggest, a.r);
            a.moved = true;
            b.gone = true;
            moving = true;
        }
    }

    // Drops that left the window, or dried to nothing, are gone.
    const before = drops.length;
    spill.drops = drops.filter ((d) => ! d.gone && d.r >= SMALL_MIN * 0.5
        && (! g || (d.x > -d.r - 40 && d.x < g.width + d.r + 40 && d.y < g.height + d.r && d.y > -400)));
    if (spill.drops.length !== before)
        moving = true;
    spill.moving = moving;
    if (moving)
        spill.changed = true;
    return moving;
}

/** The pointer dragged across empty frame area at (x, y) by (dx, dy): drops it touches are wiped aside. */
export function wipe (spill, x, y, dx, dy)
{
    if (! [x, y, dx, dy].every (Number.isFinite))
        return 0;
    let n = 0;
    const len = Math.hypot (dx, dy) || 1;
    for (const d of spill.drops)
    {
        const ex = d.x - x, ey = d.y - y;
        if (Math.hypot (ex, ey) > d.r + 12)
            continue;
        const side = ex * -dy + ey * dx >= 0 ? 1 : -1;
        const push = clamp (len * 0.6, 4, 40);
        d.x += side * -dy / len * push + dx * 0.5;
        d.y += side * dx / len * push + dy * 0.5;
        d.vx += dx * 8;
        d.vy += dy * 8;
        d.airborne = false;
        d.moved = true;
        ++n;
    }
    if (n)
        spill.moving = true;
    return n;
}

/** The window's own acceleration (px/s per frame) felt by the resting drops. */
export function shakeDrops (spill, ax, ay)
{
    if (Number.isFinite (ax) && Number.isFinite (ay))
        spill.windowAccel = [spill.windowAccel[0] + ax, spill.windowAccel[1] + ay];
}

/** The bounding box of a drop in CSS pixels (with a margin for its soft edge). */
export const dropBox = (d) => ({ x: d.x - d.r * 1.3 - 2, y: d.y - d.r * 1.3 - 2, w: d.r * 2.6 + 4, h: d.r * 2.6 + 4 });
