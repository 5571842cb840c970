// The dish worker: owns the dish canvas (an OffscreenCanvas) and runs the renderer on it.

import { createRenderer } from "./renderer.js";
import { TO_RENDERER as K, FROM_RENDERER as B } from "./kinds.js";

//==============================================================================
const scope = globalThis;
const post = (kind, data) => scope.postMessage ({ kind, data });
const times = [];
let renderer = null;

function timing (start, duration)
{
    times.push ([performance.timeOrigin + start, duration]);
    if (times.length >= 30)
        post (B.frameTimes, { times: times.splice (0) });
}

scope.onmessage = (event) =>
{
    const { kind, data } = event.data || {};
    if (kind !== K.init)
    {
        if (renderer)
            renderer.receive (kind, data);
        return;
    }
    try
    {
        renderer = createRenderer ({ canvas: data.canvas, dpr: data.dpr, post, timing });
        renderer.liquid.attachSpill (data.spill);
        for (const [k, d] of data.replay || [])
            renderer.receive (k, d);
        if (data.started)
            renderer.start ();
        post (B.started, {});
    }
    catch (error)
    {
        renderer = null;
        post (B.failed, { message: String (error?.message || error) });
    }
};
