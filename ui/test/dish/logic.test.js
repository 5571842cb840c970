// The dish's pure logic: record checks, colours, interpolation, geometry, singing, ripples and
// event effects. Runs with `node --test` (no browser).

import { test } from "node:test";
import assert from "node:assert/strict";

import { checkCells, checkVoices, readCells, STRIDE } from "../../src/dish/records.js";
import { displayColor, speciesCode, speciesKey, displayForCode, lighten, FALLBACK_DISPLAY } from "../../src/dish/colors.js";
import { SHAPES, shapeOf, symbolMarkup } from "../../src/dish/shapes.js";
import { createInterpolation, receiveCells, cellsAt } from "../../src/dish/interp.js";
import {
    bridgeStrength, rimSqueeze, squeezeExtent, motionStretch, singingTarget, stepSinging, stepShiver,
    surfacePixels, toDish, cellRadius, gesturePosition, hash01, stretchedWidth,
} from "../../src/dish/geometry.js";
import { addRipple, stepRipples, makeRipple, MAX_RIPPLES, CELL_EVENT_CAP } from "../../src/dish/ripples.js";
import { createEvents, cellEvents, openJackpotWindow, openDropWindow, noteRecall } from "../../src/dish/events.js";
import { TO_RENDERER, FROM_RENDERER } from "../../src/dish/kinds.js";

/** One 13-number record. */
function record ({ id = 1, x = 0, y = 0, mass = 1, row = 0, col = 0, motif = -1, angle = 0, vx = 0, vy = 0, fade = 0, highlight = 0, newborn = 0 } = {})
{
    return [id, x, y, mass, row, col, motif, angle, vx, vy, fade, highlight, newborn];
}

const near = (a, b, eps = 1e-9) => Math.abs (a - b) <= eps;

//==============================================================================
test ("cell record checks", () =>
{
    const cases = [
        ["empty array (empties the dish)", { cells: [] }, true],
        ["one record", { cells: record () }, true],
        ["24 records (312 numbers)", { cells: new Array (312).fill (0) }, true],
        ["311 numbers", { cells: new Array (311).fill (0) }, false],
        ["14 numbers", { cells: new Array (14).fill (0) }, false],
        ["25 records", { cells: new Array (325).fill (0) }, false],
        ["a non-finite number", { cells: record ({ x: Infinity }) }, false],
        ["a string among the numbers", { cells: [...record ().slice (0, 12), "1"] }, false],
        ["not an array", { cells: "1,2" }, false],
        ["no payload", null, false],
    ];
    for (const [name, payload, ok] of cases)
        assert.equal (checkCells (payload) !== null, ok, name);
});

test ("voice level checks", () =>
{
    const cases = [
        ["empty", { levels: [] }, true],
        ["pairs", { levels: [3, 0.5, 4, 1] }, true],
        ["48 numbers", { levels: new Array (48).fill (0.1) }, true],
        ["50 numbers", { levels: new Array (50).fill (0.1) }, false],
        ["odd length", { levels: [3, 0.5, 4] }, false],
        ["NaN", { levels: [3, NaN] }, false],
    ];
    for (const [name, payload, ok] of cases)
        assert.equal (checkVoices (payload) !== null, ok, name);
});

test ("reading records", () =>
{
    const cells = readCells ([...record ({ id: 7, x: 0.5, row: 2.9, col: 1, motif: 3, newborn: 1 }), ...record ({ id: 8, newborn: 0.4 })]);
    assert.equal (cells.length, 2);
    assert.deepEqual ([cells[0].id, cells[0].x, cells[0].row, cells[0].motif, cells[0].newborn], [7, 0.5, 2, 3, true]);
    assert.equal (cells[1].newborn, false);
});

