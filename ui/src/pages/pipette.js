// The pipette page: the discovered species, twelve to a page, with their new-item dots; paging,
// sorting and the preview button; pressing a species to hear it and dragging it into the dish.

import { parseSpeciesKey, sortSpecies, pageCount, clampPage, stepPage, pageKeys, pageIndicator } from "./species.js";
import { seenPayloads } from "./book.js";
import { smoothVelocity, dropPayload, PIPETTE_MOVE_PX, GHOST_OFFSET_PX } from "./motion.js";
import { make, svgFrom, shapeSymbol, paintSpecies, replay } from "./dom.js";
import { ICON_PREVIOUS, ICON_NEXT, ICON_SORT, ICON_PREVIEW } from "./icons.js";

/** Time the grid stays hidden when the page turns or the order flips (ms). */
export const GRID_FADE_MS = 130;
/** How long a newly seen species shows its red dot (ms). */
export const SEEN_DOT_MS = 2000;
/** Size of the pipette ghost (px). */
const GHOST_SIZE = 47;

/**
    Builds the pipette page in `element`. env: { doc, stage, book, send, now, gestures, isOpen(),
    isReady(), dishBox(), onDropped(), onSeen() }. Returns { draw(), opened(), closed() }.
*/
export function createPipettePage (element, env)
{
    const { doc, stage, book, send, now } = env;
    let sort = "shape";
    let page = 0;
    let fadeTimer = 0;
    const dishes = new Map ();        // key → its drawn element, made once
    const dotTimers = new Map ();

    element.classList.add ("pipette-page");
    const grid = make (doc, "div", "pipette-grid");
    const indicator = make (doc, "div", "pipette-indicator");
    const buttons = make (doc, "div", "pipette-buttons");
    element.append (grid, indicator, buttons);

    const button = (title, icon, extra = "") =>
    {
        const b = make (doc, "button", "page-button raised " + extra, { type: "button", title, "aria-label": title });
        b.appendChild (svgFrom (doc, "0 0 24 24", icon));
        buttons.appendChild (b);
        return b;
    };
    const previousButton = button ("Previous page", ICON_PREVIOUS, "pipette-previous");
    const sortButton = button ("Sort (by shape / by color)", ICON_SORT, "pipette-sort");
    const previewButton = button ("Preview the current cells on C", ICON_PREVIEW, "pipette-preview");
    const nextButton = button ("Next page", ICON_NEXT, "pipette-next");

    //==========================================================================
    // Species dishes.

    function dishFor (key)
    {
        let el = dishes.get (key);
        if (el)
            return el;
        const { shape, color } = parseSpeciesKey (key);
        el = make (doc, "div", "species-dish recess", { "data-key": key });
        const sway = make (doc, "div", "species-sway");
        // Each dish starts at a random point of the 6 s sway.
        sway.style.animationDelay = (-Math.random () * 6).toFixed (2) + "s";
        const symbol = shapeSymbol (doc, shape, "species-shape");
        paintSpecies (symbol, color);
        sway.appendChild (symbol);
        el.append (sway, make (doc, "div", "species-ripple"), make (doc, "div", "seen-dot"));
        el.addEventListener ("pointerdown", (e) => startDrag (e, key, el));
        el.addEventListener ("pointermove", moveDrag);
        el.addEventListener ("pointerup", releaseDrag);
        // A cancel or a capture lost mid-drag sends nothing.
        el.addEventListener ("pointercancel", cancelDrag);
        el.addEventListener ("lostpointercapture", cancelDrag);
        dishes.set (key, el);
        return el;
    }

    function showDot (key)
    {
        const el = dishes.get (key);
        if (! el)
            return;
        el.classList.add ("has-dot");
        clearTimeout (dotTimers.get (key));
        dotTimers.set (key, setTimeout (() => el.classList.remove ("has-dot"), SEEN_DOT_MS));
    }

    function hideDot (key, el)
    {
        clearTimeout (dotTimers.get (key));
        el.classList.remove ("has-dot");
    }

    /** Draws the current page; while the pipette page is open its unseen keys become seen. */
    function draw ()
    {
        const sorted = sortSpecies (book.discovered (), sort);
        const count = pageCount (sorted.length);
        page = clampPage (page, count);
        const keys = pageKeys (sorted, page);
        const wanted = keys.map ((key) => (key === null ? null : dishFor (key)));
        const current = [...grid.children];
        // Children are replaced only when the page shows other species: a species held in a drag
        // keeps its element in place (and its pointer capture).
        if (current.length !== wanted.length || wanted.some ((el, i) => (el ?? null) !== (current[i].dataset.key ? current[i] : null)))
            grid.replaceChildren (...wanted.map ((el) => el ?? make (doc, "div", "species-dish recess is-empty")));
        indicator.textContent = pageIndicator (page, count);
        sortButton.classList.toggle ("is-by-color", sort === "color");

        if (! env.isOpen ())
            return;
        const shown = book.markShown (keys);
        if (shown.length === 0)
            return;
        for (const key of shown)
            showDot (key);
        for (const payload of seenPayloads (shown))
            send ("pipetteSeen", payload);
        env.onSeen ();
    }

    /** Hides the grid, and redraws and shows it after the fade. */
    function fadeTo (change)
    {
        change ();
        grid.classList.add ("is-fading");
        clearTimeout (fadeTimer);
        fadeTimer = setTimeout (() =>
        {
            draw ();
            grid.classList.remove ("is-fading");
        }, GRID_FADE_MS);
    }

    const turn = (delta) =>
    {
        const count = pageCount (sortSpecies (book.discovered (), sort).length);
        fadeTo (() => { page = stepPage (page, delta, count); });
    };

    const act = (el, fn) => el.addEventListener ("click", () =>
    {
        if (env.isOpen ())
            fn ();
    });
    act (previousButton, () => turn (-1));
    act (nextButton, () => turn (1));
    act (sortButton, () => fadeTo (() => { sort = sort === "shape" ? "color" : "shape"; page = 0; }));

    //==========================================================================
    // The preview button: note 60 while held.

    let previewHeld = false;

    function releasePreview ()
    {
        previewButton.classList.remove ("is-pressed");
        if (! previewHeld)
            return false;
        previewHeld = false;
        return true;
    }

    previewButton.addEventListener ("pointerdown", (e) =>
    {
        if (previewHeld || ! env.isOpen () || ! env.isReady () || (e.button !== undefined && e.button > 0))
            return;
        previewHeld = true;
        previewButton.classList.add ("is-pressed");
        send ("noteOn", { note: 60 });
    });
    for (const type of ["pointerup", "pointerleave", "pointercancel"])
        previewButton.addEventListener (type, () =>
        {
            if (releasePreview ())
                send ("noteOff", {});
        });
    env.gestures.add ({ active: () => previewHeld, end: releasePreview });

    //==========================================================================
    // Dragging a species into the dish.

    let drag = null;

    function placeGhost (clientX, clientY)
    {
        const [x, y] = stage.toBox (clientX, clientY);
        drag.ghost.style.left = (x - GHOST_OFFSET_PX) + "px";
        drag.ghost.style.top = (y - GHOST_OFFSET_PX) + "px";
    }

    function startDrag (e, key, el)
    {
        if (drag || ! env.isOpen () || (e.button !== undefined && e.button > 0))
            return;
        const species = parseSpeciesKey (key);
        try
        {
            el.setPointerCapture (e.pointerId);
        }
        catch (error)
        {
            // Without capture the drag still ends on release or cancel.
        }
        hideDot (key, el);
        send ("pipettePreview", { shape: species.shape, color: species.color, pan: 0 });
        replay (el, "is-rippling");

        const ghost = make (doc, "div", "pipette-ghost");
        ghost.style.width = ghost.style.height = GHOST_SIZE + "px";
        const symbol = shapeSymbol (doc, species.shape, "species-shape");
        paintSpecies (symbol, species.color);
        ghost.appendChild (symbol);
        stage.add (ghost);

        drag = { pointerId: e.pointerId, el, species, ghost, start: [e.clientX, e.clientY],
                 last: [e.clientX, e.clientY], lastTime: now (), velocity: [0, 0], moved: false };
        placeGhost (e.clientX, e.clientY);
    }

    function endDrag ()
    {
        if (! drag)
            return false;
        const { el, pointerId, ghost } = drag;
        drag = null;
        ghost.remove ();
        try
        {
            if (el.hasPointerCapture (pointerId))
                el.releasePointerCapture (pointerId);
        }
        catch (error)
        {
            // The capture is gone already.
        }
        return false;
    }

    function moveDrag (e)
    {
        if (! drag || e.pointerId !== drag.pointerId)
            return;
        const t = now ();
        const movement = [e.clientX - drag.last[0], e.clientY - drag.last[1]];
        drag.velocity = smoothVelocity (drag.velocity, movement, t - drag.lastTime);
        drag.last = [e.clientX, e.clientY];
        drag.lastTime = t;
        if (Math.hypot (e.clientX - drag.start[0], e.clientY - drag.start[1]) / stage.scale () > PIPETTE_MOVE_PX)
            drag.moved = true;
        placeGhost (e.clientX, e.clientY);
    }

    function releaseDrag (e)
    {
        if (! drag || e.pointerId !== drag.pointerId)
            return;
        const { species, velocity, moved } = drag;
        endDrag ();
        const payload = dropPayload (species, [e.clientX, e.clientY], env.dishBox (), velocity, moved);
        if (payload)
        {
            send ("pipetteDrop", payload);
            env.onDropped ();
        }
    }

    function cancelDrag (e)
    {
        if (drag && e.pointerId === drag.pointerId)
            endDrag ();
    }

    env.gestures.add ({ active: () => drag !== null, end: endDrag });

    //==========================================================================
    return {
        draw,
        opened ()
        {
            clearTimeout (fadeTimer);
            grid.classList.remove ("is-fading");
            draw ();
        },
        closed ()
        {
            endDrag ();
            if (releasePreview ())
                send ("noteOff", {});
        },
    };
}
