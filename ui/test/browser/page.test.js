// The page in headless Chromium with a fake bridge: start-up, controls, native messages,
// gestures, screenshots. Run through scripts/test.sh (CTest) or:
//   BRIVOLA_PAGE_DIR=<built page> node --test ui/test/browser/

import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { mkdirSync } from "node:fs";
import { join } from "node:path";
import { launch, openPage } from "./harness.js";

let browser;
before (async () => { browser = await launch (); });
after (async () => { await browser?.close (); });

const names = (events) => events.map ((e) => e.name);
const without = (events, ...skip) => events.filter ((e) => ! skip.includes (e.name));

async function ready (options)
{
    const p = await openPage (browser.context, options);
    await p.waitRevealed ();
    await p.page.waitForTimeout (200);   // the bank's delayed reveal
    return p;
}

async function finish (p)
{
    await p.assertClean (assert);
    await p.page.close ();
}

const rejections = (p) => p.consoleLines.filter ((l) => l.text.startsWith ("Backend event rejected:")).map ((l) => l.text);

test ("start-up: ready first, then the reveal shows every control and the scope bank", async () =>
{
    const p = await ready ();
    const sent = await p.sent ();
    assert.deepEqual (sent[0], { name: "ready", payload: {}, t: sent[0].t });
    assert.deepEqual (names (sent), ["ready", "scopeOn"]);
    assert.deepEqual (sent[1].payload, { on: true });
    assert.equal (await p.page.title (), "Brivola");
    const csp = await p.page.locator ('meta[http-equiv="Content-Security-Policy"]').getAttribute ("content");
    assert.equal (csp, "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
                       + "worker-src blob:; base-uri 'self'; form-action 'self'; object-src 'none';");
    for (const id of ["petri-dish", "app-logo", "btn-pipette", "btn-beaker", "home-flip", "btn-chart", "btn-culture",
                      "btn-theme", "arc-slot", "keyboard", "scope-bank"])
        assert.equal (await p.page.locator ("#" + id).evaluate ((el) => getComputedStyle (el).opacity === "1"
                                                                      || getComputedStyle (el.parentElement).opacity === "1"), true, id);
    for (const id of ["slider-bank", "ground-slider-bank", "pipette-view", "host-paused"])
        assert.equal (await p.page.locator ("#" + id).evaluate ((el) => getComputedStyle (el).opacity), "0", id);
    const font = await p.page.evaluate (async () => { await document.fonts.ready; return document.fonts.check ("16px Outfit"); });
    assert.equal (font, true);
    await finish (p);
});

test ("the box scales to a small window and never up", async () =>
{
    for (const [w, h, s] of [[300, 500, Math.min (300 / 413, 500 / 613)], [900, 1200, 1]])
    {
        const p = await ready ({ width: w, height: h });
        const box = await p.page.locator ("#design-box").boundingBox ();
        assert.ok (Math.abs (box.width - 413 * s) < 0.5, `${w}×${h}: ${box.width}`);
        assert.ok (Math.abs (box.x + box.width / 2 - w / 2) < 0.5);
        assert.ok (Math.abs (box.y + box.height / 2 - h / 2) < 0.5);
        await finish (p);
    }
});

test ("a short key tap still lasts 140 ms; a second tap in that time plays first", async () =>
{
    const p = await ready ();
    const kb = await p.page.locator ("#keyboard").boundingBox ();
    const c4 = { x: kb.x + 10, y: kb.y + kb.height - 10 };
    const d4 = { x: kb.x + 64, y: kb.y + kb.height - 10 };
    await p.clearSent ();
    await p.page.mouse.move (c4.x, c4.y);
    await p.page.mouse.down ();
    await p.page.mouse.up ();
    await p.page.waitForTimeout (300);
    let sent = await p.sent ();
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]), [["noteOn", { note: 60 }], ["noteOff", {}]]);
    const held = sent[1].t - sent[0].t;
    assert.ok (held >= 139 && held < 240, `held ${held} ms`);

    await p.clearSent ();
    await p.page.mouse.down ();
    await p.page.mouse.up ();
    await p.page.mouse.move (d4.x, d4.y);
    await p.page.mouse.down ();
    await p.page.mouse.up ();
    await p.page.waitForTimeout (300);
    sent = await p.sent ();
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]), [["noteOn", { note: 60 }], ["noteOn", { note: 62 }], ["noteOff", {}]]);
    assert.ok (sent[2].t - sent[1].t >= 139);
    await finish (p);
});

