// The scope and the light through the real editor: brivola-host opens the plug-in's editor with a
// held note playing; the scope's waveform screen must show the processor's output (a trace away
// from the flat line), and dragging the editor's window must bring "window" and "light" messages
// that the page follows (the relief light moves; the liquid's response to "window" is checked in
// Chromium, where its canvas can be read). Screenshots go to OUTDIR when given.
//
//   node ui/test/scope/editor-e2e.mjs HOST BUNDLE [OUTDIR]
//
// Needs a display (Xvfb with a window manager). Exit code 0 when every check passed.

import { spawn } from "node:child_process";
import { mkdtempSync, mkdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

const [host, bundle, outDir] = process.argv.slice (2);
if (! host || ! bundle)
{
    console.error ("usage: node editor-e2e.mjs HOST BUNDLE [OUTDIR]");
    process.exit (2);
}
const RUN_LIMIT_MS = 180000;
const MOVE_X = 240;

//==============================================================================
// Snippets evaluated in the page (no awaiting: each returns a value at once).

const revealed = `document.querySelectorAll (".init-hidden").length === 0`;

// Records the "window" and "light" members the page receives, alone or inside "frame".
const record = `(() =>
{
    const seen = window.__scopeSeen = { windows: [], lights: [] };
    const backend = window.__JUCE__.backend;
    const take = (p) =>
    {
        if (typeof p === "string")
            try { p = JSON.parse (p); } catch (e) { return; }
        if (p && p.window) seen.windows.push (p.window);
        if (p && p.light) seen.lights.push (p.light);
    };
    backend.addEventListener ("frame", take);
    backend.addEventListener ("window", (p) => take ({ window: typeof p === "string" ? JSON.parse (p) : p }));
    backend.addEventListener ("light", (p) => take ({ light: typeof p === "string" ? JSON.parse (p) : p }));
    return true;
}) ()`;

// Lit trace pixels on the waveform screen at least 6 canvas pixels away from the flat line.
const tracePixels = `(() =>
{
    const c = document.getElementById ("scope-wave");
    const d = c.getContext ("2d").getImageData (0, 0, c.width, c.height).data;
    let n = 0;
    for (let y = 0; y < c.height; ++y)
        if (Math.abs (y - 110) >= 6)
            for (let x = 20; x < 233; ++x)
            {
                const i = 4 * (y * c.width + x);
                if (d[i + 3] > 120 && d[i + 1] > 150)
                    ++n;
            }
    return n;
})()`;

const lightVars = `JSON.stringify ({ sx: document.documentElement.style.getPropertyValue ("--sx"),
                                     sy: document.documentElement.style.getPropertyValue ("--sy") })`;
const seen = `JSON.stringify (window.__scopeSeen)`;

//==============================================================================
function run (args)
{
    return new Promise ((resolve) =>
    {
        const home = mkdtempSync (join (tmpdir (), "brivola-scope-e2e-"));
        const child = spawn (host, args, { env: { ...process.env, HOME: home, XDG_CONFIG_HOME: join (home, ".config") },
                                           stdio: ["ignore", "pipe", "pipe"] });
        let stdout = "", stderr = "";
        child.stdout.on ("data", (d) => { stdout += d; });
        child.stderr.on ("data", (d) => { stderr += d; });
        const timer = setTimeout (() => child.kill ("SIGTERM"), RUN_LIMIT_MS);
        child.on ("close", (code, signal) =>
        {
            clearTimeout (timer);
            rmSync (home, { recursive: true, force: true });
            let result = null;
            const at = stdout.lastIndexOf ("\n{");
            try
            {
                result = JSON.parse (at >= 0 ? stdout.slice (at + 1) : stdout);
            }
            catch (error)
            {
                result = null;
            }
            resolve ({ code, signal, stdout, stderr, result });
        });
    });
}

const decode = (text) =>
{
    let v = JSON.parse (text);
    if (typeof v === "string" && (v.startsWith ("{") || v.startsWith ("[")))
        v = JSON.parse (v);
    return v;
};

if (outDir)
    mkdirSync (outDir, { recursive: true });
const args = ["--editor", "--json", "--pattern", "hold", "--ready-timeout", "60",
              "--wait-until", revealed,
              "--eval", record,
              "--wait-until", `${tracePixels} > 40`,
              "--eval", tracePixels];
if (outDir)
    args.push ("--screenshot", join (outDir, "scope-editor-note.png"));
args.push ("--eval", lightVars,
           "--move-window", `${MOVE_X},0`,
           "--wait-until", "window.__scopeSeen.windows.length > 0 && window.__scopeSeen.lights.length > 0",
           "--wait", "1",
           "--eval", seen,
           "--eval", lightVars);
if (outDir)
    args.push ("--screenshot", join (outDir, "scope-editor-moved.png"));
args.push (bundle);

const r = await run (args);
const failures = [];
if (! r.result || r.result.ok !== true)
    failures.push (`host run failed (exit ${r.code}${r.signal ? ", " + r.signal : ""}): ${r.result?.error ?? r.stderr.slice (-2000)}`);
else
{
    const [, trace, before, seenText, after] = r.result.evaluations;
    const pixels = decode (trace);
    const lightBefore = decode (before), lightAfter = decode (after);
    const messages = decode (seenText);
    console.log (`trace pixels away from the flat line: ${pixels}`);
    console.log (`window messages: ${JSON.stringify (messages.windows)}`);
    console.log (`light messages: ${JSON.stringify (messages.lights)}`);
    console.log (`light before ${JSON.stringify (lightBefore)}, after ${JSON.stringify (lightAfter)}`);
    if (! (pixels > 40))
        failures.push ("the scope shows no trace while the note plays");
    const sumX = messages.windows.reduce ((s, w) => s + w.dx, 0), sumY = messages.windows.reduce ((s, w) => s + w.dy, 0);
    // The editor reports its position as the window system last told it; a drag's final steps
    // may arrive late, so the messages must move right by at most the drag, never sideways.
    if (! (sumX > 0 && sumX <= MOVE_X) || sumY !== 0)
        failures.push (`window messages add up to (${sumX}, ${sumY}), expected a move to the right of up to ${MOVE_X}`);
    if (messages.lights.length < 1)
        failures.push ("no light message after the move");
    else if (lightAfter.sx === lightBefore.sx && lightAfter.sy === lightBefore.sy)
        failures.push ("the page's light did not follow the window");
}
for (const f of failures)
    console.error ("FAIL: " + f);
if (failures.length)
{
    console.error (r.stderr.slice (-3000));
    process.exit (1);
}
console.log ("scope editor checks passed");
