// page_liquid_step_ms_p95: one liquid frame step with the stir field and the slosh (tilt) active,
// plus its 80 × 80 shading image put on its canvas, in headless Chromium, over 600 steps.
// page_frame_ms_p95_all: the page's whole drawn frame (every animation-frame callback of one frame
// summed: dish, liquid, spill, scope, light) with 24 moving cells, a stirred liquid, the window
// shaken hard (the spill at or near its 150 drops) and the scope receiving 30 pictures a second,
// the dish renderer on the main thread so that all of it is measured in one place; 600 frames.
//
//   node bench/page/scope-liquid.bench.js PAGEDIR OUTDIR
//
// Writes OUTDIR/brivola_page_scope_liquid.json ({"benchmarks": [{ "name": "page_scope_liquid",
// "page_liquid_step_ms_p95": …, "page_liquid_step_ms_median": …, "page_frame_ms_p95_all": …,
// "page_frame_ms_median_all": … }]}), the shape scripts/bench.sh merges.

import { writeFileSync } from "node:fs";
import { join, dirname } from "node:path";
import { fileURLToPath } from "node:url";

const repo = join (dirname (fileURLToPath (import.meta.url)), "../..");
const [pageDir, outDir] = process.argv.slice (2);
if (! pageDir || ! outDir)
{
    console.error ("usage: node bench/page/scope-liquid.bench.js PAGEDIR OUTDIR");
    process.exit (2);
}
process.env.BRIVOLA_PAGE_DIR = pageDir;
const { chromium } = await import (join (repo, "ui/node_modules/playwright-core/index.mjs"));
const esbuild = await import (join (repo, "ui/node_modules/esbuild/lib/main.js"));
const { openPage, chromiumPath } = await import (join (repo, "ui/test/browser/harness.js"));

const STEPS = 600, FRAMES = 600;

function percentile (values, q)
{
    const s = [...values].sort ((a, b) => a - b);
    return s[Math.min (s.length - 1, Math.ceil (q * s.length) - 1)];
}

/** The liquid step measured in the page: the solver and the shading bundled on their own. */
const stepSource = `
import { createSolver, stepLiquid, stirDown, stirMove, moveWindow } from "./ui/src/liquid/solver.js";
import { createShade, shadeLiquid, tiltSlope } from "./ui/src/liquid/shade.js";
globalThis.__liquidStepTimes = (steps) =>
{
    const s = createSolver ();
    const shade = createShade ();
    const canvas = new OffscreenCanvas (80, 80);
    const g = canvas.getContext ("2d");
    const data = g.createImageData (80, 80);
    const times = [];
    stirDown (s, 150, 150);
    for (let k = 0; k < steps + 60; ++k)
    {
        stirMove (s, 150 + 50 * Math.sin (k / 9), 150 + 40 * Math.cos (k / 11));
        moveWindow (s, 6 * Math.sin (k / 20), 2);
        const t0 = performance.now ();
        stepLiquid (s, 1 / 60);
        data.data.set (shadeLiquid (shade, s, { dark: false, light: [1, 1], turn: 0, tiltSlope: tiltSlope (s.tilt) }));
        g.putImageData (data, 0, 0);
        const t1 = performance.now ();
        if (k >= 60)
            times.push (t1 - t0);
    }
    return times;
};`;

/** Runs in the page before its script: sums the time of every animation-frame callback per frame. */
function frameTimer ()
{
    const raf = window.requestAnimationFrame.bind (window);
    window.__frameTotals = new Map ();
    window.requestAnimationFrame = (fn) => raf ((ts) =>
    {
        const t0 = performance.now ();
        try
        {
            fn (ts);
        }
        finally
        {
            const totals = window.__frameTotals;
            totals.set (ts, (totals.get (ts) || 0) + performance.now () - t0);
        }
    });
    window.__BRIVOLA_DISH_ON_MAIN = true;
}

