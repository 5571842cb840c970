// page_dish_frame_ms_p95: the dish renderer's own time per drawn frame (the page's "dish-frame"
// performance entries), with 24 moving motif cells close enough for bridges, new cells rippling
// every half second, in both themes, in headless Chromium at device pixel ratio 2, over 600 drawn
// frames per theme.
//
//   node bench/page/dish-frame.bench.js PAGEDIR [OUTDIR]
//
// Prints the figures and writes OUTDIR/dish-frame.json ({"benchmarks": [{"name": "page_dish_frame",
// "page_dish_frame_ms_p95": …, "page_dish_frame_ms_p95_light": …, "page_dish_frame_ms_p95_dark": …,
// "page_dish_frame_ms_median": …}]}), the shape scripts/bench.sh merges.

import { readFileSync, writeFileSync } from "node:fs";
import { join, dirname } from "node:path";
import { fileURLToPath } from "node:url";

const repo = join (dirname (fileURLToPath (import.meta.url)), "../..");
const { chromium } = await import (join (repo, "ui/node_modules/playwright-core/index.mjs"));
const [pageDir, outDir] = process.argv.slice (2);
if (! pageDir)
{
    console.error ("usage: node bench/page/dish-frame.bench.js PAGEDIR [OUTDIR]");
    process.exit (2);
}
process.env.BRIVOLA_PAGE_DIR = pageDir;
const { openPage, chromiumPath } = await import (join (repo, "ui/test/browser/harness.js"));

const FRAMES = 600;
const culture = readFileSync (join (dirname (fileURLToPath (import.meta.url)), "dish-culture.js"), "utf8");

function percentile (values, q)
{
    const s = [...values].sort ((a, b) => a - b);
    return s[Math.min (s.length - 1, Math.ceil (q * s.length) - 1)];
}

const browser = await chromium.launch ({
    executablePath: chromiumPath (),
    headless: true,
    args: ["--no-sandbox", "--disable-background-networking", "--disable-component-update", "--disable-sync",
           "--no-first-run", "--disable-dev-shm-usage"],
});
const context = await browser.newContext ({ viewport: { width: 415, height: 646 }, deviceScaleFactor: 2 });
const times = {};
try
{
    for (const [theme, name] of [[1, "light"], [0, "dark"]])
    {
        const p = await openPage (context, {});
        await p.waitRevealed ();
        await p.deliver ("ui", { page: 0, theme });
        await p.deliver ("fx", { reverb: 0.5, delay: 0.4, chorus: 0.3 });
        await p.page.evaluate (culture);
        // Let the lazily made rim images (one every 50 ms, 240 of them) all exist, then count
        // from a clean slate.
        await p.page.waitForTimeout (13000);
        await p.page.evaluate (() => performance.clearMeasures ("dish-frame"));
        await p.page.waitForFunction ((n) => performance.getEntriesByName ("dish-frame").length >= n, FRAMES,
                                      { timeout: 120000, polling: 500 });
        times[name] = (await p.page.evaluate (() => performance.getEntriesByName ("dish-frame").map ((e) => e.duration)))
            .slice (0, FRAMES);
        await p.page.close ();
    }
}
finally
{
    await browser.close ();
}

const all = [...times.light, ...times.dark];
const figures = {
    page_dish_frame_ms_p95: +percentile (all, 0.95).toFixed (3),
    page_dish_frame_ms_p95_light: +percentile (times.light, 0.95).toFixed (3),
    page_dish_frame_ms_p95_dark: +percentile (times.dark, 0.95).toFixed (3),
    page_dish_frame_ms_median: +percentile (all, 0.5).toFixed (3),
};
if (process.env.BRIVOLA_BENCH_VERBOSE)
    for (const name of ["light", "dark"])
        console.error (name, [...times[name]].sort ((a, b) => b - a).slice (0, 45).join (" "));
process.stdout.write (JSON.stringify (figures, null, 2) + "\n");
if (outDir)
    writeFileSync (join (outDir, "dish-frame.json"), JSON.stringify ({ benchmarks: [{ name: "page_dish_frame", ...figures }] }, null, 2) + "\n");
