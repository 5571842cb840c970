// The dish view in headless Chromium with the fake bridge: cells drawn where their records put
// them (main-thread renderer, both themes), stirring, the worker renderer and its fall-back, and
// screenshots of all shapes and colours. Run through scripts/test.sh (CTest) or:
//   BRIVOLA_PAGE_DIR=<built page> node --test ui/test/dish/browser.test.js

import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { mkdirSync } from "node:fs";
import { join } from "node:path";
import { chromium } from "playwright-core";
import { openPage, chromiumPath } from "../browser/harness.js";
import { displayColor, parseHex } from "../../src/dish/colors.js";
import { toDish, cellRadius } from "../../src/dish/geometry.js";

let browser;
const contexts = {};
before (async () =>
{
    browser = await chromium.launch ({
        executablePath: chromiumPath (),
        headless: true,
        args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--no-first-run", "--disable-dev-shm-usage"],
    });
    for (const dpr of [1, 2])
        contexts[dpr] = await browser.newContext ({ viewport: { width: 415, height: 646 }, deviceScaleFactor: dpr });
});
after (async () => { await browser?.close (); });

const onMain = async (page) => page.addInitScript (() => { window.__BRIVOLA_DISH_ON_MAIN = true; });

async function ready ({ dpr = 1, beforeLoad, dark = false } = {})
{
    const p = await openPage (contexts[dpr], { beforeLoad });
    await p.waitRevealed ();
    if (dark)
        await p.deliver ("ui", { page: 0, theme: 0 });
    return p;
}

async function finish (p)
{
    await p.assertClean (assert);
    await p.page.close ();
}

/** One 13-number record. */
function record ({ id = 1, x = 0, y = 0, mass = 1, row = 0, col = 0, motif = -1, angle = 0, vx = 0, vy = 0, fade = 0, highlight = 0, newborn = 0 } = {})
{
    return [id, x, y, mass, row, col, motif, angle, vx, vy, fade, highlight, newborn];
}

/** Pixels [r, g, b, a] of the main-thread canvas at dish-unit points. */
function pixelsAt (p, points)
{
    return p.page.evaluate ((pts) =>
    {
        const c = document.getElementById ("visualizer-canvas");
        const ctx = c.getContext ("2d");
        const k = c.width / 300;
        return pts.map (([x, y]) => Array.from (ctx.getImageData (Math.floor (x * k), Math.floor (y * k), 1, 1).data));
    }, points);
}

// The liquid surface is drawn over the cells: a faint body tint everywhere inside the rim.
const LIQUID_TOLERANCE = 14;
const CLEAR_ALPHA = 40;

/** Reads the pixels until they satisfy the predicate (the frame loop may run slowly on a busy
    machine), at most timeoutMs; returns the last reading either way. */
async function settledPixels (p, points, predicate, timeoutMs = 5000)
{
    const end = Date.now () + timeoutMs;
    for (;;)
    {
        const px = await pixelsAt (p, points);
        if (predicate (px) || Date.now () > end)
            return px;
        await p.page.waitForTimeout (50);
    }
}

const opaque = (px) => px.every ((v) => v[3] === 255);
const clear = (px) => px.every ((v) => v[3] <= CLEAR_ALPHA);

const visible = (p, id) => p.page.evaluate ((i) => getComputedStyle (document.getElementById (i)).display !== "none", id);
const frameCount = (p) => p.page.evaluate (() => performance.getEntriesByName ("dish-frame").length);

/** Counts the pixels of the dish element's screenshot that differ from a screenshot taken before. */
async function changedPixels (p, beforeShot)
{
    const afterShot = await p.page.locator ("#petri-dish").screenshot ();
    const scratch = await p.page.context ().newPage ();
    const n = await scratch.evaluate (async ([a, b]) =>
    {
        const load = async (b64) =>
        {
            const bitmap = await createImageBitmap (await (await fetch ("data:image/png;base64," + b64)).blob ());
            const c = new OffscreenCanvas (bitmap.width, bitmap.height);
            const ctx = c.getContext ("2d");
            ctx.drawImage (bitmap, 0, 0);
            return ctx.getImageData (0, 0, c.width, c.height).data;
        };
        const [da, db] = [await load (a), await load (b)];
        let count = 0;
        for (let i = 0; i < da.length; i += 4)
            if (Math.abs (da[i] - db[i]) + Math.abs (da[i + 1] - db[i + 1]) + Math.abs (da[i + 2] - db[i + 2]) > 30)
                ++count;
        return count;
    }, [beforeShot.toString ("base64"), afterShot.toString ("base64")]);
    await scratch.close ();
    return n;
}

