// The pipette, culture and chart pages in headless Chromium with the fake bridge: paging and
// sorting, seen reporting, discoveries, drags into and out of the dish, preset auditions and
// their tokens, gesture endings, the chart, and screenshots of each page in both themes.
// Run through scripts/test.sh (CTest) or:
//   BRIVOLA_PAGE_DIR=<built page> node --test ui/test/pages/browser.test.js

import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { mkdirSync } from "node:fs";
import { join } from "node:path";
import { launch, openPage } from "../browser/harness.js";

let browser;
before (async () => { browser = await launch (); });
after (async () => { await browser?.close (); });

const SHAPES = ["normal", "spade", "clover", "heart", "diamond", "crown", "gear", "star", "bolt", "puzzle",
                "bell", "leaf", "flower", "controller", "ribbon", "moon"];
const COLOURS = ["#A9D1FD", "#B8A1FB", "#FCD9EC", "#FDB8C0", "#FCDA6F", "#FDC58E", "#A1F2BF", "#AFB5BE"];
const ALL_KEYS = SHAPES.flatMap ((s) => COLOURS.map ((c) => s + "|" + c));
/** The pipette's colour order. */
const SORT_COLOURS = ["#FCD9EC", "#FDC58E", "#FCDA6F", "#A1F2BF", "#AFB5BE", "#A9D1FD", "#B8A1FB", "#FDB8C0"];

const named = (events, name) => events.filter ((e) => e.name === name);
const pageEvents = (events) => events.filter ((e) => ! ["scopeOn", "stirring", "stir"].includes (e.name));

/** One dish cell record: id, x, y, mass, colour row and column, motif (−1 plain). */
const cell = (id, x, y, mass, row, col, motif) => [id, x, y, mass, row, col, motif, 0, 0, 0, 0, 0, 0];

async function ready (options)
{
    const p = await openPage (browser.context, options);
    await p.waitRevealed ();
    await p.page.waitForTimeout (200);
    return p;
}

async function finish (p)
{
    await p.assertClean (assert);
    await p.page.close ();
}

async function openPageButton (p, id)
{
    await p.page.click ("#" + id);
    await p.page.waitForTimeout (220);
}

const texts = (p, selector) => p.page.locator (selector).allTextContents ();
const gridKeys = (p) => p.page.locator ("#pipette-view .pipette-grid > .species-dish")
                              .evaluateAll ((els) => els.map ((el) => el.dataset.key ?? null));

