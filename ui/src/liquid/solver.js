// The liquid in the dish: shallow water on an 80 × 80 grid over the dish's 300-unit drawing square.
//
// A dish of 45 mm radius (the 134-unit inner radius) holds about 3 mm of liquid. Heights h (mm) sit
// at cell centres, velocities (mm/s) on the faces between two liquid cells. Two independent fields
// share the grid: the slosh field (the whole dish shaken by the window's motion) and the stir field
// (local motion from the pointer's paddle, pokes and dimples). A field is stepped only while active;
// a field at rest is all zero and costs nothing. Pure code over typed arrays: no DOM.

//==============================================================================
export const N = 80;
export const DISH_UNITS = 300;
export const CELL_UNITS = DISH_UNITS / N;              // 3.75
export const INNER_UNITS = 134;
export const DISH_MM = 45;
export const MM_PER_UNIT = DISH_MM / INNER_UNITS;
export const DX = CELL_UNITS * MM_PER_UNIT;            // 1.2593 mm
export const DEPTH_MM = 3;
export const G = 9810;
export const MAX_WAVE_SPEED = 184;
export const MAX_STEP = 0.7 * DX / MAX_WAVE_SPEED;     // stability limit of one sub-step (s)
export const SLOSH_OMEGA = 1.841 * Math.sqrt (DEPTH_MM * G) / DISH_MM;
export const RIM_TAPER_MM = 4;
export const SMOOTHING = 4;                            // mm²/s
export const MM_PER_PIXEL = 0.168;

export const SLOSH_REST = { height: 0.03, speed: 3, motion: 1 };
export const STIR_REST = { height: 0.03, speed: 30 };

export const PADDLE_RADIUS_MM = 5;
export const PADDLE_EDGE_MM = 3;
export const PADDLE_MAX_SPEED = 1500;
export const PADDLE_TIME_CONSTANT = 0.025;
export const DIMPLE = { depth: 0.3, radius: 3.5 };
export const POKE = { depth: 0.25, radius: 1.6 };
export const GROUP_SECONDS = 1 / 20;
export const SLOW_TIME_CONSTANT = 0.08;

const clamp = (v, lo, hi) => Math.min (hi, Math.max (lo, v));

//==============================================================================
/** The fixed geometry of the grid: which cells are liquid, which faces are open, each liquid cell's
    centre relative to the dish centre (mm), and the rim ring. */
export function createGrid ()
{
    const liquid = new Uint8Array (N * N);
    const xs = new Float64Array (N * N), ys = new Float64Array (N * N), rimMm = new Float64Array (N * N);
    const cells = [];
    for (let j = 0; j < N; ++j)
        for (let i = 0; i < N; ++i)
        {
            const c = j * N + i;
            const x = (i + 0.5) * CELL_UNITS - DISH_UNITS / 2, y = (j + 0.5) * CELL_UNITS - DISH_UNITS / 2;
            xs[c] = x * MM_PER_UNIT;
            ys[c] = y * MM_PER_UNIT;
            rimMm[c] = (INNER_UNITS - Math.hypot (x, y)) * MM_PER_UNIT;
            if (Math.hypot (x, y) < INNER_UNITS)
            {
                liquid[c] = 1;
                cells.push (c);
            }
        }
    const uFaces = [], vFaces = [], rim = [];
    for (const c of cells)
    {
        const i = c % N;
        if (i + 1 < N && liquid[c + 1])
            uFaces.push (c);
        if (c + N < N * N && liquid[c + N])
            vFaces.push (c);
        if (rimMm[c] < 2 * DX)
            rim.push (c);
    }
    // Neighbour of each cell on each side, or the cell itself where that side is not liquid.
    const side = (step) =>
    {
        const a = new Int32Array (N * N);
        for (let c = 0; c < N * N; ++c)
        {
            const n = c + step;
            a[c] = n >= 0 && n < N * N && liquid[n] && Math.abs ((n % N) - (c % N)) <= 1 ? n : c;
        }
        return a;
    };
    const ci = new Float64Array (N * N), cj = new Float64Array (N * N);
    for (let c = 0; c < N * N; ++c)
    {
        ci[c] = c % N;
        cj[c] = (c - (c % N)) / N;
    }
    let sxx = 0, syy = 0;
    for (const c of cells)
    {
        sxx += xs[c] * xs[c];
        syy += ys[c] * ys[c];
    }
    return {
        liquid, xs, ys, rimMm, sxx, syy, ci, cj,
        left: side (-1), right: side (1), up: side (-N), down: side (N),
        reach: null,
        cells: Int32Array.from (cells),
        uFaces: Int32Array.from (uFaces),
        vFaces: Int32Array.from (vFaces),
        rim: Int32Array.from (rim),
    };
}