test ("gliding from C4 to D4 sends two noteOns and one noteOff; the processor note lights its key", async () =>
{
    const p = await ready ();
    const kb = await p.page.locator ("#keyboard").boundingBox ();
    await p.clearSent ();
    await p.page.mouse.move (kb.x + 10, kb.y + 120);
    await p.page.mouse.down ();
    await p.page.mouse.move (kb.x + 30, kb.y + 120, { steps: 3 });
    await p.page.mouse.move (kb.x + 64, kb.y + 120, { steps: 4 });
    assert.equal (await p.page.locator ('.key[data-note="62"]').evaluate ((el) => el.classList.contains ("is-down")), true);
    await p.page.waitForTimeout (150);
    await p.page.mouse.up ();
    const sent = await p.sent ();
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]), [["noteOn", { note: 60 }], ["noteOn", { note: 62 }], ["noteOff", {}]]);

    await p.deliver ("frame", { state: { note: 69 } });
    assert.equal (await p.page.locator ('.key[data-note="69"]').evaluate ((el) => el.classList.contains ("is-down")), true);
    await p.deliver ("state", { note: -1 });
    assert.equal (await p.page.locator (".key.is-down").count (), 0);
    await finish (p);
});

test ("a fader pressed at its very top sends 1 between fxGesture on and off", async () =>
{
    const p = await ready ();
    await p.clearSent ();
    await p.page.click ("#btn-beaker");
    await p.page.waitForTimeout (200);
    const fader = await p.page.locator ("#slider-chorus").boundingBox ();
    await p.page.mouse.move (fader.x + fader.width / 2, fader.y + 1);
    await p.page.mouse.down ();
    await p.page.mouse.move (fader.x + fader.width / 2, fader.y + 27.5 + 89 * 0.75, { steps: 2 });
    await p.page.mouse.up ();
    const sent = without (await p.sent (), "scopeOn");
    assert.deepEqual (sent[0], { name: "uiPage", payload: { page: 1 }, t: sent[0].t });
    const fx = sent.slice (1);
    assert.deepEqual (fx[0].payload, { index: 2, on: true });
    assert.deepEqual ([fx[1].name, fx[1].payload], ["fx", { index: 2, value: 1 }]);
    assert.deepEqual (fx.at (-1), { name: "fxGesture", payload: { index: 2, on: false }, t: fx.at (-1).t });
    const last = fx.at (-2);
    assert.equal (last.name, "fx");
    assert.ok (Math.abs (last.payload.value - 0.25) < 0.02, `value ${last.payload.value}`);
    assert.ok (names (fx.slice (1, -1)).every ((n) => n === "fx"));
    await finish (p);
});

test ("toggles: a left swipe on an off toggle sends nothing; right swipe and tap flip it", async () =>
{
    const p = await ready ();
    await p.page.click ("#home-flip");
    await p.page.waitForTimeout (200);
    await p.clearSent ();
    const t = await p.page.locator ("#slider-delay").boundingBox ();
    const y = t.y + t.height / 2;
    const swipe = async (from, to) =>
    {
        await p.page.mouse.move (t.x + from, y);
        await p.page.mouse.down ();
        await p.page.mouse.move (t.x + to, y, { steps: 3 });
        await p.page.mouse.up ();
    };
    await swipe (40, 20);
    assert.deepEqual (await p.sent (), []);
    await swipe (20, 40);
    let sent = await p.sent ();
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]),
                      [["fxGesture", { index: 6, on: true }], ["fx", { index: 6, value: 1 }], ["fxGesture", { index: 6, on: false }]]);
    await p.page.waitForTimeout (150);   // the swipe's click suppression has passed
    await p.clearSent ();
    await p.page.mouse.click (t.x + 30, y);
    sent = await p.sent ();
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]),
                      [["fxGesture", { index: 6, on: true }], ["fx", { index: 6, value: 0 }], ["fxGesture", { index: 6, on: false }]]);
    await finish (p);
});

