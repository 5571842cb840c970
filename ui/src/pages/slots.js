// The culture page's preset slots: mini cells read from a "presets" message and where each one
// is drawn and drifts inside its slot. Pure: no DOM.

import { COLOR_ORDER } from "./species.js";

/** Preset slots on the culture page. */
export const SLOT_COUNT = 12;

/** Colour of a mini cell whose colour is not one of the eight codes. */
export const FALLBACK_CODE = "#A9D1FD";

/** Inner width of a slot's dish in px (r = 25). */
export const SLOT_INNER_WIDTH = 50;

const finite = (v) => typeof v === "number" && Number.isFinite (v);

/**
    The twelve slots of an accepted "presets" payload: each null (empty) or a list of mini cells
    { x, y, mass, color }. A slot is filled when it is an object with a "cells" array; cells
    without finite x, y and mass are dropped, colours outside the eight codes become FALLBACK_CODE.
    Slots missing from a shorter list are empty.
*/
export function readSlots (payload)
{
    const out = [];
    for (let i = 0; i < SLOT_COUNT; ++i)
    {
        const slot = payload.slots[i];
        if (slot === null || typeof slot !== "object" || ! Array.isArray (slot.cells))
        {
            out.push (null);
            continue;
        }
        out.push (slot.cells
            .filter ((c) => c !== null && typeof c === "object" && finite (c.x) && finite (c.y) && finite (c.mass))
            .map ((c) => ({ x: c.x, y: c.y, mass: c.mass, color: COLOR_ORDER.includes (c.color) ? c.color : FALLBACK_CODE })));
    }
    return out;
}

/** A slot counts as filled when it holds at least one mini cell. */
export const isFilled = (cells) => Array.isArray (cells) && cells.length > 0;

/** A text that changes whenever a slot's published content changes. */
export const slotSignature = (cells) => (cells === null ? "none" : JSON.stringify (cells));

const clamp = (v, lo, hi) => Math.max (lo, Math.min (hi, v));
const mod = (a, n) => ((a % n) + n) % n;

/**
    Where mini cell i of a slot is drawn, for a slot of inner width `width` (r = width / 2):
    centre (cx, cy), radius, and its drift: amplitude (px) in the direction `angle` (radians),
    period and start delay (seconds, the delay ≤ 0 so that each dot starts partway).
*/
export function miniCellLayout (cell, i, width = SLOT_INNER_WIDTH)
{
    const r = width / 2;
    const radius = Math.max (1.2, (4 + 3.5 * cell.mass) * width / 300);
    const distance = Math.hypot (cell.x, cell.y);
    return {
        cx: r + 0.9 * cell.x * r,
        cy: r + 0.9 * cell.y * r,
        radius,
        amplitude: clamp (0.7 * (r - 0.9 * r * distance - radius - 0.5), 0, 1.8),
        angle: mod (2.399 * i + 3.1 * cell.x + 1.7 * cell.y, 2 * Math.PI),
        period: 7 + mod (1.37 * i, 5),
        delay: -mod (2.71 * i, 9),
    };
}

/** Delay (ms) of mini cell i popping in after a confirmed save: 18 ms apart, at most 300 ms. */
export const popDelay = (i) => Math.min (18 * i, 300);