/** Runs in the page: a moving culture of 24 cells, scope pictures and a hard window shake. */
function feed ()
{
    const backend = window.__JUCE__.backend;
    let tick = 0;
    setInterval (() =>
    {
        ++tick;
        const cells = [];
        for (let i = 0; i < 24; ++i)
        {
            const a = i / 24 * 2 * Math.PI + 0.3 * tick / 30, ring = 0.3 + 0.4 * ((i % 3) / 2);
            cells.push (i + 1, ring * Math.cos (a), ring * Math.sin (a), 1.2 + (i % 4) * 0.4, i % 4, i % 2, i % 15, tick / 20 + i,
                        0.002, 0.002, 0, 0, 0);
        }
        const wave = Array.from ({ length: 512 }, (_, k) => +(0.45 * Math.sin (k / 13 + tick / 3)).toFixed (3));
        const bars = Array.from ({ length: 32 }, (_, k) => +(0.8 * Math.exp (-k / 12) * (0.8 + 0.2 * Math.sin (tick + k))).toFixed (3));
        backend.emitByBackend ("frame", { cells: { cells }, scope: { wave, bars } });
    }, 1000 / 30);
    let k = 0;
    setInterval (() =>
    {
        const dx = k % 8 < 4 ? 90 : -90;
        backend.emitByBackend ("frame", { window: { dx, dy: Math.round (dx / 3) } });
        ++k;
    }, 1000 / 60);
}

const bundle = await esbuild.build ({
    stdin: { contents: stepSource, resolveDir: repo, sourcefile: "liquid-step-bench.js" },
    bundle: true, write: false, format: "iife", target: "es2020",
});

const browser = await chromium.launch ({
    executablePath: chromiumPath (),
    headless: true,
    args: ["--no-sandbox", "--disable-background-networking", "--disable-component-update", "--disable-sync",
           "--no-first-run", "--disable-dev-shm-usage"],
});
const context = await browser.newContext ({ viewport: { width: 415, height: 646 }, deviceScaleFactor: 2 });
let steps, frames;
try
{
    const p = await openPage (context, {});
    await p.waitRevealed ();
    await p.page.evaluate (bundle.outputFiles[0].text);
    steps = await p.page.evaluate ((n) => globalThis.__liquidStepTimes (n), STEPS);
    await p.page.close ();

    const q = await openPage (context, { beforeLoad: (page) => page.addInitScript (frameTimer) });
    await q.waitRevealed ();
    await q.deliver ("fx", { reverb: 0.5, delay: 0.4 });
    await q.page.evaluate (feed);
    const { x, y } = await q.centre ("#petri-dish");
    await q.page.mouse.move (x, y);
    await q.page.mouse.down ();
    // Let the rim images and the spill fill up, keep stirring, then count from a clean slate.
    const stir = async (ms) =>
    {
        const end = Date.now () + ms;
        for (let k = 0; Date.now () < end; ++k)
        {
            await q.page.mouse.move (x + 60 * Math.sin (k / 6), y + 50 * Math.cos (k / 7));
            await q.page.waitForTimeout (16);
        }
    };
    await stir (8000);
    await q.page.evaluate (() => window.__frameTotals.clear ());
    while ((await q.page.evaluate (() => window.__frameTotals.size)) < FRAMES + 2)
        await stir (1000);
    await q.page.mouse.up ();
    frames = (await q.page.evaluate (() => [...window.__frameTotals.values ()])).slice (1, FRAMES + 1);
    await q.page.close ();
}
finally
{
    await browser.close ();
}

const figures = {
    name: "page_scope_liquid",
    page_liquid_step_ms_p95: +percentile (steps, 0.95).toFixed (3),
    page_liquid_step_ms_median: +percentile (steps, 0.5).toFixed (3),
    page_frame_ms_p95_all: +percentile (frames, 0.95).toFixed (3),
    page_frame_ms_median_all: +percentile (frames, 0.5).toFixed (3),
};
writeFileSync (join (outDir, "brivola_page_scope_liquid.json"), JSON.stringify ({ benchmarks: [figures] }, null, 2) + "\n");
process.stdout.write (JSON.stringify (figures, null, 2) + "\n");