//==============================================================================
test ("colour table, fallbacks and species keys", () =>
{
    const cases = [
        [0, 0, false, "#80BAFD"], [1, 1, false, "#FAAADC"], [1, 1, true, "#FDACDE"],
        [2, 0, true, "#BDE075"], [3, 1, false, "#42DEF1"], [3, 1, true, "#5BEBFE"],
        [7, 1, false, "#C7ADFD"],        // row outside the table: row 0
        [-1, 0, true, "#80BAFD"],
        [2, 5, false, FALLBACK_DISPLAY], // column outside even row 0
        [0.5, 0, false, "#80BAFD"],
    ];
    for (const [row, col, dark, want] of cases)
        assert.equal (displayColor (row, col, dark), want, `${row},${col},${dark}`);

    assert.equal (speciesCode (3, 1), "#AFB5BE");
    assert.equal (speciesKey (14, 3, 1), "moon|#AFB5BE");
    assert.equal (speciesKey (-1, 0, 0), "normal|#A9D1FD");
    assert.equal (speciesKey (15, 0, 1), "normal|#B8A1FB");
    assert.equal (displayForCode ("#FDB8C0", true), "#FDACDE");
    assert.equal (displayForCode ("#123456", false), FALLBACK_DISPLAY);
    assert.deepEqual (lighten ([100, 200, 0], 0.5), [178, 228, 128]);
    assert.deepEqual (lighten ([100, 200, 0], 3), [255, 255, 255]);
    assert.deepEqual (lighten ([100, 200, 0], 0), [100, 200, 0]);
});

test ("shapes: sixteen in motif order with their scales and core points", () =>
{
    assert.deepEqual (SHAPES.map ((s) => s.name), ["normal", "spade", "clover", "heart", "diamond", "crown", "gear", "star",
                                                  "bolt", "puzzle", "bell", "leaf", "flower", "controller", "ribbon", "moon"]);
    assert.equal (shapeOf (-1).name, "normal");
    assert.equal (shapeOf (15).name, "normal");
    assert.equal (shapeOf (8).name, "puzzle");
    assert.deepEqual ([shapeOf (8).scale, ...shapeOf (8).core], [1.15, 55, 45]);
    assert.deepEqual ([shapeOf (4).core[1], shapeOf (11).scale, shapeOf (12).scale], [58, 0.9, 1.05]);
    const markup = symbolMarkup ();
    for (const s of SHAPES)
        assert.ok (markup.includes (`id="m-${s.name}"`), s.name);
    for (const s of SHAPES)
        for (const p of s.parts)
            assert.doesNotMatch (p.d, /NaN|undefined/, s.name);
});

//==============================================================================
test ("geometry: surface, positions, radius, gesture coordinates", () =>
{
    assert.deepEqual ([1, 2, 3, 4, 1.5, 0].map (surfacePixels), [240, 480, 720, 720, 360, 240]);
    assert.deepEqual (toDish (0, 0), [150, 150]);
    assert.deepEqual (toDish (1, -1), [285, 15]);
    assert.equal (cellRadius (2), 11);
    assert.deepEqual (gesturePosition (160, 100, { left: 100, top: 100, width: 240, height: 240 }), [-0.5, -1]);
    assert.ok (hash01 (1) >= 0 && hash01 (1) < 1 && hash01 (1) !== hash01 (2));
});

test ("interpolation: a cell in two arrays 33 ms apart glides between them", () =>
{
    const st = createInterpolation ();
    receiveCells (st, record ({ id: 5, x: 0, y: 0, angle: 3.1 }), 1000);
    receiveCells (st, record ({ id: 5, x: 0.3, y: -0.6, angle: -3.1 }), 1033);
    const halfway = cellsAt (st, 1033 + st.interval / 2)[0];
    assert.ok (near (halfway.x, 0.15, 1e-9) && near (halfway.y, -0.3, 1e-9), `${halfway.x}, ${halfway.y}`);
    // The angle takes the short way round through π.
    assert.ok (Math.abs (Math.abs (halfway.angle) - Math.PI) < 1e-9, String (halfway.angle));
    const quarter = cellsAt (st, 1033 + st.interval / 4)[0];
    assert.ok (quarter.x > 0 && quarter.x < halfway.x);
    const end = cellsAt (st, 1033 + st.interval + 1)[0];
    assert.deepEqual ([end.x, end.y], [0.3, -0.6]);
    // 33 ms moved the expected interval 20 % towards it.
    assert.ok (near (st.interval, 1000 / 30 + 0.2 * (33 - 1000 / 30)));
});

test ("interpolation: a new id shows its own values; gaps outside 5..200 ms keep the interval", () =>
{
    const st = createInterpolation ();
    receiveCells (st, record ({ id: 1, x: 0.1 }), 0);
    receiveCells (st, [...record ({ id: 1, x: 0.2 }), ...record ({ id: 2, x: -0.5, mass: 3 })], 500);
    assert.equal (st.interval, 1000 / 30);
    const cells = cellsAt (st, 501);
    assert.equal (cells.find ((c) => c.id === 2).x, -0.5);
    receiveCells (st, [], 520);
    assert.deepEqual (cellsAt (st, 521), []);
});

