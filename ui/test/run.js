// Runs the page's tests with node's own runner.
//
//   node test/run.js logic            every ui/test/**/*.test.js whose path has no "browser"
//   node test/run.js browser PAGEDIR  the browser tests (paths with "browser"), one file at a
//                                     time, against a page built by build-page.sh into PAGEDIR
//
// Browser files run one after another: each starts its own Chromium, and parallel browsers on a
// small machine would only make the timing checks flaky.

import { readdirSync, statSync } from "node:fs";
import { join, relative, dirname } from "node:path";
import { fileURLToPath } from "node:url";
import { spawnSync } from "node:child_process";

const testRoot = dirname (fileURLToPath (import.meta.url));
const [kind, pageDir] = process.argv.slice (2);
if (kind !== "logic" && ! (kind === "browser" && pageDir))
{
    console.error ("usage: node test/run.js logic | browser PAGEDIR");
    process.exit (2);
}

function testFiles (dir)
{
    const out = [];
    for (const name of readdirSync (dir).sort ())
    {
        const full = join (dir, name);
        if (statSync (full).isDirectory ())
            out.push (...testFiles (full));
        else if (name.endsWith (".test.js"))
            out.push (full);
    }
    return out;
}

const isBrowser = (file) => relative (testRoot, file).includes ("browser");
const files = testFiles (testRoot).filter ((f) => isBrowser (f) === (kind === "browser"));
if (files.length === 0)
{
    console.error ("no test files found");
    process.exit (1);
}

const env = { ...process.env };
if (kind === "browser")
    env.BRIVOLA_PAGE_DIR = pageDir;

const runs = kind === "browser" ? files.map ((f) => [f]) : [files];
let failed = false;
for (const group of runs)
{
    const r = spawnSync (process.execPath, ["--test", "--test-reporter=spec", ...group], { stdio: "inherit", env });
    if (r.status !== 0)
        failed = true;
}
process.exit (failed ? 1 : 0);
