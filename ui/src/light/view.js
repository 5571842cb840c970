// Applies the page's light: the CSS light variables on the document root (relief shadows, frame
// layers), the cells' light direction for the dish renderer, and the suspension of style
// transitions while the light moves.

import { createLightState, setLightTarget, stepLight, lightSettled, lightVariables, lightDirection } from "./light.js";

export const MOVING_CLASS = "is-light-moving";
const SETTLE_MS = 100;

/**
    Creates the light view. options: doc, win (for the window size), now() in ms, requestFrame(fn),
    onDirection([lx, ly]) for the cells' light direction.
*/
export function createLightView (options)
{
    const { doc, win, now, requestFrame, onDirection } = options;
    const state = createLightState ();
    let scheduled = false, settleTimer = 0;

    function apply (light)
    {
        const vars = lightVariables (light.theta, light.depth, win.innerWidth, win.innerHeight);
        const style = doc.documentElement.style;
        for (const [name, value] of Object.entries (vars))
            style.setProperty (name, value);
        onDirection (lightDirection (light.theta));
    }

    function markMoving ()
    {
        doc.body.classList.add (MOVING_CLASS);
        clearTimeout (settleTimer);
        settleTimer = setTimeout (() => doc.body.classList.remove (MOVING_CLASS), SETTLE_MS);
    }

    function frame ()
    {
        scheduled = false;
        const light = stepLight (state, now ());
        if (light)
        {
            markMoving ();
            apply (light);
        }
        if (! lightSettled (state))
            schedule ();
    }

    function schedule ()
    {
        if (! scheduled)
        {
            scheduled = true;
            requestFrame (frame);
        }
    }

    // The starting light (45°, depth 0) until the first message.
    apply (stepLight (state, now (), true));

    return {
        state,
        /** A checked "light" payload { x, y }. */
        receive (p)
        {
            if (setLightTarget (state, p.x, p.y, now ()))
            {
                markMoving ();
                apply (stepLight (state, now (), true));
            }
            else
                schedule ();
        },
        /** Re-applies the frame shifts after a window resize. */
        resized ()
        {
            apply (state.applied);
        },
    };
}
