import { test } from "node:test";
import assert from "node:assert/strict";
import { VALIDATORS, createReceiver, createRejectionThrottle, errorReason } from "../../src/protocol.js";

const n = (count, value = 0) => new Array (count).fill (value);

test ("validators accept and reject payloads", () =>
{
    const cases = [
        ["frame", {}, true], ["frame", [], false], ["frame", null, false], ["frame", 3, false],
        ["state", { note: 60 }, true], ["state", { note: -1 }, true], ["state", { note: "60" }, false],
        ["state", {}, false], ["state", { note: null }, false],
        ["fx", {}, true], ["fx", { filter: 0.5, phaser: 1 }, true],
        ["fx", Object.fromEntries (n (12).map ((_, i) => ["k" + i, 0])), true],
        ["fx", Object.fromEntries (n (13).map ((_, i) => ["k" + i, 0])), false],
        ["fx", { filter: "0.5" }, false], ["fx", { filter: null }, false], ["fx", [0.5], false],
        ["window", { dx: 3, dy: -4 }, true], ["window", { dx: 3 }, false],
        ["light", { x: 100, y: -100 }, true], ["light", { x: 100.5, y: 0 }, false], ["light", { x: 0 }, false],
        ["cells", { cells: [] }, true], ["cells", { cells: n (13) }, true], ["cells", { cells: n (312) }, true],
        ["cells", { cells: n (14) }, false], ["cells", { cells: n (311) }, false], ["cells", { cells: n (325) }, false],
        ["cells", { cells: [...n (12), "1"] }, false], ["cells", { cells: [...n (12), null] }, false], ["cells", {}, false],
        ["voices", { levels: [] }, true], ["voices", { levels: [3, 0.5] }, true], ["voices", { levels: n (48) }, true],
        ["voices", { levels: n (50) }, false], ["voices", { levels: [3] }, false],
        ["scope", { idle: true }, true], ["scope", { idle: 1 }, false], ["scope", { idle: false }, false],
        ["scope", { wave: n (512), bars: n (32) }, true], ["scope", { wave: n (511), bars: n (32) }, false],
        ["scope", { wave: n (512), bars: n (33) }, false], ["scope", { wave: [...n (511), "x"], bars: n (32) }, false],
        ["pipette", { discovered: [], seen: [] }, true], ["pipette", { discovered: ["star|#A9D1FD"], seen: [] }, true],
        ["pipette", { discovered: n (129, "a"), seen: [] }, false], ["pipette", { discovered: ["x".repeat (129)], seen: [] }, false],
        ["pipette", { discovered: ["😀".repeat (128)], seen: [] }, true],
        ["pipette", { discovered: [1], seen: [] }, false], ["pipette", { discovered: [] }, false],
        ["presets", { slots: [] }, true], ["presets", { slots: [null, { cells: [] }, { cells: "x" }, {}] }, true],
        ["presets", { slots: n (13, null) }, false], ["presets", { slots: [{ cells: n (25, {}) }] }, false],
        ["presets", { slots: [3] }, false], ["presets", { slots: {} }, false],
        ["stats", { incubation: 3.5, spawn: 2 }, true], ["stats", { incubation: 3.5 }, false],
        ["ui", { page: 7, theme: 0.3 }, true], ["ui", { page: 1 }, false], ["ui", { page: 1, theme: Infinity }, false],
        ["hostPaused", { paused: true }, true], ["hostPaused", { paused: 1 }, false], ["hostPaused", {}, false],
        ["storageError", "", true], ["storageError", "x".repeat (1024), true], ["storageError", "x".repeat (1025), false],
        ["storageError", { text: "x" }, false],
    ];
    for (const [name, payload, expected] of cases)
        assert.equal (VALIDATORS[name] (payload), expected, `${name} ${JSON.stringify (payload).slice (0, 60)}`);
});

