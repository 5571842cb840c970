// Announcing discoveries: a ripple at the new species' cell, an orb flying from it to the pipette
// button, the button's bump, and the specimen label showing each new key in turn.

import { labelParts, displayColours, parseSpeciesKey } from "./species.js";
import { createLabelQueue } from "./book.js";
import { orbFrames, ORB_MS, BUMP_MS, BULB_SCALES, ICON_WIGGLE } from "./motion.js";
import { make, paintSpecies, canAnimate } from "./dom.js";
import { discoveryRipple } from "../dish/ripples.js";
import { parseHex } from "../dish/colors.js";
import { REVEAL_DELAY_MS } from "../reveal.js";

/** How long the label shows one key (ms). */
export const LABEL_MS = 2600;
/** Size of the orb (px). */
const ORB_SIZE = 16;

/**
    env: { doc, stage, book, dish, label (the #specimen-label element), button (#btn-pipette),
    isDark(), onMark() }. Returns { announce(keys) }.
*/
export function createAnnouncer (env)
{
    const { doc, stage, book, dish, label, button } = env;
    const queue = createLabelQueue (4);
    let showing = false;

    //==========================================================================
    // The specimen label.

    function fill (key)
    {
        const { number, name } = labelParts (key);
        const parts = [["label-new", "New"], ["label-number", "No." + number], ["label-dot", ""], ["label-name", name]];
        label.replaceChildren (...parts.map (([cls, text]) =>
        {
            const span = make (doc, "span", cls);
            span.textContent = text;
            return span;
        }));
        paintSpecies (label.querySelector (".label-dot"), parseSpeciesKey (key).color);
    }

    function showNext ()
    {
        const key = queue.take ();
        if (key === null)
        {
            showing = false;
            return;
        }
        showing = true;
        fill (key);
        setTimeout (() =>
        {
            label.classList.add ("is-hidden");
            setTimeout (() =>
            {
                if (queue.size () > 0)
                    label.classList.remove ("is-hidden");
                showNext ();
            }, REVEAL_DELAY_MS);
        }, LABEL_MS);
    }

    function queueLabel (key)
    {
        if (! queue.offer (key) || showing)
            return;
        showing = true;
        // Delayed reveal of the first key.
        setTimeout (() =>
        {
            label.classList.remove ("is-hidden");
            showNext ();
        }, REVEAL_DELAY_MS);
    }

    //==========================================================================
    // The button's bump and the orb.

    function bump ()
    {
        if (! canAnimate (doc, button))
            return;
        const bulb = button.querySelector (".pipette-bulb");
        const icon = button.querySelector ("svg");
        bulb?.animate (BULB_SCALES.map ((s) => ({ transform: `scale(${s})` })), { duration: BUMP_MS, easing: "ease-out" });
        icon?.animate (ICON_WIGGLE.map ((a) => ({ transform: `rotate(${a}deg)` })), { duration: BUMP_MS, easing: "ease-out" });
    }

    function land (key)
    {
        book.land (key);
        env.onMark ();
        queueLabel (key);
        bump ();
    }

    function fly (key, from)
    {
        book.startFlying (key);
        env.onMark ();
        const orb = make (doc, "div", "discovery-orb");
        paintSpecies (orb, parseSpeciesKey (key).color);
        if (! canAnimate (doc, orb))
        {
            land (key);
            return;
        }
        stage.add (orb);
        const to = stage.centreOf (button);
        const half = ORB_SIZE / 2;
        const frames = orbFrames (from, to).map (({ offset, x, y, scale }) =>
            ({ offset, transform: `translate(${(x - half).toFixed (2)}px, ${(y - half).toFixed (2)}px) scale(${scale.toFixed (3)})` }));
        const animation = orb.animate (frames, { duration: ORB_MS, easing: "ease-in", fill: "forwards" });
        let landed = false;
        const done = () =>
        {
            if (landed)
                return;
            landed = true;
            orb.remove ();
            land (key);
        };
        animation.onfinish = done;
        animation.oncancel = done;
    }

    //==========================================================================
    return {
        /** Announces newly discovered keys. */
        announce (keys)
        {
            if (keys.length === 0)
                return;
            const cells = typeof dish.speciesInDish === "function" ? dish.speciesInDish () : [];
            for (const key of keys)
            {
                const cell = cells.find ((c) => c.key === key);
                if (! cell)
                {
                    queueLabel (key);
                    continue;
                }
                const colour = parseHex (displayColours (parseSpeciesKey (key).color)[env.isDark () ? "dark" : "light"]);
                for (const { spec, cap } of discoveryRipple (cell.unitsX, cell.unitsY, colour))
                    dish.addRipple?.(spec, cap);
                fly (key, stage.toBox (cell.pageX, cell.pageY));
            }
        },
    };
}
