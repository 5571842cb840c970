// The light's mapping from the window's place on its display, its smoothing and its CSS variables.
import { test } from "node:test";
import assert from "node:assert/strict";
import { lightTarget, lightVector, lightDirection, liquidTurn, createLightState, setLightTarget, stepLight,
         lightVariables, lightMoving, lightSettled } from "../../src/light/light.js";

const close = (a, b, eps, what) => assert.ok (Math.abs (a - b) <= eps, `${what}: ${a} vs ${b}`);

test ("light messages give angle and depth (θ clamped to ±70°)", () =>
{
    const cases = [
        // x, y, θ, depth
        [0, 1, 0, 1],
        [1, 0, 70, 0],
        [-1, -1, -70, 0],
        [0, 0.5, 0, 0.5],
        [0.5, 0.5, 45, 0.5],
        [-0.2, 0.2, -45, 0.2],
        [0.1, 3, Math.atan2 (0.1, 3) * 180 / Math.PI, 1],
        [0, -5, 0, 0],
    ];
    for (const [x, y, theta, depth] of cases)
    {
        const t = lightTarget (x, y);
        close (t.theta, theta, 1e-9, `θ of (${x}, ${y})`);
        close (t.depth, depth, 1e-12, `depth of (${x}, ${y})`);
    }
});

test ("light vector, cell direction and liquid turn", () =>
{
    assert.deepEqual (lightVector (45), [1, 1]);
    assert.deepEqual (lightVector (0), [0, 1.4142]);
    assert.deepEqual (lightVector (-70), [-1.3289, 0.4837]);
    const [dx, dy] = lightDirection (45);
    close (dx, Math.SQRT1_2, 1e-12, "sin 45");
    close (dy, Math.SQRT1_2, 1e-12, "cos 45");
    close (liquidTurn (45), 0, 1e-12, "turn at 45");
    close (liquidTurn (-45), Math.PI / 2, 1e-12, "turn at -45");
});

test ("the first message applies at once, later ones are approached, applied at most every 29.3 ms and snapped", () =>
{
    const s = createLightState ();
    assert.equal (s.theta, 45);
    assert.equal (s.depth, 0);
    assert.equal (setLightTarget (s, 0, 1, 0), true);
    assert.deepEqual (stepLight (s, 0, true), { theta: 0, depth: 1 });

    assert.equal (setLightTarget (s, 1, 0, 10), false);
    const applied = [];
    for (let t = 26; t <= 1000; t += 16)
    {
        const a = stepLight (s, t);
        if (a)
            applied.push ([t, a]);
    }
    // Approached with a 50 ms time constant: after one 16 ms frame, 1 − e^(−16/50) of the way.
    const first = applied[0];
    assert.ok (first[1].theta > 0 && first[1].theta < 70, "moves part of the way");
    for (let i = 1; i < applied.length; ++i)
        assert.ok (applied[i][0] - applied[i - 1][0] >= 29.3, "applied at most every 29.3 ms");
    for (const [, a] of applied)
    {
        close (a.theta / 0.05, Math.round (a.theta / 0.05), 1e-6, "angle in 0.05° steps");
        close (a.depth * 1000, Math.round (a.depth * 1000), 1e-6, "depth in 0.001 steps");
    }
    assert.deepEqual (applied.at (-1)[1], { theta: 70, depth: 0 }, "snapped to the target");
    assert.equal (s.theta, 70);
    assert.equal (stepLight (s, 2000), null, "nothing to apply once settled");
});

test ("a glide that converges while applying must wait is applied in a later frame", () =>
{
    const s = createLightState ();
    setLightTarget (s, 0, 1, 0);
    stepLight (s, 0, true);
    setLightTarget (s, 1, 0, 1000);
    for (const t of [1100, 1200, 1300, 1360])
        assert.ok (stepLight (s, t) !== null, `applied at ${t}`);
    assert.equal (s.applied.theta, 69.95);
    // 10 ms later the glide reaches its target, but applying waits for the interval.
    assert.equal (stepLight (s, 1370), null);
    assert.equal (lightMoving (s), false);
    assert.equal (lightSettled (s), false, "the target is reached but not yet applied");
    assert.deepEqual (stepLight (s, 1400), { theta: 70, depth: 0 });
    assert.equal (lightSettled (s), true);
});

test ("a long gap counts as at most 100 ms", () =>
{
    const s = createLightState ();
    setLightTarget (s, 0, 1, 0);
    setLightTarget (s, 1, 0, 0);
    stepLight (s, 5000);
    close (s.theta, 70 * (1 - Math.exp (-2)), 1e-9, "one step of 100 ms");
});

test ("CSS variables of a light", () =>
{
    const v = lightVariables (45, 0.25, 400, 600);
    assert.deepEqual (v, {
        "--sx": "1", "--sy": "1", "--light-angle": "135deg", "--light-t": "1", "--light-abs": "1",
        "--light-depth": "0.25", "--frame-sweep-rotate": "-45deg", "--frame-sheen-x": "-128px",
        "--frame-sheen-y": "36px", "--frame-band-x": "168px",
    });
    const w = lightVariables (-22.5, 0, 400, 600);
    assert.equal (w["--light-t"], "-0.5");
    assert.equal (w["--light-abs"], "0.5");
    assert.equal (w["--frame-sheen-x"], "64px");
    assert.equal (w["--light-angle"], "202.5deg");
});