//==============================================================================
test ("pipette: thirteen species make two pages, paging wraps, each key is reported seen once", async () =>
{
    const p = await ready ();
    const keys = ALL_KEYS.filter ((k) => ! k.startsWith ("normal|")).slice (0, 13);
    await p.deliver ("pipette", { discovered: keys, seen: [] });
    assert.equal (await p.page.locator ("#btn-pipette").evaluate ((el) => el.classList.contains ("has-new")), true,
                  "unseen species mark the button");
    await p.clearSent ();
    await openPageButton (p, "btn-pipette");

    let grid = await gridKeys (p);
    assert.equal (grid.length, 12);
    const byShape = SHAPES.flatMap ((s) => SORT_COLOURS.map ((c) => s + "|" + c)).filter ((k) => keys.includes (k));
    assert.deepEqual (grid, byShape.slice (0, 12), "by shape, then colour in the pipette's order");
    assert.deepEqual (await texts (p, ".pipette-indicator"), ["1 / 2"]);
    let sent = await p.sent ();
    assert.deepEqual (named (sent, "pipetteMode").map ((e) => e.payload), [{ on: true }]);
    assert.deepEqual (named (sent, "pipetteSeen").map ((e) => e.payload.keys), [grid], "one event with the twelve shown");
    assert.equal (await p.page.locator ("#pipette-view .species-dish.has-dot").count (), 12, "new dishes show red dots");
    assert.equal (await p.page.locator ("#btn-pipette").evaluate ((el) => el.classList.contains ("has-new")), true,
                  "the thirteenth is still unseen");

    await p.clearSent ();
    await p.page.click ("#pipette-view .pipette-next");
    await p.page.waitForTimeout (250);
    grid = await gridKeys (p);
    assert.equal (grid.filter ((k) => k !== null).length, 1, "one species and eleven empty dishes");
    assert.equal (grid.length, 12);
    assert.deepEqual (await texts (p, ".pipette-indicator"), ["2 / 2"]);
    assert.deepEqual (named (await p.sent (), "pipetteSeen").map ((e) => e.payload.keys), [["clover|#FDB8C0"]]);
    assert.equal (await p.page.locator ("#btn-pipette").evaluate ((el) => el.classList.contains ("has-new")), false);

    await p.clearSent ();
    await p.page.click ("#pipette-view .pipette-next");
    await p.page.waitForTimeout (250);
    assert.deepEqual (await texts (p, ".pipette-indicator"), ["1 / 2"], "next on the last page wraps to the first");
    await p.page.click ("#pipette-view .pipette-previous");
    await p.page.waitForTimeout (250);
    assert.deepEqual (await texts (p, ".pipette-indicator"), ["2 / 2"], "previous on the first page wraps to the last");
    // The republished list (seen list still empty) marks nothing again.
    await p.deliver ("pipette", { discovered: keys, seen: [] });
    await p.page.waitForTimeout (50);
    assert.deepEqual (named (await p.sent (), "pipetteSeen"), [], "keys are reported only once");

    // A list that loses species lowers the current page to the last one.
    await p.deliver ("pipette", { discovered: keys.slice (0, 3), seen: [] });
    assert.deepEqual (await texts (p, ".pipette-indicator"), ["1 / 1"]);
    await finish (p);
});

test ("pipette: sorting by colour, every species seen in events of at most 128 keys", async () =>
{
    const p = await ready ();
    await openPageButton (p, "btn-pipette");
    await p.clearSent ();
    await p.deliver ("pipette", { discovered: [...ALL_KEYS].reverse (), seen: [] });
    await p.page.click ("#pipette-view .pipette-sort");
    await p.page.waitForTimeout (250);
    const grid = await gridKeys (p);
    assert.deepEqual (grid.slice (0, 3), ["normal|#FCD9EC", "spade|#FCD9EC", "clover|#FCD9EC"]);
    assert.ok (grid.every ((k) => k.endsWith ("|#FCD9EC")), "the first page holds only #FCD9EC species");
    assert.deepEqual (await texts (p, ".pipette-indicator"), ["1 / 11"]);

    for (let i = 0; i < 10; ++i)
    {
        await p.page.click ("#pipette-view .pipette-next");
        await p.page.waitForTimeout (170);
    }
    await p.page.waitForTimeout (100);
    const seen = named (await p.sent (), "pipetteSeen").map ((e) => e.payload.keys);
    assert.ok (seen.every ((k) => k.length > 0 && k.length <= 128));
    const all = seen.flat ();
    assert.equal (new Set (all).size, all.length, "no key reported twice");
    assert.deepEqual ([...all].sort (), ALL_KEYS.filter ((k) => ! k.startsWith ("normal|")).sort (),
                      "every species but the plain blobs, once");
    await finish (p);
});

test ("pipette: a list of 129 keys is rejected and changes nothing", async () =>
{
    const p = await ready ();
    await p.deliver ("pipette", { discovered: ["star|#A9D1FD"], seen: [] });
    await p.deliver ("pipette", { discovered: [...ALL_KEYS, "star|#A9D1FD"], seen: [] });
    await openPageButton (p, "btn-pipette");
    assert.deepEqual ((await gridKeys (p)).filter ((k) => k !== null), ["star|#A9D1FD"]);
    assert.ok (p.consoleLines.some ((l) => l.text === "Backend event rejected: pipette invalid-payload"));
    p.consoleLines.length = 0;
    await finish (p);
});

