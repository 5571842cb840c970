// End to end through the real editor: two brivola-host processes, each with its own plug-in
// instance and open editor, share one temporary store (HOME points at a fresh folder). One editor
// saves its dish into a preset slot from the culture page; the other sees the slot filled,
// recalls it (its dish then holds the saved cells), clears it (the first sees it emptied),
// recalls a seeded preset with a moon cell, finds the moon discovered in its pipette page and
// drags it back into the dish. The pages are driven only through pointer events on their own
// controls (editor-steps.js, evaluated in the page through the host's inspection interface).
//
//   node ui/test/pages/editor-e2e.mjs HOST BUNDLE [OUTDIR]
//
// Needs a display (Xvfb with a window manager). Exit code 0 when both editors finished their
// steps; the editors' screenshots go to OUTDIR when given.

import { spawn } from "node:child_process";
import { mkdtempSync, mkdirSync, readFileSync, writeFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, dirname } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname (fileURLToPath (import.meta.url));
const [host, bundle, outDir] = process.argv.slice (2);
if (! host || ! bundle)
{
    console.error ("usage: node editor-e2e.mjs HOST BUNDLE [OUTDIR]");
    process.exit (2);
}

/** Evaluations per editor, STEP_WAIT seconds apart. */
const STEPS = 90;
const STEP_WAIT = 0.5;
const RUN_LIMIT_MS = 240000;

//==============================================================================
// A fresh store holding one preset: three cells, one of them a moon of colour #AFB5BE.
const home = mkdtempSync (join (tmpdir (), "brivola-e2e-"));
// The store's folder: the application-data folder joined with "Brivola" (on macOS with
// "Application Support" between them); on Linux the application-data folder is XDG_CONFIG_HOME.
const storeDir = join (home, ".config", ...(process.platform === "darwin" ? ["Application Support"] : []), "Brivola");
mkdirSync (storeDir, { recursive: true });
const moonPreset = {
    cells: [
        { x: 0.3, y: -0.2, mass: 3, id: 501, color: "#AFB5BE", motif: "moon" },
        { x: -0.35, y: 0.25, mass: 2, id: 502, color: "#A9D1FD" },
        { x: 0.05, y: 0.4, mass: 2.5, id: 503, color: "#FCDA6F" },
    ],
    fxControls: [0.2, 0.1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0],
};
const presets = new Array (12).fill (null);
presets[7] = { revision: 1, data: moonPreset };
writeFileSync (join (storeDir, "brivola.shared.v1.json"), JSON.stringify ({
    version: 2, revision: 1, discovered: {}, pipetteSeen: [],
    uniqueQuota: { day: "", granted: 0, discoveries: 0 },
    presets,
    stats: { incubationTime: 0, mergeCount: 0, splitCount: 0, spawnCount: 0 },
}, null, 2));

const steps = readFileSync (join (here, "editor-steps.js"), "utf8");

//==============================================================================
/** The host's final JSON report (--json) and the records the step script returned, in order. */
function readReport (text)
{
    const lines = text.trim ().split ("\n");
    for (let i = lines.length - 1; i >= 0; --i)
    {
        if (! lines[i].startsWith ("{"))
            continue;
        try
        {
            const report = JSON.parse (lines.slice (i).join ("\n"));
            const records = [];
            for (const evaluation of report.evaluations ?? [])
            {
                try
                {
                    let value = JSON.parse (evaluation);
                    if (typeof value === "string")
                        value = JSON.parse (value);
                    if (value && typeof value.role === "string")
                        records.push (value);
                }
                catch (error)
                {
                    records.push ({ role: "?", step: "?", log: [], error: String (evaluation).slice (0, 500) });
                }
            }
            return { report, records };
        }
        catch (error)
        {
            // Keep looking for the start of the report.
        }
    }
    return { report: null, records: [] };
}

function runEditor (role)
{
    const script = join (home, role + ".js");
    writeFileSync (script, `var ROLE = ${JSON.stringify (role)};\n` + steps);
    const args = ["--editor", "--json", "--ready-timeout", "60"];
    // Side by side, so that each screenshot shows its own window.
    if (role === "recaller")
        args.push ("--move-window", "440,0");
    for (let i = 0; i < STEPS; ++i)
        args.push ("--eval-file", script, "--wait", String (STEP_WAIT));
    if (outDir)
        args.push ("--screenshot", join (outDir, `pages-editor-${role}.png`));
    args.push (bundle);

    return new Promise ((resolve) =>
    {
        const child = spawn (host, args, { env: { ...process.env, HOME: home, XDG_CONFIG_HOME: join (home, ".config") }, stdio: ["ignore", "pipe", "pipe"] });
        let stdout = "", stderr = "";
        child.stdout.on ("data", (d) => { stdout += d; });
        child.stderr.on ("data", (d) => { stderr += d; });
        const timer = setTimeout (() => child.kill ("SIGTERM"), RUN_LIMIT_MS);
        child.on ("close", (code, signal) =>
        {
            clearTimeout (timer);
            resolve ({ role, code, signal, stdout, stderr, ...readReport (stdout) });
        });
    });
}

if (outDir)
    mkdirSync (outDir, { recursive: true });
const results = await Promise.all ([runEditor ("saver"), runEditor ("recaller")]);
rmSync (home, { recursive: true, force: true });

let ok = true;
for (const r of results)
{
    const last = r.records.at (-1);
    console.log (`== ${r.role}: exit ${r.code}${r.signal ? " (" + r.signal + ")" : ""}, ${r.records.length} evaluations`);
    for (const line of last?.log ?? [])
        console.log ("   " + line);
    if (last?.error)
        console.log ("   error: " + last.error);
    const passed = r.code === 0 && last?.step === "done" && ! last.error;
    if (! passed)
    {
        ok = false;
        console.log (`   FAILED at step "${last?.step ?? "(no record)"}"`);
        console.log ("   events sent: " + JSON.stringify (last?.sent ?? []).slice (0, 2000));
        console.log ("   stderr: " + r.stderr.slice (-2000));
        console.log ("   stdout tail: " + r.stdout.slice (-1500));
    }
}
console.log (ok ? "end-to-end run passed" : "end-to-end run FAILED");
process.exit (ok ? 0 : 1);
