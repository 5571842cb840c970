// The pipette, culture and chart pages' pure logic: species keys, sorting and paging, the
// new-item bookkeeping, preset slots, chart formats, tokens, drag and orb arithmetic.

import { test } from "node:test";
import assert from "node:assert/strict";
import { VALIDATORS } from "../../src/protocol.js";
import { parseSpeciesKey, sortSpecies, pageCount, clampPage, stepPage, pageKeys, pageIndicator,
         speciesNumber, labelParts, SHAPE_ORDER, COLOR_ORDER } from "../../src/pages/species.js";
import { createPipetteBook, seenPayloads, createLabelQueue, createTokenCounter, MAX_SEEN_KEYS } from "../../src/pages/book.js";
import { readSlots, miniCellLayout, popDelay, slotSignature, isFilled } from "../../src/pages/slots.js";
import { formatIncubation, chartLines } from "../../src/pages/chart.js";
import { smoothVelocity, insideDish, dropPayload, orbFrames } from "../../src/pages/motion.js";

const allKeys = SHAPE_ORDER.flatMap ((s) => COLOR_ORDER.map ((c) => s + "|" + c));

//==============================================================================
test ("the messages of the pages pass or fail the page's checks", () =>
{
    const texts = (n) => Array.from ({ length: n }, (_, i) => "star|#A9D1FD" + i);
    const cells = (n) => Array.from ({ length: n }, () => ({ x: 0, y: 0, mass: 1, color: "#A9D1FD" }));
    const cases = [
        ["pipette", { discovered: texts (128), seen: texts (128) }, true],
        ["pipette", { discovered: texts (129), seen: [] }, false],
        ["pipette", { discovered: [], seen: texts (129) }, false],
        ["pipette", { discovered: ["a".repeat (129)], seen: [] }, false],
        ["pipette", { discovered: [], seen: [null] }, false],
        ["pipette", { discovered: "star|#A9D1FD", seen: [] }, false],
        ["presets", { slots: Array (12).fill (null) }, true],
        ["presets", { slots: Array (13).fill (null) }, false],
        ["presets", { slots: [{ cells: cells (24) }] }, true],
        ["presets", { slots: [{ cells: cells (25) }] }, false],
        ["presets", { slots: [{ cells: null }, { fx: 1 }] }, true],
        ["presets", { slots: [[]] }, false],
        ["stats", { incubation: 0, spawn: 0 }, true],
        ["stats", { incubation: Infinity, spawn: 0 }, false],
        ["stats", { incubation: 1, spawn: "3" }, false],
        ["stats", [1, 2], false],
    ];
    for (const [name, payload, expected] of cases)
        assert.equal (VALIDATORS[name] (payload), expected, name + " " + JSON.stringify (payload).slice (0, 80));
});

//==============================================================================
test ("species keys: check, sort orders, pages and numbers", () =>
{
    for (const [key, ok] of [["moon|#AFB5BE", true], ["normal|#A9D1FD", true], ["moon|#afb5be", false],
                             ["moon", false], ["moon|#AFB5BE|x", false], ["|#AFB5BE", false], ["blob|#AFB5BE", false],
                             [" moon|#AFB5BE", false], [7, false]])
        assert.equal (parseSpeciesKey (key) !== null, ok, String (key));

    const shuffled = [...allKeys].reverse ();
    const byShape = sortSpecies (shuffled, "shape");
    assert.deepEqual (byShape.slice (0, 3), ["normal|#FCD9EC", "normal|#FDC58E", "normal|#FCDA6F"]);
    assert.equal (byShape.at (-1), "moon|#FDB8C0");
    const byColor = sortSpecies (shuffled, "color");
    assert.ok (byColor.slice (0, 16).every ((k) => k.endsWith ("|#FCD9EC")), "every #FCD9EC species first");
    assert.deepEqual (byColor.slice (0, 2), ["normal|#FCD9EC", "spade|#FCD9EC"]);
    assert.deepEqual (sortSpecies (["bad", "star|#A9D1FD"], "shape"), ["star|#A9D1FD"]);

    assert.deepEqual ([0, 1, 12, 13, 24, 25, 128].map (pageCount), [1, 1, 1, 2, 2, 3, 11]);
    const thirteen = sortSpecies (allKeys.slice (0, 13), "shape");
    const second = pageKeys (thirteen, 1);
    assert.equal (second.length, 12);
    assert.equal (second.filter ((k) => k !== null).length, 1, "one species and eleven empty dishes");
    assert.equal (stepPage (1, 1, 2), 0, "next on the last page wraps to the first");
    assert.equal (stepPage (0, -1, 2), 1, "previous on the first page wraps to the last");
    assert.equal (clampPage (5, 2), 1);
    assert.equal (pageIndicator (0, 3), "1 / 3");

    for (const [key, number] of [["normal|#A9D1FD", "001"], ["normal|#AFB5BE", "008"], ["spade|#A9D1FD", "009"],
                                 ["moon|#AFB5BE", "128"], ["moon|#A9D1FD", "121"]])
        assert.equal (speciesNumber (key), number, key);
    const label = labelParts ("moon|#AFB5BE");
    assert.equal (label.name, "Moon");
    assert.equal (label.colours.light, "#42DEF1");
    assert.equal (label.colours.dark, "#5BEBFE");
});

