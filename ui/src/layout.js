// The fixed design box and its scale to the window.

/** Width of the design box and the height the scale is computed for (px, unscaled). */
export const BOX_WIDTH = 413;
export const BOX_HEIGHT = 613;

/** The dish: a 240 px circle 57 px from the top of the box, centred horizontally. */
export const DISH = { size: 240, top: 57, left: (BOX_WIDTH - 240) / 2 };

/** Scale of the box for a window: never above 1. A window without size keeps scale 1. */
export function layoutScale (width, height)
{
    if (! (width > 0) || ! (height > 0))
        return 1;
    return Math.min (1, width / BOX_WIDTH, height / BOX_HEIGHT);
}

/** Positions of the shell's elements in the box, as { left, top, width, height } in unscaled px. */
export function shellGeometry ()
{
    const { left: dl, top: dt, size } = DISH;
    const dr = dl + size, db = dt + size;
    const well = 55;
    const bankCentre = db + 87;
    return {
        "petri-dish": { left: dl, top: dt, width: size, height: size },
        "app-logo": { left: dl + 70.815, top: dt - 48, width: 98.37, height: 32 },
        "specimen-label": { left: dl - 71, top: dt - 57, width: 108, height: 47.5 },
        "btn-theme": { left: dl + 246, top: dt - 57, width: 65, height: 50 },
        "arc-slot": { left: dl + 256, top: dt + 92.5, width: 55, height: 70.5 },
        "well-pipette": { left: dl - 47, top: dt + 6.5, width: well, height: well },
        "well-beaker": { left: dl - 71, top: dt + 92.5, width: well, height: well },
        "well-flask": { left: dl - 47, top: db - 6.5 - well, width: well, height: well },
        "well-chart": { left: dr + 47 - well, top: dt + 6.5, width: well, height: well },
        "well-culture": { left: dr + 47 - well, top: db - 6.5 - well, width: well, height: well },
        "scope-bank": { left: (BOX_WIDTH - 300) / 2, top: bankCentre - 71, width: 300, height: 142 },
        "slider-bank": { left: (BOX_WIDTH - 268) / 2, top: bankCentre - 72, width: 268, height: 144 },
        "ground-slider-bank": { left: (BOX_WIDTH - 274) / 2, top: bankCentre - 68, width: 274, height: 136 },
        "pipette-view": { left: (BOX_WIDTH - 300) / 2, top: db + 16, width: 300, height: 300 },
        "chart-view": { left: (BOX_WIDTH - 300) / 2, top: db + 16, width: 300, height: 300 },
        "preset-bank": { left: (BOX_WIDTH - 300) / 2, top: db + 166 - 150, width: 300, height: 300 },
        "keyboard": { left: (BOX_WIDTH - 300) / 2, top: db + 174, width: 300, height: 140 },
        "host-paused": { left: dl + size / 2 - 92, top: dt + size / 2 - 26, width: 184, height: 52 },
    };
}

/** Applies the geometry to the elements that exist, and the scale to the box. */
export function applyLayout (doc, win)
{
    const geometry = shellGeometry ();
    for (const [id, g] of Object.entries (geometry))
    {
        const el = doc.getElementById (id);
        if (! el)
            continue;
        el.style.left = g.left + "px";
        el.style.top = g.top + "px";
        el.style.width = g.width + "px";
        el.style.height = g.height + "px";
    }
    const box = doc.getElementById ("design-box");
    if (box)
        box.style.setProperty ("--ui-scale", String (layoutScale (win.innerWidth, win.innerHeight)));
}

/** Keeps the layout fitted to the window. */
export function startLayout (doc, win)
{
    applyLayout (doc, win);
    win.addEventListener ("resize", () => applyLayout (doc, win));
}
