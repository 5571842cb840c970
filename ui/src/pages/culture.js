// The culture page: twelve preset slots and the clear zone. The dish dragged onto a slot saves
// it; a filled slot pressed auditions it (tokens), dragged onto the dish recalls it, dragged onto
// the clear zone erases it.

import { SLOT_COUNT, SLOT_INNER_WIDTH, isFilled, slotSignature, miniCellLayout, popDelay } from "./slots.js";
import { insideBox, insideDish, CULTURE_START_PX } from "./motion.js";
import { make, svgFrom, paintSpecies, replay, canAnimate } from "./dom.js";
import { ICON_BIN } from "./icons.js";

/** After a save the slot is watched this long for its new content (ms). */
export const SAVE_WATCH_MS = 1500;
/** The ripple of a confirmed save lasts this long (ms). */
export const SAVE_RIPPLE_MS = 800;
/** Note the auditions play. */
export const PREVIEW_NOTE = 60;
/** Size of the preset dishes and their ghosts (px). */
const SLOT_SIZE = 60;

/** Fills a preset dish's inner circle with the dots of its mini cells; returns the dots. */
export function drawMiniCells (doc, inner, cells)
{
    const dots = (cells ?? []).map ((cell, i) =>
    {
        const m = miniCellLayout (cell, i, SLOT_INNER_WIDTH);
        const dot = make (doc, "div", "mini-cell");
        paintSpecies (dot, cell.color);
        const s = dot.style;
        s.left = (m.cx - m.radius).toFixed (2) + "px";
        s.top = (m.cy - m.radius).toFixed (2) + "px";
        s.width = s.height = (2 * m.radius).toFixed (2) + "px";
        s.setProperty ("--glow", (1.2 * m.radius).toFixed (2) + "px");
        s.setProperty ("--dx", (m.amplitude * Math.cos (m.angle)).toFixed (3) + "px");
        s.setProperty ("--dy", (m.amplitude * Math.sin (m.angle)).toFixed (3) + "px");
        s.animationDuration = m.period.toFixed (2) + "s";
        s.animationDelay = m.delay.toFixed (2) + "s";
        return dot;
    });
    inner.replaceChildren (...dots);
    return dots;
}

/** A preset dish (rim and inner circle) holding mini cells. */
export function makePresetDish (doc, cells)
{
    const dish = make (doc, "div", "preset-dish");
    const inner = make (doc, "div", "preset-inner");
    dish.appendChild (inner);
    drawMiniCells (doc, inner, cells);
    return dish;
}