/**
    The depth map (mm per cell, and per open face): 3 mm × (1 + 0.15 · a smooth random pattern of six
    plane waves with wavelengths of 70 to 140 mm), tapering to a thin film over the last 4 mm before
    the rim. random() gives numbers in [0, 1).
*/
export function makeDepth (grid, random = Math.random)
{
    const waves = [];
    for (let k = 0; k < 6; ++k)
    {
        const length = 70 + 70 * random ();
        const a = 2 * Math.PI * random ();
        waves.push ([Math.cos (a) * 2 * Math.PI / length, Math.sin (a) * 2 * Math.PI / length, 2 * Math.PI * random ()]);
    }
    const depth = new Float64Array (N * N);
    for (const c of grid.cells)
    {
        let p = 0;
        for (const [kx, ky, phase] of waves)
            p += Math.cos (kx * grid.xs[c] + ky * grid.ys[c] + phase);
        p = clamp (p / 3, -1, 1);
        const t = clamp (grid.rimMm[c] / RIM_TAPER_MM, 0, 1);
        const taper = 0.15 + 0.85 * t * t * (3 - 2 * t);
        depth[c] = DEPTH_MM * (1 + 0.15 * p) * taper;
    }
    const faceDepth = (faces, step) =>
    {
        const d = new Float64Array (N * N);
        for (const c of faces)
            d[c] = 0.5 * (depth[c] + depth[c + step]);
        return d;
    };
    const du = faceDepth (grid.uFaces, 1), dv = faceDepth (grid.vFaces, N);
    // Bottom friction: a boundary-layer term growing as the depth shrinks, plus a share of the
    // dish's first slosh frequency.
    const rate = (d) => Math.sqrt (SLOSH_OMEGA / 2) / d + 0.12 * SLOSH_OMEGA;
    const ru = new Float64Array (N * N), rv = new Float64Array (N * N);
    for (const c of grid.uFaces)
        ru[c] = rate (du[c]);
    for (const c of grid.vFaces)
        rv[c] = rate (dv[c]);
    return { depth, du, dv, ru, rv };
}

//==============================================================================
/** One field: heights, face velocities, and (stir field) slow copies of the velocities. */
export function createField (stir)
{
    const field = {
        stir,
        active: false,
        h: new Float64Array (N * N),
        u: new Float64Array (N * N),
        v: new Float64Array (N * N),
        maxHeight: 0,
        maxSpeed: 0,
    };
    if (stir)
    {
        field.su = new Float64Array (N * N);
        field.sv = new Float64Array (N * N);
        field.scratch = new Float64Array (N * N);
        field.groupTime = 0;
        field.groupParts = [];
    }
    return field;
}

/** Clears a field to rest. */
export function restField (field)
{
    field.h.fill (0);
    field.u.fill (0);
    field.v.fill (0);
    if (field.stir)
    {
        field.su.fill (0);
        field.sv.fill (0);
        field.groupTime = 0;
        field.groupParts = [];
    }
    field.maxHeight = 0;
    field.maxSpeed = 0;
    field.active = false;
}

