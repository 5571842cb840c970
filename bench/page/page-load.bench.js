// page_load_ms: from navigation start to the page's "ready" event in headless Chromium, median
// of 10 loads (one warm-up load first), the page served over loopback HTTP; ui_js_bytes: size of
// the minified bundle (and ui_js_gzip_bytes compressed, for reference); ui_js_shell_bytes: the
// part of it that comes from the shell's own modules (ui/src/*.js, not the views' folders).
//
//   node bench/page/page-load.bench.js PAGEDIR OUTDIR

import { statSync, writeFileSync, readFileSync, mkdtempSync, rmSync } from "node:fs";
import { join, dirname } from "node:path";
import { tmpdir } from "node:os";
import { gzipSync } from "node:zlib";
import { execFileSync } from "node:child_process";
import { fileURLToPath } from "node:url";

const [pageDir, outDir] = process.argv.slice (2);
process.env.BRIVOLA_PAGE_DIR = pageDir;
const { launch, openPage, servePage } = await import ("../../ui/test/browser/harness.js");

const browser = await launch ();
const server = await servePage ();
const times = [];
try
{
    for (let i = 0; i < 11; ++i)
    {
        const p = await openPage (browser.context, { origin: server.origin });
        await p.page.waitForFunction (() => window.__brivolaSent.some ((e) => e.name === "ready"));
        const ready = (await p.sent ()).find ((e) => e.name === "ready");
        if (p.errors.length > 0)
            throw new Error ("page errors: " + p.errors.join ("; "));
        if (i > 0)
            times.push (ready.t);   // performance.now () at "ready": milliseconds since navigation start
        await p.page.close ();
    }
}
finally
{
    await browser.close ();
    await server.close ();
}

times.sort ((a, b) => a - b);
const median = (times[4] + times[5]) / 2;
const bundle = readFileSync (join (pageDir, "ui.js"));
// The shell's share of the bundle, from esbuild's metafile of the same build.
const ui = join (dirname (fileURLToPath (import.meta.url)), "../../ui");
const scratch = mkdtempSync (join (tmpdir (), "brivola-bundle-"));
execFileSync (process.execPath, [join (ui, "tools/bundle.js"), join (scratch, "ui.js"), join (scratch, "meta.json")]);
const meta = JSON.parse (readFileSync (join (scratch, "meta.json"), "utf8"));
rmSync (scratch, { recursive: true, force: true });
const output = Object.values (meta.outputs)[0];
const shellBytes = Object.entries (output.inputs)
    .filter (([path]) => /(^|\/)ui\/src\/[^/]+\.js$/.test (path))
    .reduce ((sum, [, v]) => sum + v.bytesInOutput, 0);

const figures = {
    name: "page_load",
    page_load_ms: +median.toFixed (2),
    ui_js_bytes: statSync (join (pageDir, "ui.js")).size,
    ui_js_gzip_bytes: gzipSync (bundle, { level: 9 }).length,
    ui_js_shell_bytes: shellBytes,
};
writeFileSync (join (outDir, "brivola_page_load.json"), JSON.stringify ({ benchmarks: [figures] }, null, 2) + "\n");
console.log (`page_load_ms ${figures.page_load_ms} (loads: ${times.map ((t) => t.toFixed (1)).join (", ")})`);
console.log (`ui_js_bytes ${figures.ui_js_bytes}, gzip ${figures.ui_js_gzip_bytes}, shell ${figures.ui_js_shell_bytes}`);