function receiverFixture ()
{
    const handled = [];
    const logged = [];
    let clock = 0;
    const handlers = new Proxy ({}, {
        get: (_t, name) => (p) =>
        {
            if (name === "hostPaused" && p.paused === true && p.explode)
                throw new TypeError ("boom");
            if (name === "stats" && p.spawn === 666)
                throw "not an error object";
            handled.push ([name, p]);
        },
    });
    const receive = createReceiver ({ handlers, log: (name, reason) => logged.push ([name, reason]), now: () => clock });
    return { receive, handled, logged, advance: (ms) => { clock += ms; } };
}

test ("text payloads are parsed as JSON, except storageError", () =>
{
    const f = receiverFixture ();
    assert.equal (f.receive ("state", '{"note": 62}'), true);
    assert.equal (f.receive ("storageError", '{"note": 62}'), true);
    assert.equal (f.receive ("state", "{not json"), false);
    assert.deepEqual (f.handled, [["state", { note: 62 }], ["storageError", '{"note": 62}']]);
    assert.deepEqual (f.logged, [["state", "invalid-json"]]);
});

test ("rejections are logged once per event and reason in 10 s", () =>
{
    const f = receiverFixture ();
    const thirteen = Object.fromEntries (n (13).map ((_, i) => ["k" + i, 0]));
    assert.equal (f.receive ("fx", thirteen), false);
    f.advance (9999);
    assert.equal (f.receive ("fx", thirteen), false);
    f.receive ("fx", "{");                   // same event, other reason: logged
    f.receive ("ui", {});                    // other event, same reason: logged
    f.advance (1);
    f.receive ("fx", thirteen);              // 10 s after the first: logged again
    assert.deepEqual (f.logged, [["fx", "invalid-payload"], ["fx", "invalid-json"], ["ui", "invalid-payload"],
                                 ["fx", "invalid-payload"]]);
    assert.deepEqual (f.handled, []);
});

test ("a failing handler is reported with the error's name, else handler-error", () =>
{
    const f = receiverFixture ();
    assert.equal (f.receive ("hostPaused", { paused: true, explode: true }), false);
    assert.equal (f.receive ("stats", { incubation: 1, spawn: 666 }), false);
    assert.deepEqual (f.logged, [["hostPaused", "TypeError"], ["stats", "handler-error"]]);
    assert.equal (errorReason (new RangeError ("x")), "RangeError");
    assert.equal (errorReason (null), "handler-error");
});

test ("frame hands its members to their own listeners in a fixed order, each checked on its own", () =>
{
    const f = receiverFixture ();
    const frame = { scope: { idle: true }, cells: { cells: n (14) }, fx: { filter: 1 }, state: { note: 3 },
                    voices: { levels: [] }, light: { x: 0, y: 1 }, window: { dx: 1, dy: 2 }, other: 5 };
    assert.equal (f.receive ("frame", frame), true);
    assert.deepEqual (f.handled.map (([name]) => name), ["state", "fx", "window", "light", "voices", "scope"]);
    assert.deepEqual (f.logged, [["cells", "invalid-payload"]]);

    const only = receiverFixture ();
    only.receive ("frame", { cells: { cells: n (13) } });
    assert.deepEqual (only.handled.map (([name]) => name), ["cells"]);

    const bad = receiverFixture ();
    assert.equal (bad.receive ("frame", [{ state: { note: 1 } }]), false);
    assert.equal (bad.receive ("frame", '{"state": {"note": 1}}'), true);
    assert.deepEqual (bad.logged, [["frame", "invalid-payload"]]);
    assert.deepEqual (bad.handled, [["state", { note: 1 }]]);
});

test ("the throttle keeps one clock per pair", () =>
{
    const shouldLog = createRejectionThrottle (10000);
    assert.deepEqual ([shouldLog ("a", "r", 0), shouldLog ("a", "r", 5000), shouldLog ("a", "s", 5000),
                       shouldLog ("a", "r", 10000), shouldLog ("a", "r", 15000)], [true, false, true, true, false]);
});
