// One step of the end-to-end run of the culture and pipette pages inside the real editor.
// brivola-host evaluates this script again and again (--eval-file, --wait) in each of two
// editors that share one store; the driver (editor-e2e.mjs) puts `var ROLE = "saver";` or
// `var ROLE = "recaller";` in front of it. Each evaluation advances the role's steps as far as the
// published state allows, only through pointer events on the page's own controls, and returns the
// run's record as JSON text: { role, step, log, error }.
//
//   saver:    open the culture page, drag the dish onto slot SAVE_SLOT, see it filled, then see
//             it emptied again (by the other editor); read the chart once the other editor's
//             moon is discovered; hold the pipette page's preview button and hear note 60 start
//             and end.
//   recaller: open the culture page, see SAVE_SLOT filled (saved by the other editor), drag it
//             onto the dish (recall: the cells match the preset), drag it onto the bin (clear),
//             recall the seeded moon preset, open the pipette page, see the moon species
//             discovered there, drag it into the dish and see a new moon cell appear where it was dropped.

(function ()
{
    const SAVE_SLOT = 2;
    const MOON_SLOT = 7;
    const MOON_KEY = "moon|#AFB5BE";
    const doc = document;
    const backend = window.__JUCE__ && window.__JUCE__.backend;

    //==========================================================================
    // The record, kept in the page between evaluations.
    let run = window.__brivolaE2e;
    if (! run)
    {
        run = window.__brivolaE2e = { role: ROLE, step: "start", log: [], error: null, cells: [], sent: [] };
        const parse = (p) => (typeof p === "string" ? JSON.parse (p) : p);
        // Every moon cell id ever published with the place where it was first seen, so that a
        // dropped cell counts even if it merges soon after.
        run.moonIds = new Map ();
        const take = (cells) =>
        {
            run.cells = cells;
            for (let i = 0; i + 13 <= cells.length; i += 13)
                if (cells[i + 6] === 14 && cells[i + 4] === 3 && cells[i + 5] === 1 && ! run.moonIds.has (cells[i]))
                    run.moonIds.set (cells[i], [cells[i + 1], cells[i + 2]]);
        };
        backend.addEventListener ("frame", (p) =>
        {
            p = parse (p);
            if (p && p.cells && Array.isArray (p.cells.cells))
                take (p.cells.cells);
            if (p && p.state && Number.isFinite (p.state.note))
                run.note = p.state.note;
        });
        backend.addEventListener ("pipette", (p) =>
        {
            p = parse (p);
            if (p && Array.isArray (p.discovered) && p.discovered.includes (MOON_KEY))
                run.moonSeen = true;
        });
        backend.addEventListener ("cells", (p) => { p = parse (p); if (p && Array.isArray (p.cells)) take (p.cells); });
        const emit = backend.emitEvent.bind (backend);
        backend.emitEvent = (name, payload) =>
        {
            if (! ["stir", "stirring", "scopeOn"].includes (name))
                run.sent.push ([name, payload]);
            return emit (name, payload);
        };
    }
    const note = (text) => run.log.push (Math.round (performance.now ()) + " " + run.step + ": " + text);
    const go = (step, text) => { note (text); run.step = step; };

    //==========================================================================
    // Pointer gestures made of the events a real pointer sends.
    const centre = (el) =>
    {
        const r = el.getBoundingClientRect ();
        return [r.left + r.width / 2, r.top + r.height / 2];
    };
    const pointer = (type, target, [x, y]) => target.dispatchEvent (new PointerEvent (type, {
        bubbles: true, cancelable: true, composed: true, pointerId: 41, pointerType: "mouse", isPrimary: true,
        button: type === "pointermove" ? -1 : 0, buttons: type === "pointerup" ? 0 : 1, clientX: x, clientY: y }));
    function drag (source, from, to)
    {
        pointer ("pointerdown", source, from);
        for (let k = 1; k <= 12; ++k)
            pointer ("pointermove", source, [from[0] + (to[0] - from[0]) * k / 12, from[1] + (to[1] - from[1]) * k / 12]);
        pointer ("pointerup", source, to);
    }
    // The same over 0.75 s of real time, slowing down at the end (a gentle drop).
    function dragSlowly (source, from, to)
    {
        pointer ("pointerdown", source, from);
        const steps = 25;
        for (let k = 1; k <= steps; ++k)
        {
            const t = 1 - Math.pow (1 - k / steps, 3);
            setTimeout (() => pointer ("pointermove", source, [from[0] + (to[0] - from[0]) * t, from[1] + (to[1] - from[1]) * t]), 30 * k);
        }
        setTimeout (() => pointer ("pointerup", source, to), 30 * steps + 60);
    }

    const slot = (i) => doc.querySelector ('#preset-bank .preset-slot[data-slot="' + i + '"]');
    const filled = (i) => slot (i).classList.contains ("is-filled");
    const dish = doc.getElementById ("petri-dish");
    // The cells a slot shows, back in dish coordinates from its dots (centre r + 0.9 x r, r = 25).
    const slotCells = (i) => [...slot (i).querySelectorAll (".mini-cell")].map ((dot) => ({
        x: (parseFloat (dot.style.left) + parseFloat (dot.style.width) / 2 - 25) / 22.5,
        y: (parseFloat (dot.style.top) + parseFloat (dot.style.height) / 2 - 25) / 22.5,
    }));
    // Live cells of the dish: [id, x, y, mass, row, col, motif, ...] records of 13 numbers.
    const liveCells = () =>
    {
        const out = [];
        for (let i = 0; i + 13 <= run.cells.length; i += 13)
            if (! (run.cells[i + 10] > 0))
                out.push (run.cells.slice (i, i + 13));
        return out;
    };
    const moonCells = () => liveCells ().filter ((c) => c[6] === 14 && c[4] === 3 && c[5] === 1).length;
    const mode = () => doc.getElementById ("btn-culture").classList.contains ("is-active") ? "culture"
                     : doc.getElementById ("btn-pipette").classList.contains ("is-active") ? "pipette" : "other";

    try
    {
        for (let guard = 0; guard < 4; ++guard)
        {
            const before = run.step;
            if (run.step === "start")
            {
                // The round buttons act only once the page has revealed its controls.
                if (mode () !== "culture")
                    doc.getElementById ("btn-culture").click ();
                if (mode () === "culture")
                    go ("culture", "culture page opened");
            }
            else if (ROLE === "saver")
            {
                if (run.step === "culture" && liveCells ().length > 0 && mode () === "culture")
                {
                    const [x, y] = centre (dish);
                    drag (dish, [x, y], centre (slot (SAVE_SLOT)));
                    run.savedCells = liveCells ().length;
                    go ("saving", "dragged the dish (" + run.savedCells + " cells) onto slot " + SAVE_SLOT);
                }
                else if (run.step === "saving" && filled (SAVE_SLOT))
                    go ("saved", "slot " + SAVE_SLOT + " shows " + slot (SAVE_SLOT).querySelectorAll (".mini-cell").length + " cells");
                else if (run.step === "saved" && ! filled (SAVE_SLOT))
                {
                    doc.getElementById ("btn-chart").click ();
                    go ("chart", "slot " + SAVE_SLOT + " emptied by the other editor; chart page opened");
                }
                else if (run.step === "chart")
                {
                    // The statistics and the discoveries of both instances, in the chart's formats.
                    const values = [...doc.querySelectorAll ("#chart-view .chart-value")].map ((el) => el.textContent);
                    const discovered = parseInt (values[3], 10);
                    if (values[0] === "1.0.0" && /^\d+h\d+m$/.test (values[1]) && /^\d+$/.test (values[2])
                        && /^\d+ \/ \?\?$/.test (values[3]) && discovered >= 1 && run.moonSeen)
                    {
                        doc.getElementById ("btn-pipette").click ();
                        go ("preview", "chart reads " + values.join (", ") + "; pipette page opened");
                    }
                }
                else if (run.step === "preview" && mode () === "pipette")
                {
                    pointer ("pointerdown", doc.querySelector ("#pipette-view .pipette-preview"), [0, 0]);
                    go ("previewing", "pressed the preview button");
                }
                else if (run.step === "previewing" && run.note === 60)
                {
                    pointer ("pointerup", doc.querySelector ("#pipette-view .pipette-preview"), [0, 0]);
                    go ("releasing", "the processor plays note 60; released the button");
                }
                else if (run.step === "releasing" && run.note === -1)
                    go ("done", "the note has ended");
            }
            else
            {
                if (run.step === "culture" && filled (SAVE_SLOT) && mode () === "culture")
                {
                    run.recallCells = slotCells (SAVE_SLOT);
                    drag (slot (SAVE_SLOT), centre (slot (SAVE_SLOT)), centre (dish));
                    go ("recalling", "saw slot " + SAVE_SLOT + " filled by the other editor; dragged it onto the dish");
                }
                else if (run.step === "recalling")
                {
                    // The recalled cells stand where they were saved (x, y within a small drift).
                    const live = liveCells ();
                    const matched = run.recallCells.filter ((p) => live.some ((c) => Math.hypot (c[1] - p.x, c[2] - p.y) < 0.15));
                    if (live.length === run.recallCells.length && matched.length === run.recallCells.length)
                    {
                        drag (slot (SAVE_SLOT), centre (slot (SAVE_SLOT)), centre (doc.querySelector ("#preset-bank .preset-clear")));
                        go ("clearing", "the dish holds the " + live.length + " recalled cells; dragged slot " + SAVE_SLOT + " onto the bin");
                    }
                }
                else if (run.step === "clearing" && ! filled (SAVE_SLOT))
                {
                    drag (slot (MOON_SLOT), centre (slot (MOON_SLOT)), centre (dish));
                    go ("recallMoon", "slot " + SAVE_SLOT + " cleared; recalled the moon preset of slot " + MOON_SLOT);
                }
                else if (run.step === "recallMoon" && moonCells () > 0)
                {
                    doc.getElementById ("btn-pipette").click ();
                    if (mode () === "pipette")
                        go ("pipette", moonCells () + " moon cells in the dish; pipette page opened");
                }
                else if (run.step === "pipette" && mode () === "pipette")
                {
                    const entry = doc.querySelector ('#pipette-view .species-dish[data-key="' + MOON_KEY + '"]');
                    if (entry)
                    {
                        run.moonsBefore = [...run.moonIds.keys ()];
                        dragSlowly (entry, centre (entry), centre (dish));
                        go ("dropping", MOON_KEY + " is in the pipette; dragging it into the dish (" + moonCells () + " moons)");
                    }
                }
                else if (run.step === "dropping")
                {
                    // The drop point is the dish's centre: the new moon appears near it.
                    const drop = run.sent.find (([name]) => name === "pipetteDrop");
                    const fresh = [...run.moonIds].filter (([id]) => ! run.moonsBefore.includes (id));
                    const near = fresh.find (([, p]) => drop && Math.hypot (p[0] - drop[1].x, p[1] - drop[1].y) < 0.3);
                    if (near)
                        go ("done", "moon cell " + near[0] + " appeared at " + near[1].map ((v) => v.toFixed (2)) + " ("
                                    + moonCells () + " moons now)");
                }
            }
            if (run.step === before)
                break;
        }
    }
    catch (error)
    {
        run.error = run.step + ": " + String (error) + " " + String (error && error.stack);
    }
    return JSON.stringify ({ role: run.role, step: run.step, log: run.log, error: run.error, sent: run.sent });
}) ()
