// The shuffle slider: pull the thumb down and let go to reroll the culture; and its rolling die.

import { clamp01 } from "./motion.js";
import { capturePointer, releasePointer } from "./pointer.js";

export const SHUFFLE_TRAVEL = 15.5;
export const REROLL_THRESHOLD = 0.5;
export const JACKPOT_WINDOW_MS = 2000;

/** Slider value after dragging dy px from a start value. */
export const shuffleDragValue = (startValue, dy) => clamp01 (startValue + dy / SHUFFLE_TRAVEL);

/** Spring-back duration (ms) for a released value. */
export const springDuration = (value) => 180 + 220 * value;

/** Value during the spring-back at progress p. */
export const springValue = (value, p) => value * (1 - clamp01 (p)) ** 3;

/** What a release does: "nothing", "reroll" or "return" (spring back only). */
export function releaseAction (value, armed, ready)
{
    if (value === 0)
        return "nothing";
    return value >= REROLL_THRESHOLD && armed && ready ? "reroll" : "return";
}

/** Ticks of the three die reels. */
export const REEL_TICKS = [8, 9, 10];
export const FIRST_TICK_MS = 38;
export const TICK_GROWTH = 1.17;

/** Start times (ms) of a reel's ticks, and the time its last tick ends. */
export function dieTickTimes (ticks)
{
    const starts = [];
    let t = 0, length = FIRST_TICK_MS;
    for (let i = 0; i < ticks; ++i)
    {
        starts.push (t);
        t += length;
        length *= TICK_GROWTH;
    }
    return { starts, end: t };
}

/** Pip positions of a face (1 to 6) on a 10-unit face. */
export function pips (face)
{
    const lo = 2.6, mid = 5, hi = 7.4;
    switch (face)
    {
        case 1: return [[mid, mid]];
        case 2: return [[lo, lo], [hi, hi]];
        case 3: return [[lo, lo], [mid, mid], [hi, hi]];
        case 4: return [[lo, lo], [hi, lo], [lo, hi], [hi, hi]];
        case 5: return [[lo, lo], [hi, lo], [mid, mid], [lo, hi], [hi, hi]];
        default: return [[lo, lo], [hi, lo], [lo, mid], [hi, mid], [lo, hi], [hi, hi]];
    }
}

/** The faces the three reels land on. */
export const FINAL_FACES = [1, 3, 2];

//==============================================================================
const SVG_NS = "http://www.w3.org/2000/svg";

/** The die in the shuffle thumb: three visible faces of a cube, each a reel of pips. */
function createDie (doc, host)
{
    const svg = doc.createElementNS (SVG_NS, "svg");
    svg.setAttribute ("viewBox", "0 0 24 24");
    svg.setAttribute ("class", "die-icon");
    svg.setAttribute ("aria-hidden", "true");
    // top, left and right faces: a 10 × 10 unit square mapped onto each
    const faces = [
        "matrix(0.72 0.36 -0.72 0.36 12 3.2)",
        "matrix(0.72 0.36 0 0.8 4.8 6.8)",
        "matrix(0.72 -0.36 0 0.8 12 10.4)",
    ];
    const defs = doc.createElementNS (SVG_NS, "defs");
    const clip = doc.createElementNS (SVG_NS, "clipPath");
    clip.setAttribute ("id", "die-face-clip");
    const clipRect = doc.createElementNS (SVG_NS, "rect");
    for (const [k, v] of [["x", 0], ["y", 0], ["width", 10], ["height", 10]])
        clipRect.setAttribute (k, String (v));
    clip.appendChild (clipRect);
    defs.appendChild (clip);
    svg.appendChild (defs);

    const reels = faces.map ((matrix, i) =>
    {
        const face = doc.createElementNS (SVG_NS, "g");
        face.setAttribute ("transform", matrix);
        const plate = doc.createElementNS (SVG_NS, "rect");
        for (const [k, v] of [["x", 0.3], ["y", 0.3], ["width", 9.4], ["height", 9.4], ["rx", 1.6]])
            plate.setAttribute (k, String (v));
        plate.setAttribute ("class", "die-face die-face-" + i);
        const window = doc.createElementNS (SVG_NS, "g");
        window.setAttribute ("clip-path", "url(#die-face-clip)");
        const reel = doc.createElementNS (SVG_NS, "g");
        reel.setAttribute ("class", "die-reel");
        window.appendChild (reel);
        face.append (plate, window);
        svg.appendChild (face);
        return reel;
    });
    host.appendChild (svg);

    const show = (reel, face, red) =>
    {
        reel.replaceChildren (...pips (face).map (([x, y]) =>
        {
            const dot = doc.createElementNS (SVG_NS, "circle");
            dot.setAttribute ("cx", String (x));
            dot.setAttribute ("cy", String (y));
            dot.setAttribute ("r", face === 1 ? "1.7" : "1.15");
            dot.setAttribute ("class", red ? "die-pip die-pip-red" : "die-pip");
            return dot;
        }));
    };

    const slideIn = (reel, length, overshoot) =>
    {
        if (typeof reel.animate !== "function")
            return;
        const frames = overshoot
            ? [{ transform: "translateY(-10px)" }, { transform: "translateY(1.4px)", offset: 0.7 }, { transform: "translateY(0px)" }]
            : [{ transform: "translateY(-10px)" }, { transform: "translateY(0px)" }];
        reel.animate (frames, { duration: Math.max (1, length), easing: overshoot ? "ease-out" : "linear" });
    };

    const land = () => reels.forEach ((reel, i) => show (reel, FINAL_FACES[i], i === 0));
    land ();

    let timers = [];
    return {
        roll ()
        {
            timers.forEach (clearTimeout);
            timers = [];
            reels.forEach ((reel, r) =>
            {
                const { starts, end } = dieTickTimes (REEL_TICKS[r]);
                starts.forEach ((start, k) =>
                {
                    const last = k === starts.length - 1;
                    const length = (last ? end : starts[k + 1]) - start;
                    timers.push (setTimeout (() =>
                    {
                        if (last)
                            show (reel, FINAL_FACES[r], r === 0);
                        else
                            show (reel, 1 + Math.floor (Math.random () * 6), false);
                        slideIn (reel, length, last);
                    }, start));
                });
            });
        },
    };
}

