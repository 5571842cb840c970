// The page's instruments, mounted by the shell: the scope screens ("scope", scope visibility), the
// liquid's window motion and spill feed ("window"), and the light ("light").

import { createScopeView } from "./view.js";
import { checkScope, checkWindow, checkLight } from "./check.js";
import { createLightView } from "../light/view.js";
import { startLiquidFeed } from "../liquid/feed.js";

function canvasMaker (doc)
{
    return (w, h) =>
    {
        const c = doc.createElement ("canvas");
        c.width = w;
        c.height = h;
        return c;
    };
}

/**
    Mounts the instruments. shell: doc, now (the shell's clock); dish: the dish view (light and
    liquid hooks). Returns the shell's instrument methods: scope, window, light, scopeShown.
*/
export function mountInstruments (shell, dish)
{
    const doc = shell.doc;
    const win = doc.defaultView;
    const now = shell.now;
    const requestFrame = (fn) => win.requestAnimationFrame (fn);
    const waveCanvas = doc.getElementById ("scope-wave"), barsCanvas = doc.getElementById ("scope-bars");
    const scope = waveCanvas && barsCanvas
        ? createScopeView ({ waveCanvas, barsCanvas, now, requestFrame, makeCanvas: canvasMaker (doc) })
        : null;
    const light = createLightView ({ doc, win, now, requestFrame, onDirection: (d) => dish.light && dish.light (d) });
    const feed = startLiquidFeed ({ doc, win, dish, now });
    win.addEventListener ("resize", () => light.resized ());

    // Bank and page switches show other controls: the drops' floors are measured again.
    if (typeof MutationObserver === "function")
    {
        const watched = [...doc.querySelectorAll ("#design-box .bank, #design-box .page-panel, #keyboard")];
        const observer = new MutationObserver (() => feed.controlsChanged ());
        for (const el of watched)
            observer.observe (el, { attributes: true, attributeFilter: ["class"] });
    }

    return {
        scope (p)
        {
            const checked = checkScope (p);
            if (checked && scope)
                scope.receive (checked);
        },
        window (p)
        {
            const checked = checkWindow (p);
            if (checked)
                feed.motion (checked.dx, checked.dy);
        },
        light (p)
        {
            const checked = checkLight (p);
            if (checked)
                light.receive (checked);
        },
        scopeShown (visible)
        {
            if (scope)
                scope.shown (visible);
        },
    };
}
