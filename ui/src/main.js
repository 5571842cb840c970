// The page's start-up: builds the shell, registers every listener, reveals, sends "ready".

import { emit, listen } from "./bridge.js";
import { createReceiver, NATIVE_MESSAGES } from "./protocol.js";
import { startLayout } from "./layout.js";
import { createThemeSwitch } from "./theme.js";
import { createControls } from "./controls.js";
import { createKeyboard } from "./keyboard.js";
import { createShuffle } from "./shuffle.js";
import { createPausedNotice, createStorageLine } from "./notices.js";
import { createGestureRegistry, watchForLostPointer } from "./gestures.js";
import { createRevealer, setShown } from "./reveal.js";
import { wireButton } from "./buttons.js";
import { bankForPage, pressButton, scopeVisible } from "./navigation.js";
import { dishTint, waveOrigin } from "./tint.js";
import { nowMs } from "./motion.js";
import { nullDishView, nullPages, nullInstruments } from "./views.js";
import { mountDishView } from "./dish/view.js";
import { mountPages } from "./pages/view.js";
import { mountInstruments } from "./scope/instruments.js";

const doc = document;
const byId = (id) => doc.getElementById (id);
const requestFrame = (fn) => requestAnimationFrame (fn);

//==============================================================================
// Page state owned by the shell.
const state = {
    ready: false,
    mode: "home",
    bank: "scope",
    banksRevealed: false,
};

const gestures = createGestureRegistry (() => emit ("noteOff", {}));

/** What the views get from the shell. */
const shell = {
    doc,
    dishElement: byId ("petri-dish"),
    send: emit,
    now: nowMs,
    gestures,
    state,
    isCulturePage: () => state.mode === "culture",
};

//==============================================================================
// Mount points of the views: the dish (src/dish/), the pipette, culture and chart pages
// (src/pages/), the scope, liquid and lighting (src/scope/). A view that fails to start is
// replaced by its stand-in (views.js), so the shell, its controls and "ready" still work.
const mountOr = (mount, standIn, name) =>
{
    try
    {
        return mount ();
    }
    catch (error)
    {
        console.error ("Brivola: the " + name + " view failed to start:", error);
        return standIn ();
    }
};
const dish = mountOr (() => mountDishView (shell), nullDishView, "dish");
const pages = mountOr (() => mountPages (shell, dish), nullPages, "pages");
const instruments = mountOr (() => mountInstruments (shell, dish), nullInstruments, "scope");

//==============================================================================
doc.addEventListener ("dragover", (e) => { e.preventDefault (); e.dataTransfer && (e.dataTransfer.dropEffect = "none"); });
doc.addEventListener ("drop", (e) => e.preventDefault ());
doc.addEventListener ("selectstart", (e) => e.preventDefault ());

startLayout (doc, window);
watchForLostPointer (window, gestures);

let dark = false;
const theme = createThemeSwitch ({
    doc,
    element: byId ("btn-theme"),
    send: (value) => emit ("theme", { value }),
    onColours: (isDarkNow) =>
    {
        dark = isDarkNow;
        dish.theme (dark);
        if (controls)
            updateTint (null);
    },
    requestFrame,
    now: nowMs,
});

let controls = null;
const updateTint = (originIndex) =>
{
    const tint = dishTint (controls.values, dark);
    if (tint)
    {
        tint.origin = null;
        if (originIndex !== null)
        {
            const d = byId ("petri-dish").getBoundingClientRect ();
            const c = controls.element (originIndex).getBoundingClientRect ();
            tint.origin = waveOrigin (c.left + c.width / 2 - (d.left + d.width / 2),
                                      c.top + c.height / 2 - (d.top + d.height / 2));
        }
    }
    dish.tint (tint);
};

controls = createControls ({
    doc,
    send: emit,
    now: nowMs,
    requestFrame,
    blocked: () => state.mode === "culture",
    onValues: (_values, originIndex) => updateTint (originIndex),
    gestures,
});
updateTint (null);

const keyboard = createKeyboard ({ doc, element: byId ("keyboard"), send: emit, now: nowMs, gestures });

createShuffle ({
    doc,
    element: byId ("arc-slot"),
    send: emit,
    now: nowMs,
    requestFrame,
    isReady: () => state.ready,
    onReroll: (ms) => dish.jackpot (ms),
    gestures,
});

const paused = createPausedNotice (byId ("host-paused"));
const storageLine = createStorageLine (doc);

