// Checks of the "scope", "window" and "light" messages.
import { test } from "node:test";
import assert from "node:assert/strict";
import { checkScope, checkWindow, checkLight } from "../../src/scope/check.js";

const wave = (n, v = 0.1) => new Array (n).fill (v);

test ("scope payloads: accepted and rejected", () =>
{
    const cases = [
        [{ idle: true }, { idle: true }],
        [{ wave: wave (512), bars: wave (32) }, "live"],
        [{ wave: wave (511), bars: wave (32) }, null],
        [{ wave: wave (513), bars: wave (32) }, null],
        [{ wave: wave (512), bars: wave (31) }, null],
        [{ wave: [...wave (511), NaN], bars: wave (32) }, null],
        [{ wave: wave (512), bars: [...wave (31), Infinity] }, null],
        [{ wave: [...wave (511), "0.1"], bars: wave (32) }, null],
        [{ idle: "true" }, null],
        [{ idle: 1 }, null],
        [{ idle: false }, null],
        [[], null],
        [null, null],
        ["{}", null],
    ];
    for (const [payload, expected] of cases)
    {
        const got = checkScope (payload);
        if (expected === "live")
        {
            assert.equal (got.idle, false);
            assert.equal (got.wave.length, 512);
            assert.equal (got.bars.length, 32);
        }
        else
            assert.deepEqual (got, expected, JSON.stringify (payload)?.slice (0, 60));
    }
});

test ("window and light payloads", () =>
{
    assert.deepEqual (checkWindow ({ dx: 10, dy: -3 }), { dx: 10, dy: -3 });
    assert.equal (checkWindow ({ dx: 10 }), null);
    assert.equal (checkWindow ({ dx: NaN, dy: 0 }), null);
    assert.equal (checkWindow ([1, 2]), null);
    assert.deepEqual (checkLight ({ x: 0.2, y: 0.5 }), { x: 0.2, y: 0.5 });
    assert.deepEqual (checkLight ({ x: -100, y: 100 }), { x: -100, y: 100 });
    assert.equal (checkLight ({ x: 100.01, y: 0 }), null);
    assert.equal (checkLight ({ x: 0, y: -101 }), null);
    assert.equal (checkLight ({ x: 0, y: Infinity }), null);
    assert.equal (checkLight ({ x: "0", y: 1 }), null);
});
