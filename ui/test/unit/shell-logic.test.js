import { test } from "node:test";
import assert from "node:assert/strict";
import { layoutScale, shellGeometry, BOX_WIDTH } from "../../src/layout.js";
import { mixFactor, isDark, themeColours, textDarkWeight, switchPose, colourEndReached, mixColour } from "../../src/theme.js";
import { dishTint, waveOrigin } from "../../src/tint.js";
import { faderValue, faderThumbCentre, beakerPose, flaskPose, swipeTarget, controlId, controlTooltip } from "../../src/controls.js";
import { bankForPage, pressButton, scopeVisible } from "../../src/navigation.js";
import { createGestureRegistry } from "../../src/gestures.js";
import { easeInOutQuad } from "../../src/motion.js";

const close = (a, b, eps = 1e-9) => assert.ok (Math.abs (a - b) <= eps, `${a} ≉ ${b}`);

test ("the box scales down to the window and never up", () =>
{
    for (const [w, h, s] of [[300, 500, Math.min (300 / 413, 500 / 613)], [413, 613, 1], [1600, 2200, 1],
                             [413, 400, 400 / 613], [200, 2000, 200 / 413], [0, 0, 1]])
        close (layoutScale (w, h), s);
    close (layoutScale (300, 500), 0.7264, 1e-4);
});

test ("the layout places the shell around the dish", () =>
{
    const g = shellGeometry ();
    const dish = g["petri-dish"];
    close (dish.left + dish.width / 2, BOX_WIDTH / 2);
    close (g.keyboard.top + g.keyboard.height, 611);                       // the keyboard closes the content
    close (g["btn-theme"].left + 65, g["arc-slot"].left + 55);               // right edges line up
    close (g["well-beaker"].left, g["specimen-label"].left);                 // left edges line up
    close (g["well-beaker"].left + 55 + 16, dish.left);                      // mirror of the shuffle slot
    close (g["arc-slot"].left - 16, dish.left + dish.width);
    close (g["scope-bank"].top + 71, dish.top + dish.height + 87);           // banks centred 87 below the dish
    close (g["preset-bank"].top + 150, dish.top + dish.height + 166);
    close (g["host-paused"].top + 26, dish.top + 120);
    // thumb centre of the shuffle slider: 283.5, 120 from the dish's corner
    close (g["arc-slot"].left + 27.5 - dish.left, 283.5);
    close (g["arc-slot"].top + 27.5 - dish.top, 120);
});

test ("theme: mix factor, dark threshold and token ends", () =>
{
    close (mixFactor (1), 0);
    close (mixFactor (0), 1);
    close (mixFactor (0.25), 0.5);
    close (mixFactor (7), 0);
    assert.equal (isDark (0.25), true);
    assert.equal (isDark (0.2501), false);
    const light = themeColours (1), dark = themeColours (0);
    assert.deepEqual (light.bg, [205, 213, 229, 1]);
    assert.deepEqual (dark.bg, [45, 52, 65, 1]);
    assert.deepEqual (dark["dish-inner-light"], [79, 92, 117, 0.02]);
    assert.deepEqual (light["shade-ink"], [64, 71, 87, 0.22]);
    assert.deepEqual (dark["shade-ink-deep"], [7, 10, 15, 0.6]);   // halves rounded
    assert.deepEqual (light.text.slice (0, 3), [54, 65, 80]);
    assert.deepEqual (dark.text.slice (0, 3), [188, 195, 213]);
    assert.deepEqual (mixColour ([0, 0, 0, 0], [255, 101, 3, 1], 0.5), [128, 51, 2, 0.5]);
});

test ("text colour leans to the end that contrasts more with the background", () =>
{
    assert.ok (textDarkWeight ([205, 213, 229]) < 1e-6);
    assert.ok (textDarkWeight ([45, 52, 65]) > 1 - 1e-6);
    // a background exactly between the two text colours weighs both equally
    close (textDarkWeight ([121, 130, 146.5]), 0.5, 1e-9);
});

test ("theme switch pose and colour switch points", () =>
{
    const on = switchPose (1), off = switchPose (0), mid = switchPose (0.5);
    assert.deepEqual ([on.thumbX, on.sun.opacity, on.sun.rotate, on.sun.scale, on.moon.opacity, on.moon.rotate, on.moon.scale],
                      [15, 1, 0, 1, 0, -90, 0.5]);
    assert.deepEqual ([off.thumbX, off.sun.opacity, off.sun.rotate, off.sun.scale, off.moon.opacity, off.moon.rotate, off.moon.scale],
                      [0, 0, 90, 0.5, 1, -0, 1]);
    close (mid.sun.opacity, 0.5);
    assert.deepEqual ([0, 0.04, 0.05, 0.95, 0.96, 1].map (colourEndReached), [true, true, false, false, true, true]);
    assert.deepEqual ([0, 0.25, 0.5, 0.75, 1].map (easeInOutQuad), [0, 0.125, 0.5, 0.875, 1]);
});