//==============================================================================
test ("the pipette's new-item bookkeeping", () =>
{
    const book = createPipetteBook ();
    const first = book.receive ({ discovered: ["star|#A9D1FD", "normal|#FCD9EC", "bad|key"], seen: [] });
    assert.deepEqual (first.announce, [], "the first message announces nothing");
    assert.equal (first.changed, true);
    assert.deepEqual (book.discovered (), ["star|#A9D1FD", "normal|#FCD9EC"]);
    assert.ok (book.isUnseen ("star|#A9D1FD"));
    assert.ok (! book.isUnseen ("normal|#FCD9EC"), "plain blobs are never new");
    assert.ok (book.showsNewMark ());

    const again = book.receive ({ discovered: ["normal|#FCD9EC", "star|#A9D1FD"], seen: [] });
    assert.deepEqual (again, { announce: [], changed: false }, "the same set in another order");

    const gained = book.receive ({ discovered: ["star|#A9D1FD", "normal|#FCD9EC", "moon|#AFB5BE", "normal|#A9D1FD"],
                                  seen: ["star|#A9D1FD"] });
    assert.deepEqual (gained.announce, ["moon|#AFB5BE"], "normal| keys are not announced");
    assert.ok (! book.isUnseen ("star|#A9D1FD"), "the seen list clears the mark");
    assert.ok (! book.isUnseen ("normal|#A9D1FD"));

    book.startFlying ("moon|#AFB5BE");
    assert.ok (! book.showsNewMark (), "a key in the air shows no mark yet");
    book.land ("moon|#AFB5BE");
    assert.ok (book.showsNewMark ());

    assert.deepEqual (book.markShown (["moon|#AFB5BE", null, "star|#A9D1FD"]), ["moon|#AFB5BE"]);
    assert.deepEqual (book.markShown (["moon|#AFB5BE"]), [], "reported once");
    assert.ok (! book.showsNewMark ());
    // A republished list that still lacks the key in its seen list keeps it marked seen.
    book.receive ({ discovered: ["star|#A9D1FD", "normal|#FCD9EC", "moon|#AFB5BE", "normal|#A9D1FD"], seen: [] });
    assert.ok (! book.isUnseen ("moon|#AFB5BE"));
    assert.ok (book.isUnseen ("star|#A9D1FD"), "not marked by this page, not in the seen list");

    const payloads = seenPayloads (allKeys.slice (0, 128).concat (allKeys.slice (0, 5)));
    assert.deepEqual (payloads.map ((p) => p.keys.length), [MAX_SEEN_KEYS, 5]);
    assert.deepEqual (seenPayloads ([]), []);
});

test ("label queue holds four, tokens count from 1", () =>
{
    const q = createLabelQueue ();
    assert.deepEqual (["a", "b", "c", "d", "e"].map ((k) => q.offer (k)), [true, true, true, true, false]);
    assert.equal (q.take (), "a");
    assert.equal (q.offer ("f"), true);
    assert.deepEqual ([q.take (), q.take (), q.take (), q.take (), q.take ()], ["b", "c", "d", "f", null]);

    const tokens = createTokenCounter ();
    assert.deepEqual ([tokens.next (), tokens.next (), tokens.next ()], [1, 2, 3]);
    assert.equal (createTokenCounter ().next (), 1, "a new page load starts again at 1");
});