//==============================================================================
test ("bridge strength from the gap between edges", () =>
{
    const r1 = 10, r2 = 8;
    const cases = [
        ["edges 7.5 apart", r1 + r2 + 7.5, 0.5],
        ["edges 15 apart", r1 + r2 + 15, 0],
        ["edges 14.5 apart (0.033 ≤ 0.05)", r1 + r2 + 14.5, 0],
        ["touching", r1 + r2, 1],
        ["overlapping", r1 + r2 - 4, 1],
        ["centres closer than 0.3 (r1 + r2)", 0.2 * (r1 + r2), 0],
    ];
    for (const [name, d, k] of cases)
        assert.ok (near (bridgeStrength (d, r1, r2), k, 1e-12), `${name}: ${bridgeStrength (d, r1, r2)}`);
});

test ("rim squeeze: a cell 5 units from the rim is flattened and never crosses it", () =>
{
    for (const [mass, extentFactor] of [[1, 0], [3, 1.7], [0.2, 0], [6, 1.9]])
    {
        const r = cellRadius (mass);
        const E = squeezeExtent (r, extentFactor, 0);
        const d = 134 - 5;
        const sq = rimSqueeze (d, E, motionStretch (0.05, 0));
        assert.ok (sq.scale < 1, `mass ${mass}: flattened`);
        assert.equal (sq.stretch, 1, "no stretch while squeezed");
        assert.ok (d + E * sq.scale * sq.stretch <= 133 + 1e-9, `mass ${mass}: stays inside`);
    }
    const free = rimSqueeze (0, squeezeExtent (10, 0, 0), 1.6);
    assert.deepEqual (free, { stretch: 1.6, scale: 1 });
    // Near enough to the wall to limit the stretch but not to shrink.
    const limited = rimSqueeze (100, 20, 1.6);
    assert.deepEqual (limited, { stretch: 1.6, scale: 1 });
    const tight = rimSqueeze (133 - 24, 20, 1.6);
    assert.ok (near (tight.stretch, 1.2) && tight.scale === 1);
    assert.equal (rimSqueeze (140, 10, 1).scale, 0);
    assert.equal (squeezeExtent (10, 0, 1), 13.5);
    assert.equal (squeezeExtent (2, 0, 0), 5);
});

test ("stretch with motion and across-width", () =>
{
    assert.equal (motionStretch (0, 0), 1);
    assert.ok (near (motionStretch (0.012, 0.016), 1.5));
    assert.equal (motionStretch (1, 1), 1.6);
    assert.ok (near (stretchedWidth (1.5, 1, 0, 0, 1), 1 / 1.5));
    assert.ok (near (stretchedWidth (1.5, 1, 0, 1, 0), 1.5));
});

test ("singing targets and their motion", () =>
{
    const cases = [[0.01, 0], [0.1, 2 / 3], [1, 1], [2, 1], [0, 0], [-1, 0], [0.001, 0]];
    for (const [level, want] of cases)
        assert.ok (near (singingTarget (level), want, 1e-12), `level ${level}: ${singingTarget (level)}`);
    const up = stepSinging (0, 1, 0.03);
    assert.ok (near (up, 1 - Math.exp (-1)));
    const down = stepSinging (1, 0, 0.22);
    assert.ok (near (down, Math.exp (-1)));
    assert.equal (stepSinging (0.0025, 0, 0.1), 0);
    assert.ok (near (stepShiver (0, true, 0.05), 0.75));
    assert.equal (stepShiver (0.1, false, 0.1), 0);
    assert.equal (stepShiver (0.9, true, 0.1), 1);
});

//==============================================================================
test ("ripples grow, fade and respect their caps", () =>
{
    const list = [];
    addRipple (list, { x: 10, y: 20 });
    assert.deepEqual ([list[0].speed, list[0].fade, list[0].gain, list[0].color], [70, 0.85, 1, [180, 210, 245]]);
    stepRipples (list, 0.1);
    assert.ok (near (list[0].radius, 7) && near (list[0].life, 0.915));
    stepRipples (list, 1.1);
    assert.equal (list.length, 0, "life over");

    for (let i = 0; i < CELL_EVENT_CAP + 2; ++i)
        addRipple (list, { kind: "cellEvent", x: i }, CELL_EVENT_CAP);
    addRipple (list, { kind: "plain", x: 99 }, 0);
    assert.equal (list.filter ((r) => r.kind === "cellEvent").length, CELL_EVENT_CAP);
    assert.deepEqual (list.filter ((r) => r.kind === "cellEvent").map ((r) => r.x), [2, 3, 4, 5], "the oldest went");
    for (let i = 0; i < MAX_RIPPLES + 5; ++i)
        addRipple (list, { x: i });
    assert.equal (list.length, MAX_RIPPLES);
    assert.deepEqual (makeRipple ({ color: [1, "x", 3], speed: NaN }).color, [180, 210, 245]);
    assert.equal (makeRipple ({ speed: NaN }).speed, 70);
});

