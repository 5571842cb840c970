// The sound controls: four faders (indices 0-3) and eight toggles (indices 4-11).

import { PARAM_IDS } from "./protocol.js";
import { clamp01, easeInOutQuad } from "./motion.js";
import { capturePointer, releasePointer } from "./pointer.js";

export const CONTROL_LABELS = ["Filter", "Attack", "Chorus", "Reverb", "Sub Osc", "Saturation",
                               "Delay", "Stereo Width", "Detune", "Shimmer", "Formant", "Phaser"];
export const FADER_COUNT = 4;
export const FADER_HEIGHT = 144;
export const THUMB_HALF = 27.5;
export const TOGGLE_TRAVEL = 15;
export const TOGGLE_MOTION_MS = 280;

/** Element id of a control. */
export const controlId = (index) => "slider-" + PARAM_IDS[index];

/** Tooltip of a control: faders their label, toggles the label and " On/Off". */
export const controlTooltip = (index) => CONTROL_LABELS[index] + (index >= FADER_COUNT ? " On/Off" : "");

/** Fader value for a pointer at y (same units as top and height): the thumb centre runs 27.5 px from either end. */
export function faderValue (y, top, height)
{
    return clamp01 (1 - (y - top - THUMB_HALF) / (height - 2 * THUMB_HALF));
}

/** Thumb centre (px from the fader's top) for a value. */
export const faderThumbCentre = (v, height = FADER_HEIGHT) => THUMB_HALF + (1 - clamp01 (v)) * (height - 2 * THUMB_HALF);

/** The beaker icon of a fader: outline tilt in degrees and liquid surface y in its 24-unit box. */
export function beakerPose (v)
{
    const a = -clamp01 (v) * Math.PI / 3;
    return { tilt: -60 * clamp01 (v), surface: 12 - 7 * Math.sin (a) - 5 * Math.cos (a) };
}

/** The flask icon of a toggle at thumb position t: tip in degrees, liquid surface y, liquid visible. */
export function flaskPose (t)
{
    const v = clamp01 (t);
    return { tilt: -127 * v, surface: 14 + 11 * v, liquid: v < 0.98 };
}

/** A toggle counts as on at 0.5 and above. */
export const toggleIsOn = (v) => v >= 0.5;

/** What a toggle gesture asks for: a swipe of more than 4 px picks a side, else null. */
export function swipeTarget (dx)
{
    if (dx > 4)
        return 1;
    if (dx < -4)
        return 0;
    return null;
}

//==============================================================================
const SVG_NS = "http://www.w3.org/2000/svg";

function svgElement (doc, name, attributes = {})
{
    const el = doc.createElementNS (SVG_NS, name);
    for (const [k, v] of Object.entries (attributes))
        el.setAttribute (k, String (v));
    return el;
}

const BEAKER_PATH = "M6.5 3.5h11M8 3.5v13.5a3 3 0 0 0 3 3h2a3 3 0 0 0 3-3V3.5";
const BEAKER_FILL = "M8 3.5v13.5a3 3 0 0 0 3 3h2a3 3 0 0 0 3-3V3.5z";
const FLASK_PATH = "M9.5 3h5M10.5 3v6.5L5 19a1.8 1.8 0 0 0 1.6 2.6h10.8A1.8 1.8 0 0 0 19 19l-5.5-9.5V3";
const FLASK_FILL = "M10.5 3v6.5L5 19a1.8 1.8 0 0 0 1.6 2.6h10.8A1.8 1.8 0 0 0 19 19l-5.5-9.5V3z";

/** An icon whose vessel tilts about the centre while its liquid stays level. */
function vesselIcon (doc, id, outline, fill)
{
    const svg = svgElement (doc, "svg", { viewBox: "0 0 24 24", class: "vessel-icon", "aria-hidden": "true" });
    const clip = svgElement (doc, "clipPath", { id: id + "-clip" });
    const clipShape = svgElement (doc, "path", { d: fill });
    clip.appendChild (clipShape);
    const defs = svgElement (doc, "defs");
    defs.appendChild (clip);
    const liquid = svgElement (doc, "rect", { x: -6, y: 12, width: 36, height: 30, class: "vessel-liquid",
                                              "clip-path": `url(#${id}-clip)` });
    const line = svgElement (doc, "path", { d: outline, class: "vessel-outline" });
    svg.append (defs, liquid, line);
    return {
        svg,
        pose (tilt, surface, liquidShown = true)
        {
            const rotate = `rotate(${tilt.toFixed (2)} 12 12)`;
            clipShape.setAttribute ("transform", rotate);
            line.setAttribute ("transform", rotate);
            liquid.setAttribute ("y", surface.toFixed (2));
            liquid.setAttribute ("visibility", liquidShown ? "visible" : "hidden");
        },
    };
}

