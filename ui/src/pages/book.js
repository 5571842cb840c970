// The pipette's bookkeeping: discovered, unseen, marked-seen and flying keys, what a "pipette"
// message announces, and which keys a drawn page reports as seen. Pure: no DOM, no bridge.

import { isSpeciesKey, isPlainKey } from "./species.js";

/** Most keys in one "pipetteSeen" event. */
export const MAX_SEEN_KEYS = 128;

/** Cuts a list of keys into "pipetteSeen" payloads of at most MAX_SEEN_KEYS keys each. */
export function seenPayloads (keys)
{
    const out = [];
    for (let i = 0; i < keys.length; i += MAX_SEEN_KEYS)
        out.push ({ keys: keys.slice (i, i + MAX_SEEN_KEYS) });
    return out;
}

const sameSet = (a, b) => a.size === b.size && [...a].every ((k) => b.has (k));

/**
    Creates the bookkeeping of one page load. Its methods:
      receive({ discovered, seen })  an accepted "pipette" message; returns { announce, changed }:
                                     the keys to announce (never on the first message) and whether
                                     the discovered set changed
      discovered()                   the discovered keys (message order, duplicates dropped)
      isUnseen(key)
      markShown(keys)                keys now drawn on the open pipette page: the unseen ones leave
                                     the unseen set and join the marked-seen set; returns them
      startFlying(key), land(key)    a discovery orb takes off or lands
      showsNewMark()                 some unseen key is not in the air
*/
export function createPipetteBook ()
{
    let discovered = new Set ();
    let unseen = new Set ();
    const markedSeen = new Set ();
    const flying = new Set ();
    let handledOnce = false;

    return {
        receive ({ discovered: list, seen })
        {
            const next = new Set (list.filter (isSpeciesKey));
            const changed = ! sameSet (next, discovered);
            const announce = handledOnce && changed
                ? [...next].filter ((k) => ! discovered.has (k) && ! isPlainKey (k)) : [];
            handledOnce = true;
            const seenSet = new Set (seen);
            discovered = next;
            unseen = new Set ([...next].filter ((k) => ! isPlainKey (k) && ! seenSet.has (k) && ! markedSeen.has (k)));
            return { announce, changed };
        },
        discovered: () => [...discovered],
        count: () => discovered.size,
        isUnseen: (key) => unseen.has (key),
        markShown (keys)
        {
            const shown = [];
            for (const key of keys)
                if (key !== null && unseen.has (key))
                {
                    unseen.delete (key);
                    markedSeen.add (key);
                    shown.push (key);
                }
            return shown;
        },
        startFlying: (key) => void flying.add (key),
        land: (key) => void flying.delete (key),
        showsNewMark: () => [...unseen].some ((k) => ! flying.has (k)),
    };
}

//==============================================================================
/** The specimen label's queue: at most `max` keys; further keys are dropped while it is full. */
export function createLabelQueue (max = 4)
{
    const queue = [];
    return {
        offer (key)
        {
            if (queue.length >= max)
                return false;
            queue.push (key);
            return true;
        },
        take: () => queue.shift () ?? null,
        size: () => queue.length,
    };
}

//==============================================================================
/** The preview tokens of one page load: 1, 2, 3, … */
export function createTokenCounter ()
{
    let last = 0;
    return { next: () => ++last };
}
