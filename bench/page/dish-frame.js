// page_dish_frame_ms_p95: the dish renderer's own time per drawn frame (the page's "dish-frame"
// performance entries), with 24 moving motif cells close enough for bridges, new cells rippling
// every half second, in both themes, in headless Chromium at device pixel ratio 2, over 600 drawn
// frames per theme.
//
//   BRIVOLA_PAGE_DIR=<built page> node bench/page/dish-frame.js [OUT.json]
//
// Writes { "page_dish_frame_ms_p95": …, "page_dish_frame_ms_p95_light": …, "page_dish_frame_ms_p95_dark": …,
// "page_dish_frame_ms_median": … } to OUT.json (or prints it).

import { writeFileSync } from "node:fs";
import { join, dirname } from "node:path";
import { fileURLToPath } from "node:url";

const repo = join (dirname (fileURLToPath (import.meta.url)), "../..");
const { chromium } = await import (join (repo, "ui/node_modules/playwright-core/index.mjs"));
const { openPage, chromiumPath } = await import (join (repo, "ui/test/browser/harness.js"));

const FRAMES = 600;

/** Runs in the page: delivers a moving culture through the fake bridge at 30 updates per second. */
function feedCulture ()
{
    const backend = window.__JUCE__.backend;
    let tick = 0, nextId = 1000;
    const ids = Array.from ({ length: 24 }, (_, i) => i + 1);
    const born = new Map ();
    setInterval (() =>
    {
        ++tick;
        // Every half second one to three cells are replaced: cell-event ripples, newborn rings.
        if (tick % 15 === 0)
            for (let k = 0; k < 1 + (tick / 15) % 3; ++k)
            {
                const slot = (tick * 7 + k * 5) % 24;
                ids[slot] = nextId++;
                born.set (ids[slot], tick);
            }
        const cells = [];
        for (let i = 0; i < 24; ++i)
        {
            // Twelve pairs orbiting the centre; the two cells of a pair stay close (bridges).
            const pair = i >> 1, t = tick / 30;
            const a = pair / 12 * 2 * Math.PI + 0.35 * t * (pair % 2 ? 1 : -1);
            const ring = 0.35 + 0.35 * ((pair % 3) / 2);
            const off = (i & 1 ? 1 : -1) * (0.075 + 0.02 * Math.sin (2 * t + pair));
            const x = ring * Math.cos (a) - off * Math.sin (a), y = ring * Math.sin (a) + off * Math.cos (a);
            const vx = -0.35 * ring * Math.sin (a) / 60, vy = 0.35 * ring * Math.cos (a) / 60;
            const id = ids[i];
            const fresh = born.has (id) && tick - born.get (id) < 3;
            cells.push (id, x, y, 1.2 + (i % 4) * 0.4, (i >> 1) % 4, i % 2, i % 15, 0.7 * t + i, vx, vy, 0,
                        (tick + i) % 40 < 4 ? 0.5 : 0, fresh && i % 2 ? 1 : 0);
        }
        backend.emitByBackend ("frame", { cells: { cells }, voices: { levels: [ids[0], 0.5, ids[3], 0.1, ids[8], 1] } });
        if (tick % 20 === 0)
            backend.emitByBackend ("frame", { state: { note: tick % 40 === 0 ? 60 : -1 } });
    }, 1000 / 30);
}

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
        await p.page.evaluate (feedCulture);
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
const text = JSON.stringify (figures, null, 2) + "\n";
if (process.argv[2])
    writeFileSync (process.argv[2], text);
process.stdout.write (text);