//==============================================================================
/**
    Wires the shuffle slider. ctx: { doc, element (the groove), send, now, requestFrame, isReady(),
    onReroll() (opens the dish's jackpot window), gestures }.
*/
export function createShuffle (ctx)
{
    const { doc, element, now, requestFrame } = ctx;
    const thumb = element.querySelector (".shuffle-thumb");
    const die = createDie (doc, thumb);
    let value = 0;
    let armed = true;
    let drag = null;
    let spring = null;

    const draw = () =>
    {
        thumb.style.transform = `translateY(${(value * SHUFFLE_TRAVEL).toFixed (2)}px)`;
    };

    const springStep = () =>
    {
        if (! spring)
            return;
        const p = (now () - spring.start) / spring.duration;
        value = springValue (spring.from, p);
        if (p >= 1)
        {
            value = 0;
            spring = null;
            armed = true;
        }
        draw ();
        if (spring)
            requestFrame (springStep);
    };

    const startSpring = () =>
    {
        if (value === 0)
        {
            armed = true;
            return;
        }
        spring = { from: value, start: now (), duration: springDuration (value) };
        requestFrame (springStep);
    };

    const finish = (allowReroll) =>
    {
        if (! drag)
            return;
        releasePointer (thumb, drag.id);
        drag = null;
        element.classList.remove ("is-dragging");
        const action = releaseAction (value, armed, ctx.isReady ());
        if (action === "nothing")
        {
            armed = true;   // already back at rest
            return;
        }
        if (action === "reroll" && allowReroll)
        {
            armed = false;
            die.roll ();
            ctx.send ("reroll", {});
            ctx.onReroll (JACKPOT_WINDOW_MS);
        }
        startSpring ();
    };

    thumb.addEventListener ("pointerdown", (e) =>
    {
        if (drag)
            return;
        e.preventDefault ();
        spring = null;
        drag = { id: e.pointerId, y: e.clientY, start: value };
        capturePointer (thumb, e.pointerId);
        element.classList.add ("is-dragging");
    });
    thumb.addEventListener ("pointermove", (e) =>
    {
        if (! drag || drag.id !== e.pointerId)
            return;
        const rect = element.getBoundingClientRect ();
        const scale = rect.width / 55 || 1;
        value = shuffleDragValue (drag.start, (e.clientY - drag.y) / scale);
        draw ();
    });
    thumb.addEventListener ("pointerup", (e) =>
    {
        if (drag && drag.id === e.pointerId)
            finish (true);
    });
    ctx.gestures.add ({ active: () => drag !== null, end: () => { finish (false); return false; } });
    draw ();
    return { value: () => value, armed: () => armed };
}
