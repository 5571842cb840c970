// The on-screen keyboard: C4 to B4, one sounding key, a 140 ms minimum note.

import { capturePointer } from "./pointer.js";

export const KEYBOARD_WIDTH = 300;
export const KEYBOARD_HEIGHT = 140;
export const WHITE_WIDTH = 42.857;
export const BLACK_WIDTH = 25.717;
export const BLACK_HEIGHT_SHARE = 0.6;
export const MIN_NOTE_MS = 140;

/** The twelve keys in chromatic order with their frequency; black keys carry their left edge. */
export const KEYS = [
    { name: "C4", freq: 261.63, white: 0 },
    { name: "C#4", freq: 277.18, black: 25.717 },
    { name: "D4", freq: 293.66, white: 1 },
    { name: "D#4", freq: 311.13, black: 77.122 },
    { name: "E4", freq: 329.63, white: 2 },
    { name: "F4", freq: 349.23, white: 3 },
    { name: "F#4", freq: 369.99, black: 152.109 },
    { name: "G4", freq: 392.00, white: 4 },
    { name: "G#4", freq: 415.30, black: 201.37 },
    { name: "A4", freq: 440.00, white: 5 },
    { name: "A#4", freq: 466.16, black: 250.645 },
    { name: "B4", freq: 493.88, white: 6 },
];

/** MIDI note number of a frequency. */
export const noteNumber = (freq) => Math.round (69 + 12 * Math.log2 (freq / 440));

/** The key (index into KEYS) under a point in keyboard pixels, or -1. Black keys lie on top. */
export function keyAt (x, y)
{
    if (! (x >= 0 && x < KEYBOARD_WIDTH && y >= 0 && y < KEYBOARD_HEIGHT))
        return -1;
    if (y < KEYBOARD_HEIGHT * BLACK_HEIGHT_SHARE)
    {
        const black = KEYS.findIndex ((k) => k.black !== undefined && x >= k.black && x < k.black + BLACK_WIDTH);
        if (black >= 0)
            return black;
    }
    const column = Math.min (6, Math.floor (x / WHITE_WIDTH));
    return KEYS.findIndex ((k) => k.white === column);
}

//==============================================================================
/**
    Playing logic without a DOM. Callbacks: send(name, payload), highlight(keyIndex or -1),
    now(), setTimer(fn, ms), clearTimer(id).
*/
export function createKeyboardPlayer ({ send, highlight, now, setTimer, clearTimer })
{
    let held = -1;            // key held by the pointer
    let pointerId = null;
    let noteOnAt = 0;
    let releaseTimer = null;
    let sounding = false;     // a "noteOn" was sent and its "noteOff" not yet

    const cancelRelease = () =>
    {
        if (releaseTimer !== null)
        {
            clearTimer (releaseTimer);
            releaseTimer = null;
        }
    };

    const noteOff = () =>
    {
        releaseTimer = null;
        if (! sounding)
            return;
        sounding = false;
        send ("noteOff", {});
        highlight (-1);
    };

    return {
        /** A pointer goes down on a key, or the held pointer moves onto another key. */
        start (key, id)
        {
            if (key < 0 || (pointerId !== null && id !== pointerId) || (key === held && pointerId !== null))
                return;
            cancelRelease ();
            held = key;
            pointerId = id;
            noteOnAt = now ();
            sounding = true;
            highlight (key);
            send ("noteOn", { note: noteNumber (KEYS[key].freq) });
        },
        /** The holding pointer is released or cancelled. */
        release (id)
        {
            if (pointerId === null || id !== pointerId)
                return;
            pointerId = null;
            held = -1;
            const elapsed = now () - noteOnAt;
            if (elapsed >= MIN_NOTE_MS)
                noteOff ();
            else
                releaseTimer = setTimer (noteOff, MIN_NOTE_MS - elapsed);
        },
        /** Ends everything at once without a message; true when a note was sounding. */
        abandon ()
        {
            cancelRelease ();
            pointerId = null;
            held = -1;
            const was = sounding;
            sounding = false;
            if (was)
                highlight (-1);
            return was;
        },
        holding: () => pointerId !== null,
        pointer: () => pointerId,
    };
}

//==============================================================================
/** Builds the keys into the keyboard element and wires the pointer. Returns { setProcessorNote, abandon, holding }. */
export function createKeyboard ({ doc, element, send, now, gestures })
{
    const keyEls = KEYS.map ((k, i) =>
    {
        const el = doc.createElement ("div");
        el.className = k.black !== undefined ? "key key-black" : "key key-white";
        el.dataset.key = String (i);
        el.dataset.note = String (noteNumber (k.freq));
        el.title = k.name;
        el.style.left = (k.black !== undefined ? k.black : k.white * WHITE_WIDTH) + "px";
        element.appendChild (el);
        return el;
    });
    let localKey = -1;
    let processorKey = -1;
    const paint = () => keyEls.forEach ((el, i) => el.classList.toggle ("is-down", i === localKey || i === processorKey));

    const player = createKeyboardPlayer ({
        send,
        highlight: (k) => { localKey = k; paint (); },
        now,
        setTimer: (fn, ms) => setTimeout (fn, ms),
        clearTimer: (id) => clearTimeout (id),
    });

    const keyFromEvent = (e) =>
    {
        const rect = element.getBoundingClientRect ();
        const scale = rect.width / KEYBOARD_WIDTH || 1;
        return keyAt ((e.clientX - rect.left) / scale, (e.clientY - rect.top) / scale);
    };

    element.addEventListener ("pointerdown", (e) =>
    {
        if (player.holding ())
            return;
        const key = keyFromEvent (e);
        if (key < 0)
            return;
        e.preventDefault ();
        capturePointer (element, e.pointerId);
        player.start (key, e.pointerId);
    });
    element.addEventListener ("pointermove", (e) =>
    {
        if (player.holding ())
        {
            if (e.pointerId === player.pointer ())
                player.start (keyFromEvent (e), e.pointerId);
        }
        else if (e.buttons & 1 && e.pointerType !== "touch")
        {
            // Entering a key with the button already pressed starts it as well.
            const key = keyFromEvent (e);
            if (key >= 0)
            {
                capturePointer (element, e.pointerId);
                player.start (key, e.pointerId);
            }
        }
    });
    element.addEventListener ("pointerup", (e) => player.release (e.pointerId));
    gestures.add ({ active: player.holding, end: player.abandon });

    return {
        setProcessorNote (note)
        {
            processorKey = KEYS.findIndex ((k) => noteNumber (k.freq) === note);
            paint ();
        },
    };
}
