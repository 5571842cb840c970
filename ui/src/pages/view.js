// The pipette, culture and chart pages and the discovery announcement, mounted into the shell.
// Receives the accepted "pipette", "presets" and "stats" messages and the shell's page switches.

import { createPipetteBook, createTokenCounter } from "./book.js";
import { readSlots } from "./slots.js";
import { createStage } from "./dom.js";
import { createPipettePage } from "./pipette.js";
import { createCulturePage } from "./culture.js";
import { createChartPage } from "./chartPage.js";
import { createAnnouncer } from "./announce.js";
import { mountSymbols } from "../dish/shapes.js";

/**
    Mounts the pages. shell: { doc, send, now, gestures, state: { ready, mode } }; dish: the dish
    view (its hooks addRipple, speciesInDish, presetCells, dishBox, pipetteDropped, presetRecalled
    are used when present). Returns the shell's page methods: pipette(payload), presets(payload),
    stats(payload), opened(page), closed(page).
*/
export function mountPages (shell, dish = {})
{
    const doc = shell.doc || globalThis.document;
    const byId = (id) => doc.getElementById (id);
    const send = shell.send || (() => {});
    const now = shell.now || (() => performance.now ());
    const state = shell.state || { ready: true, mode: "home" };
    const gestures = shell.gestures || { add () {} };
    const dishElement = shell.dishElement || byId ("petri-dish");
    mountSymbols (doc);

    const stage = createStage (doc);
    const book = createPipetteBook ();
    const tokens = createTokenCounter ();
    let stats = { incubation: 0, spawn: 0 };

    const pipetteButton = byId ("btn-pipette");
    const updateMark = () => pipetteButton?.classList.toggle ("has-new", book.showsNewMark ());
    const dishBox = () => (typeof dish.dishBox === "function" ? dish.dishBox () : dishElement.getBoundingClientRect ());
    const call = (name) => () => (typeof dish[name] === "function" ? dish[name] () : undefined);

    const pipette = createPipettePage (byId ("pipette-view"), {
        doc, stage, book, send, now, gestures,
        isOpen: () => state.mode === "pipette",
        isReady: () => state.ready,
        dishBox,
        onDropped: call ("pipetteDropped"),
        onSeen: updateMark,
    });

    const culture = createCulturePage (byId ("preset-bank"), {
        doc, stage, send, now, gestures, tokens,
        isOpen: () => state.mode === "culture",
        dish: {
            element: dishElement,
            box: dishBox,
            presetCells: () => (typeof dish.presetCells === "function" ? dish.presetCells () : []),
            presetRecalled: call ("presetRecalled"),
        },
    });

    const chart = createChartPage (byId ("chart-view"), doc);

    const announcer = createAnnouncer ({
        doc, stage, book, dish,
        label: byId ("specimen-label"),
        button: pipetteButton,
        isDark: () => doc.body.classList.contains ("is-theme-dark"),
        onMark: updateMark,
    });

    const drawChart = () => chart.draw (stats, book.count ());
    drawChart ();

    return {
        /** An accepted "pipette" message. */
        pipette (payload)
        {
            const { announce, changed } = book.receive (payload);
            announcer.announce (announce);
            updateMark ();
            if (! changed)
                return;
            if (state.mode === "pipette")
                pipette.draw ();
            if (state.mode === "chart")
                drawChart ();
        },
        /** An accepted "presets" message. */
        presets (payload)
        {
            culture.setSlots (readSlots (payload));
        },
        /** An accepted "stats" message. */
        stats (payload)
        {
            stats = { incubation: payload.incubation, spawn: payload.spawn };
            if (state.mode === "chart")
                drawChart ();
        },
        /** A page opens (its panel shows after the shell's delayed reveal). */
        opened (page)
        {
            if (page === "pipette")
                pipette.opened ();
            else if (page === "chart")
                drawChart ();
        },
        /** A page closes. */
        closed (page)
        {
            if (page === "pipette")
                pipette.closed ();
            else if (page === "culture")
                culture.closed ();
        },
    };
}