/**
    One sub-step of dt seconds: momentum on every open face (with the acceleration share ax, ay in
    mm/s for this step; the slosh field only), continuity, and a light smoothing of the heights over
    the time smoothing (the sub-step's own by default; a frame may smooth once for all its steps).
*/
export function stepShallow (grid, depth, field, dt, ax = 0, ay = 0, smoothing = dt)
{
    const { h, u, v } = field;
    const gk = G * dt / DX;
    const { uFaces, vFaces } = grid;
    const { du, dv } = depth;
    const keep = stepKeeps (depth, dt);
    const ku = keep.u, kv = keep.v;
    if (field.stir)
    {
        // The fast part of the stir's flow is damped towards its slow, low-passed flow.
        const { su, sv } = field;
        const follow = keep.follow, su2 = keep.su, sv2 = keep.sv;
        for (let n = 0; n < uFaces.length; ++n)
        {
            const c = uFaces[n];
            const next = (u[c] - gk * (h[c + 1] - h[c])) * ku[c];
            const slow = su[c] + (next - su[c]) * follow;
            su[c] = slow;
            u[c] = slow + (next - slow) * su2[c];
        }
        for (let n = 0; n < vFaces.length; ++n)
        {
            const c = vFaces[n];
            const next = (v[c] - gk * (h[c + N] - h[c])) * kv[c];
            const slow = sv[c] + (next - sv[c]) * follow;
            sv[c] = slow;
            v[c] = slow + (next - slow) * sv2[c];
        }
    }
    else
    {
        for (let n = 0; n < uFaces.length; ++n)
        {
            const c = uFaces[n];
            u[c] = (u[c] - gk * (h[c + 1] - h[c]) - ax) * ku[c];
        }
        for (let n = 0; n < vFaces.length; ++n)
        {
            const c = vFaces[n];
            v[c] = (v[c] - gk * (h[c + N] - h[c]) - ay) * kv[c];
        }
    }
    // Continuity: each face moves depth × velocity × dt between its two cells (closed faces move
    // nothing, so the volume is kept).
    const k = dt / DX;
    for (let n = 0; n < uFaces.length; ++n)
    {
        const c = uFaces[n];
        const q = k * du[c] * u[c];
        h[c] -= q;
        h[c + 1] += q;
    }
    for (let n = 0; n < vFaces.length; ++n)
    {
        const c = vFaces[n];
        const q = k * dv[c] * v[c];
        h[c] -= q;
        h[c + N] += q;
    }
    if (smoothing > 0)
        smoothFaces (grid, h, SMOOTHING * smoothing / (DX * DX));
}

/** The per-face damping factors of one sub-step length, kept on the depth map while dt repeats. */
function stepKeeps (depth, dt)
{
    let k = depth.keeps;
    if (k && k.dt === dt)
        return k;
    k = depth.keeps || { u: new Float64Array (N * N), v: new Float64Array (N * N),
                         su: new Float64Array (N * N), sv: new Float64Array (N * N) };
    k.dt = dt;
    k.follow = 1 - Math.exp (-dt / SLOW_TIME_CONSTANT);
    const stir = (Math.PI / 2) ** 2 * dt;
    for (let c = 0; c < N * N; ++c)
    {
        k.u[c] = 1 / (1 + depth.ru[c] * dt);
        k.v[c] = 1 / (1 + depth.rv[c] * dt);
        k.su[c] = depth.du[c] > 0 ? 1 / (1 + stir / (depth.du[c] * depth.du[c])) : 0;
        k.sv[c] = depth.dv[c] > 0 ? 1 / (1 + stir / (depth.dv[c] * depth.dv[c])) : 0;
    }
    depth.keeps = k;
    return k;
}

/** Exchanges a share s of the difference across every open face (volume-keeping smoothing). */
function smoothFaces (grid, a, s)
{
    const { uFaces, vFaces } = grid;
    for (let n = 0; n < uFaces.length; ++n)
    {
        const c = uFaces[n];
        const q = s * (a[c + 1] - a[c]);
        a[c] += q;
        a[c + 1] -= q;
    }
    for (let n = 0; n < vFaces.length; ++n)
    {
        const c = vFaces[n];
        const q = s * (a[c + N] - a[c]);
        a[c] += q;
        a[c + N] -= q;
    }
}

/** Largest |h| and largest face speed of a field (kept on the field). Values too small to matter
    are flushed to zero here, once per frame, so the wave fronts never reach subnormal numbers
    (which slow the arithmetic down by orders of magnitude). */
