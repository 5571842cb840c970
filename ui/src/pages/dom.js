// Small DOM helpers shared by the pages: element building, species colours per theme, the
// design box as a stage for ghosts and orbs, and replayable CSS effects.

import { displayColours } from "./species.js";

const SVG_NS = "http://www.w3.org/2000/svg";

/** Creates an element with classes and attributes. */
export function make (doc, tag, className = "", attributes = {})
{
    const el = doc.createElement (tag);
    if (className)
        el.className = className;
    for (const [name, value] of Object.entries (attributes))
        el.setAttribute (name, value);
    return el;
}

/** An inline SVG from trusted markup of this module's own icons (never from messages). */
export function svgFrom (doc, viewBox, markup, className = "")
{
    const svg = doc.createElementNS (SVG_NS, "svg");
    svg.setAttribute ("viewBox", viewBox);
    svg.setAttribute ("aria-hidden", "true");
    if (className)
        svg.setAttribute ("class", className);
    svg.innerHTML = markup;
    return svg;
}

/** The page symbol of a shape (m-normal … m-moon) as a 100 × 100 SVG. */
export function shapeSymbol (doc, shape, className = "")
{
    const svg = svgFrom (doc, "0 0 100 100", "", className);
    const use = doc.createElementNS (SVG_NS, "use");
    use.setAttribute ("href", "#m-" + shape);
    svg.appendChild (use);
    return svg;
}

/** Gives an element the display colours of a species colour code; the stylesheet picks the one of
    the current theme (class species-colour). */
export function paintSpecies (el, code)
{
    const { light, dark } = displayColours (code);
    el.classList.add ("species-colour");
    el.style.setProperty ("--c-light", light);
    el.style.setProperty ("--c-dark", dark);
}

/** Plays a one-shot CSS effect class again from its start. */
export function replay (el, className)
{
    el.classList.remove (className);
    void el.offsetWidth;
    el.classList.add (className);
}

/** Whether element animations run (the browser offers them and the user accepts motion). */
export function canAnimate (doc, el)
{
    const win = doc.defaultView;
    if (typeof el.animate !== "function")
        return false;
    return ! (win && win.matchMedia && win.matchMedia ("(prefers-reduced-motion: reduce)").matches);
}

//==============================================================================
/**
    The design box as a stage: floating elements (ghosts, orbs) are placed in its unscaled pixels,
    so they scale with the page. toBox converts a pointer's client position; scale() is the box's
    current scale; add(el) puts an element on top of everything.
*/
export function createStage (doc)
{
    const box = doc.getElementById ("design-box") || doc.body;
    const scale = () =>
    {
        const w = box.getBoundingClientRect ().width;
        return w > 0 && box.offsetWidth > 0 ? w / box.offsetWidth : 1;
    };
    return {
        scale,
        toBox (clientX, clientY)
        {
            const r = box.getBoundingClientRect ();
            const s = scale ();
            return [(clientX - r.left) / s, (clientY - r.top) / s];
        },
        /** Centre of an element in box pixels. */
        centreOf (el)
        {
            const r = el.getBoundingClientRect ();
            return this.toBox (r.left + r.width / 2, r.top + r.height / 2);
        },
        add (el)
        {
            box.appendChild (el);
            return el;
        },
    };
}