test ("native messages: ui selects bank and theme without sending; fx sets controls silently", async () =>
{
    const p = await ready ();
    await p.clearSent ();
    await p.deliver ("ui", { page: 2, theme: 0 });
    await p.page.waitForTimeout (50);
    assert.equal (await p.page.evaluate (() => document.body.classList.contains ("is-theme-dark")), true);
    assert.equal (await p.page.locator ("#ground-slider-bank").evaluate ((el) => el.classList.contains ("is-hidden")), false);
    assert.equal (await p.page.locator ("#home-flip").evaluate ((el) => el.classList.contains ("is-active")), true);
    await p.deliver ("ui", { page: 7, theme: 1 });
    assert.equal (await p.page.locator ("#scope-bank").evaluate ((el) => el.classList.contains ("is-hidden")), false);
    assert.equal (await p.page.locator ("#ground-slider-bank").evaluate ((el) => el.classList.contains ("is-hidden")), true);
    assert.equal (await p.page.evaluate (() => document.body.classList.contains ("is-theme-dark")), false);
    await p.deliver ("ui", { page: 1, theme: 0.3 });   // mix factor 0.45: still light
    assert.equal (await p.page.evaluate (() => document.body.classList.contains ("is-theme-dark")), false);

    await p.deliver ("fx", { filter: 1, delay: 0.7, bogus: 3 });
    assert.equal (await p.page.locator ("#slider-filter").getAttribute ("aria-valuenow"), "1.000");
    assert.equal (await p.page.locator ("#slider-delay").getAttribute ("aria-checked"), "true");
    await p.page.waitForTimeout (100);
    assert.deepEqual (without (await p.sent (), "scopeOn"), []);
    await finish (p);
});

test ("ui before the reveal is remembered", async () =>
{
    const p = await openPage (browser.context, {
        beforeLoad: (page) => page.addInitScript (() =>
        {
            // deliver "ui" as soon as the page registers its listener, before the first reveal
            const backend = window.__JUCE__.backend;
            const add = backend.addEventListener.bind (backend);
            backend.addEventListener = (name, fn) =>
            {
                const r = add (name, fn);
                if (name === "ui")
                    queueMicrotask (() => fn ({ page: 1, theme: 1 }));
                return r;
            };
        }),
    });
    await p.waitRevealed ();
    await p.page.waitForTimeout (50);
    assert.equal (await p.page.locator ("#slider-bank").evaluate ((el) => el.classList.contains ("is-hidden")), false);
    assert.equal (await p.page.locator ("#btn-beaker").evaluate ((el) => el.classList.contains ("is-active")), true);
    assert.equal (names (await p.sent ()).includes ("uiPage"), false);
    await finish (p);
});

test ("rejected messages are logged once per event and reason in 10 s and change nothing", async () =>
{
    const p = await ready ();
    const thirteen = Object.fromEntries ("abcdefghijklm".split ("").map ((k) => [k, 0]));
    await p.deliver ("fx", thirteen);
    await p.deliver ("fx", thirteen);
    await p.deliver ("state", "{oops");
    await p.deliver ("cells", { cells: new Array (14).fill (0) });
    await p.deliver ("frame", [1, 2]);
    await p.deliver ("ui", { page: 2, theme: 0, extra: 1 });   // accepted: extra members are ignored
    await p.deliver ("ui", '{"page": 1}');
    await p.page.waitForTimeout (50);
    assert.deepEqual (rejections (p), ["Backend event rejected: fx invalid-payload", "Backend event rejected: state invalid-json",
                                       "Backend event rejected: cells invalid-payload", "Backend event rejected: frame invalid-payload",
                                       "Backend event rejected: ui invalid-payload"]);
    assert.equal (await p.page.evaluate (() => document.body.classList.contains ("is-theme-dark")), true);
    await finish (p);
});