//==============================================================================
test ("discoveries: a new moon flies from its cell to the pipette and is named on the label", async () =>
{
    const p = await ready ();
    await p.deliver ("cells", { cells: [...cell (7, 0.3, -0.2, 2, 3, 1, 14), ...cell (8, -0.4, 0.4, 1, 0, 0, -1)] });
    await p.deliver ("pipette", { discovered: ["star|#A9D1FD"], seen: ["star|#A9D1FD"] });
    await p.page.waitForTimeout (100);
    assert.equal (await p.page.locator (".discovery-orb").count (), 0, "the first message announces nothing");

    await p.deliver ("pipette", { discovered: ["star|#A9D1FD", "normal|#A9D1FD"], seen: ["star|#A9D1FD"] });
    await p.page.waitForTimeout (400);
    assert.equal (await p.page.locator (".discovery-orb").count (), 0, "a plain blob is not announced");
    assert.equal (await p.page.locator ("#specimen-label").evaluate ((el) => el.classList.contains ("is-hidden")), true);
    assert.equal (await p.page.locator ("#btn-pipette").evaluate ((el) => el.classList.contains ("has-new")), false);

    await p.deliver ("pipette", { discovered: ["star|#A9D1FD", "normal|#A9D1FD", "moon|#AFB5BE"], seen: ["star|#A9D1FD"] });
    await p.page.waitForTimeout (150);
    assert.equal (await p.page.locator (".discovery-orb").count (), 1, "an orb is in the air");
    assert.equal (await p.page.locator ("#btn-pipette").evaluate ((el) => el.classList.contains ("has-new")), false,
                  "no mark while the orb flies");
    // It starts at the moon's cell: 150 + 135 · 0.3 dish units across the 240 px dish.
    const dish = await p.page.locator ("#petri-dish").boundingBox ();
    await p.page.waitForTimeout (1000);
    assert.equal (await p.page.locator (".discovery-orb").count (), 0, "the orb has landed");
    assert.equal (await p.page.locator ("#btn-pipette").evaluate ((el) => el.classList.contains ("has-new")), true);
    await p.page.waitForTimeout (200);
    assert.equal (await p.page.locator ("#specimen-label").evaluate ((el) => el.classList.contains ("is-hidden")), false);
    assert.deepEqual (await texts (p, "#specimen-label span"), ["New", "No.128", "", "Moon"]);
    assert.equal (await p.page.locator ("#specimen-label .label-dot").evaluate ((el) => getComputedStyle (el).backgroundColor),
                  "rgb(66, 222, 241)", "the moon's light-theme display colour");
    assert.ok (dish.width > 0);

    // A discovery with no cell in the dish is named at once; the label shows keys one by one.
    await p.deliver ("pipette", { discovered: ["star|#A9D1FD", "normal|#A9D1FD", "moon|#AFB5BE", "heart|#FCDA6F"],
                                  seen: ["star|#A9D1FD"] });
    await p.page.waitForTimeout (100);
    assert.equal (await p.page.locator (".discovery-orb").count (), 0);
    await p.page.waitForFunction (() => document.querySelector ("#specimen-label .label-name")?.textContent === "Heart",
                                  null, { timeout: 4000 });
    assert.deepEqual (await texts (p, "#specimen-label span"), ["New", "No.029", "", "Heart"]);
    await p.page.waitForFunction (() => document.querySelector ("#specimen-label").classList.contains ("is-hidden"),
                                  null, { timeout: 4000 });
    await finish (p);
});

test ("discoveries: with reduced motion the orb is skipped and the key is named at once", async () =>
{
    const p = await ready ({ beforeLoad: (page) => page.emulateMedia ({ reducedMotion: "reduce" }) });
    await p.deliver ("cells", { cells: cell (7, 0.3, -0.2, 2, 2, 0, 6) });
    await p.deliver ("pipette", { discovered: [], seen: [] });
    await p.deliver ("pipette", { discovered: ["gear|#FCDA6F"], seen: [] });
    assert.equal (await p.page.locator (".discovery-orb").count (), 0);
    assert.equal (await p.page.locator ("#btn-pipette").evaluate ((el) => el.classList.contains ("has-new")), true);
    await p.page.waitForTimeout (250);
    assert.deepEqual (await texts (p, "#specimen-label span"), ["New", "No.053", "", "Gear"]);
    await finish (p);
});

