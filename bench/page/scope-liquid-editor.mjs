// The frame figures in the real editor (WebKitGTK): brivola-host opens the editor with a held note
// (the scope running, the dish's own culture), shakes the window hard a dozen times (the liquid
// sloshes and spills), and reads back the page's frame times: the dish renderer's own time per
// frame (in its worker: cells, liquid and spill; the "dish-frame" entries) and the main thread's
// animation-frame work per frame (scope, light, the page).
//
//   scripts/with-display.sh node bench/page/scope-liquid-editor.mjs HOST BUNDLE
//
// Prints { "webkit_dish_frame_ms_p95": …, "webkit_main_frame_ms_p95": …, … } for the README.

import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

const [host, bundle] = process.argv.slice (2);
if (! host || ! bundle)
{
    console.error ("usage: node scope-liquid-editor.mjs HOST BUNDLE");
    process.exit (2);
}

const install = `(() =>
{
    const raf = window.requestAnimationFrame.bind (window);
    const totals = window.__frameTotals = new Map ();
    window.requestAnimationFrame = (fn) => raf ((ts) =>
    {
        const t0 = performance.now ();
        try { fn (ts); } finally { totals.set (ts, (totals.get (ts) || 0) + performance.now () - t0); }
    });
    performance.clearMeasures ("dish-frame");
    return true;
}) ()`;
const collect = `JSON.stringify ({ main: [...window.__frameTotals.values ()],
                                   dish: performance.getEntriesByName ("dish-frame").map ((e) => e.duration) })`;

const args = ["--editor", "--json", "--pattern", "hold", "--ready-timeout", "60",
              "--wait-until", `document.querySelectorAll (".init-hidden").length === 0`,
              "--wait", "2", "--eval", install];
for (let i = 0; i < 12; ++i)
    args.push ("--move-window", "300,40", "--move-window", "-300,-40");
args.push ("--wait", "3", "--eval", collect, bundle);

const home = mkdtempSync (join (tmpdir (), "brivola-frame-"));
const out = await new Promise ((resolve) =>
{
    const child = spawn (host, args, { env: { ...process.env, HOME: home }, stdio: ["ignore", "pipe", "inherit"] });
    let text = "";
    child.stdout.on ("data", (d) => { text += d; });
    child.on ("close", () => resolve (text));
});
rmSync (home, { recursive: true, force: true });

const result = JSON.parse (out.slice (out.lastIndexOf ("\n{") + 1));
if (! result.ok)
{
    console.error (result.error);
    process.exit (1);
}
const times = JSON.parse (JSON.parse (result.evaluations.at (-1)));
const percentile = (v, q) => { const s = [...v].sort ((a, b) => a - b); return s[Math.min (s.length - 1, Math.ceil (q * s.length) - 1)]; };
console.log (JSON.stringify ({
    webkit_dish_frame_ms_p95: +percentile (times.dish, 0.95).toFixed (3),
    webkit_dish_frame_ms_median: +percentile (times.dish, 0.5).toFixed (3),
    webkit_main_frame_ms_p95: +percentile (times.main, 0.95).toFixed (3),
    webkit_main_frame_ms_median: +percentile (times.main, 0.5).toFixed (3),
    frames: { dish: times.dish.length, main: times.main.length },
}, null, 2));
