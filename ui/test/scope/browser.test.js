// The scope screens, the liquid surface, the spill and the light in headless Chromium with the fake
// bridge. Run through scripts/test.sh (CTest) or:
//   BRIVOLA_PAGE_DIR=<built page> node --test ui/test/scope/browser.test.js

import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { chromium } from "playwright-core";
import { openPage, chromiumPath } from "../browser/harness.js";
import { traceX, traceY } from "../../src/scope/draw.js";

let browser, context;
before (async () =>
{
    browser = await chromium.launch ({
        executablePath: chromiumPath (),
        headless: true,
        args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--no-first-run", "--disable-dev-shm-usage"],
    });
    context = await browser.newContext ({ viewport: { width: 415, height: 646 }, deviceScaleFactor: 1 });
});
after (async () => { await browser?.close (); });

const onMain = async (page) => page.addInitScript (() => { window.__BRIVOLA_DISH_ON_MAIN = true; });

async function ready (options = {})
{
    const p = await openPage (context, options);
    await p.waitRevealed ();
    return p;
}

async function finish (p)
{
    await p.assertClean (assert);
    await p.page.close ();
}

/** [r, g, b, a] of a scope canvas at canvas-pixel points. */
const scopePixels = (p, id, points) => p.page.evaluate (([canvasId, pts]) =>
{
    const g = document.getElementById (canvasId).getContext ("2d");
    return pts.map (([x, y]) => Array.from (g.getImageData (Math.round (x), Math.round (y), 1, 1).data));
}, [id, points]);

/** Sum of alpha over a whole canvas, and a cheap fingerprint of its pixels. */
const canvasSummary = (p, id) => p.page.evaluate ((canvasId) =>
{
    const c = document.getElementById (canvasId);
    const d = c.getContext ("2d").getImageData (0, 0, c.width, c.height).data;
    let alpha = 0, print = 0;
    for (let i = 0; i < d.length; i += 4)
    {
        alpha += d[i + 3];
        print = (print * 31 + d[i] + 7 * d[i + 1] + 13 * d[i + 3]) % 1000000007;
    }
    return { alpha, print };
}, id);

const lit = ([r, g, b, a]) => a > 120 && g > 150;

const sineWave = (amp, cycles) => Array.from ({ length: 512 }, (_, i) => +(amp * Math.sin (2 * Math.PI * cycles * i / 511)).toFixed (3));

test ("scope frames draw the trace where the wave is, and the bars", async () =>
{
    const p = await ready ();
    const wave = sineWave (0.5, 2);
    const bars = Array.from ({ length: 32 }, (_, k) => (k % 2 ? 0.5 : 0));
    await p.deliver ("frame", { scope: { wave, bars } });
    await p.page.waitForTimeout (150);
    // On the trace (wobble 0 for a loud wave): lit. The mirror image of the wave: dark.
    const on = [], off = [];
    for (const i of [40, 100, 180, 300, 420])
    {
        on.push ([traceX (i), traceY (i, wave[i], 0, 0)]);
        off.push ([traceX (i), traceY (i, -wave[i], 0, 0)]);
    }
    const onPixels = await scopePixels (p, "scope-wave", on);
    const offPixels = await scopePixels (p, "scope-wave", off);
    assert.ok (onPixels.every (lit), `trace pixels ${JSON.stringify (onPixels)}`);
    assert.ok (offPixels.every ((px) => px[3] < 60), `away from the trace ${JSON.stringify (offPixels)}`);
    // Bar k = 1 (value 0.5, 84 px high) reaches y = 130; bar 0 (empty) does not.
    const barX = (k) => 20 + 6.625 * k + 1.8125 + 1.5;
    const [tall, empty, base] = await scopePixels (p, "scope-bars", [[barX (1), 130], [barX (0), 130], [barX (0), 192]]);
    assert.ok (lit (tall), `tall bar ${tall}`);
    assert.ok (empty[3] < 60, `empty bar ${empty}`);
    assert.ok (base[3] > 60, `empty bars still show 3 px ${base}`);
    // A wave of 511 values is rejected and leaves the picture as it was.
    const before = await canvasSummary (p, "scope-wave");
    await p.deliver ("scope", { wave: wave.slice (1), bars });
    await p.page.waitForTimeout (100);
    assert.equal ((await canvasSummary (p, "scope-wave")).print, before.print);
    assert.ok (p.consoleLines.some ((l) => l.text.includes ("Backend event rejected:") && l.text.includes ("scope")));
    await p.page.close ();
});