//==============================================================================
async function speciesCentre (p, key)
{
    return p.centre (`#pipette-view .species-dish[data-key="${key}"]`);
}

test ("pipette: press previews, a drag into the dish drops with its velocity, short or outside drags drop nothing", async () =>
{
    const p = await ready ();
    await p.deliver ("pipette", { discovered: ["star|#FCDA6F", "moon|#A9D1FD"], seen: [] });
    await openPageButton (p, "btn-pipette");
    const dish = await p.page.locator ("#petri-dish").boundingBox ();
    const target = { x: dish.x + dish.width * 0.75, y: dish.y + dish.height * 0.5 };

    await p.clearSent ();
    const from = await speciesCentre (p, "star|#FCDA6F");
    await p.page.mouse.move (from.x, from.y);
    await p.page.mouse.down ();
    let sent = pageEvents (await p.sent ());
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]), [["pipettePreview", { shape: "star", color: "#FCDA6F", pan: 0 }]]);
    assert.equal (await p.page.locator (".pipette-ghost").count (), 1);
    await p.page.mouse.move (target.x, target.y, { steps: 12 });
    await p.page.mouse.up ();
    sent = pageEvents (await p.sent ());
    const drops = named (sent, "pipetteDrop");
    assert.equal (drops.length, 1);
    const drop = drops[0].payload;
    assert.equal (drop.shape, "star");
    assert.equal (drop.color, "#FCDA6F");
    assert.ok (Math.abs (drop.x - 0.5) < 0.02 && Math.abs (drop.y) < 0.02, JSON.stringify (drop));
    assert.ok (Number.isFinite (drop.vx) && Number.isFinite (drop.vy));
    assert.ok (drop.vy < 0, "moving up into the dish gives a negative vy");
    assert.equal (await p.page.locator (".pipette-ghost").count (), 0, "the ghost goes");
    assert.deepEqual (named (sent, "stirring"), [], "dropping does not stir");

    // Released 5 px from where it started: the drag never moved, so nothing is dropped.
    await p.clearSent ();
    const moon = await speciesCentre (p, "moon|#A9D1FD");
    await p.page.mouse.move (moon.x, moon.y);
    await p.page.mouse.down ();
    await p.page.mouse.move (moon.x + 3, moon.y + 4);
    await p.page.mouse.up ();
    sent = pageEvents (await p.sent ());
    assert.deepEqual (sent.map ((e) => e.name), ["pipettePreview"]);

    // Moved, but released outside the dish circle (its bounding box's corner): nothing.
    await p.clearSent ();
    await p.page.mouse.move (moon.x, moon.y);
    await p.page.mouse.down ();
    await p.page.mouse.move (dish.x + 6, dish.y + 6, { steps: 8 });
    await p.page.mouse.up ();
    assert.deepEqual (pageEvents (await p.sent ()).map ((e) => e.name), ["pipettePreview"]);

    // The window losing focus cancels the drag: nothing is dropped on the later release.
    await p.clearSent ();
    await p.page.mouse.move (moon.x, moon.y);
    await p.page.mouse.down ();
    await p.page.mouse.move (target.x, target.y, { steps: 6 });
    await p.page.evaluate (() => window.dispatchEvent (new Event ("blur")));
    assert.equal (await p.page.locator (".pipette-ghost").count (), 0);
    await p.page.mouse.up ();
    assert.deepEqual (pageEvents (await p.sent ()).map ((e) => e.name), ["pipettePreview"]);
    await finish (p);
});