//==============================================================================
test ("main thread: a cell of a given colour is drawn where its record puts it, in both themes", async () =>
{
    for (const dark of [false, true])
    {
        const p = await ready ({ dpr: 2, beforeLoad: onMain, dark });
        assert.equal (await visible (p, "visualizer-canvas"), true);
        assert.equal (await visible (p, "dish-worker-canvas"), false);
        assert.equal (await p.page.evaluate (() => document.getElementById ("visualizer-canvas").width), 480);

        // A plain blob and a gear (a solid disc with teeth), in colours that differ between the
        // themes by more than the tolerance, both in the lower right half, away
        // from the liquid's sheen (drawn over the cells at the upper left).
        const blob = { id: 11, x: 0.25, y: 0.5, mass: 4, row: 3, col: 0 };
        const gear = { id: 12, x: 0.55, y: 0.05, mass: 4, row: 3, col: 1, motif: 5 };
        await p.deliver ("cells", { cells: [...record (blob), ...record (gear)] });

        for (const cell of [blob, gear])
        {
            const [cx, cy] = toDish (cell.x, cell.y);
            const r = cellRadius (cell.mass);
            const want = parseHex (displayColor (cell.row, cell.col, dark));
            // Beside the core dot, on the side across the light, where only the body colour shows.
            const points = [[cx + 0.55 * r, cy - 0.55 * r], [cx - 0.55 * r, cy + 0.55 * r]];
            // Opaque once the third of a second fade-in is over.
            for (const px of await settledPixels (p, points, opaque))
            {
                assert.equal (px[3], 255, `opaque at ${cell.id}: ${px}`);
                for (let i = 0; i < 3; ++i)
                    assert.ok (Math.abs (px[i] - want[i]) <= LIQUID_TOLERANCE, `cell ${cell.id} ${dark ? "dark" : "light"}: ${px} vs ${want}`);
            }
        }
        // Where the records put no cell, only the liquid's faint body shows: the cells' mirror
        // images across the vertical axis and the centre.
        for (const px of await pixelsAt (p, [toDish (-0.25, 0.5), toDish (-0.55, 0.05), [150, 150]]))
            assert.ok (px[3] <= CLEAR_ALPHA, `clear: ${px}`);

        // An empty array empties the dish.
        await p.deliver ("cells", { cells: [] });
        const [cx, cy] = toDish (blob.x, blob.y);
        assert.ok (clear (await settledPixels (p, [[cx, cy]], clear)));
        await finish (p);
    }
});

test ("main thread: a cell glides to its next position and a rejected array changes nothing", async () =>
{
    const p = await ready ({ dpr: 1, beforeLoad: onMain });
    await p.deliver ("cells", { cells: record ({ id: 3, x: -0.5, mass: 3 }) });
    assert.ok (opaque (await settledPixels (p, [toDish (-0.5, 0)], opaque)));
    await p.deliver ("cells", { cells: record ({ id: 3, x: 0.5, mass: 3 }) });
    // It glides over (the node tests follow the glide) and ends at the new place, the old one clear.
    const [[, , , atNew], [, , , atOld]] = await settledPixels (p, [toDish (0.5, 0), toDish (-0.5, 0)],
                                                                 ([n, o]) => n[3] === 255 && o[3] <= CLEAR_ALPHA);
    assert.equal (atNew, 255);
    assert.ok (atOld <= CLEAR_ALPHA, String (atOld));
    await p.deliver ("cells", { cells: new Array (311).fill (0) });
    await p.page.waitForTimeout (100);
    assert.equal ((await pixelsAt (p, [toDish (0.5, 0)]))[0][3], 255, "kept the last valid cells");
    assert.ok (p.consoleLines.some ((l) => l.text.startsWith ("Backend event rejected:") && l.text.includes ("cells")));
    await finish (p);
});

//==============================================================================
test ("stirring: down, one stir with the move, and one stirring off on leaving the dish", async () =>
{
    const p = await ready ();
    const box = await p.page.locator ("#petri-dish").boundingBox ();
    const at = (x, y) => [box.x + (x + 1) / 2 * box.width, box.y + (y + 1) / 2 * box.height];
    await p.clearSent ();
    await p.page.mouse.move (...at (0, 0));
    await p.page.mouse.down ();
    await p.page.mouse.move (...at (0.1, -0.05));
    await p.page.mouse.move (...at (1.3, 0), { steps: 2 });
    await p.page.mouse.move (...at (1.5, 0.2));
    await p.page.mouse.up ();
    const sent = (await p.sent ()).filter ((e) => e.name === "stir" || e.name === "stirring");
    assert.deepEqual (sent.map ((e) => e.name), ["stirring", "stir", "stir", "stirring"]);
    assert.deepEqual (sent[0].payload, { on: true });
    const first = sent[1].payload;
    for (const [key, want] of [["x", 0.1], ["y", -0.05], ["dx", 0.1], ["dy", -0.05]])
        assert.ok (Math.abs (first[key] - want) < 1e-3, `${key}: ${first[key]}`);
    // The second move (inside the rim on the way out) measures from the first.
    assert.ok (Math.abs (sent[2].payload.dx - (sent[2].payload.x - first.x)) < 1e-9);
    assert.deepEqual (sent[3].payload, { on: false });

    // A release inside the dish ends it too, once; the culture page does not stir.
    await p.clearSent ();
    await p.page.mouse.move (...at (-0.2, 0.2));
    await p.page.mouse.down ();
    await p.page.mouse.move (...at (-0.1, 0.2));
    await p.page.mouse.up ();
    await p.page.mouse.move (...at (0.2, 0.2));
    assert.deepEqual ((await p.sent ()).filter ((e) => e.name.startsWith ("stir")).map ((e) => [e.name, e.payload.on]),
                      [["stirring", true], ["stir", undefined], ["stirring", false]]);
    await finish (p);
});