test ("notices: paused plate and storage line", async () =>
{
    const p = await ready ();
    await p.deliver ("hostPaused", { paused: true });
    await p.page.waitForTimeout (350);
    assert.equal (await p.page.locator ("#host-paused").evaluate ((el) => getComputedStyle (el).opacity), "1");
    assert.equal (await p.page.locator ("#host-paused .notice-title").textContent (), "Sound paused by the host");
    await p.deliver ("storageError", "Shared storage busy; retrying");
    await p.page.waitForTimeout (250);
    assert.equal (await p.page.locator ("#storage-line").textContent (), "Shared storage busy; retrying");
    assert.equal (await p.page.locator ("#storage-line").evaluate ((el) => getComputedStyle (el).opacity), "1");
    await p.deliver ("hostPaused", { paused: false });
    await p.deliver ("storageError", "");
    await p.page.waitForTimeout (350);
    assert.equal (await p.page.locator ("#host-paused").evaluate ((el) => getComputedStyle (el).opacity), "0");
    assert.equal (await p.page.locator ("#storage-line").textContent (), "");
    await finish (p);
});

test ("shuffle: 0.4 sends nothing, 0.6 one reroll and no second until the thumb is back", async () =>
{
    const p = await ready ();
    await p.clearSent ();
    const thumb = await p.page.locator ("#arc-slot .shuffle-thumb").boundingBox ();
    const pull = async (amount) =>
    {
        const x = thumb.x + thumb.width / 2, y = thumb.y + thumb.height / 2;
        await p.page.mouse.move (x, y);
        await p.page.mouse.down ();
        await p.page.mouse.move (x, y + 15.5 * amount, { steps: 3 });
        await p.page.mouse.up ();
    };
    await pull (0.4);
    await p.page.waitForTimeout (350);
    assert.deepEqual (await p.sent (), []);
    await pull (0.6);
    await p.page.waitForTimeout (20);
    await pull (1);          // the thumb has not returned yet
    let sent = await p.sent ();
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]), [["reroll", {}]]);
    await p.page.waitForTimeout (700);
    await pull (0.6);
    sent = await p.sent ();
    assert.deepEqual (names (sent), ["reroll", "reroll"]);
    await finish (p);
});

test ("losing the window ends every gesture with one noteOff", async () =>
{
    const p = await ready ();
    await p.page.click ("#btn-beaker");
    await p.page.waitForTimeout (200);
    await p.clearSent ();
    const kb = await p.page.locator ("#keyboard").boundingBox ();
    await p.page.mouse.move (kb.x + 100, kb.y + 120);
    await p.page.mouse.down ();
    await p.page.evaluate (() => window.dispatchEvent (new Event ("blur")));
    await p.page.waitForTimeout (250);
    await p.page.mouse.up ();
    let sent = await p.sent ();
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]), [["noteOn", { note: 64 }], ["noteOff", {}]]);
    assert.ok (sent[1].t - sent[0].t < 100, "released without the 140 ms wait");

    // a fader drag finishes with fxGesture off, and no noteOff when no note was down
    await p.clearSent ();
    const fader = await p.page.locator ("#slider-filter").boundingBox ();
    await p.page.mouse.move (fader.x + 20, fader.y + 70);
    await p.page.mouse.down ();
    await p.page.evaluate (() => document.dispatchEvent (new Event ("visibilitychange")));
    await p.page.evaluate (() => window.dispatchEvent (new Event ("blur")));
    await p.page.mouse.move (fader.x + 20, fader.y + 20);
    await p.page.mouse.up ();
    sent = await p.sent ();
    assert.deepEqual (names (sent), ["fxGesture", "fx", "fxGesture"]);
    assert.deepEqual (sent[2].payload, { index: 0, on: false });
    await finish (p);
});

test ("theme switch: tap toggles and sends; a swipe towards the current side sends nothing", async () =>
{
    const p = await ready ();
    await p.clearSent ();
    const sw = await p.page.locator ("#btn-theme").boundingBox ();
    const y = sw.y + sw.height / 2;
    await p.page.mouse.move (sw.x + 20, y);
    await p.page.mouse.down ();
    await p.page.mouse.move (sw.x + 45, y, { steps: 3 });
    await p.page.mouse.up ();
    assert.deepEqual (await p.sent (), []);
    await p.page.waitForTimeout (150);
    await p.page.mouse.click (sw.x + 30, y);
    await p.page.waitForTimeout (400);
    assert.deepEqual ((await p.sent ()).map ((e) => [e.name, e.payload]), [["theme", { value: 0 }]]);
    assert.equal (await p.page.evaluate (() => document.body.classList.contains ("is-theme-dark")), true);
    await finish (p);
});