test ("idle keeps the line breathing, at most about 40 frames per second", async () =>
{
    const p = await ready ();
    await p.deliver ("scope", { idle: true });
    await p.page.waitForTimeout (120);
    const [centre] = await scopePixels (p, "scope-wave", [[126, 110]]);
    assert.ok (lit (centre), `flat line through the middle ${centre}`);
    const prints = [];
    for (let k = 0; k < 4; ++k)
    {
        prints.push ((await canvasSummary (p, "scope-bars")).print ^ (await canvasSummary (p, "scope-wave")).print);
        await p.page.waitForTimeout (250);
    }
    assert.equal (new Set (prints).size, prints.length, "every look shows a new picture");
    // Count drawn frames over one second through the canvas's own draw calls.
    const frames = await p.page.evaluate (() => new Promise ((resolve) =>
    {
        const g = document.getElementById ("scope-wave").getContext ("2d");
        const clear = g.clearRect.bind (g);
        let n = 0;
        g.clearRect = (...a) => { ++n; clear (...a); };
        setTimeout (() => resolve (n), 1000);
    }));
    assert.ok (frames >= 5 && frames <= 42, `${frames} drawn frames in one second`);
    await finish (p);
});

test ("scopeOn follows the scope bank and the pages, and hiding clears the screens", async () =>
{
    const p = await ready ();
    const scopeOns = async () => (await p.sent ()).filter ((e) => e.name === "scopeOn").map ((e) => e.payload.on);
    assert.deepEqual (await scopeOns (), [true]);
    await p.deliver ("scope", { idle: true });
    await p.page.waitForTimeout (100);
    assert.ok ((await canvasSummary (p, "scope-wave")).alpha > 0);

    await p.page.click ("#btn-beaker");
    await p.page.waitForTimeout (250);
    assert.deepEqual (await scopeOns (), [true, false]);
    assert.equal ((await canvasSummary (p, "scope-wave")).alpha, 0, "wave screen cleared");
    assert.equal ((await canvasSummary (p, "scope-bars")).alpha, 0, "bars screen cleared");

    await p.page.click ("#btn-beaker");           // the shown bank's button returns to the scope
    await p.page.waitForTimeout (250);
    assert.deepEqual (await scopeOns (), [true, false, true]);
    await p.page.waitForTimeout (100);
    assert.ok ((await canvasSummary (p, "scope-wave")).alpha > 0, "idle line back");

    await p.page.click ("#btn-pipette");
    await p.page.waitForTimeout (250);
    await p.page.click ("#btn-pipette");
    await p.page.waitForTimeout (250);
    assert.deepEqual (await scopeOns (), [true, false, true, false, true]);

    await p.deliver ("ui", { page: 2, theme: 1 });  // switched at once by the processor
    await p.page.waitForTimeout (100);
    assert.deepEqual (await scopeOns (), [true, false, true, false, true, false]);
    await p.deliver ("ui", { page: 7, theme: 1 });  // outside 0..2: the scope bank
    await p.page.waitForTimeout (100);
    assert.deepEqual (await scopeOns (), [true, false, true, false, true, false, true]);
    await finish (p);
});

/** The main-thread dish canvas as a list of alpha values over the dish. */
const dishAlpha = (p) => p.page.evaluate (() =>
{
    const c = document.getElementById ("visualizer-canvas");
    const d = c.getContext ("2d").getImageData (0, 0, c.width, c.height).data;
    const out = new Uint8Array (d.length / 4);
    for (let i = 0; i < out.length; ++i)
        out[i] = (d[4 * i] + d[4 * i + 1] + d[4 * i + 2] + d[4 * i + 3]) >> 2;
    return Array.from (out);
});

const difference = (a, b) => a.reduce ((s, v, i) => s + Math.abs (v - b[i]), 0) / a.length;

