// Checks of the native messages the page receives, and the throttled rejection log.
// Pure functions: no DOM, no bridge.

/** Parameter ids in control-index order; also the keys of the native "fx" message. */
export const PARAM_IDS = ["filter", "attack", "chorus", "reverb", "sub", "sat",
                          "delay", "width", "detune", "shimmer", "formant", "phaser"];

/** Members of "frame", in the order they are handed to their own listeners. */
export const FRAME_MEMBERS = ["state", "fx", "window", "light", "cells", "voices", "scope"];

/** Every native message the page listens to. */
export const NATIVE_MESSAGES = ["frame", "state", "fx", "window", "light", "cells", "voices", "scope",
                                "pipette", "presets", "stats", "ui", "hostPaused", "storageError"];

/** A console line for one event name and reason is written at most once in this time. */
export const REJECTION_LOG_INTERVAL_MS = 10000;

//==============================================================================
export const isFiniteNumber = (v) => typeof v === "number" && Number.isFinite (v);
export const isObject = (v) => v !== null && typeof v === "object" && !Array.isArray (v);

/** Length of a text in Unicode code points. */
export function codePointLength (s)
{
    let n = 0;
    for (const _ of s)
        ++n;
    return n;
}

const isShortText = (v, max) => typeof v === "string" && (v.length <= max || codePointLength (v) <= max);

const isFiniteArray = (a, maxLength) =>
    Array.isArray (a) && a.length <= maxLength && a.every (isFiniteNumber);

const isTextArray = (a) =>
    Array.isArray (a) && a.length <= 128 && a.every ((s) => isShortText (s, 128));

//==============================================================================
/** One validator per native message; each returns true when the payload is acceptable. */
export const VALIDATORS = {
    frame: isObject,
    state: (p) => isObject (p) && isFiniteNumber (p.note),
    fx: (p) => isObject (p) && Object.keys (p).length <= 12 && Object.values (p).every (isFiniteNumber),
    window: (p) => isObject (p) && isFiniteNumber (p.dx) && isFiniteNumber (p.dy),
    light: (p) => isObject (p) && isFiniteNumber (p.x) && isFiniteNumber (p.y)
                  && Math.abs (p.x) <= 100 && Math.abs (p.y) <= 100,
    cells: (p) => isObject (p) && isFiniteArray (p.cells, 312) && p.cells.length % 13 === 0,
    voices: (p) => isObject (p) && isFiniteArray (p.levels, 48) && p.levels.length % 2 === 0,
    scope: (p) => isObject (p)
                  && (p.idle === true
                      || (Array.isArray (p.wave) && p.wave.length === 512 && p.wave.every (isFiniteNumber)
                          && Array.isArray (p.bars) && p.bars.length === 32 && p.bars.every (isFiniteNumber))),
    pipette: (p) => isObject (p) && isTextArray (p.discovered) && isTextArray (p.seen),
    presets: (p) => isObject (p) && Array.isArray (p.slots) && p.slots.length <= 12
                    && p.slots.every ((s) => s === null
                                             || (isObject (s) && (!Array.isArray (s.cells) || s.cells.length <= 24))),
    stats: (p) => isObject (p) && isFiniteNumber (p.incubation) && isFiniteNumber (p.spawn),
    ui: (p) => isObject (p) && isFiniteNumber (p.page) && isFiniteNumber (p.theme),
    hostPaused: (p) => isObject (p) && typeof p.paused === "boolean",
    storageError: (p) => isShortText (p, 1024),
};

//==============================================================================
/** Remembers when each (event, reason) pair was last logged; says whether to log it now. */
export function createRejectionThrottle (intervalMs = REJECTION_LOG_INTERVAL_MS)
{
    const last = new Map ();
    return (name, reason, nowMs) =>
    {
        const key = name + "\u0000" + reason;
        const previous = last.get (key);
        if (previous !== undefined && nowMs - previous < intervalMs)
            return false;
        last.set (key, nowMs);
        return true;
    };
}

/** The reason logged for an exception thrown by a handler. */
export function errorReason (error)
{
    return error && typeof error.name === "string" && error.name.length > 0 ? error.name : "handler-error";
}

/**
    Builds the page's receiving side.

    handlers maps message names to functions taking the accepted payload. log(name, reason) is
    called for a logged rejection; now() gives milliseconds. Returns receive(name, payload), which
    parses text payloads, validates, runs the handler and reports rejections; it returns true when
    the message was accepted and handled.
*/
export function createReceiver ({ handlers, log, now })
{
    const shouldLog = createRejectionThrottle ();

    const reject = (name, reason) =>
    {
        if (shouldLog (name, reason, now ()))
            log (name, reason);
        return false;
    };

    const receive = (name, payload) =>
    {
        let value = payload;
        if (typeof value === "string" && name !== "storageError")
        {
            try
            {
                value = JSON.parse (value);
            }
            catch
            {
                return reject (name, "invalid-json");
            }
        }

        const validate = VALIDATORS[name];
        if (! validate || ! validate (value))
            return reject (name, "invalid-payload");

        try
        {
            if (name === "frame")
            {
                for (const member of FRAME_MEMBERS)
                    if (Object.prototype.hasOwnProperty.call (value, member))
                        receive (member, value[member]);
            }
            else
            {
                handlers[name]?.(value);
            }
        }
        catch (error)
        {
            return reject (name, errorReason (error));
        }
        return true;
    };

    return receive;
}
