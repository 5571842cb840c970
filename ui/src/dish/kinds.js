// The one table of message kinds between the dish view on the main thread and its renderer, which
// runs either in a worker (messages { kind, data }) or on the main thread (direct calls with the
// same kinds). Both sides import this table, so they cannot drift apart.

//==============================================================================
/** Main thread to renderer. */
export const TO_RENDERER = Object.freeze ({
    /** { canvas, spill, dpr, replay: [[kind, data], …], started } — creates the worker's renderer. */
    init: "init",
    /** Begin drawing (the view's first reveal). */
    start: "start",
    /** { cells } — a checked "cells" array. */
    cells: "cells",
    /** { levels } — checked "voices" level pairs. */
    voices: "voices",
    /** { note } — the processor note; the cells shiver while it is ≥ 0. */
    note: "note",
    /** A ripple description (see ripples.js makeRipple) with an optional cap. */
    ripple: "ripple",
    /** { phase: "down" | "move" | "poke" | "up", x, y } in dish units — the liquid's stir point. */
    stir: "stir",
    /** { tint: { color: [r, g, b], alpha, origin?: [x, y] } } and/or { light: [lx, ly] }. */
    fx: "fx",
    /** { dark, light?: [lx, ly] } — theme and palette, discarding cached sprites. */
    cell: "cell",
    /** { what: "drop" | "reroll" | "recall", ms? } — opens an event window at the renderer's now. */
    mark: "mark",
    /** { dpr } — resizes the drawing surface. */
    resize: "resize",
    /** { visible } — pauses the frame loop while the page is hidden. */
    visible: "visible",
    // The liquid surface and the spill (drawn by the same renderer).
    shake: "shake",
    water: "water",
    motion: "motion",
    spillGeometry: "spillGeometry",
    spillObstacles: "spillObstacles",
    spillPoke: "spillPoke",
});

/** Renderer to main thread. */
export const FROM_RENDERER = Object.freeze ({
    /** The worker's renderer is drawing. */
    started: "started",
    /** { message } — the worker's renderer could not start. */
    failed: "failed",
    /** { moving, slope: [sx, sy] } — the liquid's state for the page. */
    liquid: "liquid",
    /** { times: [[startMs since time origin, durationMs], …] } — the renderer's own frame times. */
    frameTimes: "frameTimes",
});