/** Delivers "window" messages at 60 per second in the page for ms milliseconds. */
const shakeWindow = (p, ms, amplitude, period) => p.page.evaluate (([ms, amp, period]) => new Promise ((resolve) =>
{
    let k = 0;
    const timer = setInterval (() =>
    {
        const dx = Math.round (amp * (k % period < period / 2 ? 1 : -1));
        window.__JUCE__.backend.emitByBackend ("frame", { window: { dx, dy: Math.round (dx / 3) } });
        ++k;
    }, 1000 / 60);
    setTimeout (() => { clearInterval (timer); resolve (k); }, ms);
}), [ms, amplitude, period]);

/** Waits (up to 20 s) until the dish looks like rest again; returns the last difference. */
async function settle (p, rest)
{
    let d = Infinity;
    for (let k = 0; k < 40 && d >= 0.02; ++k)
    {
        await p.page.waitForTimeout (500);
        d = difference (rest, await dishAlpha (p));
    }
    return d;
}

test ("window motion tilts the liquid, which settles again", async () =>
{
    const p = await ready ({ beforeLoad: onMain });
    await p.page.waitForTimeout (300);
    const rest = await dishAlpha (p);
    // A steady slow drag: 4 px per frame to the right for 0.6 s.
    const drag = shakeWindow (p, 600, 4, 1000000);
    await p.page.waitForTimeout (300);
    const moving = await dishAlpha (p);
    await drag;
    assert.ok (difference (rest, moving) > 0.05, `the surface changed (${difference (rest, moving)})`);
    const settled = await settle (p, rest);
    assert.ok (settled < 0.02, `settled (${settled})`);
    await finish (p);
});

test ("a fast series of window motions spills drops over the window, a slow one does not", async () =>
{
    for (const onMainThread of [true, false])
    {
        const p = await ready ({ beforeLoad: onMainThread ? onMain : undefined });
        await p.page.waitForTimeout (300);
        const below = { x: 0, y: 400, width: 415, height: 246 };
        const quiet = await p.page.screenshot ({ clip: below });
        await shakeWindow (p, 1500, 3, 1000000);
        await p.page.waitForTimeout (300);
        assert.ok ((await p.page.screenshot ({ clip: below })).equals (quiet), "a slow move spills nothing");
        await shakeWindow (p, 2500, 90, 8);
        await p.page.waitForTimeout (400);
        const after = await p.page.screenshot ({ clip: { x: 0, y: 0, width: 415, height: 646 } });
        const before = await p.page.screenshot ({ clip: { x: 0, y: 0, width: 415, height: 646 } });
        void before;
        if (onMainThread)
        {
            const drops = await p.page.evaluate (() =>
            {
                const c = document.getElementById ("spill-canvas");
                const d = c.getContext ("2d").getImageData (0, 0, c.width, c.height).data;
                let n = 0;
                for (let i = 3; i < d.length; i += 4)
                    n += d[i] > 30 ? 1 : 0;
                return n;
            });
            assert.ok (drops > 200, `${drops} spill pixels`);
        }
        else
            assert.ok (! after.equals (quiet), "drops show (worker)");
        await finish (p);
    }
});

test ("a stir leaves a dimple that dies out", async () =>
{
    const p = await ready ({ beforeLoad: onMain });
    await p.page.waitForTimeout (300);
    const rest = await dishAlpha (p);
    const { x, y } = await p.centre ("#petri-dish");
    await p.page.mouse.move (x - 30, y);
    await p.page.mouse.down ();
    for (let k = 0; k <= 10; ++k)
        await p.page.mouse.move (x - 30 + 6 * k, y + 3 * Math.sin (k));
    await p.page.mouse.up ();
    await p.page.waitForTimeout (80);
    const dimple = await dishAlpha (p);
    assert.ok (difference (rest, dimple) > 0.05, `the surface shows the stir (${difference (rest, dimple)})`);
    const after = await settle (p, rest);
    assert.ok (after < 0.02, `died out (${after})`);
    await finish (p);
});

