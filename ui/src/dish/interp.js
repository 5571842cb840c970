// Glides the drawn cells between two successive "cells" arrays over the expected update interval.

import { F, GLIDING, STRIDE, readCells } from "./records.js";

//==============================================================================
/** A fresh interpolation: no cells, expected interval 1/30 s (times in milliseconds). */
export function createInterpolation ()
{
    return { from: new Map (), to: [], arrival: -Infinity, interval: 1000 / 30, hasArray: false };
}

function angleDelta (from, to)
{
    let d = to - from;
    if (Math.abs (d) > Math.PI)
        d -= 2 * Math.PI * Math.round (d / (2 * Math.PI));
    return d;
}

function blend (state, p)
{
    const to = state.to;
    const out = to.slice ();
    if (p >= 1 || state.from.size === 0)
        return out;
    for (let i = 0; i < to.length; i += STRIDE)
    {
        const old = state.from.get (to[i + F.id]);
        if (! old)
            continue;
        for (const k of GLIDING)
        {
            const d = k === F.angle ? angleDelta (old[k], to[i + k]) : to[i + k] - old[k];
            out[i + k] = old[k] + d * p;
        }
    }
    return out;
}

/** The glide progress at time now: clamp((now − arrival) / interval). */
export function progress (state, now)
{
    const p = (now - state.arrival) / state.interval;
    return p < 0 ? 0 : p > 1 ? 1 : p;
}

/** Takes a checked cell array arriving at time now. An array that follows another 5 to 200 ms
    later moves the expected interval 20 % towards that gap; what is drawn at that moment becomes
    the starting point of the glide (the earlier array itself once its glide has finished). */
export function receiveCells (state, array, now)
{
    const starting = new Map ();
    if (state.hasArray)
    {
        const since = now - state.arrival;
        const shown = blend (state, progress (state, now));
        for (let i = 0; i < shown.length; i += STRIDE)
            starting.set (shown[i + F.id], shown.slice (i, i + STRIDE));
        if (since >= 5 && since <= 200)
            state.interval += 0.2 * (since - state.interval);
    }
    state.from = starting;
    state.to = array.slice ();
    state.arrival = now;
    state.hasArray = true;
}

/** The cells to draw at time now, as cell objects; at progress 1 the newest array stands alone. */
export function cellsAt (state, now)
{
    const p = progress (state, now);
    if (p >= 1 && state.from.size > 0)
        state.from = new Map ();
    return readCells (blend (state, p));
}
