// Shading of the moving liquid: the 80 × 80 image of shine and shade drawn over the dish, and the
// sheen whose reflection the surface slopes displace. Pure code over typed arrays: no DOM.

import { N, DX, CELL_UNITS, INNER_UNITS, DISH_UNITS } from "./solver.js";

//==============================================================================
export const SLOPE_LIMIT = 0.06;
export const SHEEN = { width: 0.62, height: 0.28, x: -0.32, y: -0.38, angle: -Math.PI / 4 };
export const SHEEN_PEAK = { light: 0.34, dark: 0.13 };
export const SHINE = { light: [255, 255, 255], dark: [175, 200, 235] };
export const SHADE = { light: [70, 100, 150], dark: [0, 4, 12] };
export const SHINE_ALPHA = { light: 0.55, dark: 0.3 };
export const SHADE_ALPHA = { light: 0.22, dark: 0.45 };
const REFRACTION = 1 - 1 / 1.33;

const clamp = (v, lo, hi) => Math.min (hi, Math.max (lo, v));

/**
    The sheen's place for a liquid turn (radians) and a tilt slope [sx, sy] (scaled so that 1 is a
    strong tilt): centre (dish units from the dish centre), axes and orientation. The sheen moves
    with the tilt by slope × 0.6R, its centre kept within R − 4.5.
*/
export function sheenPlace (turn, slope = [0, 0])
{
    const R = INNER_UNITS;
    const c = Math.cos (turn), s = Math.sin (turn);
    let x = (SHEEN.x * c - SHEEN.y * s) * R + slope[0] * 0.6 * R;
    let y = (SHEEN.x * s + SHEEN.y * c) * R + slope[1] * 0.6 * R;
    const d = Math.hypot (x, y), limit = R - 4.5;
    if (d > limit)
    {
        x *= limit / d;
        y *= limit / d;
    }
    return { x, y, a: SHEEN.width * R, b: SHEEN.height * R, angle: SHEEN.angle + turn };
}

/** Relative sheen intensity (0 to 1) at (x, y) dish units from the centre: a linear radial fade. */
export function sheenIntensity (place, x, y)
{
    const dx = x - place.x, dy = y - place.y;
    const c = Math.cos (place.angle), s = Math.sin (place.angle);
    const u = (dx * c + dy * s) / place.a, v = (-dx * s + dy * c) / place.b;
    return Math.max (0, 1 - Math.sqrt (u * u + v * v));
}

//==============================================================================
/** Working buffers of the shading. */
export function createShade ()
{
    return {
        height: new Float64Array (N * N),
        sx: new Float64Array (N * N),
        sy: new Float64Array (N * N),
        tx: new Float64Array (N * N),
        ty: new Float64Array (N * N),
        curv: new Float64Array (N * N),
        image: new Uint8ClampedArray (N * N * 4),
    };
}

/** Soft limit: SLOPE_LIMIT · tanh (g / SLOPE_LIMIT), with a rational tanh (error below 2 %). */
function softLimit (g)
{
    const x = g / SLOPE_LIMIT;
    if (x >= 3)
        return SLOPE_LIMIT;
    if (x <= -3)
        return -SLOPE_LIMIT;
    const x2 = x * x;
    return SLOPE_LIMIT * x * (27 + x2) / (27 + 9 * x2);
}

/** The neighbour maps one, two and three cells away on each side of an axis (a missing neighbour
    being the cell itself, so the rim stays clean). */
function reachMaps (grid)
{
    if (! grid.reach)
    {
        const chain = (m) => { const m2 = m.map ((n) => m[n]); return [m, m2, m2.map ((n) => m[n])]; };
        grid.reach = { left: chain (grid.left), right: chain (grid.right), up: chain (grid.up), down: chain (grid.down) };
    }
    return grid.reach;
}

/** Blurs a and b over the liquid cells with [1, 2, 1] three times along one axis, done at once as
    [1, 6, 15, 20, 15, 6, 1] / 64. */
function blur (a, b, ta, tb, cells, prev, next)
{
    const [p1, p2, p3] = prev, [n1, n2, n3] = next;
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        const i1 = p1[c], i2 = p2[c], i3 = p3[c], j1 = n1[c], j2 = n2[c], j3 = n3[c];
        ta[c] = (a[i3] + a[j3] + 6 * (a[i2] + a[j2]) + 15 * (a[i1] + a[j1]) + 20 * a[c]) * (1 / 64);
        tb[c] = (b[i3] + b[j3] + 6 * (b[i2] + b[j2]) + 15 * (b[i1] + b[j1]) + 20 * b[c]) * (1 / 64);
    }
}