test ("page buttons open and close their pages and steer the scope", async () =>
{
    const p = await ready ();
    await p.clearSent ();
    await p.page.click ("#btn-pipette");
    await p.page.waitForTimeout (200);
    assert.equal (await p.page.locator ("#pipette-view").evaluate ((el) => el.classList.contains ("is-hidden")), false);
    assert.equal (await p.page.locator ("#keyboard").evaluate ((el) => el.classList.contains ("is-hidden")), true);
    await p.page.click ("#btn-chart");
    await p.page.waitForTimeout (200);
    await p.page.click ("#btn-chart");
    await p.page.waitForTimeout (200);
    const sent = (await p.sent ()).map ((e) => [e.name, e.payload]);
    assert.deepEqual (sent, [["pipetteMode", { on: true }], ["scopeOn", { on: false }], ["pipetteMode", { on: false }],
                             ["uiPage", { page: 0 }], ["scopeOn", { on: true }]]);
    assert.equal (await p.page.locator ("#scope-bank").evaluate ((el) => el.classList.contains ("is-hidden")), false);
    await finish (p);
});

test ("without a bridge the page still renders and animates", async () =>
{
    const p = await ready ({ bridge: false });
    assert.equal (await p.page.evaluate (() => window.__JUCE__), undefined);
    await p.page.click ("#btn-beaker");
    await p.page.waitForTimeout (200);
    assert.equal (await p.page.locator ("#slider-bank").evaluate ((el) => el.classList.contains ("is-hidden")), false);
    await finish (p);
});

test ("screenshots: each bank in both themes", async () =>
{
    const dir = process.env.BRIVOLA_SCREENSHOT_DIR;
    if (! dir)
        return;
    mkdirSync (dir, { recursive: true });
    for (const [theme, themeName] of [[1, "light"], [0, "dark"]])
        for (const [page, bank] of [[0, "scope"], [1, "beaker"], [2, "ground"]])
        {
            const p = await ready ();
            await p.deliver ("ui", { page, theme });
            await p.deliver ("fx", { filter: 0.7, attack: 0.2, chorus: 0.45, reverb: 1, sub: 1, delay: 1, shimmer: 1 });
            await p.page.waitForTimeout (300);
            await p.page.screenshot ({ path: join (dir, `page-${themeName}-${bank}.png`) });
            await finish (p);
        }
});

test ("pointer events made by script drive a fader (the real-editor check does this)", async () =>
{
    const p = await ready ();
    await p.page.click ("#btn-beaker");
    await p.page.waitForTimeout (200);
    await p.clearSent ();
    await p.page.evaluate (() =>
    {
        const el = document.getElementById ("slider-filter");
        const r = el.getBoundingClientRect ();
        const at = (type, share) => el.dispatchEvent (new PointerEvent (type, {
            pointerId: 41, bubbles: true, cancelable: true, buttons: type === "pointerup" ? 0 : 1,
            clientX: r.left + r.width / 2, clientY: r.top + r.height * share }));
        at ("pointerdown", 0.5);
        at ("pointermove", 0.3);
        at ("pointerup", 0.3);
    });
    const sent = (await p.sent ()).map ((e) => [e.name, e.payload]);
    assert.equal (sent.length, 4);
    assert.deepEqual (sent[0], ["fxGesture", { index: 0, on: true }]);
    assert.deepEqual (sent[1], ["fx", { index: 0, value: 0.5 }]);
    assert.equal (sent[2][0], "fx");
    assert.ok (Math.abs (sent[2][1].value - (1 - (0.3 * 144 - 27.5) / 89)) < 1e-3);
    assert.deepEqual (sent[3], ["fxGesture", { index: 0, on: false }]);
    await finish (p);
});