export function measureField (grid, field)
{
    let mh = 0, ms = 0;
    const { h, u, v } = field;
    const cells = grid.cells, uFaces = grid.uFaces, vFaces = grid.vFaces;
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n], a = Math.abs (h[c]);
        if (a > mh)
            mh = a;
        else if (a < 1e-12)
            h[c] = 0;
    }
    for (let n = 0; n < uFaces.length; ++n)
    {
        const c = uFaces[n], a = Math.abs (u[c]);
        if (a > ms)
            ms = a;
        else if (a < 1e-12)
            u[c] = 0;
    }
    for (let n = 0; n < vFaces.length; ++n)
    {
        const c = vFaces[n], a = Math.abs (v[c]);
        if (a > ms)
            ms = a;
        else if (a < 1e-12)
            v[c] = 0;
    }
    if (field.stir)
        for (let n = 0; n < uFaces.length; ++n)
        {
            const c = uFaces[n];
            if (Math.abs (field.su[c]) < 1e-12)
                field.su[c] = 0;
            const d = vFaces[n];
            if (d !== undefined && Math.abs (field.sv[d]) < 1e-12)
                field.sv[d] = 0;
        }
    field.maxHeight = mh;
    field.maxSpeed = ms;
}

/** Total liquid volume above rest, mm³ (sum of heights times the cell area). */
export function volume (grid, field)
{
    let s = 0;
    for (const c of grid.cells)
        s += field.h[c];
    return s * DX * DX;
}

//==============================================================================
/** Bilinear sample of a cell-aligned array at fractional grid position (x, y). */
function sample (a, x, y)
{
    if (x < 0)
        x = 0;
    else if (x > N - 1.001)
        x = N - 1.001;
    if (y < 0)
        y = 0;
    else if (y > N - 1.001)
        y = N - 1.001;
    const i = x | 0, j = y | 0;
    const fx = x - i, fy = y - j, c = j * N + i;
    const top = a[c] + (a[c + 1] - a[c]) * fx, bottom = a[c + N] + (a[c + N + 1] - a[c + N]) * fx;
    return top + (bottom - top) * fy;
}

/**
    The stir field's slow group work: the heights and velocities advected along the slow flow over
    the group's time (semi-Lagrangian, total height kept), and the velocities smoothed like the heights.
*/
export function advectStir (grid, field, dt, part = "all")
{
    const { u, v, su, sv, scratch } = field;
    const { uFaces, vFaces, ci, cj } = grid;
    const s = dt / DX;
    const all = part === "all";
    // Heights, traced back from each liquid cell's centre along the slow velocity there.
    if (all || part === "h")
        advectHeights (grid, field, s);
    if (all || part === "u")
    {
        for (let n = 0; n < uFaces.length; ++n)
        {
            const c = uFaces[n];
            const vy = 0.25 * (sv[c] + sv[c - N] + sv[c + 1] + sv[c + 1 - N]);
            scratch[c] = sample (u, ci[c] - su[c] * s, cj[c] - vy * s);
        }
        for (let n = 0; n < uFaces.length; ++n)
            u[uFaces[n]] = scratch[uFaces[n]];
    }
    if (all || part === "v")
    {
        for (let n = 0; n < vFaces.length; ++n)
        {
            const c = vFaces[n];
            const vx = 0.25 * (su[c] + su[c - 1] + su[c + N] + su[c + N - 1]);
            scratch[c] = sample (v, ci[c] - vx * s, cj[c] - sv[c] * s);
        }
        for (let n = 0; n < vFaces.length; ++n)
            v[vFaces[n]] = scratch[vFaces[n]];
        // Velocity smoothing among neighbouring open faces of the same kind.
        const k = SMOOTHING * dt / (DX * DX);
        const open = grid.openMarks || (grid.openMarks = markFaces (grid));
        smoothAmong (u, uFaces, open.u, k);
        smoothAmong (v, vFaces, open.v, k);
    }
}

function advectHeights (grid, field, s)
{
    const { h, su, sv, scratch } = field;
    const { cells, ci, cj } = grid;
    let before = 0, after = 0;
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        const vx = 0.5 * (su[c] + su[c - 1]), vy = 0.5 * (sv[c] + sv[c - N]);
        const value = sample (h, ci[c] - vx * s, cj[c] - vy * s);
        scratch[c] = value;
        before += h[c];
        after += value;
    }
    const shift = (before - after) / cells.length;
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        h[c] = scratch[c] + shift;
    }
}

