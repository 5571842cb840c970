// The dish view on the main thread: places the renderer (in a worker when it can, else here),
// forwards the page's messages to it, and turns drags on the dish into stirring.

import { TO_RENDERER as K, FROM_RENDERER as B } from "./kinds.js";
import { createRenderer } from "./renderer.js";
import { readCells } from "./records.js";
import { speciesKey, speciesCode } from "./colors.js";
import { gesturePosition, toDish, CENTRE } from "./geometry.js";
import { mountSymbols } from "./shapes.js";

//==============================================================================
/** Milliseconds the worker has to report that it draws before the main thread takes over. */
const WORKER_START_MS = 4000;
/** Name of the page's own timing entries, one per drawn frame. */
export const FRAME_MEASURE = "dish-frame";
const MEASURE_LIMIT = 3600;
const LIQUID_KINDS = new Set ([K.shake, K.water, K.motion, K.spillGeometry, K.spillObstacles, K.spillPoke]);

/** The renderer's code as text, put into the page's script when it is built (null without it). */
function workerSource ()
{
    // eslint-disable-next-line no-undef
    return typeof __BRIVOLA_DISH_WORKER_SOURCE__ === "string" ? __BRIVOLA_DISH_WORKER_SOURCE__ : null;
}

function makeCanvas (doc, id)
{
    let canvas = doc.getElementById (id);
    if (! canvas)
    {
        canvas = doc.createElement ("canvas");
        canvas.id = id;
        canvas.setAttribute ("aria-hidden", "true");
    }
    return canvas;
}