test ("the frame's light layers follow the light: sweeps turn, sheen and band slide, grain slides back, shade takes the depth", async () =>
{
    const p = await ready ();
    await p.deliver ("light", { x: 0.5, y: 0.5 }); // 45 degrees from the left, depth 0.5
    await p.page.waitForFunction (() => ! document.body.classList.contains ("is-light-moving"), null, { timeout: 10000 });
    await p.page.waitForTimeout (200);
    const got = await p.page.evaluate (() =>
    {
        const style = (selector) => getComputedStyle (document.querySelector ("#app-frame " + selector));
        return { width: innerWidth, height: innerHeight,
                 sweeps: style (".frame-sweeps").transform, sheen: style (".frame-sheen").transform,
                 band: style (".frame-band").transform, grain: style (".frame-grain").backgroundPosition,
                 shade: style (".frame-shade").opacity };
    });
    const numbers = (text) => (text.match (/-?[0-9.]+(e-?[0-9]+)?/g) || []).map (Number);
    const near = (actual, expected, what) =>
    {
        assert.equal (actual.length, expected.length, `${what}: ${actual}`);
        actual.forEach ((v, i) => assert.ok (Math.abs (v - expected[i]) < 0.011, `${what}: ${actual} against ${expected}`));
    };
    const r = Math.SQRT1_2;
    near (numbers (got.sweeps), [r, -r, r, r, 0, 0], "sweeps turned by -45 degrees");
    near (numbers (got.sheen), [1, 0, 0, 1, -0.32 * got.width, 0.06 * got.height], "sheen shifted");
    near (numbers (got.band), [1, 0, 0, 1, 0.42 * got.width, 0], "darker band shifted");
    near (numbers (got.grain), [0.32 * got.width, -0.06 * got.height], "grain shifted the other way");
    assert.equal (got.shade, "0.5");
    await p.page.close ();
});

test ("light messages set the relief light: first at once, later ones glide", async () =>
{
    const p = await ready ();
    const vars = () => p.page.evaluate (() =>
    {
        const s = document.documentElement.style;
        return { sx: s.getPropertyValue ("--sx"), sy: s.getPropertyValue ("--sy"), angle: s.getPropertyValue ("--light-angle"),
                 depth: s.getPropertyValue ("--light-depth"), moving: document.body.classList.contains ("is-light-moving") };
    });
    assert.deepEqual ({ ...(await vars ()), moving: false }, { sx: "1", sy: "1", angle: "135deg", depth: "0", moving: false });
    await p.deliver ("light", { x: 0, y: 1 });
    const first = await vars ();
    assert.deepEqual ({ sx: first.sx, sy: first.sy, angle: first.angle, depth: first.depth },
                      { sx: "0", sy: "1.4142", angle: "180deg", depth: "1" });
    // Record every change of the light variables while the light glides to its new target.
    await p.page.evaluate (() =>
    {
        window.__lightSeen = [];
        new MutationObserver (() => window.__lightSeen.push ([document.documentElement.style.getPropertyValue ("--sx"),
                                                              document.body.classList.contains ("is-light-moving")]))
            .observe (document.documentElement, { attributes: true, attributeFilter: ["style"] });
    });
    await p.deliver ("frame", { light: { x: 1, y: 0 } });
    await p.page.waitForFunction (() => document.documentElement.style.getPropertyValue ("--sx") === "1.3289", null, { timeout: 10000 });
    await p.page.waitForFunction (() => ! document.body.classList.contains ("is-light-moving"), null, { timeout: 10000 });
    const seen = await p.page.evaluate (() => window.__lightSeen);
    const between = seen.filter (([sx]) => +sx > 0 && +sx < 1.3289);
    assert.ok (between.length >= 2, `glides through intermediate values: ${JSON.stringify (seen)}`);
    assert.ok (seen.every (([, moving]) => moving), "transitions suspended while the light moves");
    const settled = await vars ();
    assert.deepEqual ({ sx: settled.sx, sy: settled.sy, depth: settled.depth, moving: settled.moving },
                      { sx: "1.3289", sy: "0.4837", depth: "0", moving: false });
    // Out of range: dropped.
    await p.deliver ("light", { x: 101, y: 0 });
    await p.page.waitForTimeout (100);
    assert.equal ((await vars ()).sx, "1.3289");
    await p.page.close ();
});
