// page_load_ms: from navigation start to the page's "ready" event in headless Chromium, median
// of 10 loads (one warm-up load first), the page served over loopback HTTP; ui_js_bytes: size of
// the minified bundle (and ui_js_gzip_bytes compressed, for reference).
//
//   node bench/page/page-load.bench.js PAGEDIR OUTDIR

import { statSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { gzipSync } from "node:zlib";
import { readFileSync } from "node:fs";

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
const figures = {
    name: "page_load",
    page_load_ms: +median.toFixed (2),
    ui_js_bytes: statSync (join (pageDir, "ui.js")).size,
    ui_js_gzip_bytes: gzipSync (bundle, { level: 9 }).length,
};
writeFileSync (join (outDir, "brivola_page_load.json"), JSON.stringify ({ benchmarks: [figures] }, null, 2) + "\n");
console.log (`page_load_ms ${figures.page_load_ms} (loads: ${times.map ((t) => t.toFixed (1)).join (", ")})`);
console.log (`ui_js_bytes ${figures.ui_js_bytes}, gzip ${figures.ui_js_gzip_bytes}`);