/** Exchanges a share k of the difference between each open face and its open right and lower
    neighbours of the same kind. */
function smoothAmong (a, faces, mark, k)
{
    const q = Math.min (0.2, k);
    for (let n = 0; n < faces.length; ++n)
    {
        const c = faces[n];
        if (mark[c + 1])
        {
            const d = q * (a[c + 1] - a[c]);
            a[c] += d;
            a[c + 1] -= d;
        }
        if (mark[c + N])
        {
            const d = q * (a[c + N] - a[c]);
            a[c] += d;
            a[c + N] -= d;
        }
    }
}

function markFaces (grid)
{
    const u = new Uint8Array (N * N + N), v = new Uint8Array (N * N + N);
    for (const c of grid.uFaces)
        u[c] = 1;
    for (const c of grid.vFaces)
        v[c] = 1;
    return { u, v };
}

//==============================================================================
/** Presses a Gaussian dimple (depth, radius in mm) at (x, y) mm from the dish centre; the liquid
    it displaces rises evenly over the dish, so the volume is kept. */
export function pressDimple (grid, field, x, y, depth, radius)
{
    let removed = 0;
    const r2 = radius * radius;
    for (const c of grid.cells)
    {
        const dx = grid.xs[c] - x, dy = grid.ys[c] - y;
        const d2 = dx * dx + dy * dy;
        if (d2 > 16 * r2)
            continue;
        const dh = depth * Math.exp (-d2 / r2);
        field.h[c] -= dh;
        removed += dh;
    }
    const rise = removed / grid.cells.length;
    for (const c of grid.cells)
        field.h[c] += rise;
}

/** Imposes the paddle's velocity (px, py mm; vx, vy mm/s) on the faces near it, blended in by b. */
export function imposePaddle (grid, field, px, py, vx, vy, b)
{
    const reach = PADDLE_RADIUS_MM + PADDLE_EDGE_MM;
    const weight = (x, y) =>
    {
        const d = Math.sqrt ((x - px) * (x - px) + (y - py) * (y - py));
        if (d >= reach)
            return 0;
        if (d <= PADDLE_RADIUS_MM)
            return b;
        const t = 1 - (d - PADDLE_RADIUS_MM) / PADDLE_EDGE_MM;
        return b * t * t * (3 - 2 * t);
    };
    const i0 = Math.max (0, Math.floor ((px - reach) / DX + N / 2 - 1)), i1 = Math.min (N - 1, Math.ceil ((px + reach) / DX + N / 2));
    const j0 = Math.max (0, Math.floor ((py - reach) / DX + N / 2 - 1)), j1 = Math.min (N - 1, Math.ceil ((py + reach) / DX + N / 2));
    const open = grid.openMarks || (grid.openMarks = markFaces (grid));
    for (let j = j0; j <= j1; ++j)
        for (let i = i0; i <= i1; ++i)
        {
            const c = j * N + i;
            if (open.u[c])
            {
                const w = weight (grid.xs[c] + DX / 2, grid.ys[c]);
                field.u[c] += (vx - field.u[c]) * w;
            }
            if (open.v[c])
            {
                const w = weight (grid.xs[c], grid.ys[c] + DX / 2);
                field.v[c] += (vy - field.v[c]) * w;
            }
        }
}

//==============================================================================
/** Least-squares tilt of the heights over the dish: dh/dx, dh/dy (mm per mm). */
export function tilt (grid, h)
{
    let sx = 0, sy = 0;
    const { cells, xs, ys } = grid;
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        sx += h[c] * xs[c];
        sy += h[c] * ys[c];
    }
    return [sx / grid.sxx, sy / grid.syy];
}

/** The highest wave on the rim ring: its height (mm), angle (radians, screen orientation) and
    spread (the angular range of rim heights of at least 85 % of the peak). */