/**
    Builds the culture page in `element`. env: { doc, stage, send, now, gestures, tokens, isOpen(),
    dish: { element, box(), presetCells(), presetRecalled() } }. Returns { setSlots(slots),
    closed() }.
*/
export function createCulturePage (element, env)
{
    const { doc, stage, send } = env;
    let slots = new Array (SLOT_COUNT).fill (null);
    let watch = null;                 // { slot, signature, until } after a save
    let previewToken = 0;             // the running audition, 0 when none
    let drag = null;

    element.classList.add ("culture-page");
    const places = [];
    for (let i = 0; i < SLOT_COUNT; ++i)
    {
        const title = "Preset " + (i + 1);
        const place = make (doc, "div", "preset-slot", { "data-slot": String (i), title, "aria-label": title });
        const dish = makePresetDish (doc, null);
        place.append (dish, make (doc, "div", "slot-ripple"));
        place.addEventListener ("pointerdown", (e) => pressSlot (e, i));
        places.push ({ place, dish, inner: dish.firstChild });
        element.appendChild (place);
    }
    const clearZone = make (doc, "div", "preset-clear", { title: "Drop here to erase", "aria-label": "Drop here to erase" });
    clearZone.append (svgFrom (doc, "0 0 24 24", ICON_BIN, "bin-icon"), make (doc, "span", "preset-clear-text"));
    clearZone.lastChild.textContent = "Drop here to erase";
    element.appendChild (clearZone);

    //==========================================================================
    // Slots.

    function drawSlot (i, pop)
    {
        const { place, inner } = places[i];
        place.classList.toggle ("is-filled", isFilled (slots[i]));
        const dots = drawMiniCells (doc, inner, slots[i]);
        if (! pop)
            return;
        replay (place, "is-confirmed");
        setTimeout (() => place.classList.remove ("is-confirmed"), SAVE_RIPPLE_MS);
        dots.forEach ((dot, k) =>
        {
            if (canAnimate (doc, dot))
                dot.animate ([{ scale: 0, opacity: 0 }, { scale: 1.25, opacity: 1, offset: 0.7 }, { scale: 1, opacity: 1 }],
                             { duration: 260, delay: popDelay (k), easing: "ease-out", fill: "backwards" });
        });
    }

    function setSlots (next)
    {
        const before = slots;
        slots = next;
        const confirmed = watch && env.now () <= watch.until && slotSignature (next[watch.slot]) !== watch.signature
            ? watch.slot : -1;
        if (confirmed >= 0)
            watch = null;
        for (let i = 0; i < SLOT_COUNT; ++i)
            if (i === confirmed || slotSignature (before[i]) !== slotSignature (next[i]))
                drawSlot (i, i === confirmed);
    }

    //==========================================================================
    // Auditions.

    function startPreview (slot)
    {
        stopPreview ();
        previewToken = env.tokens.next ();
        send ("presetPreview", { slot, note: PREVIEW_NOTE, token: previewToken });
    }

    function stopPreview ()
    {
        if (previewToken === 0)
            return;
        const token = previewToken;
        previewToken = 0;
        send ("presetPreviewStop", { token });
    }

    //==========================================================================
    // Drags: the dish onto a slot (save), a slot onto the dish (recall) or the clear zone (erase).

    const dishElement = env.dish.element;

    function slotAt (p)
    {
        for (let i = 0; i < SLOT_COUNT; ++i)
            if (insideBox (p, places[i].place.getBoundingClientRect ()))
                return i;
        return -1;
    }

    function highlight (p)
    {
        if (drag.kind === "save")
        {
            const target = slotAt (p);
            places.forEach (({ place }, i) => place.classList.toggle ("is-target", i === target));
            return;
        }
        const overClear = insideBox (p, clearZone.getBoundingClientRect ());
        clearZone.classList.toggle ("is-target", overClear);
        dishElement.classList.toggle ("is-drop-target", ! overClear && insideDish (p, env.dish.box ()));
    }

    function clearHighlights ()
    {
        for (const { place } of places)
            place.classList.remove ("is-target", "is-source");
        clearZone.classList.remove ("is-target");
        dishElement.classList.remove ("is-drop-target");
    }

    function begin (e, kind, source, slot)
    {
        try
        {
            source.setPointerCapture (e.pointerId);
        }
        catch (error)
        {
            // Without capture the drag still ends on release or cancel.
        }
        drag = { kind, slot, source, pointerId: e.pointerId, start: [e.clientX, e.clientY], started: false, ghost: null };
    }

    function pressSlot (e, slot)
    {
        if (drag || ! env.isOpen () || (e.button !== undefined && e.button > 0) || ! isFilled (slots[slot]))
            return;
        begin (e, "slot", places[slot].place, slot);
        startPreview (slot);
    }

    dishElement.addEventListener ("pointerdown", (e) =>
    {
        if (drag || ! env.isOpen () || (e.button !== undefined && e.button > 0))
            return;
        begin (e, "save", dishElement, -1);
    });

    function placeGhost (clientX, clientY)
    {
        const [x, y] = stage.toBox (clientX, clientY);
        drag.ghost.style.left = (x - SLOT_SIZE / 2) + "px";
        drag.ghost.style.top = (y - SLOT_SIZE / 2) + "px";
    }

    function move (e)
    {
        if (! drag || e.pointerId !== drag.pointerId)
            return;
        const p = [e.clientX, e.clientY];
        if (! drag.started)
        {
            if (Math.hypot (p[0] - drag.start[0], p[1] - drag.start[1]) / stage.scale () < CULTURE_START_PX)
                return;
            drag.started = true;
            const cells = drag.kind === "save" ? env.dish.presetCells () : slots[drag.slot];
            drag.ghost = stage.add (makePresetDish (doc, cells));
            drag.ghost.classList.add ("preset-ghost");
            if (drag.kind === "slot")
                drag.source.classList.add ("is-source");
        }
        placeGhost (p[0], p[1]);
        highlight (p);
    }

    /** Ends the drag however it ends: the audition stops, the ghost goes, highlights clear. */
    function finish ()
    {
        if (! drag)
            return false;
        const { source, pointerId, ghost } = drag;
        drag = null;
        stopPreview ();
        ghost?.remove ();
        clearHighlights ();
        try
        {
            if (source.hasPointerCapture (pointerId))
                source.releasePointerCapture (pointerId);
        }
        catch (error)
        {
            // The capture is gone already.
        }
        return false;
    }

    function release (e)
    {
        if (! drag || e.pointerId !== drag.pointerId)
            return;
        const p = [e.clientX, e.clientY];
        const { kind, slot, started } = drag;
        if (started && kind === "save")
        {
            const target = slotAt (p);
            if (target >= 0)
            {
                send ("presetSave", { slot: target });
                watch = { slot: target, signature: slotSignature (slots[target]), until: env.now () + SAVE_WATCH_MS };
            }
        }
        else if (started && kind === "slot")
        {
            if (insideBox (p, clearZone.getBoundingClientRect ()))
            {
                send ("presetClear", { slot });
            }
            else if (insideDish (p, env.dish.box ()))
            {
                send ("presetRecall", { slot });
                env.dish.presetRecalled ();
            }
        }
        finish ();
    }

    function cancel (e)
    {
        if (drag && e.pointerId === drag.pointerId)
            finish ();
    }

    for (const target of [element, dishElement])
    {
        target.addEventListener ("pointermove", move);
        target.addEventListener ("pointerup", release);
        target.addEventListener ("pointercancel", cancel);
        target.addEventListener ("lostpointercapture", cancel);
    }
    env.gestures.add ({ active: () => drag !== null || previewToken !== 0, end: () => { finish (); stopPreview (); return false; } });

    //==========================================================================
    return {
        setSlots,
        closed ()
        {
            finish ();
            stopPreview ();
        },
    };
}
