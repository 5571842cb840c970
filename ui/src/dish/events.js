// Event effects of the dish: comparing the ids of each frame with those seen before.

import { toDish, cellRadius } from "./geometry.js";
import { cellEventRipple, jackpotRipples, plainRipple, splashRipples } from "./ripples.js";

//==============================================================================
/** How long a pipette drop waits for its cell, in milliseconds. */
export const DROP_WINDOW_MS = 600;
/** How long after a reroll newborn motif cells win the jackpot rings. */
export const JACKPOT_WINDOW_MS = 2000;
/** How long after a preset recall appearing cells get no rings. */
export const RECALL_QUIET_MS = 1500;

/** Fresh event memory: no ids seen, no windows open. */
export function createEvents ()
{
    return { seen: new Set (), dropAt: -Infinity, jackpotAt: -Infinity, jackpotMs: JACKPOT_WINDOW_MS, recallAt: -Infinity };
}

/** A pipette drop was made at time now. */
export function openDropWindow (events, now) { events.dropAt = now; }
/** The population was rerolled at time now: the jackpot window stays open for ms. */
export function openJackpotWindow (events, now, ms = JACKPOT_WINDOW_MS)
{
    events.jackpotAt = now;
    events.jackpotMs = Number.isFinite (ms) && ms >= 0 ? ms : JACKPOT_WINDOW_MS;
}
/** A preset was recalled at time now. */
export function noteRecall (events, now) { events.recallAt = now; }

/** Compares this frame's cells with the ids seen so far and returns the effects: ripple
    descriptions ({ spec, cap }) and liquid pokes ([x, y] in dish units). colorOf(cell) gives a
    cell's [r, g, b] display colour. Updates the seen ids. */
export function cellEvents (events, cells, now, colorOf, random = Math.random)
{
    const ripples = [];
    const pokes = [];
    const appeared = [];
    const hadCells = events.seen.size > 0;
    const jackpotOpen = now - events.jackpotAt <= events.jackpotMs;

    for (const cell of cells)
    {
        if (events.seen.has (cell.id))
            continue;
        const [x, y] = toDish (cell.x, cell.y);
        if (! cell.newborn)
        {
            appeared.push ({ cell, x, y });
            continue;
        }
        ripples.push (...plainRipple (x, y, jackpotOpen ? colorOf (cell) : undefined));
        if (now - events.dropAt <= DROP_WINDOW_MS)
        {
            ripples.push (...splashRipples (x, y, colorOf (cell), random));
            events.dropAt = -Infinity;
        }
        else if (jackpotOpen && cell.motif >= 0)
        {
            ripples.push (...jackpotRipples (x, y, colorOf (cell), random));
        }
    }

    if (hadCells && appeared.length >= 1 && appeared.length <= 3 && now - events.recallAt > RECALL_QUIET_MS)
    {
        for (const { cell, x, y } of appeared)
        {
            ripples.push (...cellEventRipple (x, y, cellRadius (cell.mass), colorOf (cell)));
            pokes.push ([x, y]);
        }
    }

    events.seen = new Set (cells.map ((c) => c.id));
    return { ripples, pokes };
}
