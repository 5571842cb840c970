// page_dish_frame_ms_p95_webkit through dish-frame-webkit.py (WebKitGTK on a private virtual
// display). Skipped with a note when python3's GObject bindings, WebKitGTK's typelib or xvfb-run
// are missing; a failed run leaves the figure out and says why, without stopping the other
// page benchmarks.
//
//   node bench/page/dish-frame-webkit.bench.js PAGEDIR [OUTDIR]

import { spawnSync } from "node:child_process";
import { existsSync, readFileSync, writeFileSync, mkdtempSync, rmSync } from "node:fs";
import { join, dirname } from "node:path";
import { tmpdir } from "node:os";
import { fileURLToPath } from "node:url";

const here = dirname (fileURLToPath (import.meta.url));
const [pageDir, outDir] = process.argv.slice (2);
if (! pageDir)
{
    console.error ("usage: node bench/page/dish-frame-webkit.bench.js PAGEDIR [OUTDIR]");
    process.exit (2);
}

const python = "/usr/bin/python3";
const probe = spawnSync (python, ["-c", "import gi; gi.require_version ('WebKit2', '4.1'); from gi.repository import WebKit2"]);
if (! existsSync ("/usr/bin/xvfb-run") || probe.status !== 0)
{
    console.log ("dish-frame-webkit: skipped (needs xvfb-run, python3-gi and gir1.2-webkit2-4.1)");
    process.exit (0);
}

const work = mkdtempSync (join (tmpdir (), "brivola-dish-webkit-"));
const result = join (work, "figures.json");
const run = spawnSync ("/usr/bin/xvfb-run", ["-a", "-s", "-screen 0 1024x768x24", python, join (here, "dish-frame-webkit.py"), pageDir, result],
                       { stdio: ["ignore", "inherit", "inherit"], timeout: 300000 });
if (run.status === 0 && existsSync (result))
{
    const figures = JSON.parse (readFileSync (result, "utf8"));
    if (outDir)
        writeFileSync (join (outDir, "dish-frame-webkit.json"), JSON.stringify ({ benchmarks: [{ name: "page_dish_frame_webkit", ...figures }] }, null, 2) + "\n");
}
else
{
    console.error (`dish-frame-webkit: failed (status ${run.status}${run.error ? ", " + run.error.message : ""}); figure left out`);
}
rmSync (work, { recursive: true, force: true });
