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
    return Math.max (0, 1 - Math.hypot (u, v));
}

//==============================================================================
/** Working buffers of the shading. */
export function createShade ()
{
    return {
        sx: new Float64Array (N * N),
        sy: new Float64Array (N * N),
        tmp: new Float64Array (N * N),
        curv: new Float64Array (N * N),
        image: new Uint8ClampedArray (N * N * 4),
    };
}

/** Blurs a over the liquid cells with [1, 2, 1] along one axis (step 1 or N); a missing neighbour
    counts as the cell itself, so the rim stays clean. */
function blur (a, tmp, liquid, cells, step)
{
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        const l = liquid[c - step] ? a[c - step] : a[c];
        const r = liquid[c + step] ? a[c + step] : a[c];
        tmp[c] = 0.25 * (l + r) + 0.5 * a[c];
    }
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        a[c] = tmp[c];
    }
}

/**
    Fills shade.image (80 × 80 RGBA) from the solver's fields. options: dark (bool), light [lx, ly]
    (the light vector), turn (radians), tiltSlope [sx, sy] (the scaled overall tilt).
*/
export function shadeLiquid (shade, solver, options)
{
    const { grid } = solver;
    const { liquid, cells } = grid;
    const slosh = solver.slosh.active ? solver.slosh.h : null;
    const stir = solver.stir.active ? solver.stir.h : null;
    const [tx, ty] = solver.tilt;
    const { sx, sy, curv, tmp, image } = shade;

    // Surface slopes (central differences; a missing neighbour gives a one-sided difference),
    // the slosh field without its overall tilt.
    const height = (c) => (slosh ? slosh[c] - tx * grid.xs[c] - ty * grid.ys[c] : 0) + (stir ? stir[c] : 0);
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        const hc = height (c);
        const hl = liquid[c - 1] ? height (c - 1) : hc, hr = liquid[c + 1] ? height (c + 1) : hc;
        const hu = liquid[c - N] ? height (c - N) : hc, hd = liquid[c + N] ? height (c + N) : hc;
        const span = (h0, h1, a, b) => (a && b ? 2 : 1) * DX;
        const gx = (hr - hl) / span (hl, hr, liquid[c - 1], liquid[c + 1]);
        const gy = (hd - hu) / span (hu, hd, liquid[c - N], liquid[c + N]);
        sx[c] = SLOPE_LIMIT * Math.tanh (gx / SLOPE_LIMIT);
        sy[c] = SLOPE_LIMIT * Math.tanh (gy / SLOPE_LIMIT);
        if (stir)
        {
            const s = stir[c];
            const lap = ((liquid[c - 1] ? stir[c - 1] : s) + (liquid[c + 1] ? stir[c + 1] : s)
                       + (liquid[c - N] ? stir[c - N] : s) + (liquid[c + N] ? stir[c + N] : s) - 4 * s) / (DX * DX);
            curv[c] = -3 * REFRACTION * lap;
        }
    }
    for (let k = 0; k < 3; ++k)
    {
        blur (sx, tmp, liquid, cells, 1);
        blur (sx, tmp, liquid, cells, N);
        blur (sy, tmp, liquid, cells, 1);
        blur (sy, tmp, liquid, cells, N);
    }

    const dark = !! options.dark;
    const place = sheenPlace (options.turn || 0, options.tiltSlope || [0, 0]);
    const [lx, ly] = options.light || [1, 1];
    const shine = dark ? SHINE.dark : SHINE.light, shadeColour = dark ? SHADE.dark : SHADE.light;
    const shineAlpha = 255 * (dark ? SHINE_ALPHA.dark : SHINE_ALPHA.light);
    const shadeAlpha = 255 * (dark ? SHADE_ALPHA.dark : SHADE_ALPHA.light);
    const reach = 4 * INNER_UNITS;
    image.fill (0);
    for (let n = 0; n < cells.length; ++n)
    {
        const c = cells[n];
        const i = c % N, j = (c - i) / N;
        const x = (i + 0.5) * CELL_UNITS - DISH_UNITS / 2, y = (j + 0.5) * CELL_UNITS - DISH_UNITS / 2;
        const gx = sx[c], gy = sy[c];
        let f = 1.5 * (sheenIntensity (place, x + reach * gx, y + reach * gy) - sheenIntensity (place, x, y))
              + gx * lx + gy * ly;
        if (stir)
            f += 3 * curv[c];
        const o = 4 * c;
        if (f > 0)
        {
            image[o] = shine[0];
            image[o + 1] = shine[1];
            image[o + 2] = shine[2];
            image[o + 3] = Math.min (1, f) * shineAlpha;
        }
        else if (f < 0)
        {
            image[o] = shadeColour[0];
            image[o + 1] = shadeColour[1];
            image[o + 2] = shadeColour[2];
            image[o + 3] = Math.min (1, -f) * shadeAlpha;
        }
    }
    return image;
}

/** The overall tilt scaled for the sheen and the glints: 1 when the tilt lifts the rim by the
    liquid's depth. */
export const tiltSlope = (tilt) => [clamp (tilt[0] * 15, -2, 2), clamp (tilt[1] * 15, -2, 2)];