/**
    Fills shade.image (80 × 80 RGBA) from the solver's fields. options: dark (bool), light [lx, ly]
    (the light vector), turn (radians), tiltSlope [sx, sy] (the scaled overall tilt).
*/
export function shadeLiquid (shade, solver, options)
{
    const { grid } = solver;
    const { cells, left, right, up, down, xs, ys } = grid;
    const slosh = solver.slosh.active ? solver.slosh.h : null;
    const stir = solver.stir.active ? solver.stir.h : null;
    const [tx, ty] = solver.tilt;
    const { height, curv, image } = shade;
    const { sx, sy, tx: bx, ty: by } = shade;

    // The surface: the slosh field without its overall tilt, plus the stir field.
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        height[c] = (slosh ? slosh[c] - tx * xs[c] - ty * ys[c] : 0) + (stir ? stir[c] : 0);
    }
    // Slopes by central differences (one-sided where a neighbour is missing), softly limited.
    const inv2 = 1 / (2 * DX), inv1 = 1 / DX, invArea = 1 / (DX * DX);
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        const l = left[c], r = right[c], u = up[c], d = down[c];
        const gx = (height[r] - height[l]) * (l !== c && r !== c ? inv2 : inv1);
        const gy = (height[d] - height[u]) * (u !== c && d !== c ? inv2 : inv1);
        sx[c] = softLimit (gx);
        sy[c] = softLimit (gy);
        if (stir)
            curv[c] = -3 * REFRACTION * (stir[l] + stir[r] + stir[u] + stir[d] - 4 * stir[c]) * invArea;
    }
    const reach = reachMaps (grid);
    blur (sx, sy, bx, by, cells, reach.left, reach.right);
    blur (bx, by, sx, sy, cells, reach.up, reach.down);

    const dark = !! options.dark;
    const place = sheenPlace (options.turn || 0, options.tiltSlope || [0, 0]);
    const pc = Math.cos (place.angle), ps = Math.sin (place.angle), ia = 1 / place.a, ib = 1 / place.b;
    const intensity = (x, y) =>
    {
        const dx = x - place.x, dy = y - place.y;
        const u = (dx * pc + dy * ps) * ia, v = (dy * pc - dx * ps) * ib;
        const r = Math.sqrt (u * u + v * v);
        return r < 1 ? 1 - r : 0;
    };
    const [lx, ly] = options.light || [1, 1];
    const shine = dark ? SHINE.dark : SHINE.light, shadeColour = dark ? SHADE.dark : SHADE.light;
    const shineAlpha = 255 * (dark ? SHINE_ALPHA.dark : SHINE_ALPHA.light);
    const shadeAlpha = 255 * (dark ? SHADE_ALPHA.dark : SHADE_ALPHA.light);
    const far = 4 * INNER_UNITS;
    const origin = CELL_UNITS / 2 - DISH_UNITS / 2;
    image.fill (0);
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        const i = c % N, j = (c - i) / N;
        const x = i * CELL_UNITS + origin, y = j * CELL_UNITS + origin;
        const gx = sx[c], gy = sy[c];
        let f = 1.5 * (intensity (x + far * gx, y + far * gy) - intensity (x, y)) + gx * lx + gy * ly;
        if (stir)
            f += 3 * curv[c];
        const o = 4 * c;
        if (f > 0)
        {
            image[o] = shine[0];
            image[o + 1] = shine[1];
            image[o + 2] = shine[2];
            image[o + 3] = (f < 1 ? f : 1) * shineAlpha;
        }
        else if (f < 0)
        {
            image[o] = shadeColour[0];
            image[o + 1] = shadeColour[1];
            image[o + 2] = shadeColour[2];
            image[o + 3] = (f > -1 ? -f : 1) * shadeAlpha;
        }
    }
    return image;
}

/** The overall tilt scaled for the sheen and the glints: 1 when the tilt lifts the rim by the
    liquid's depth. */
export const tiltSlope = (tilt) => [clamp (tilt[0] * 15, -2, 2), clamp (tilt[1] * 15, -2, 2)];