//==============================================================================
// Banks and pages.
const bankElements = { scope: byId ("scope-bank"), beaker: byId ("slider-bank"), ground: byId ("ground-slider-bank") };
const pageElements = { pipette: byId ("pipette-view"), chart: byId ("chart-view"), culture: byId ("preset-bank") };
const buttonFor = { beaker: byId ("btn-beaker"), ground: byId ("home-flip"),
                    pipette: byId ("btn-pipette"), chart: byId ("btn-chart"), culture: byId ("btn-culture") };
const keyboardElement = byId ("keyboard");
const panels = createRevealer ();

const markActive = () =>
{
    for (const [name, el] of Object.entries (buttonFor))
        el.classList.toggle ("is-active", state.mode === "home" ? name === state.bank : name === state.mode);
};

const allPanels = () => [...Object.values (bankElements), ...Object.values (pageElements), keyboardElement];

const showBank = (bank) =>
{
    markActive ();
    panels.reveal ({
        hide: allPanels (),
        show: [bankElements[bank], keyboardElement],
        stillValid: () => state.mode === "home" && state.bank === bank,
    });
};

const showPage = (page) =>
{
    markActive ();
    pages.opened (page);
    panels.reveal ({
        hide: allPanels (),
        show: [pageElements[page]],
        stillValid: () => state.mode === page,
    });
};

const press = (button) =>
{
    if (! state.ready)
        return;
    const before = state.mode;
    const result = pressButton (state, button);
    Object.assign (state, result.state);
    if (before !== "home" && before !== state.mode)
        pages.closed (before);
    if (result.show?.bank)
        showBank (result.show.bank);
    else if (result.show?.page)
        showPage (result.show.page);
    for (const [name, payload] of result.sends)
        emit (name, payload);
};

const frameTools = { now: nowMs, requestFrame };
wireButton (byId ("btn-beaker"), () => press ("beaker"), frameTools);
wireButton (byId ("home-flip"), () => press ("flask"), frameTools);
wireButton (byId ("btn-pipette"), () => press ("pipette"), frameTools);
wireButton (byId ("btn-chart"), () => press ("chart"), frameTools);
wireButton (byId ("btn-culture"), () => press ("culture"), frameTools);

// Scope visibility, checked every animation frame.
let scopeWasVisible = false;
const watchScope = () =>
{
    const visible = scopeVisible (state);
    if (visible !== scopeWasVisible)
    {
        scopeWasVisible = visible;
        instruments.scopeShown (visible);
        emit ("scopeOn", { on: visible });
    }
    requestFrame (watchScope);
};

//==============================================================================
// Native messages.
const receive = createReceiver ({
    handlers: {
        state: (p) =>
        {
            keyboard.setProcessorNote (p.note);
            dish.note (p.note);
        },
        fx: (p) => controls.setFromNative (p),
        ui: (p) =>
        {
            theme.setFromNative (p.theme);
            const bank = bankForPage (p.page);
            if (bank === state.bank)
                return;
            state.bank = bank;
            // Switched at once (no "uiPage") once the banks are showing; before that remembered.
            if (state.banksRevealed && state.mode === "home")
            {
                markActive ();
                setShown (allPanels (), false);
                setShown ([bankElements[bank], keyboardElement], true);
            }
        },
        hostPaused: (p) => paused.set (p.paused),
        storageError: (text) => storageLine.set (text),
        cells: (p) => dish.cells (p),
        voices: (p) => dish.voices (p),
        pipette: (p) => pages.pipette (p),
        presets: (p) => pages.presets (p),
        stats: (p) => pages.stats (p),
        scope: (p) => instruments.scope (p),
        window: (p) => instruments.window (p),
        light: (p) => instruments.light (p),
    },
    log: (name, reason) => console.warn ("Backend event rejected:", name, reason),
    now: nowMs,
});

for (const name of NATIVE_MESSAGES)
    listen (name, (payload) => receive (name, payload));

//==============================================================================
// First reveal after two animation frames.
requestFrame (() => requestFrame (() =>
{
    dish.start ();
    state.ready = true;
    state.banksRevealed = true;
    for (const el of doc.querySelectorAll (".init-hidden"))
        el.classList.remove ("init-hidden");
    markActive ();
    setShown (allPanels (), false);
    setShown ([bankElements[state.bank], keyboardElement], true);
    watchScope ();
}));

emit ("ready", {});