test ("pipette: the preview button plays C while held", async () =>
{
    const p = await ready ();
    await openPageButton (p, "btn-pipette");
    await p.clearSent ();
    const b = await p.centre ("#pipette-view .pipette-preview");
    await p.page.mouse.move (b.x, b.y);
    await p.page.mouse.down ();
    await p.page.mouse.up ();
    await p.page.mouse.down ();
    await p.page.mouse.move (b.x + 60, b.y);      // leaving the button releases it
    await p.page.mouse.up ();
    await p.page.mouse.move (b.x, b.y);
    await p.page.mouse.down ();
    await p.page.evaluate (() => window.dispatchEvent (new Event ("blur")));
    await p.page.mouse.up ();
    const sent = pageEvents (await p.sent ());
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]), [
        ["noteOn", { note: 60 }], ["noteOff", {}],
        ["noteOn", { note: 60 }], ["noteOff", {}],
        ["noteOn", { note: 60 }], ["noteOff", {}],
    ]);
    await finish (p);
});

//==============================================================================
const PRESETS = {
    slots: [
        null, null, null,
        { cells: [{ x: 0.2, y: -0.3, mass: 2, color: "#FCDA6F" }, { x: -0.5, y: 0.1, mass: 4, color: "#B8A1FB" },
                  { x: 0, y: 0.6, mass: 1, color: "not-a-colour" }, { x: Infinity, y: 0, mass: 1 }] },
        null,
        { cells: [{ x: 0, y: 0, mass: 6, color: "#A1F2BF" }] },
        null, null, null, null, null, null,
    ],
};

const slotSelector = (i) => `#preset-bank .preset-slot[data-slot="${i}"]`;

async function culture ()
{
    const p = await ready ();
    await p.deliver ("presets", PRESETS);
    await p.deliver ("cells", { cells: [...cell (1, 0.2, 0.1, 2, 1, 0, 6), ...cell (2, -0.3, -0.2, 3, 2, 1, -1)] });
    await openPageButton (p, "btn-culture");
    await p.clearSent ();
    return p;
}

async function dragFrom (p, from, to, { release = true } = {})
{
    await p.page.mouse.move (from.x, from.y);
    await p.page.mouse.down ();
    await p.page.mouse.move (to.x, to.y, { steps: 10 });
    if (release)
        await p.page.mouse.up ();
}

test ("culture: slots drawn from presets; a slot dragged onto the dish previews, recalls once and stops the preview", async () =>
{
    const p = await culture ();
    assert.equal (await p.page.locator ("#preset-bank .preset-slot").count (), 12);
    assert.deepEqual (await p.page.locator ("#preset-bank .preset-slot.is-filled").evaluateAll ((els) => els.map ((e) => e.dataset.slot)),
                      ["3", "5"]);
    assert.equal (await p.page.locator (slotSelector (3) + " .mini-cell").count (), 3, "the non-finite cell is dropped");
    assert.equal (await p.page.locator (slotSelector (3) + " .mini-cell").nth (2).evaluate ((el) => getComputedStyle (el).backgroundColor),
                  "rgb(128, 186, 253)", "an unknown colour shows as #A9D1FD");
    assert.equal (await p.page.locator ("#preset-bank .preset-clear").getAttribute ("title"), "Drop here to erase");

    const slot = await p.centre (slotSelector (3));
    const dish = await p.centre ("#petri-dish");
    await p.page.mouse.move (slot.x, slot.y);
    await p.page.mouse.down ();
    let sent = pageEvents (await p.sent ());
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]), [["presetPreview", { slot: 3, note: 60, token: 1 }]]);
    await p.page.mouse.move (dish.x + 10, dish.y + 10, { steps: 10 });
    assert.equal (await p.page.locator (".preset-ghost").count (), 1);
    // The dragged slot fades to 0.35 through a style transition: wait for it rather than read it mid-way.
    await p.page.waitForFunction ((sel) => getComputedStyle (document.querySelector (sel)).opacity === "0.35",
                                  slotSelector (3), { timeout: 5000 });
    assert.equal (await p.page.locator ("#petri-dish").evaluate ((el) => el.classList.contains ("is-drop-target")), true);
    await p.page.mouse.up ();
    sent = pageEvents (await p.sent ());
    assert.deepEqual (sent.map ((e) => [e.name, e.payload]), [
        ["presetPreview", { slot: 3, note: 60, token: 1 }],
        ["presetRecall", { slot: 3 }],
        ["presetPreviewStop", { token: 1 }],
    ]);
    assert.deepEqual (named (await p.sent (), "stirring"), [], "the dish does not stir on the culture page");
    assert.equal (await p.page.locator (".preset-ghost").count (), 0);
    assert.equal (await p.page.locator ("#petri-dish").evaluate ((el) => el.classList.contains ("is-drop-target")), false);

    // A press and release without moving auditions with a fresh token and stops it.
    await p.clearSent ();
    await p.page.mouse.move (slot.x, slot.y);
    await p.page.mouse.down ();
    await p.page.mouse.up ();
    assert.deepEqual (pageEvents (await p.sent ()).map ((e) => [e.name, e.payload]), [
        ["presetPreview", { slot: 3, note: 60, token: 2 }], ["presetPreviewStop", { token: 2 }]]);

    // Released elsewhere: no recall, the preview stops.
    await p.clearSent ();
    await dragFrom (p, slot, { x: slot.x, y: slot.y - 200 });
    assert.deepEqual (pageEvents (await p.sent ()).map ((e) => e.name), ["presetPreview", "presetPreviewStop"]);

    // An empty slot does nothing.
    await p.clearSent ();
    const empty = await p.centre (slotSelector (0));
    await dragFrom (p, empty, dish);
    assert.deepEqual (pageEvents (await p.sent ()), []);
    await finish (p);
});

