// Runs the built page in headless Chromium with a fake native bridge.
//
// The page is served from the build folder through request interception (no server, no
// network), at an origin of its own. The fake backend is injected before the page's script: it
// records every emitted event with its time and lets a test deliver native messages.

import { readFileSync, existsSync, mkdtempSync, rmSync } from "node:fs";
import { join, extname } from "node:path";
import { tmpdir } from "node:os";
import { createServer } from "node:http";
import { chromium } from "playwright-core";

export const ORIGIN = "https://brivola.page.test";

const MIME = { ".html": "text/html", ".css": "text/css", ".js": "text/javascript",
               ".woff2": "font/woff2", ".png": "image/png" };

/** The folder the page was built into (BRIVOLA_PAGE_DIR), built on demand by the test runner. */
export function pageDir ()
{
    const dir = process.env.BRIVOLA_PAGE_DIR;
    if (! dir || ! existsSync (join (dir, "ui.js")))
        throw new Error ("BRIVOLA_PAGE_DIR must name a folder built by ui/build-page.sh");
    return dir;
}

/**
    Serves the built page over HTTP on the loopback interface (for timing: request interception
    adds its own round trips). Returns { origin, close() }.
*/
export async function servePage ()
{
    const dir = pageDir ();
    const server = createServer ((req, res) =>
    {
        const path = new URL (req.url, "http://localhost").pathname;
        const file = path === "/" ? "index.html" : path.slice (1);
        const full = join (dir, file);
        if (file.includes ("/") || ! existsSync (full))
        {
            // the browser's own favicon probe is no error of the page
            res.writeHead (file === "favicon.ico" ? 204 : 404).end ();
            return;
        }
        res.writeHead (200, { "Content-Type": MIME[extname (file)] ?? "application/octet-stream" }).end (readFileSync (full));
    });
    await new Promise ((resolve) => server.listen (0, "127.0.0.1", resolve));
    return { origin: `http://127.0.0.1:${server.address ().port}`, close: () => new Promise ((r) => server.close (r)) };
}

/** Chromium executable: BRIVOLA_CHROMIUM or Debian's package. */
export const chromiumPath = () => process.env.BRIVOLA_CHROMIUM || "/usr/bin/chromium";

/** Starts the browser with a fresh profile. Returns { browser, close() }. */
export async function launch ()
{
    const profile = mkdtempSync (join (tmpdir (), "brivola-page-"));
    const context = await chromium.launchPersistentContext (profile, {
        executablePath: chromiumPath (),
        headless: true,
        args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--no-first-run", "--disable-dev-shm-usage"],
        viewport: { width: 415, height: 646 },
    });
    return {
        context,
        async close ()
        {
            await context.close ();
            rmSync (profile, { recursive: true, force: true });
        },
    };
}

/** Script injected before the page: the fake backend. */
function fakeBridge (withBridge)
{
    window.__brivolaSent = [];
    window.__brivolaCsp = [];
    document.addEventListener ("securitypolicyviolation", (e) =>
        window.__brivolaCsp.push (e.violatedDirective + " " + e.blockedURI));
    if (! withBridge)
        return;
    const listeners = new Map ();
    window.__JUCE__ = {
        backend: {
            addEventListener (name, fn)
            {
                if (! listeners.has (name))
                    listeners.set (name, []);
                listeners.get (name).push (fn);
                return [name, listeners.get (name).length - 1];
            },
            removeEventListener () {},
            emitEvent (name, payload)
            {
                window.__brivolaSent.push ({ name, payload: JSON.parse (JSON.stringify (payload)), t: performance.now () });
            },
            emitByBackend (name, payload)
            {
                for (const fn of listeners.get (name) ?? [])
                    fn (payload);
            },
        },
    };
}

/**
    Opens the page in a new tab. Options: bridge (default true), width, height.
    Returns a helper with the page, the console lines, and methods to read and deliver events.
*/
export async function openPage (context, { bridge = true, width = 415, height = 646, beforeLoad, origin } = {})
{
    const dir = pageDir ();
    const page = await context.newPage ();
    await page.setViewportSize ({ width, height });
    const consoleLines = [];
    const errors = [];
    page.on ("console", (m) =>
    {
        consoleLines.push ({ type: m.type (), text: m.text () });
        if (m.type () === "error")
            errors.push (m.text ());
    });
    page.on ("pageerror", (e) => errors.push (String (e)));
    if (! origin)
        await page.route (ORIGIN + "/**", (route) =>
        {
            const path = new URL (route.request ().url ()).pathname;
            const file = path === "/" ? "index.html" : path.slice (1);
            const full = join (dir, file);
            if (file.includes ("/") || ! existsSync (full))
                return route.fulfill ({ status: 404, body: "" });
            return route.fulfill ({ status: 200, contentType: MIME[extname (file)] ?? "application/octet-stream",
                                    body: readFileSync (full) });
        });
    await page.addInitScript (fakeBridge, bridge);
    if (beforeLoad)
        await beforeLoad (page);
    await page.goto ((origin ?? ORIGIN) + "/");

    const helper = {
        page,
        consoleLines,
        errors,
        /** Events the page sent so far: [{ name, payload, t }]. */
        sent: () => page.evaluate (() => window.__brivolaSent),
        /** Clears the recorded events. */
        clearSent: () => page.evaluate (() => { window.__brivolaSent = []; }),
        /** Delivers a native message (any value; strings arrive as text). */
        deliver: (name, payload) => page.evaluate (([n, p]) => window.__JUCE__.backend.emitByBackend (n, p), [name, payload]),
        /** Waits for the first reveal (controls visible). */
        waitRevealed: () => page.waitForFunction (() => ! document.querySelector ("#keyboard.init-hidden")
                                                         && document.querySelectorAll (".init-hidden").length === 0),
        /** CSP violations seen by the page. */
        cspViolations: () => page.evaluate (() => window.__brivolaCsp),
        /** Centre of an element in page pixels. */
        async centre (selector)
        {
            const box = await page.locator (selector).boundingBox ();
            return { x: box.x + box.width / 2, y: box.y + box.height / 2, box };
        },
        /** Fails when the console showed errors or the security policy was violated. */
        async assertClean (assert)
        {
            const csp = await helper.cspViolations ();
            assert.deepEqual (csp, [], "CSP violations");
            assert.deepEqual (errors, [], "console errors");
        },
    };
    return helper;
}