//==============================================================================
test ("preset slots from a presets message", () =>
{
    const slots = readSlots ({ slots: [
        null,
        { cells: [{ x: 0.5, y: -0.5, mass: 2, color: "#FCDA6F" }, { x: NaN, y: 0, mass: 1 }, { x: 0, y: 0, mass: 1, color: "red" },
                  { x: 0, y: 0, mass: null }, null, 3, { x: 0, y: 0, mass: 1, color: "#fcda6f" }] },
        { cells: "x" },
        {},
        { cells: [] },
    ] });
    assert.equal (slots.length, 12);
    assert.equal (slots[0], null);
    assert.deepEqual (slots[1], [{ x: 0.5, y: -0.5, mass: 2, color: "#FCDA6F" },
                                 { x: 0, y: 0, mass: 1, color: "#A9D1FD" }, { x: 0, y: 0, mass: 1, color: "#A9D1FD" }]);
    assert.deepEqual ([slots[2], slots[3], slots[11]], [null, null, null]);
    assert.deepEqual (slots[4], []);
    assert.deepEqual ([slots[1], slots[4], slots[0]].map (isFilled), [true, false, false]);
    assert.notEqual (slotSignature (slots[1]), slotSignature (readSlots ({ slots: [null, { cells: [{ x: 0.5, y: -0.5, mass: 3 }] }] })[1]));

    const centre = miniCellLayout ({ x: 0, y: 0, mass: 1 }, 0);
    assert.deepEqual ([centre.cx, centre.cy], [25, 25]);
    assert.ok (Math.abs (centre.radius - 7.5 * 50 / 300) < 1e-12);
    assert.equal (centre.amplitude, 1.8, "a centred dot drifts the most");
    assert.equal (centre.period, 7);
    assert.equal (centre.delay, -0);
    const rim = miniCellLayout ({ x: 1, y: 0, mass: 10 }, 3);
    assert.equal (rim.cx, 25 + 0.9 * 25);
    assert.equal (rim.amplitude, 0, "a heavy dot at the rim does not drift");
    assert.ok (Math.abs (rim.period - (7 + (1.37 * 3) % 5)) < 1e-12);
    assert.ok (Math.abs (rim.delay + (2.71 * 3) % 9) < 1e-12);
    assert.ok (rim.angle >= 0 && rim.angle < 2 * Math.PI);
    assert.equal (miniCellLayout ({ x: 0, y: 0, mass: -5 }, 0).radius, 1.2, "radius at least 1.2");
    assert.deepEqual ([0, 1, 16, 17, 24].map (popDelay), [0, 18, 288, 300, 300]);
});

test ("chart lines and the incubation format", () =>
{
    for (const [seconds, text] of [[0, "0h0m"], [59.9, "0h0m"], [60, "0h1m"], [3599, "0h59m"], [3600, "1h0m"],
                                   [3725.9, "1h2m"], [90061, "25h1m"], [-5, "0h0m"]])
        assert.equal (formatIncubation (seconds), text, String (seconds));
    assert.deepEqual (chartLines ({ incubation: 3725.9, spawn: 42 }, 9), [
        ["Version", "1.0.0"], ["Incubation time:", "1h2m"], ["Newborn cells:", "42"], ["Discovered species:", "9 / ??"]]);
});

//==============================================================================
test ("pipette drag arithmetic and the orb's path", () =>
{
    // 10 px in 10 ms is 1000 px/s; a shorter interval counts as 8 ms.
    assert.deepEqual (smoothVelocity ([0, 0], [10, 0], 10), [400, 0]);
    assert.deepEqual (smoothVelocity ([100, 50], [0, 8], 2), [60, 30 + 400]);

    const box = { left: 100, top: 50, width: 240, height: 240 };
    assert.ok (insideDish ([220, 170], box));
    assert.ok (insideDish ([340, 170], box), "on the circle");
    assert.ok (! insideDish ([335, 55], box), "inside the box's corner but outside the circle");
    const species = { shape: "star", color: "#A9D1FD" };
    assert.deepEqual (dropPayload (species, [220, 290], box, [240, -120], true),
                      { shape: "star", color: "#A9D1FD", x: 0, y: 1, vx: 2, vy: -1 });
    assert.equal (dropPayload (species, [220, 170], box, [0, 0], false), null, "a drag that did not move drops nothing");
    assert.equal (dropPayload (species, [10, 10], box, [0, 0], true), null);

    const frames = orbFrames ([100, 200], [20, 40]);
    assert.equal (frames.length, 19);
    assert.deepEqual (frames.map ((f) => f.offset).slice (0, 3), [0, 0.12, 0.24]);
    assert.deepEqual ([frames[0].scale, frames[1].scale, frames[2].scale, frames[2].y], [0, 1.35, 1.2, 196]);
    const last = frames.at (-1);
    assert.deepEqual ([last.offset, last.x, last.y, last.scale], [1, 26, 34, 0]);
    assert.ok (Math.abs (frames.at (-2).scale - (1.2 - 0.6 * 15 / 16)) < 1e-12);
    // Halfway along the curve: a quarter start, half control (40 px above the higher end), a quarter end.
    const mid = frames[2 + 8];
    assert.ok (Math.abs (mid.x - (0.25 * 100 + 0.5 * 63 + 0.25 * 26)) < 1e-9);
    assert.ok (Math.abs (mid.y - (0.25 * 196 + 0.5 * (34 - 40) + 0.25 * 34)) < 1e-9);
    assert.ok (frames.every ((f, i) => i === 0 || f.offset > frames[i - 1].offset));
});
