// Ending every gesture at once when the page loses the pointer (blur, hide, unload, cancel).

/**
    A registry of gestures. Each registered gesture offers active() and end(); end() ends it at
    once and returns true when it was holding a note. endAll() sends one "noteOff" if any was.
*/
export function createGestureRegistry (sendNoteOff)
{
    const gestures = [];
    return {
        add (gesture)
        {
            gestures.push (gesture);
        },
        anyActive: () => gestures.some ((g) => g.active ()),
        endAll ()
        {
            let noteWasDown = false;
            for (const g of gestures)
                if (g.end ())
                    noteWasDown = true;
            if (noteWasDown)
                sendNoteOff ();
            return noteWasDown;
        },
    };
}

/** Hooks the registry to the window's blur, hide, unload, pointer cancel and lost capture. */
export function watchForLostPointer (win, registry)
{
    const endAll = () => registry.endAll ();
    win.addEventListener ("blur", endAll);
    win.addEventListener ("pagehide", endAll);
    win.addEventListener ("beforeunload", endAll);
    win.document.addEventListener ("visibilitychange", () =>
    {
        if (win.document.visibilityState === "hidden")
            endAll ();
    });
    win.document.addEventListener ("pointercancel", endAll, true);
    // A capture lost after a normal release finds no gesture active any more (the release
    // handlers run first); one lost while a gesture is still going abandons everything.
    win.document.addEventListener ("lostpointercapture", () =>
    {
        if (registry.anyActive ())
            endAll ();
    }, true);
}