export function rimPeak (grid, h)
{
    let peak = 0, at = -1;
    for (const c of grid.rim)
        if (h[c] > peak)
        {
            peak = h[c];
            at = c;
        }
    if (at < 0)
        return { peak: 0, angle: 0, spread: 0 };
    const angle = Math.atan2 (grid.ys[at], grid.xs[at]);
    let spread = 0;
    for (const c of grid.rim)
        if (h[c] >= 0.85 * peak)
        {
            let d = Math.atan2 (grid.ys[c], grid.xs[c]) - angle;
            d = Math.atan2 (Math.sin (d), Math.cos (d));
            spread = Math.max (spread, 2 * Math.abs (d));
        }
    return { peak, angle, spread };
}

//==============================================================================
/** The window motion filter: two first-order stages whose cutoff rises with the speed. */
export function createMotion ()
{
    return { pendingX: 0, pendingY: 0, v1: [0, 0], v2: [0, 0], envelope: 0, speed: 0 };
}

/**
    Takes the window displacement gathered since the last frame (frame time dt seconds). Returns the
    change of the filtered velocity (mm/s, each axis limited to ±200), which accelerates the liquid.
*/
export function filterMotion (m, dt)
{
    const rawX = m.pendingX * MM_PER_PIXEL / dt, rawY = m.pendingY * MM_PER_PIXEL / dt;
    m.speed = Math.hypot (m.pendingX, m.pendingY) / dt;
    m.envelope = Math.max (m.speed, m.envelope * Math.exp (-dt / 0.06));
    m.pendingX = 0;
    m.pendingY = 0;
    const cutoff = 3 + 0.02 * Math.hypot (m.v1[0], m.v1[1]) / MM_PER_PIXEL;
    const a = 1 - Math.exp (-2 * Math.PI * cutoff * dt);
    const before = m.v2.slice ();
    m.v1[0] += (rawX - m.v1[0]) * a;
    m.v1[1] += (rawY - m.v1[1]) * a;
    m.v2[0] += (m.v1[0] - m.v2[0]) * a;
    m.v2[1] += (m.v1[1] - m.v2[1]) * a;
    return [clamp (m.v2[0] - before[0], -200, 200), clamp (m.v2[1] - before[1], -200, 200)];
}

/** True when the filtered motion has settled below the rest limit. */
export const motionQuiet = (m) => Math.hypot (m.v1[0], m.v1[1]) < SLOSH_REST.motion
    && Math.hypot (m.v2[0], m.v2[1]) < SLOSH_REST.motion && m.pendingX === 0 && m.pendingY === 0;

//==============================================================================
/**
    The whole liquid: grid, depth map, both fields, the motion filter, the paddle. Drives the fields
    frame by frame; the drawing lives in surface.js and shade.js.
*/
export function createSolver (random = Math.random)
{
    const grid = createGrid ();
    const solver = {
        grid,
        depth: makeDepth (grid, random),
        slosh: createField (false),
        stir: createField (true),
        motion: createMotion (),
        random,
        tilt: [0, 0],
        rim: { peak: 0, angle: 0, spread: 0 },
        paddle: null,
        accel: [0, 0],
    };
    return solver;
}

/** True while either field moves. */
export const liquidActive = (s) => s.slosh.active || s.stir.active;

function wake (s, field)
{
    if (! liquidActive (s))
        s.depth = makeDepth (s.grid, s.random);
    field.active = true;
}

/** Dish drawing units (0 to 300) to mm from the centre. */
export const toMm = (x) => (x - DISH_UNITS / 2) * MM_PER_UNIT;

/** Window motion (pixels). */
export function moveWindow (s, dx, dy)
{
    if (! Number.isFinite (dx) || ! Number.isFinite (dy) || (dx === 0 && dy === 0))
        return;
    s.motion.pendingX += dx;
    s.motion.pendingY += dy;
    if (! s.slosh.active)
        wake (s, s.slosh);
}

/** Pointer down at (x, y) in dish drawing units: the paddle is placed and the stir field wakes. */
export function stirDown (s, x, y)
{
    if (! Number.isFinite (x) || ! Number.isFinite (y))
        return;
    const p = [toMm (x), toMm (y)];
    s.paddle = { pos: p.slice (), target: p.slice (), velocity: [0, 0] };
    wake (s, s.stir);
}

/** Pointer move: the paddle's new target. */
export function stirMove (s, x, y)
{
    if (s.paddle && Number.isFinite (x) && Number.isFinite (y))
        s.paddle.target = [toMm (x), toMm (y)];
}

