// The liquid solver and the spilled drops: volume, decay, rest thresholds, spilling limits.
import { test } from "node:test";
import assert from "node:assert/strict";
import { createSolver, stepLiquid, stirDown, stirMove, stirUp, poke, moveWindow, volume, energy,
         measureField, liquidActive, STIR_REST, DX, N } from "../../src/liquid/solver.js";
import { createSpill, spillFrom, stepSpill, mixColour, wipe, MAX_DROPS } from "../../src/liquid/spill.js";

/** A seeded generator so runs repeat. */
function mulberry (seed)
{
    return () =>
    {
        seed = (seed + 0x6D2B79F5) | 0;
        let t = Math.imul (seed ^ (seed >>> 15), 1 | seed);
        t = (t + Math.imul (t ^ (t >>> 7), 61 | t)) ^ t;
        return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
}

const FRAME = 1 / 60;

function stir (s, frames = 30)
{
    stirDown (s, 150, 150);
    for (let k = 0; k < frames; ++k)
    {
        stirMove (s, 150 + 40 * Math.sin (k / 5), 150 + 30 * Math.cos (k / 4));
        stepLiquid (s, FRAME);
    }
    stirUp (s);
}

test ("volume is kept while stirring, poking and sloshing", () =>
{
    const s = createSolver (mulberry (1));
    const dimple = 0.3 * Math.PI * 3.5 * 3.5;      // volume of the release dimple, mm³
    stir (s);
    poke (s, 100, 180);
    for (let k = 0; k < 60; ++k)
    {
        moveWindow (s, k % 10 < 5 ? 30 : -30, 12);
        stepLiquid (s, FRAME);
        assert.ok (Math.abs (volume (s.grid, s.stir)) < 1e-6 * dimple, `stir volume at frame ${k}`);
        assert.ok (Math.abs (volume (s.grid, s.slosh)) < 1e-6 * dimple, `slosh volume at frame ${k}`);
    }
});

test ("energy decays with no input and both fields come to rest", () =>
{
    const s = createSolver (mulberry (2));
    stir (s);
    for (let k = 0; k < 20; ++k)
    {
        moveWindow (s, k % 6 < 3 ? 40 : -40, 0);
        stepLiquid (s, FRAME);
    }
    let last = { stir: Infinity, slosh: Infinity };
    for (let second = 0; second < 12 && liquidActive (s); ++second)
    {
        for (let k = 0; k < 60; ++k)
            stepLiquid (s, FRAME);
        const now = { stir: energy (s.grid, s.depth, s.stir), slosh: energy (s.grid, s.depth, s.slosh) };
        assert.ok (now.stir <= last.stir, `stir energy grew in second ${second}`);
        assert.ok (now.slosh <= last.slosh, `slosh energy grew in second ${second}`);
        last = now;
    }
    assert.equal (s.stir.active, false);
    assert.equal (s.slosh.active, false);
    assert.ok (s.stir.h.every ((v) => v === 0) && s.slosh.u.every ((v) => v === 0), "rest is all zero");
});

test ("a released stir leaves a dimple that spreads as rings", () =>
{
    const s = createSolver (mulberry (3));
    stirDown (s, 150, 150);
    stirUp (s);
    const centre = (N / 2) * N + N / 2;
    assert.ok (s.stir.h[centre] < -0.2, "a dimple under the paddle");
    stepLiquid (s, FRAME);
    // Where is the highest crest, as seen from the dimple's centre? It moves outwards.
    const crestRadius = () =>
    {
        let best = -Infinity, at = 0;
        for (const c of s.grid.cells)
            if (s.stir.h[c] > best)
            {
                best = s.stir.h[c];
                at = Math.hypot (s.grid.xs[c], s.grid.ys[c]);
            }
        return at;
    };
    const radii = [];
    for (let k = 0; k < 6; ++k)
    {
        stepLiquid (s, FRAME);
        radii.push (crestRadius ());
    }
    for (let k = 1; k < radii.length; ++k)
        assert.ok (radii[k] > radii[k - 1], `ring radius ${radii.join (", ")}`);
    assert.ok (radii.at (-1) > 12, "the ring travels at the wave speed");
});

test ("the stir field rests only below 0.03 mm and 30 mm/s with no paddle", () =>
{
    const cases = [
        // height, speed, paddle held, stays active
        [0.02, 10, false, false],
        [0.06, 10, false, true],
        [0.02, 60, false, true],
        [0.02, 10, true, true],
    ];
    for (const [height, speed, held, active] of cases)
    {
        const s = createSolver (mulberry (4));
        poke (s, 150, 150);
        s.stir.h.fill (0);
        s.stir.u.fill (0);
        // A smooth bump of the given height and a swirl (divergence-free) of the given top speed.
        const k = speed / (Math.sqrt (50) * Math.exp (-0.5));
        for (const c of s.grid.cells)
        {
            const r2 = s.grid.xs[c] ** 2 + s.grid.ys[c] ** 2;
            s.stir.h[c] = height * Math.exp (-r2 / 400);
        }
        for (const c of s.grid.uFaces)
        {
            const x = s.grid.xs[c] + DX / 2, y = s.grid.ys[c];
            s.stir.u[c] = s.stir.su[c] = -y * k * Math.exp (-(x * x + y * y) / 100);
        }
        for (const c of s.grid.vFaces)
        {
            const x = s.grid.xs[c], y = s.grid.ys[c] + DX / 2;
            s.stir.v[c] = s.stir.sv[c] = x * k * Math.exp (-(x * x + y * y) / 100);
        }
        if (held)
            stirDown (s, 150, 150);
        stepLiquid (s, FRAME);
        assert.equal (s.stir.active, active, `h ${height} v ${speed} held ${held}`);
        if (! active)
            assert.ok (s.stir.h.every ((v) => v === 0), "cleared to rest");
    }
    assert.deepEqual (STIR_REST, { height: 0.03, speed: 30 });
});

test ("inactive fields cost nothing: a liquid at rest keeps its arrays untouched", () =>
{
    const s = createSolver (mulberry (5));
    const depth = s.depth;
    const h = s.stir.h;
    h[1234] = 7;                     // a marker an actual step would smooth away
    stepLiquid (s, FRAME);
    assert.equal (h[1234], 7);
    assert.equal (s.depth, depth, "no new depth map");
    assert.equal (liquidActive (s), false);
    // Waking takes a new random depth pattern.
    poke (s, 150, 150);
    assert.notEqual (s.depth, depth);
});

function geometry (spill)
{
    spill.geometry = { width: 415, height: 646, dish: { x: 207, y: 177, r: 107 } };
    spill.obstacles = [{ x: 37, y: 420, w: 340, h: 142 }, { x: 57, y: 475, w: 300, h: 140 }];
}

/** Runs a window motion pattern (px per frame) through the liquid and the spill, frame by frame. */
function run (pattern, frames, seed)
{
    const s = createSolver (mulberry (seed));
    const spill = createSpill (mulberry (seed + 100));
    geometry (spill);
    let most = 0, peak = 0;
    for (let k = 0; k < frames; ++k)
    {
        const [dx, dy] = pattern (k);
        moveWindow (s, dx, dy);
        stepLiquid (s, FRAME);
        spillFrom (spill, FRAME, s.motion.envelope, s.rim, [120, 160, 215]);
        stepSpill (spill, FRAME);
        most = Math.max (most, spill.drops.length);
        peak = Math.max (peak, s.rim.peak);
    }
    return { s, spill, most, peak };
}

test ("a slow tilt lets the liquid tilt and settle without spilling", () =>
{
    // 120 px/s to the right for two seconds, then still.
    const { s, most } = run ((k) => (k < 120 ? [2, 0] : [0, 0]), 120, 6);
    assert.equal (most, 0);
    assert.ok (Math.abs (s.tilt[0]) > 0 || ! s.slosh.active, "the surface reacted");
    const after = run ((k) => (k < 120 ? [2, 0] : [0, 0]), 900, 6);
    assert.equal (after.most, 0);
    assert.equal (after.s.slosh.active, false, "settles to rest");
});

test ("a violent shake spills drops, never more than 150", () =>
{
    for (const seed of [7, 8])
    {
        const { most, peak, spill } = run ((k) => [k % 8 < 4 ? 70 : -70, k % 12 < 6 ? 25 : -25], 360, seed);
        assert.ok (peak > 7.5, `rim peak ${peak}`);
        assert.ok (most > 0, "drops were spilled");
        assert.ok (most <= MAX_DROPS, `${most} drops`);
        assert.ok (spill.drops.length <= MAX_DROPS);
    }
});

test ("drops come to rest on a control and the spill stops moving", () =>
{
    const spill = createSpill (mulberry (9));
    geometry (spill);
    spill.drops.push ({ id: 1, x: 200, y: 380, vx: 0, vy: 0, r: 5, biggest: 5, travel: 0, shape: 0,
                        color: [120, 160, 215], airborne: true, moved: true });
    let frames = 0;
    while (stepSpill (spill, FRAME) && frames < 2000)
        ++frames;
    assert.ok (frames < 2000, "stops");
    assert.equal (spill.drops.length, 1);
    const d = spill.drops[0];
    assert.ok (Math.abs (d.y + d.r - 420) < 1, `rests on the control top (y ${d.y}, r ${d.r})`);
    assert.equal (spill.moving, false);
    // Wiped aside by the pointer, it moves again.
    assert.equal (wipe (spill, d.x, d.y, 10, 0), 1);
    assert.equal (stepSpill (spill, FRAME), true);
});

test ("touching drops merge by volume and mix their colours by optical density", () =>
{
    const spill = createSpill (mulberry (10));
    geometry (spill);
    const drop = (id, x, r, color) => ({ id, x, y: 420 - r, vx: 0, vy: 0, r, biggest: r, travel: 0, shape: 0, color,
                                         airborne: false, moved: true });
    spill.drops.push (drop (1, 200, 4, [255, 0, 0]), drop (2, 203, 4, [0, 0, 255]));
    spill.drops[1].vx = -30;
    stepSpill (spill, FRAME);
    assert.equal (spill.drops.length, 1);
    const d = spill.drops[0];
    assert.ok (Math.abs (d.r - Math.cbrt (128)) < 0.05, `radius ${d.r}`);
    assert.deepEqual (mixColour ([255, 255, 255], 1, [255, 255, 255], 3), [255, 255, 255]);
    assert.deepEqual (mixColour ([64, 128, 255], 1, [64, 128, 255], 1), [64, 128, 255]);
    // Equal volumes of red and blue: the densities average, so each channel is the geometric mean.
    assert.deepEqual (mixColour ([255, 1, 1], 1, [1, 1, 255], 1), [16, 1, 16]);
});