//==============================================================================
/**
    Mounts the dish view in the shell's dish element. shell: { doc, dishElement, send, now,
    gestures, isCulturePage }. Returns the view's methods (see the shell's dish stand-in) plus the
    hooks the pipette, culture and liquid views use: addRipple, pipetteDropped, presetRecalled,
    speciesInDish, presetCells, dishBox, light, liquid, onLiquid, mode.
*/
export function mountDishView (shell)
{
    const doc = shell.doc || globalThis.document;
    const win = doc.defaultView || globalThis;
    const element = shell.dishElement || doc.getElementById ("petri-dish");
    const send = shell.send || (() => {});
    const isCulturePage = shell.isCulturePage || (() => false);

    const workerCanvas = makeCanvas (doc, "dish-worker-canvas");
    const mainCanvas = makeCanvas (doc, "visualizer-canvas");
    mainCanvas.style.display = "none";
    element.appendChild (workerCanvas);
    element.appendChild (mainCanvas);
    // The spill (drops over the whole window) is drawn by the renderer too; its look and size
    // belong to the liquid.
    let spillCanvas = makeCanvas (doc, "spill-canvas");
    let spillTransferred = false;
    doc.body.appendChild (spillCanvas);
    element.title = "Drag to stir";
    element.style.touchAction = "none";
    mountSymbols (doc);

    const latest = new Map ();      // the last message of each kind that carries state
    const keep = new Set ([K.cells, K.voices, K.note, K.cell, K.resize]);
    let tint = null, light = null;
    let started = false;
    let worker = null;
    let workerUrl = null;
    let workerTimer = 0;
    let renderer = null;
    let mode = "starting";
    let cells = [];
    const liquidListeners = [];
    let measures = 0;

    //==========================================================================
    // Frame timing as the page's own performance entries.

    function measure (start, duration)
    {
        try
        {
            if (++measures > MEASURE_LIMIT)
            {
                performance.clearMeasures (FRAME_MEASURE);
                measures = 1;
            }
            performance.measure (FRAME_MEASURE, { start, duration });
        }
        catch (error)
        {
            // Timing entries are a nicety; a browser without them draws all the same.
        }
    }

    function dpr ()
    {
        return win.devicePixelRatio || 1;
    }

    function replay ()
    {
        const list = [[K.resize, { dpr: dpr () }]];
        for (const [kind, data] of latest)
            if (kind !== K.resize)
                list.push ([kind, data]);
        const fx = {};
        if (tint)
            fx.tint = { color: tint.color, alpha: tint.alpha };
        if (light)
            fx.light = light;
        if (fx.tint || fx.light)
            list.push ([K.fx, fx]);
        return list;
    }

    //==========================================================================
    // Where the renderer runs.

    function startOnMainThread ()
    {
        if (renderer)
            return;
        workerCanvas.style.display = "none";
        mainCanvas.style.display = "";
        renderer = createRenderer ({
            canvas: mainCanvas,
            dpr: dpr (),
            post: fromRenderer,
            timing: measure,
        });
        mode = "main";
        if (spillTransferred)
        {
            // The worker took the first spill canvas with it: a fresh one takes its place.
            const fresh = doc.createElement ("canvas");
            fresh.id = spillCanvas.id;
            fresh.setAttribute ("aria-hidden", "true");
            fresh.style.cssText = spillCanvas.style.cssText;
            spillCanvas.replaceWith (fresh);
            spillCanvas = fresh;
            spillTransferred = false;
        }
        renderer.liquid.attachSpill (spillCanvas);
        for (const [kind, data] of replay ())
            renderer.receive (kind, data);
        if (started)
            renderer.start ();
    }

    function dropWorker ()
    {
        clearTimeout (workerTimer);
        if (worker)
        {
            worker.onmessage = null;
            worker.onerror = null;
            worker.terminate ();
        }
        worker = null;
        if (workerUrl)
            URL.revokeObjectURL (workerUrl);
        workerUrl = null;
    }

    function fallBack ()
    {
        dropWorker ();
        startOnMainThread ();
    }

    function fromRenderer (kind, data)
    {
        if (kind === B.frameTimes)
        {
            for (const [start, duration] of data.times)
                measure (start - performance.timeOrigin, duration);
        }
        else if (kind === B.liquid)
        {
            for (const fn of liquidListeners)
                fn (data);
        }
    }

    function startWorker ()
    {
        const source = workerSource ();
        if (win.__BRIVOLA_DISH_ON_MAIN || ! source || typeof win.Worker !== "function"
            || typeof win.OffscreenCanvas !== "function" || typeof workerCanvas.transferControlToOffscreen !== "function")
            return false;
        try
        {
            workerUrl = URL.createObjectURL (new Blob ([source], { type: "text/javascript" }));
            worker = new win.Worker (workerUrl);
            worker.onerror = (e) =>
            {
                if (e && e.preventDefault)
                    e.preventDefault ();
                if (mode !== "worker")
                    fallBack ();
            };
            worker.onmessage = (e) =>
            {
                const { kind, data } = e.data || {};
                if (kind === B.started)
                {
                    clearTimeout (workerTimer);
                    mode = "worker";
                }
                else if (kind === B.failed)
                {
                    fallBack ();
                }
                else
                {
                    fromRenderer (kind, data);
                }
            };
            const offscreen = workerCanvas.transferControlToOffscreen ();
            const spill = spillCanvas.transferControlToOffscreen ();
            spillTransferred = true;
            worker.postMessage ({ kind: K.init, data: { canvas: offscreen, spill, dpr: dpr (), replay: replay (), started } },
                                [offscreen, spill]);
            workerTimer = setTimeout (() =>
            {
                if (mode !== "worker")
                    fallBack ();
            }, WORKER_START_MS);
            mode = "starting";
            return true;
        }
        catch (error)
        {
            dropWorker ();
            return false;
        }
    }

    /** Sends one message of the kinds table to the renderer, wherever it runs. */
    function post (kind, data = {})
    {
        if (keep.has (kind))
            latest.set (kind, data);
        if (renderer)
            renderer.receive (kind, data);
        else if (worker)
            worker.postMessage ({ kind, data });
    }

    if (! startWorker ())
        startOnMainThread ();

    //==========================================================================
    // Stirring.

    let stirPointer = null;
    let last = null;

    const position = (e) => gesturePosition (e.clientX, e.clientY, element.getBoundingClientRect ());
    const dishUnits = ([x, y]) => ({ x: CENTRE + CENTRE * x, y: CENTRE + CENTRE * y });

    function endStir ()
    {
        if (stirPointer === null)
            return false;
        const id = stirPointer;
        stirPointer = null;
        last = null;
        try
        {
            if (element.hasPointerCapture && element.hasPointerCapture (id))
                element.releasePointerCapture (id);
        }
        catch (error)
        {
            // The capture is already gone.
        }
        post (K.stir, { phase: "up" });
        send ("stirring", { on: false });
        return false;
    }

    element.addEventListener ("pointerdown", (e) =>
    {
        if (stirPointer !== null || isCulturePage () || (e.button !== undefined && e.button > 0))
            return;
        const p = position (e);
        if (Math.hypot (p[0], p[1]) > 1)
            return;
        stirPointer = e.pointerId;
        last = p;
        try
        {
            element.setPointerCapture (e.pointerId);
        }
        catch (error)
        {
            // Without capture the stir still ends when the pointer leaves the dish.
        }
        post (K.stir, { phase: "down", ...dishUnits (p) });
        send ("stirring", { on: true });
    });

    element.addEventListener ("pointermove", (e) =>
    {
        if (e.pointerId !== stirPointer || isCulturePage ())
            return;
        const p = position (e);
        if (Math.hypot (p[0], p[1]) > 1)
        {
            endStir ();
            return;
        }
        send ("stir", { x: p[0], y: p[1], dx: p[0] - last[0], dy: p[1] - last[1] });
        last = p;
        post (K.stir, { phase: "move", ...dishUnits (p) });
    });

    for (const type of ["pointerup", "pointercancel", "lostpointercapture", "pointerleave"])
        element.addEventListener (type, (e) =>
        {
            if (e.pointerId === stirPointer)
                endStir ();
        });

    if (shell.gestures)
        shell.gestures.add ({ active: () => stirPointer !== null, end: endStir });

    doc.addEventListener ("visibilitychange", () => post (K.visible, { visible: doc.visibilityState !== "hidden" }));
    win.addEventListener ("resize", () =>
    {
        if (latest.get (K.resize)?.dpr !== dpr ())
            post (K.resize, { dpr: dpr () });
    });
    post (K.resize, { dpr: dpr () });

    //==========================================================================
    return {
        /** First reveal: begin drawing. */
        start ()
        {
            started = true;
            post (K.start);
        },
        /** An accepted "cells" message. */
        cells (payload)
        {
            cells = readCells (payload.cells);
            post (K.cells, { cells: payload.cells.slice () });
        },
        /** An accepted "voices" message. */
        voices (payload)
        {
            post (K.voices, { levels: payload.levels.slice () });
        },
        /** The processor note (−1 none): the cells shiver while one sounds. */
        note (n)
        {
            post (K.note, { note: Number.isFinite (n) ? n : -1 });
        },
        /** The dish tint { r, g, b, a, origin: { x, y } | null } or null (clear). */
        tint (t)
        {
            tint = t ? { color: [t.r, t.g, t.b], alpha: t.a } : { color: tint ? tint.color : [0, 0, 0], alpha: 0 };
            const message = { color: tint.color, alpha: tint.alpha };
            if (t && t.origin && Number.isFinite (t.origin.x) && Number.isFinite (t.origin.y))
                message.origin = [t.origin.x, t.origin.y];
            post (K.fx, { tint: message });
        },
        /** The theme changed side. */
        theme (dark)
        {
            post (K.cell, { dark: !! dark });
        },
        /** "reroll" was sent: newborn motif cells win jackpot rings for ms. */
        jackpot (ms)
        {
            post (K.mark, { what: "reroll", ms });
        },
        /** A species was dropped into the dish: its cell splashes when it appears within 600 ms. */
        pipetteDropped ()
        {
            post (K.mark, { what: "drop" });
        },
        /** A preset was recalled: appearing cells get no rings for 1500 ms. */
        presetRecalled ()
        {
            post (K.mark, { what: "recall" });
        },
        /** The cells' light direction (unit vector along which light falls, 1, 1 from the upper left). */
        light (direction)
        {
            light = direction;
            post (K.fx, { light: direction });
        },
        /** Adds a ripple (see ripples.js makeRipple; x, y in dish units) with an optional cap. */
        addRipple (spec, cap = 0)
        {
            post (K.ripple, { ...spec, cap });
        },
        /** The species keys of the cells now in the dish, with their positions (dish coordinates,
            dish units and page pixels). */
        speciesInDish ()
        {
            const box = element.getBoundingClientRect ();
            return cells.map ((c) =>
            {
                const [ux, uy] = toDish (c.x, c.y);
                return {
                    key: speciesKey (c.motif, c.row, c.col), id: c.id, x: c.x, y: c.y, unitsX: ux, unitsY: uy,
                    pageX: box.left + ux / 300 * box.width, pageY: box.top + uy / 300 * box.height,
                };
            });
        },
        /** The non-dying cells for a preset save: x, y, mass and species colour code. */
        presetCells ()
        {
            return cells.filter ((c) => ! (c.fade > 0)).map ((c) => ({ x: c.x, y: c.y, mass: c.mass, color: speciesCode (c.row, c.col) }));
        },
        /** The dish element's box in page pixels. */
        dishBox: () => element.getBoundingClientRect (),
        /** Forwards one liquid or spill message (shake, water, motion, spillGeometry,
            spillObstacles, spillPoke) to the renderer. */
        liquid (kind, data = {})
        {
            if (LIQUID_KINDS.has (kind))
                post (kind, data);
        },
        /** Calls fn({ moving, slope }) whenever the renderer reports the liquid's state. */
        onLiquid (fn)
        {
            liquidListeners.push (fn);
        },
        /** Where the renderer runs: "worker", "main" or "starting". */
        mode: () => mode,
    };
}
