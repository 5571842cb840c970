// The scope's numbers: quietness, the idle wobble's weight, trace points and bar spans.
import { test } from "node:test";
import assert from "node:assert/strict";
import { quietness, followWobble, traceX, traceY, barSpan, FLOOR } from "../../src/scope/draw.js";

const close = (a, b, what) => assert.ok (Math.abs (a - b) < 1e-9, `${what}: ${a} vs ${b}`);

test ("quietness and the wobble weight", () =>
{
    const flat = new Array (512).fill (0);
    close (quietness (flat), 1, "silence");
    close (quietness ([...flat.slice (1), -3 / 84]), 0.5, "half");
    close (quietness ([...flat.slice (1), 6 / 84]), 0, "loud");
    close (quietness ([...flat.slice (1), 1]), 0, "clamped");
    const cases = [
        // o, a, dt, expected
        [null, 0.3, 0.02, 0.3],                 // the first frame takes a at once
        [0, 1, 0.024, 0.096],                   // rising: dt · 4
        [1, 0, 0.024, 1 - 0.288],               // falling: dt · 12
        [0, 1, 0.5, 0.4],                       // dt at most 0.1
        [1, 0, 0.1, 0],                         // min (1, dt · 12)
    ];
    for (const [o, a, dt, expected] of cases)
        close (followWobble (o, a, dt), expected, `o ${o} → ${a} over ${dt}`);
});

test ("trace points and bar spans", () =>
{
    close (traceX (0), 20, "first x");
    close (traceX (511), 232, "last x");
    close (traceY (0, 0.5, 0, 1234), 110 - 42, "no wobble for a loud wave");
    close (traceY (0, 0, 1, 0), 110 - 0.65 * 0.3, "wobble at u = 0, τ = 0");
    const empty = barSpan (0, 0, 0);
    close (empty.x, 21.8125, "x of bar 0");
    close (empty.width, 3, "width");
    // q = 2 · max (0, 0.35) at k = 0, τ = 0; weight 0: a 3 px bar lifted by q.
    close (empty.top, FLOOR - 3 - 0.7, "top of an empty bar");
    close (empty.bottom, FLOOR - 0.7, "bottom of an empty bar");
    const half = barSpan (31, 0.5, 0);
    close (half.x, 20 + 6.625 * 31 + 1.8125, "x of bar 31");
    close (half.bottom, FLOOR, "a tall bar stands on the floor");
    assert.ok (half.top <= FLOOR - 84 && half.top >= FLOOR - 86, `top of a half bar ${half.top}`);
    close (barSpan (5, 7, 0).top - barSpan (5, 1, 0).top, 0, "values above 1 are capped");
});
