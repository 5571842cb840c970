// The paused notice over the dish and the storage line at the bottom of the window.

import { createRevealer } from "./reveal.js";

/** Shows or hides the "Sound paused by the host" plate. */
export function createPausedNotice (element)
{
    const revealer = createRevealer ();
    let paused = false;
    return {
        set (value)
        {
            if (value === paused)
                return;
            paused = value;
            if (paused)
                revealer.reveal ({ show: [element], stillValid: () => paused });
            else
                revealer.reveal ({ hide: [element] });
        },
        shown: () => paused,
    };
}

/** The storage line, created on the first message; an empty text fades it out and clears it. */
export function createStorageLine (doc)
{
    let line = null;
    let clearTimer = null;
    return {
        set (text)
        {
            if (! line)
            {
                line = doc.createElement ("div");
                line.id = "storage-line";
                line.setAttribute ("role", "status");
                doc.body.appendChild (line);
            }
            clearTimeout (clearTimer);
            if (text.length > 0)
            {
                line.textContent = text;
                line.classList.add ("is-shown");
            }
            else
            {
                line.classList.remove ("is-shown");
                clearTimer = setTimeout (() => { line.textContent = ""; }, 150);
            }
        },
    };
}
