// The scope bank's two screens: live frames from "scope", the breathing idle line, at most one
// drawn frame every 24 ms, cleared when the scope is hidden.

import { SCREEN, FRAME_INTERVAL_MS, drawGrid, drawWave, drawBars, quietness, followWobble } from "./draw.js";
import { WAVE_LENGTH, BAR_COUNT } from "./check.js";

const FLAT_WAVE = new Float32Array (WAVE_LENGTH);
const EMPTY_BARS = new Float32Array (BAR_COUNT);

/**
    Creates the scope view on its two canvases. options: waveCanvas, barsCanvas, now() in ms,
    requestFrame(fn), makeCanvas(w, h) for the grid image.
*/
export function createScopeView (options)
{
    const { waveCanvas, barsCanvas, now, requestFrame, makeCanvas } = options;
    const waveCtx = waveCanvas.getContext ("2d");
    const barsCtx = barsCanvas.getContext ("2d");
    let grid = null;
    const st = {
        visible: false,
        idle: false,
        frame: null,          // the latest live { wave, bars } not yet drawn
        shown: null,          // the latest live frame drawn (kept for the wobble)
        wobble: null,         // idle wobble weight o; null until the first drawn frame
        lastDraw: null,
        scheduled: false,
        drawn: 0,
    };

    function gridImage ()
    {
        if (! grid)
        {
            grid = makeCanvas (SCREEN.width, SCREEN.height);
            drawGrid (grid.getContext ("2d"));
        }
        return grid;
    }

    function clear ()
    {
        for (const g of [waveCtx, barsCtx])
        {
            g.setTransform (1, 0, 0, 1, 0, 0);
            g.clearRect (0, 0, SCREEN.width, SCREEN.height);
        }
    }

    function wanted ()
    {
        return st.visible && (st.idle || st.frame !== null || (st.shown !== null && st.wobble > 0.001));
    }

    function schedule ()
    {
        if (! st.scheduled && wanted ())
        {
            st.scheduled = true;
            requestFrame (tick);
        }
    }

    function tick ()
    {
        st.scheduled = false;
        if (! wanted ())
            return;
        const t = now ();
        if (st.lastDraw === null || t - st.lastDraw >= FRAME_INTERVAL_MS)
        {
            const dt = st.lastDraw === null ? 0 : (t - st.lastDraw) / 1000;
            st.lastDraw = t;
            let wave = FLAT_WAVE, bars = EMPTY_BARS;
            if (! st.idle)
            {
                if (st.frame)
                {
                    st.shown = st.frame;
                    st.frame = null;
                }
                wave = st.shown.wave;
                bars = st.shown.bars;
            }
            st.wobble = followWobble (st.wobble, quietness (wave), dt);
            const tau = 20 * t;
            drawWave (waveCtx, gridImage (), wave, st.wobble, tau);
            drawBars (barsCtx, gridImage (), bars, tau);
            ++st.drawn;
        }
        schedule ();
    }

    return {
        state: st,
        /** A checked "scope" payload: { idle: true } or { wave, bars }. */
        receive (p)
        {
            if (p.idle === true)
            {
                st.idle = true;
                st.frame = null;
            }
            else
            {
                st.idle = false;
                st.frame = { wave: p.wave, bars: p.bars };
            }
            schedule ();
        },
        /** Scope visibility ("scopeOn"): hidden clears both screens and restarts the timing. */
        shown (visible)
        {
            st.visible = !! visible;
            if (! st.visible)
            {
                clear ();
                st.lastDraw = null;
                st.wobble = null;
                st.frame = null;
                st.shown = null;
            }
            schedule ();
        },
    };
}