test ("event effects: newborn, jackpot, splash, appearances and forgotten ids", () =>
{
    const colorOf = () => [1, 2, 3];
    const kinds = (fx) => fx.ripples.map ((r) => r.spec.kind);
    const cell = (id, extra = {}) => ({ id, x: 0, y: 0, mass: 1, row: 0, col: 0, motif: -1, newborn: false, ...extra });

    // The very first array (a new dish) shows nothing for cells without the flag.
    const ev = createEvents ();
    const first = [cell (1), cell (2)];
    assert.deepEqual (kinds (cellEvents (ev, first, 0, colorOf)), []);

    // Reroll, then newborn motif cells within two seconds: plain ring (species colour) and jackpot pair.
    openJackpotWindow (ev, 100);
    const jack = cellEvents (ev, [...first, cell (3, { newborn: true, motif: 5 }), cell (4, { newborn: true })], 1500, colorOf);
    assert.deepEqual (kinds (jack), ["plain", "jackpot", "jackpot", "plain"]);
    assert.deepEqual (jack.ripples[0].spec.color, [1, 2, 3]);
    assert.equal (jack.ripples[1].spec.glints, 12);
    assert.ok (near (jack.ripples[2].spec.phase - jack.ripples[1].spec.phase, Math.PI / 12));

    // After the window a newborn motif cell gets only its plain ring, in the default colour.
    const late = cellEvents (ev, [cell (5, { newborn: true, motif: 5 })], 2200, colorOf);
    assert.deepEqual (kinds (late), ["plain"]);
    assert.equal (late.ripples[0].spec.color, undefined);

    // A pipette drop: the next newborn splashes, once.
    openDropWindow (ev, 3000);
    assert.deepEqual (kinds (cellEvents (ev, [cell (5), cell (6, { newborn: true })], 3400, colorOf)), ["plain", "splash", "splashRing"]);
    assert.deepEqual (kinds (cellEvents (ev, [cell (5), cell (6), cell (7, { newborn: true })], 3450, colorOf)), ["plain"]);

    // One to three cells appearing on their own: cell-event ripples and pokes.
    const three = cellEvents (ev, [cell (5), cell (8), cell (9), cell (10)], 4000, colorOf);
    assert.deepEqual (kinds (three), ["cellEvent", "cellEvent", "cellEvent"]);
    assert.equal (three.pokes.length, 3);
    assert.equal (three.ripples[0].spec.radius, cellRadius (1));

    // Four or more at once (a new dish): nothing.
    const four = cellEvents (ev, [cell (11), cell (12), cell (13), cell (14)], 4100, colorOf);
    assert.deepEqual (kinds (four), []);
    assert.deepEqual (four.pokes, []);

    // Within 1.5 s of a preset recall: nothing either.
    noteRecall (ev, 5000);
    assert.deepEqual (kinds (cellEvents (ev, [cell (11), cell (15)], 6000, colorOf)), []);
    assert.deepEqual (kinds (cellEvents (ev, [cell (11), cell (16)], 6600, colorOf)), ["cellEvent"]);

    // Forgotten ids appear anew.
    cellEvents (ev, [cell (11)], 7000, colorOf);
    assert.deepEqual (kinds (cellEvents (ev, [cell (11), cell (16)], 7100, colorOf)), ["cellEvent"]);
});

test ("message kinds: one table, no kind named twice", () =>
{
    const to = Object.values (TO_RENDERER), from = Object.values (FROM_RENDERER);
    assert.equal (new Set (to).size, to.length);
    assert.equal (new Set (from).size, from.length);
    for (const kind of ["init", "cells", "voices", "ripple", "stir", "fx", "cell", "shake", "water", "motion",
                        "spillGeometry", "spillObstacles", "spillPoke"])
        assert.ok (to.includes (kind), kind);
});

test ("record stride", () => assert.equal (STRIDE, 13));