//==============================================================================
/**
    Builds the faders and toggles into their banks and wires them.

    ctx: { doc, send(name, payload), now, requestFrame, blocked() (true while pointer input is
    ignored), onValues(values, originIndex) (after any change), gestures (registry) }.
    Returns { values, setFromNative(fxPayload) }.
*/
export function createControls (ctx)
{
    const { doc, send, now, requestFrame } = ctx;
    const values = new Array (PARAM_IDS.length).fill (0);
    const faders = [];
    const toggles = [];

    //== faders
    const faderBank = doc.getElementById ("slider-bank");
    for (let i = 0; i < FADER_COUNT; ++i)
    {
        const el = doc.createElement ("div");
        el.id = controlId (i);
        el.className = "fader recess";
        el.title = controlTooltip (i);
        el.setAttribute ("role", "slider");
        el.setAttribute ("aria-label", CONTROL_LABELS[i]);
        const fill = doc.createElement ("div");
        fill.className = "fader-fill";
        const thumb = doc.createElement ("div");
        thumb.className = "fader-thumb raised";
        const icon = vesselIcon (doc, el.id + "-icon", BEAKER_PATH, BEAKER_FILL);
        thumb.appendChild (icon.svg);
        el.append (fill, thumb);
        faderBank.appendChild (el);
        faders.push ({ el, thumb, fill, icon, pointerId: null });
    }

    const drawFader = (i) =>
    {
        const f = faders[i];
        const v = values[i];
        const centre = faderThumbCentre (v);
        f.thumb.style.transform = `translateY(${(centre - THUMB_HALF).toFixed (2)}px)`;
        f.fill.style.height = (FADER_HEIGHT - centre).toFixed (2) + "px";
        f.el.setAttribute ("aria-valuenow", v.toFixed (3));
        const pose = beakerPose (v);
        f.icon.pose (pose.tilt, pose.surface);
    };

    const faderFromPointer = (i, e) =>
    {
        const rect = faders[i].el.getBoundingClientRect ();
        const scale = rect.height / FADER_HEIGHT || 1;
        return faderValue ((e.clientY - rect.top) / scale, 0, FADER_HEIGHT);
    };

    const setFaderFromUser = (i, v, always) =>
    {
        if (! always && v === values[i])
            return;
        values[i] = v;
        drawFader (i);
        send ("fx", { index: i, value: v });
        ctx.onValues (values, null);
    };

    const endFader = (i) =>
    {
        const f = faders[i];
        if (f.pointerId === null)
            return false;
        releasePointer (f.el, f.pointerId);
        f.pointerId = null;
        f.el.classList.remove ("is-dragging");
        send ("fxGesture", { index: i, on: false });
        return false;
    };

    faders.forEach ((f, i) =>
    {
        f.el.addEventListener ("pointerdown", (e) =>
        {
            if (ctx.blocked () || f.pointerId !== null)
                return;
            e.preventDefault ();
            f.pointerId = e.pointerId;
            capturePointer (f.el, e.pointerId);
            f.el.classList.add ("is-dragging");
            send ("fxGesture", { index: i, on: true });
            setFaderFromUser (i, faderFromPointer (i, e), true);
        });
        f.el.addEventListener ("pointermove", (e) =>
        {
            if (f.pointerId === e.pointerId)
                setFaderFromUser (i, faderFromPointer (i, e), false);
        });
        const up = (e) =>
        {
            if (f.pointerId === e.pointerId)
                endFader (i);
        };
        f.el.addEventListener ("pointerup", up);
        ctx.gestures.add ({ active: () => f.pointerId !== null, end: () => endFader (i) });
        drawFader (i);
    });

    //== toggles
    const toggleBank = doc.getElementById ("ground-slider-bank");
    for (let i = FADER_COUNT; i < PARAM_IDS.length; ++i)
    {
        const cell = doc.createElement ("div");
        cell.className = "toggle-cell";
        const el = doc.createElement ("div");
        el.id = controlId (i);
        el.className = "toggle recess";
        el.title = controlTooltip (i);
        el.setAttribute ("role", "switch");
        el.setAttribute ("aria-label", CONTROL_LABELS[i]);
        const ripple = doc.createElement ("div");
        ripple.className = "toggle-ripple";
        const thumb = doc.createElement ("div");
        thumb.className = "toggle-thumb raised";
        const icon = vesselIcon (doc, el.id + "-icon", FLASK_PATH, FLASK_FILL);
        thumb.appendChild (icon.svg);
        el.append (ripple, thumb);
        cell.appendChild (el);
        toggleBank.appendChild (cell);
        toggles.push ({ index: i, el, thumb, ripple, icon, shown: 0, animation: null, down: null, suppressClickUntil: 0 });
    }

    const poseToggle = (t) =>
    {
        t.thumb.style.transform = `translateX(${(TOGGLE_TRAVEL * t.shown).toFixed (2)}px)`;
        const pose = flaskPose (t.shown);
        t.icon.pose (pose.tilt, pose.surface, pose.liquid);
        const on = toggleIsOn (values[t.index]);
        t.el.classList.toggle ("is-on", on);
        t.el.setAttribute ("aria-checked", on ? "true" : "false");
    };

    const animateToggle = (t) =>
    {
        const p = Math.min (1, (now () - t.animation.start) / TOGGLE_MOTION_MS);
        t.shown = t.animation.from + (t.animation.to - t.animation.from) * easeInOutQuad (p);
        poseToggle (t);
        if (p < 1)
            requestFrame (() => t.animation && animateToggle (t));
        else
            t.animation = null;
    };

    const setToggleFromUser = (t, on) =>
    {
        const target = on ? 1 : 0;
        if (toggleIsOn (values[t.index]) === on)
            return;
        send ("fxGesture", { index: t.index, on: true });
        values[t.index] = target;
        send ("fx", { index: t.index, value: target });
        send ("fxGesture", { index: t.index, on: false });
        t.animation = { from: t.shown, to: target, start: now () };
        animateToggle (t);
        if (on)
        {
            t.ripple.classList.remove ("is-rippling");
            void t.ripple.offsetWidth;  // restarts the animation
            t.ripple.classList.add ("is-rippling");
        }
        ctx.onValues (values, on ? t.index : null);
    };

    for (const t of toggles)
    {
        t.el.addEventListener ("pointerdown", (e) =>
        {
            if (ctx.blocked ())
                return;
            t.down = { x: e.clientX, id: e.pointerId, swiped: false };
        });
        t.el.addEventListener ("pointermove", (e) =>
        {
            if (! t.down || t.down.id !== e.pointerId || t.down.swiped)
                return;
            const target = swipeTarget (e.clientX - t.down.x);
            if (target === null)
                return;
            t.down.swiped = true;
            t.suppressClickUntil = now () + 100;
            setToggleFromUser (t, target === 1);
        });
        const up = (e) =>
        {
            if (t.down && t.down.id === e.pointerId && t.down.swiped)
                t.suppressClickUntil = now () + 100;
            t.down = null;
        };
        t.el.addEventListener ("pointerup", up);
        t.el.addEventListener ("click", () =>
        {
            if (ctx.blocked () || now () < t.suppressClickUntil)
                return;
            setToggleFromUser (t, ! toggleIsOn (values[t.index]));
        });
        t.ripple.addEventListener ("animationend", () => t.ripple.classList.remove ("is-rippling"));
        ctx.gestures.add ({ active: () => t.down !== null, end: () => { t.down = null; return false; } });
        poseToggle (t);
    }

    return {
        values,
        /** Sets controls from a native "fx" payload without sending anything. */
        setFromNative (payload)
        {
            let changed = false;
            PARAM_IDS.forEach ((id, i) =>
            {
                if (! Object.prototype.hasOwnProperty.call (payload, id))
                    return;
                values[i] = clamp01 (payload[id]);
                changed = true;
                if (i < FADER_COUNT)
                    drawFader (i);
                else
                {
                    const t = toggles[i - FADER_COUNT];
                    t.animation = null;
                    t.shown = toggleIsOn (values[i]) ? 1 : 0;
                    poseToggle (t);
                }
            });
            if (changed)
                ctx.onValues (values, null);
        },
        /** The element of a control (for the tint's wave origin). */
        element: (i) => (i < FADER_COUNT ? faders[i].el : toggles[i - FADER_COUNT].el),
    };
}
