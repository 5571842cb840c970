// Round buttons: act on click and on touch start, with a pressed look of at least 140 ms.

export const MIN_PRESS_MS = 140;

/** Wires one button element; action() runs on click or touch start. */
export function wireButton (element, action, { now, requestFrame })
{
    let pressedAt = -1;
    let lastTouch = -1e9;

    const release = () =>
    {
        if (pressedAt < 0)
            return;
        const wait = Math.max (0, MIN_PRESS_MS - (now () - pressedAt));
        pressedAt = -1;
        setTimeout (() =>
        {
            if (pressedAt >= 0)
                return;
            element.classList.remove ("is-pressed");
            element.classList.add ("is-released");
            requestFrame (() => requestFrame (() => element.classList.remove ("is-released")));
        }, wait);
    };

    element.addEventListener ("pointerdown", () =>
    {
        pressedAt = now ();
        element.classList.remove ("is-released");
        element.classList.add ("is-pressed");
    });
    element.addEventListener ("pointerup", release);
    element.addEventListener ("pointercancel", release);
    element.addEventListener ("pointerleave", release);
    element.addEventListener ("touchstart", (e) =>
    {
        e.preventDefault ();
        lastTouch = now ();
        action ();
    }, { passive: false });
    element.addEventListener ("click", () =>
    {
        if (now () - lastTouch < 600)
            return;
        action ();
    });
}
