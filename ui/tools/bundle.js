// Bundles the page's script: src/main.js into one minified ui.js. When the dish has a worker
// entry (src/dish/worker.js), that is bundled first and handed to the main bundle as the text
// constant __BRIVOLA_DISH_WORKER_SOURCE__, from which the page builds its worker (blob URL).
//
//   node tools/bundle.js OUTFILE [METAFILE]
//
// METAFILE, when given, receives esbuild's metafile (bytes of each source in the bundle).

import { existsSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import * as esbuild from "esbuild";

const ui = join (dirname (fileURLToPath (import.meta.url)), "..");
const [outfile, metafile] = process.argv.slice (2);
if (! outfile)
{
    console.error ("usage: node tools/bundle.js OUTFILE");
    process.exit (2);
}

const common = { bundle: true, minify: true, format: "iife", target: ["es2020", "safari15"],
                 legalComments: "none", logLevel: "warning" };

const define = {};
const workerEntry = join (ui, "src/dish/worker.js");
if (existsSync (workerEntry))
{
    const worker = await esbuild.build ({ ...common, entryPoints: [workerEntry], write: false });
    define.__BRIVOLA_DISH_WORKER_SOURCE__ = JSON.stringify (worker.outputFiles[0].text);
}

const result = await esbuild.build ({ ...common, entryPoints: [join (ui, "src/main.js")], outfile, define,
                                     metafile: Boolean (metafile) });
if (metafile)
    writeFileSync (metafile, JSON.stringify (result.metafile));
