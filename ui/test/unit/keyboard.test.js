import { test } from "node:test";
import assert from "node:assert/strict";
import { KEYS, noteNumber, keyAt, createKeyboardPlayer } from "../../src/keyboard.js";
import { shuffleDragValue, springValue, springDuration, releaseAction, dieTickTimes, pips } from "../../src/shuffle.js";
import { createRevealer } from "../../src/reveal.js";

test ("the keys play notes 60 to 71", () =>
{
    assert.deepEqual (KEYS.map ((k) => noteNumber (k.freq)), [60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71]);
});

test ("the key under a point: black keys on top in the upper 60 %", () =>
{
    const name = (x, y) => KEYS[keyAt (x, y)]?.name ?? null;
    const cases = [
        [5, 100, "C4"], [30, 100, "C4"], [30, 50, "C#4"], [25.7, 50, "C4"], [51.43, 50, "C#4"], [51.44, 50, "D4"],
        [80, 83.9, "D#4"], [80, 84, "D4"], [150, 50, "F4"], [160, 50, "F#4"], [210, 20, "G#4"], [260, 10, "A#4"],
        [299.9, 139.9, "B4"], [128.6, 10, "F4"], [300, 50, null], [-1, 50, null], [100, 140, null],
    ];
    for (const [x, y, expected] of cases)
        assert.equal (name (x, y), expected, `${x}, ${y}`);
});

function playerFixture ()
{
    let clock = 0;
    const sent = [];
    let timers = [];
    let nextId = 1;
    const player = createKeyboardPlayer ({
        send: (name, payload) => sent.push ([clock, name, payload]),
        highlight: () => {},
        now: () => clock,
        setTimer: (fn, ms) => { const id = nextId++; timers.push ({ id, at: clock + ms, fn }); return id; },
        clearTimer: (id) => { timers = timers.filter ((t) => t.id !== id); },
    });
    const advance = (ms) =>
    {
        const end = clock + ms;
        for (;;)
        {
            const due = timers.filter ((t) => t.at <= end).sort ((a, b) => a.at - b.at)[0];
            if (! due)
                break;
            timers = timers.filter ((t) => t !== due);
            clock = due.at;
            due.fn ();
        }
        clock = end;
    };
    return { player, sent, advance };
}

test ("a short tap still sounds for 140 ms", () =>
{
    const f = playerFixture ();
    f.player.start (0, 1);
    f.advance (30);
    f.player.release (1);
    assert.equal (f.sent.length, 1);
    f.advance (200);
    assert.deepEqual (f.sent, [[0, "noteOn", { note: 60 }], [140, "noteOff", {}]]);
});

test ("a long press releases at once", () =>
{
    const f = playerFixture ();
    f.player.start (4, 1);
    f.advance (500);
    f.player.release (1);
    assert.deepEqual (f.sent, [[0, "noteOn", { note: 64 }], [500, "noteOff", {}]]);
});

test ("a second tap within 140 ms cancels the pending release and plays first", () =>
{
    const f = playerFixture ();
    f.player.start (0, 1);
    f.advance (40);
    f.player.release (1);
    f.advance (40);
    f.player.start (2, 2);
    f.advance (20);
    f.player.release (2);
    f.advance (500);
    assert.deepEqual (f.sent, [[0, "noteOn", { note: 60 }], [80, "noteOn", { note: 62 }], [220, "noteOff", {}]]);
});

test ("gliding starts each new key without a noteOff in between", () =>
{
    const f = playerFixture ();
    f.player.start (0, 7);
    f.advance (100);
    f.player.start (0, 7);   // same key: nothing
    f.player.start (2, 7);
    f.player.start (2, 8);   // another pointer: ignored
    f.advance (300);
    f.player.release (8);    // another pointer: ignored
    f.player.release (7);
    assert.deepEqual (f.sent, [[0, "noteOn", { note: 60 }], [100, "noteOn", { note: 62 }], [400, "noteOff", {}]]);
});

test ("abandoning reports a sounding note and cancels the timer", () =>
{
    const f = playerFixture ();
    assert.equal (f.player.abandon (), false);
    f.player.start (0, 1);
    f.player.release (1);
    assert.equal (f.player.abandon (), true);   // pending release counts as sounding
    f.advance (500);
    assert.deepEqual (f.sent, [[0, "noteOn", { note: 60 }]]);
    assert.equal (f.player.abandon (), false);
});

test ("shuffle slider: drag value, release action, spring", () =>
{
    assert.equal (shuffleDragValue (0, 15.5), 1);
    assert.equal (shuffleDragValue (0, 31), 1);
    assert.equal (shuffleDragValue (0, -3), 0);
    assert.equal (shuffleDragValue (0.2, 3.1), 0.4);
    const actions = [[0, true, true], [0.4, true, true], [0.5, true, true], [0.6, false, true], [0.6, true, false], [1, true, true]]
        .map (([v, armed, ready]) => releaseAction (v, armed, ready));
    assert.deepEqual (actions, ["nothing", "return", "reroll", "return", "return", "reroll"]);
    assert.equal (springDuration (1), 400);
    assert.equal (springDuration (0.5), 290);
    assert.equal (springValue (0.8, 0), 0.8);
    assert.equal (springValue (0.8, 0.5), 0.1);
    assert.equal (springValue (0.8, 1.2), 0);
});

test ("die reels tick 8, 9 and 10 times, each tick 1.17 times the one before", () =>
{
    const reel = dieTickTimes (8);
    assert.equal (reel.starts.length, 8);
    assert.deepEqual (reel.starts.slice (0, 3).map ((t) => +t.toFixed (6)), [0, 38, 38 + 38 * 1.17]);
    const sum = (k) => 38 * (1.17 ** k - 1) / 0.17;
    assert.ok (Math.abs (reel.end - sum (8)) < 1e-9);
    assert.ok (Math.abs (dieTickTimes (10).end - sum (10)) < 1e-9);
    assert.deepEqual ([1, 2, 3, 4, 5, 6].map ((f) => pips (f).length), [1, 2, 3, 4, 5, 6]);
});

test ("the delayed reveal hides at once, shows later, and a newer switch completes the older one", () =>
{
    const el = (name) => ({ name, hidden: false, classList: { toggle (_c, on) { el.log.push ([name, on]); } }, setAttribute () {} });
    el.log = [];
    const timers = [];
    const cleared = new Set ();
    const revealer = createRevealer ((fn) => { timers.push (fn); return timers.length - 1; }, (id) => cleared.add (id));
    const a = el ("a"), b = el ("b"), c = el ("c");
    revealer.reveal ({ hide: [a], show: [b] });
    assert.deepEqual (el.log, [["a", true]]);
    revealer.reveal ({ hide: [b], show: [c], stillValid: () => false });
    // the older switch completed at once (b shown), then the newer one hid b
    assert.deepEqual (el.log, [["a", true], ["b", false], ["b", true]]);
    timers[1] ();
    assert.deepEqual (el.log.length, 3, "an invalid show does nothing");
    assert.deepEqual ([...cleared], [0], "the older timer is cancelled");
});