test ("dish tint: weighted colour, capped alpha, none below 0.01", () =>
{
    assert.equal (dishTint (new Array (12).fill (0), false), null);
    assert.equal (dishTint ([0.009, ...new Array (11).fill (0)], false), null);
    const filter = dishTint ([0.5, ...new Array (11).fill (0)], false);
    assert.deepEqual (filter, { r: 243, g: 152, b: 151, a: 0.2 });
    const two = dishTint ([1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1], true);
    assert.deepEqual (two, { r: (244 + 148) / 2, g: (164 + 162) / 2, b: (164 + 241) / 2, a: 0.6 });
    const negative = dishTint ([-1, 0.1, ...new Array (10).fill (0)], false);
    assert.deepEqual ([negative.r, negative.g, negative.b].map (Math.round), [123, 214, 162]);
    close (negative.a, 0.04);
    const o = waveOrigin (10, 0);
    assert.deepEqual ([o.x, o.y], [284, 150]);
    const up = waveOrigin (0, -5);
    close (up.x, 150);
    close (up.y, 16);
});

test ("fader mapping: the thumb centre runs 27.5 px from either end", () =>
{
    for (const [y, v] of [[27.5, 1], [0, 1], [116.5, 0], [144, 0], [72, 0.5], [50, 1 - 22.5 / 89]])
        close (faderValue (y, 0, 144), v);
    close (faderValue (110 + 27.5, 110, 144), 1);   // measured from the fader's top
    close (faderThumbCentre (1), 27.5);
    close (faderThumbCentre (0), 116.5);
    const full = beakerPose (1);
    close (full.tilt, -60);
    close (full.surface, 12 + 7 * Math.sin (Math.PI / 3) - 5 * 0.5);
    close (beakerPose (0).surface, 7);
    assert.deepEqual (flaskPose (0), { tilt: -0, surface: 14, liquid: true });
    assert.deepEqual (flaskPose (1), { tilt: -127, surface: 25, liquid: false });
    assert.equal (flaskPose (0.979).liquid, true);
    assert.deepEqual ([-10, -4.01, -4, 0, 4, 4.01].map (swipeTarget), [0, 0, null, null, null, 1]);
    assert.equal (controlId (7), "slider-width");
    assert.equal (controlTooltip (3), "Reverb");
    assert.equal (controlTooltip (4), "Sub Osc On/Off");
});

test ("banks and pages", () =>
{
    assert.deepEqual ([0, 1, 2, 7, -1, 1.9, NaN].map (bankForPage), ["scope", "beaker", "ground", "scope", "scope", "beaker", "scope"]);
    const home = { mode: "home", bank: "scope", banksRevealed: true };
    const cases = [
        [home, "beaker", { mode: "home", bank: "beaker" }, [["uiPage", { page: 1 }]]],
        [{ ...home, bank: "beaker" }, "beaker", { mode: "home", bank: "scope" }, [["uiPage", { page: 0 }]]],
        [{ ...home, bank: "beaker" }, "flask", { mode: "home", bank: "ground" }, [["uiPage", { page: 2 }]]],
        [home, "pipette", { mode: "pipette", bank: "scope" }, [["pipetteMode", { on: true }]]],
        [{ ...home, mode: "pipette" }, "pipette", { mode: "home", bank: "scope" }, [["pipetteMode", { on: false }], ["uiPage", { page: 0 }]]],
        [{ ...home, mode: "pipette" }, "chart", { mode: "chart", bank: "scope" }, [["pipetteMode", { on: false }]]],
        [{ ...home, mode: "chart", bank: "ground" }, "chart", { mode: "home", bank: "scope" }, [["uiPage", { page: 0 }]]],
        // a bank button while a page is open closes it and shows that bank
        [{ ...home, mode: "culture", bank: "beaker" }, "beaker", { mode: "home", bank: "beaker" }, [["uiPage", { page: 1 }]]],
        [{ ...home, mode: "pipette" }, "flask", { mode: "home", bank: "ground" }, [["pipetteMode", { on: false }], ["uiPage", { page: 2 }]]],
    ];
    for (const [before, button, after, sends] of cases)
    {
        const r = pressButton (before, button);
        assert.deepEqual ({ mode: r.state.mode, bank: r.state.bank }, after, `${before.mode}/${before.bank} + ${button}`);
        assert.deepEqual (r.sends, sends, `${before.mode}/${before.bank} + ${button}`);
    }
    assert.equal (scopeVisible (home), true);
    assert.equal (scopeVisible ({ ...home, banksRevealed: false }), false);
    assert.equal (scopeVisible ({ ...home, mode: "chart" }), false);
    assert.equal (scopeVisible ({ ...home, bank: "ground" }), false);
});

test ("ending every gesture sends one noteOff when any held a note", () =>
{
    let offs = 0;
    const registry = createGestureRegistry (() => ++offs);
    const ended = [];
    const gesture = (name, active, note) => ({ active: () => active, end: () => { ended.push (name); return note; } });
    registry.add (gesture ("keyboard", true, true));
    registry.add (gesture ("fader", true, false));
    registry.add (gesture ("preview", false, true));
    assert.equal (registry.anyActive (), true);
    assert.equal (registry.endAll (), true);
    assert.deepEqual (ended, ["keyboard", "fader", "preview"]);
    assert.equal (offs, 1);

    const quiet = createGestureRegistry (() => ++offs);
    quiet.add (gesture ("fader", false, false));
    assert.equal (quiet.anyActive (), false);
    assert.equal (quiet.endAll (), false);
    assert.equal (offs, 1);
});