test ("culture: the window losing focus during an audition stops it with its token", async () =>
{
    const p = await culture ();
    const slot = await p.centre (slotSelector (5));
    await p.page.mouse.move (slot.x, slot.y);
    await p.page.mouse.down ();
    await p.page.mouse.move (slot.x + 30, slot.y - 30, { steps: 5 });
    await p.page.evaluate (() => window.dispatchEvent (new Event ("blur")));
    assert.equal (await p.page.locator (".preset-ghost").count (), 0, "the drag is cancelled");
    await p.page.mouse.move (slot.x + 60, slot.y - 300, { steps: 3 });
    await p.page.mouse.up ();
    assert.deepEqual (pageEvents (await p.sent ()).map ((e) => [e.name, e.payload]), [
        ["presetPreview", { slot: 5, note: 60, token: 1 }], ["presetPreviewStop", { token: 1 }]]);

    // Leaving the culture page mid-press stops the preview too.
    await p.clearSent ();
    await p.page.mouse.move (slot.x, slot.y);
    await p.page.mouse.down ();
    await p.page.evaluate (() => document.getElementById ("btn-culture").click ());
    await p.page.mouse.up ();
    const sent = pageEvents (await p.sent ());
    assert.deepEqual (sent.slice (0, 2).map ((e) => [e.name, e.payload]), [
        ["presetPreview", { slot: 5, note: 60, token: 2 }], ["presetPreviewStop", { token: 2 }]]);
    assert.deepEqual (named (sent, "presetPreviewStop").length, 1);
    await finish (p);
});