test ("stirring ends at once when the window loses focus", async () =>
{
    const p = await ready ();
    const box = await p.page.locator ("#petri-dish").boundingBox ();
    await p.clearSent ();
    await p.page.mouse.move (box.x + box.width / 2, box.y + box.height / 2);
    await p.page.mouse.down ();
    await p.page.evaluate (() => window.dispatchEvent (new Event ("blur")));
    await p.page.mouse.up ();
    assert.deepEqual ((await p.sent ()).filter ((e) => e.name === "stirring").map ((e) => e.payload.on), [true, false]);
    await finish (p);
});

//==============================================================================
test ("worker: the renderer starts in a worker and draws", async () =>
{
    const p = await ready ();
    await p.page.waitForFunction (() => performance.getEntriesByName ("dish-frame").length > 0);
    assert.equal (await visible (p, "dish-worker-canvas"), true);
    assert.equal (await visible (p, "visualizer-canvas"), false);
    const blank = await p.page.locator ("#petri-dish").screenshot ();
    const cells = [];
    for (let i = 0; i < 8; ++i)
        cells.push (...record ({ id: 50 + i, x: 0.6 * Math.cos (i), y: 0.6 * Math.sin (i), mass: 2.5, row: i % 4, col: i % 2, motif: i - 1 }));
    await p.deliver ("cells", { cells });
    let changed = 0;
    for (const end = Date.now () + 5000; changed <= 1000 && Date.now () < end;)
    {
        await p.page.waitForTimeout (200);
        changed = await changedPixels (p, blank);
    }
    assert.ok (changed > 1000, `pixels drawn by the worker: ${changed}`);
    assert.ok (await frameCount (p) > 10);
    await finish (p);
});

test ("worker: the main thread takes over when the worker cannot start", async () =>
{
    const failures = {
        "constructor throws": () => { window.Worker = function () { throw new Error ("no workers here"); }; },
        "worker script fails": () =>
        {
            const Real = window.Worker;
            window.Worker = function () { return new Real (URL.createObjectURL (new Blob (["throw new Error ('broken')"]))); };
        },
        "no off-screen canvas": () => { delete window.OffscreenCanvas; },
    };
    for (const [name, inject] of Object.entries (failures))
    {
        const p = await ready ({ beforeLoad: (page) => page.addInitScript (inject) });
        await p.page.waitForFunction (() => getComputedStyle (document.getElementById ("visualizer-canvas")).display !== "none",
                                      null, { timeout: 8000 });
        assert.equal (await visible (p, "dish-worker-canvas"), false, name);
        await p.deliver ("cells", { cells: record ({ id: 9, x: 0.2, y: 0.1, mass: 3, row: 1 }) });
        assert.ok (opaque (await settledPixels (p, [toDish (0.2, 0.1)], opaque)), `${name}: drawn on the main thread`);
        await p.page.close ();
    }
});

//==============================================================================
/** 24 cells covering the sixteen shapes and the eight colours, some moving, some touching. */
export function showcaseCells ()
{
    const cells = [];
    for (let i = 0; i < 24; ++i)
    {
        const ring = i < 8 ? 0.32 : 0.72;
        const a = (i < 8 ? i / 8 : (i - 8) / 16) * 2 * Math.PI + (i < 8 ? 0.3 : 0);
        const colour = i % 8;
        cells.push (...record ({
            id: 200 + i, x: ring * Math.cos (a), y: ring * Math.sin (a), mass: 1.2 + (i % 4) * 0.45,
            row: colour >> 1, col: colour & 1, motif: (i % 16) - 1, angle: 0.4 * i,
            vx: i % 3 === 0 ? 0.012 * Math.cos (a + 1.5) : 0, vy: i % 3 === 0 ? 0.012 * Math.sin (a + 1.5) : 0,
            highlight: i === 5 ? 0.5 : 0,
        }));
    }
    return cells;
}

test ("screenshots: 24 cells of every shape and colour in both themes", async () =>
{
    const dir = process.env.BRIVOLA_SCREENSHOT_DIR;
    if (! dir)
        return;
    mkdirSync (dir, { recursive: true });
    for (const [dark, name] of [[false, "light"], [true, "dark"]])
    {
        const p = await ready ({ dpr: 2, dark });
        await p.deliver ("cells", { cells: showcaseCells () });
        await p.deliver ("voices", { levels: [200, 1, 201, 0.1, 216, 0.5] });
        await p.deliver ("fx", { reverb: 0.6, delay: 0.3 });
        await p.page.waitForTimeout (1800);
        await p.page.locator ("#petri-dish").screenshot ({ path: join (dir, `dish-${name}.png`) });
        await finish (p);
    }
});