/** Pointer up: a dimple where the paddle was. */
export function stirUp (s)
{
    if (! s.paddle)
        return;
    const [x, y] = s.paddle.pos;
    s.paddle = null;
    pressDimple (s.grid, s.stir, x, y, DIMPLE.depth, DIMPLE.radius);
    wake (s, s.stir);
}

/** A poke (a cell appearing) at (x, y) in dish drawing units. */
export function poke (s, x, y)
{
    if (! Number.isFinite (x) || ! Number.isFinite (y))
        return;
    wake (s, s.stir);
    pressDimple (s.grid, s.stir, toMm (x), toMm (y), POKE.depth, POKE.radius);
}

/** Advances the liquid by one frame of dt seconds (at most 0.1). Inactive fields cost nothing. */
export function stepLiquid (s, dt)
{
    dt = clamp (dt, 0, 0.1);
    if (dt <= 0)
        return;
    const steps = Math.max (1, Math.ceil (dt / MAX_STEP));
    const h = dt / steps;
    if (s.slosh.active)
    {
        const [ax, ay] = filterMotion (s.motion, dt);
        s.accel = [ax, ay];
        for (let n = 0; n < steps; ++n)
            stepShallow (s.grid, s.depth, s.slosh, h, ax / steps, ay / steps);
        measureField (s.grid, s.slosh);
        s.tilt = tilt (s.grid, s.slosh.h);
        s.rim = rimPeak (s.grid, s.slosh.h);
        if (motionQuiet (s.motion) && s.slosh.maxHeight < SLOSH_REST.height && s.slosh.maxSpeed < SLOSH_REST.speed)
        {
            restField (s.slosh);
            s.motion = createMotion ();
            s.tilt = [0, 0];
            s.rim = { peak: 0, angle: 0, spread: 0 };
        }
    }
    else
    {
        // The envelope of the window's speed still decays while the liquid rests.
        s.motion.envelope *= Math.exp (-dt / 0.06);
        s.accel = [0, 0];
    }
    if (s.stir.active)
    {
        const f = s.stir;
        for (let n = 0; n < steps; ++n)
        {
            if (s.paddle)
            {
                const p = s.paddle;
                const k = 1 - Math.exp (-h / PADDLE_TIME_CONSTANT);
                const nx = p.pos[0] + (p.target[0] - p.pos[0]) * k, ny = p.pos[1] + (p.target[1] - p.pos[1]) * k;
                p.velocity = [clamp ((nx - p.pos[0]) / h, -PADDLE_MAX_SPEED, PADDLE_MAX_SPEED),
                              clamp ((ny - p.pos[1]) / h, -PADDLE_MAX_SPEED, PADDLE_MAX_SPEED)];
                p.pos = [nx, ny];
                imposePaddle (s.grid, f, nx, ny, p.velocity[0], p.velocity[1], 1 - Math.exp (-60 * h));
            }
            stepShallow (s.grid, s.depth, f, h);
        }
        // The slow group work, at most 20 times a second, spread over the next three frames
        // (heights, then each velocity) so that no frame carries all of it.
        f.groupTime += dt;
        if (f.groupTime >= GROUP_SECONDS && f.groupParts.length === 0)
        {
            f.groupParts = [["all", f.groupTime]];
            f.groupTime = 0;
        }
        if (f.groupParts.length)
        {
            const [part, time] = f.groupParts.shift ();
            advectStir (s.grid, f, time, part);
        }
        measureField (s.grid, f);
        if (! s.paddle && f.maxHeight < STIR_REST.height && f.maxSpeed < STIR_REST.speed)
            restField (f);
    }
}

/** Kinetic-plus-potential energy of a field (arbitrary units, for tests and diagnostics). */
export function energy (grid, depth, field)
{
    let e = 0;
    for (const c of grid.cells)
        e += G * field.h[c] * field.h[c];
    for (const c of grid.uFaces)
        e += depth.du[c] * field.u[c] * field.u[c];
    for (const c of grid.vFaces)
        e += depth.dv[c] * field.v[c] * field.v[c];
    return 0.5 * e;
}