test ("culture: the dish dragged onto a slot saves it, and the new content pops in; a slot onto the bin clears it", async () =>
{
    const p = await culture ();
    const dish = await p.centre ("#petri-dish");
    const slot = await p.centre (slotSelector (6));
    await dragFrom (p, dish, slot, { release: false });
    assert.equal (await p.page.locator (".preset-ghost .mini-cell").count (), 2, "the ghost shows the dish's cells");
    assert.equal (await p.page.locator (slotSelector (6)).evaluate ((el) => el.classList.contains ("is-target")), true);
    await p.page.mouse.up ();
    assert.deepEqual (pageEvents (await p.sent ()).map ((e) => [e.name, e.payload]), [["presetSave", { slot: 6 }]]);
    assert.equal (await p.page.locator (slotSelector (6)).evaluate ((el) => el.classList.contains ("is-target")), false);

    const saved = structuredClone (PRESETS);
    saved.slots[6] = { cells: [{ x: 0.2, y: 0.1, mass: 2, color: "#FCD9EC" }, { x: -0.3, y: -0.2, mass: 3, color: "#FDC58E" }] };
    await p.deliver ("presets", saved);
    assert.equal (await p.page.locator (slotSelector (6)).evaluate ((el) => el.classList.contains ("is-confirmed")), true,
                  "a save confirmed within 1.5 s pops in");
    assert.equal (await p.page.locator (slotSelector (6) + " .mini-cell").count (), 2);

    // A tiny move (under 8 px) does not start a drag: nothing is saved.
    await p.clearSent ();
    await dragFrom (p, dish, { x: dish.x + 4, y: dish.y + 4 });
    assert.deepEqual (pageEvents (await p.sent ()), []);

    await p.clearSent ();
    const bin = await p.centre ("#preset-bank .preset-clear");
    await dragFrom (p, slot, bin, { release: false });
    assert.equal (await p.page.locator ("#preset-bank .preset-clear").evaluate ((el) => el.classList.contains ("is-target")), true);
    await p.page.mouse.up ();
    assert.deepEqual (pageEvents (await p.sent ()).map ((e) => [e.name, e.payload]), [
        ["presetPreview", { slot: 6, note: 60, token: 1 }], ["presetClear", { slot: 6 }], ["presetPreviewStop", { token: 1 }]]);
    await finish (p);
});

//==============================================================================
test ("chart: version, incubation, newborn cells and discovered species", async () =>
{
    const p = await ready ();
    await openPageButton (p, "btn-chart");
    assert.deepEqual (await texts (p, "#chart-view .chart-value"), ["1.0.0", "0h0m", "0", "0 / ??"]);
    await p.deliver ("stats", { incubation: 3725.9, spawn: 42 });
    await p.deliver ("pipette", { discovered: ["normal|#A9D1FD", "star|#FCDA6F", "bad"], seen: [] });
    assert.deepEqual (await texts (p, "#chart-view .chart-label"),
                      ["Version", "Incubation time:", "Newborn cells:", "Discovered species:"]);
    assert.deepEqual (await texts (p, "#chart-view .chart-value"), ["1.0.0", "1h2m", "42", "2 / ??"]);
    await p.deliver ("stats", { incubation: 1, spawn: NaN });
    assert.deepEqual (await texts (p, "#chart-view .chart-value"), ["1.0.0", "1h2m", "42", "2 / ??"], "a bad message changes nothing");
    p.consoleLines.length = 0;
    await finish (p);
});

//==============================================================================
test ("screenshots: the pipette, culture and chart pages in both themes", async () =>
{
    const dir = process.env.BRIVOLA_SCREENSHOT_DIR;
    if (! dir)
        return;
    mkdirSync (dir, { recursive: true });
    for (const [theme, themeName] of [[1, "light"], [0, "dark"]])
        for (const [button, name] of [["btn-pipette", "pipette"], ["btn-culture", "culture"], ["btn-chart", "chart"]])
        {
            const p = await ready ();
            await p.deliver ("ui", { page: 0, theme });
            await p.deliver ("cells", { cells: [...cell (1, 0.2, 0.1, 2, 1, 0, 6), ...cell (2, -0.3, -0.2, 3, 2, 1, -1),
                                                ...cell (3, 0.4, -0.4, 1.5, 3, 1, 14), ...cell (4, -0.1, 0.5, 2.5, 0, 1, 2)] });
            await p.deliver ("pipette", { discovered: ALL_KEYS.filter ((_, i) => i % 3 !== 1).slice (0, 30), seen: ALL_KEYS.slice (0, 20) });
            await p.deliver ("presets", PRESETS);
            await p.deliver ("stats", { incubation: 3725.9, spawn: 42 });
            await openPageButton (p, button);
            await p.page.waitForTimeout (300);
            await p.page.screenshot ({ path: join (dir, `pages-${themeName}-${name}.png`) });
            await finish (p);
        }
});
