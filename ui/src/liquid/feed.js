// The main thread's side of the liquid and the spill: the window's motion, the spill canvas's
// place and size, the outlines of the controls the drops rest on, and pointer wipes across empty
// frame area, all passed to the dish renderer (in its worker or on the main thread).

export const OBSTACLE_SELECTOR = "#design-box .raised, #design-box .recess, #design-box .bank, #keyboard, #design-box .page-panel";
const MEASURE_WHILE_MOVING_MS = 500;
const MEASURE_AFTER_RELEASE_MS = 400;
const MAX_OBSTACLES = 64;
const DISH_UNITS = 300, INNER_UNITS = 134;

/** The spill canvas's own look: over the whole window, above the frame, never taking the pointer. */
export function styleSpillCanvas (canvas)
{
    const s = canvas.style;
    s.position = "fixed";
    s.left = "0";
    s.top = "0";
    s.width = "100%";
    s.height = "100%";
    s.pointerEvents = "none";
    s.zIndex = "40";
}

/** Control outlines (CSS pixels) that are showing. */
export function measureObstacles (doc)
{
    const rects = [];
    for (const el of doc.querySelectorAll (OBSTACLE_SELECTOR))
    {
        if (el.closest (".is-hidden, .init-hidden"))
            continue;
        const r = el.getBoundingClientRect ();
        if (r.width < 4 || r.height < 4)
            continue;
        rects.push ({ x: r.left, y: r.top, w: r.width, h: r.height });
        if (rects.length >= MAX_OBSTACLES)
            break;
    }
    return rects;
}

/**
    Starts the feed. options: doc, win, dish (the dish view with liquid(kind, data)), now() in ms.
    Returns { motion(dx, dy), controlsChanged() }.
*/
export function startLiquidFeed ({ doc, win, dish, now })
{
    let lastMeasure = -Infinity, releaseTimer = 0, pending = 0;
    const send = (kind, data) => dish.liquid && dish.liquid (kind, data);

    const spillCanvas = () => doc.getElementById ("spill-canvas");
    const styleSpill = () =>
    {
        const c = spillCanvas ();
        if (c && c.style.position !== "fixed")
            styleSpillCanvas (c);
    };

    function geometry ()
    {
        styleSpill ();
        const dishEl = doc.getElementById ("petri-dish");
        if (! dishEl)
            return;
        const r = dishEl.getBoundingClientRect ();
        if (! (r.width > 0))
            return;
        send ("spillGeometry", {
            width: win.innerWidth, height: win.innerHeight, dpr: win.devicePixelRatio || 1,
            dish: { x: r.left + r.width / 2, y: r.top + r.height / 2, r: r.width / DISH_UNITS * INNER_UNITS },
        });
    }

    function obstacles ()
    {
        lastMeasure = now ();
        send ("spillObstacles", { rects: measureObstacles (doc) });
    }

    function measureSoon (ms)
    {
        clearTimeout (pending);
        pending = setTimeout (() => { geometry (); obstacles (); }, ms);
    }

    win.addEventListener ("resize", () => measureSoon (50));
    win.addEventListener ("pointerup", () =>
    {
        clearTimeout (releaseTimer);
        releaseTimer = setTimeout (obstacles, MEASURE_AFTER_RELEASE_MS);
    });

    // A pointer dragged across empty frame area wipes the drops it touches aside.
    let last = null;
    doc.addEventListener ("pointermove", (e) =>
    {
        if (! (e.buttons & 1))
        {
            last = null;
            return;
        }
        const t = e.target;
        const empty = t === doc.body || t === doc.documentElement || t?.id === "app-frame" || t?.id === "design-box"
                      || t?.closest?.("#app-frame");
        if (empty && last)
            send ("spillPoke", { x: e.clientX, y: e.clientY, dx: e.clientX - last.x, dy: e.clientY - last.y });
        last = { x: e.clientX, y: e.clientY };
    });

    measureSoon (0);
    return {
        /** The editor window moved by (dx, dy) pixels. */
        motion (dx, dy)
        {
            send ("motion", { dx, dy });
            if (now () - lastMeasure >= MEASURE_WHILE_MOVING_MS)
                obstacles ();
        },
        /** A bank or page change shows new controls: measure once they are in place. */
        controlsChanged ()
        {
            measureSoon (200);
        },
    };
}
