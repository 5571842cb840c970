// The dish renderer: one frame loop that draws the living dish on a canvas. The same code runs in
// a worker on an OffscreenCanvas or on the main thread on a page canvas; it is driven only by the
// message kinds of kinds.js.

import { TO_RENDERER as K, FROM_RENDERER as B } from "./kinds.js";
import { displayColor, lighten, parseHex } from "./colors.js";
import { SHAPES, shapeOf, artScale, CORE_RADIUS } from "./shapes.js";
import {
    CENTRE, INNER_RADIUS, SQUEEZE_RADIUS, surfacePixels, toDish, cellRadius, hash01, clamp01,
    motionStretch, squeezeExtent, rimSqueeze, bridgeStrength, stretchedWidth, singingTarget,
    stepSinging, stepShiver, wobbleOffsets,
} from "./geometry.js";
import { createInterpolation, receiveCells, cellsAt } from "./interp.js";
import { createEvents, cellEvents, openDropWindow, openJackpotWindow, noteRecall } from "./events.js";
import { addRipple, stepRipples } from "./ripples.js";
import { createLiquid } from "./liquid.js";

//==============================================================================
/** Light directions that have their own pre-drawn motif rim image. */
export const RIM_DIRECTIONS = 16;
const RIM_OFFSET = 4;          // art units between a shape and its shifted copy
const RIM_BOX = 125;           // art units covered by a rim image: −12.5 … 112.5
const RIM_PIXELS_PER_DPR = 48; // a rim image's side per device pixel ratio, near a middling cell's drawn size
const GLOW_CACHE_LIMIT = 48;
const SHADOW_COLORS = { light: [128, 142, 173], dark: [13, 19, 29] };
const FRAME_MS = 16.67;
const POINTS = 22;

let offscreen2d = null;

/** A scratch canvas for sprites: off-screen when this browser draws 2D on those, else a page
    canvas (main thread only). */
function newCanvas (w, h)
{
    if (offscreen2d === null)
    {
        offscreen2d = false;
        try
        {
            offscreen2d = typeof OffscreenCanvas !== "undefined" && !! new OffscreenCanvas (1, 1).getContext ("2d");
        }
        catch (error)
        {
            offscreen2d = false;
        }
    }
    if (offscreen2d)
        return new OffscreenCanvas (w, h);
    if (! globalThis.document)
        throw new Error ("no canvas for sprites");
    const c = globalThis.document.createElement ("canvas");
    c.width = w;
    c.height = h;
    return c;
}

/** A finished sprite as an image bitmap where the browser offers one: drawing a bitmap is cheaper
    than drawing a canvas in some engines (WebKit copies a canvas on every draw). */
function freeze (canvas)
{
    try
    {
        if (typeof canvas.transferToImageBitmap === "function")
            return canvas.transferToImageBitmap ();
    }
    catch (error)
    {
        // Keep the canvas itself.
    }
    return canvas;
}

const rgba = (c, a) => `rgba(${c[0]},${c[1]},${c[2]},${a})`;

//==============================================================================
/** Draws one shape's parts (fill, then strokes with rounded joins and caps) in art units with the
    context's current fill and stroke styles. */
function traceShape (ctx, shape, paths)
{
    for (let i = 0; i < shape.parts.length; ++i)
    {
        const part = shape.parts[i];
        if (part.fill !== false)
            ctx.fill (paths[i], shape.evenOdd ? "evenodd" : "nonzero");
        if (part.stroke)
        {
            ctx.lineWidth = part.stroke;
            ctx.lineJoin = "round";
            ctx.lineCap = "round";
            ctx.stroke (paths[i]);
        }
    }
}

/** Largest distance of a shape's art from the centre, as a multiple of the drawn radius: the shape
    rasterised at 160 px (plus 20 px margins), farthest pixel with alpha ≥ 8. */
export function measureExtent (shape, paths)
{
    const c = newCanvas (200, 200);
    const ctx = c.getContext ("2d", { willReadFrequently: true });
    const k = 1.6 * shape.scale;
    ctx.setTransform (k, 0, 0, k, 100 - 50 * k, 100 - 50 * k);
    ctx.fillStyle = "#fff";
    ctx.strokeStyle = "#fff";
    traceShape (ctx, shape, paths);
    const data = ctx.getImageData (0, 0, 200, 200).data;
    let far = 0;
    for (let y = 0; y < 200; ++y)
        for (let x = 0; x < 200; ++x)
            if (data[(y * 200 + x) * 4 + 3] >= 8)
                far = Math.max (far, (x + 0.5 - 100) ** 2 + (y + 0.5 - 100) ** 2);
    // A drawn radius r spans 1.6 · 100 · r / 160 px at this size: r = 50 px.
    return Math.sqrt (far) / 50;
}

//==============================================================================
/** Creates a renderer on a canvas. options: canvas, dpr, post(kind, data) to report back, timing
    (startMs, durationMs) for each drawn frame, now() in milliseconds. */
export function createRenderer (options)
{
    const canvas = options.canvas;
    const ctx = canvas.getContext ("2d");
    const post = options.post || (() => {});
    const timing = options.timing || (() => {});
    const clock = options.now || (() => performance.now ());
    const paths = SHAPES.map ((s) => s.parts.map ((p) => new Path2D (p.d)));

    const st = {
        scale: 1,
        dark: false,
        light: [Math.SQRT1_2, Math.SQRT1_2],
        note: -1,
        shiver: 0,
        time: 0,
        lastDraw: null,
        interp: createInterpolation (),
        events: createEvents (),
        ripples: [],
        memory: new Map (),
        targets: new Map (),
        extents: new Float32Array (SHAPES.length),
        overlay: { color: [0, 0, 0], alpha: 0 },
        tint: { color: [0, 0, 0], alpha: 0 },
        wave: null,
        glowCache: new Map (),
        shadowSprite: null,
        rimShadow: null,
        blobRim: null,
        rimImages: SHAPES.map (() => new Array (RIM_DIRECTIONS).fill (null)),
        rimBudget: 0,
        rimPixels: 0,
        scratch: null,
        running: false,
        visible: true,
        frameInterval: FRAME_MS,
        lastTick: null,
        tickCount: 0,
        handle: 0,
        backgroundTask: 0,
        liquidMoving: false,
    };
    const liquid = createLiquid ();

    for (let i = 1; i < SHAPES.length; ++i)
        st.extents[i] = measureExtent (SHAPES[i], paths[i]);

    function resize (dpr)
    {
        const px = surfacePixels (dpr);
        if (canvas.width !== px || canvas.height !== px)
        {
            canvas.width = px;
            canvas.height = px;
        }
        st.scale = px / 300;
        // Rim images near the size they are drawn at: engines that draw on the processor pay for
        // every source pixel of a scaled image.
        const rimPixels = Math.round (RIM_PIXELS_PER_DPR * px / 240);
        if (rimPixels !== st.rimPixels)
        {
            st.rimPixels = rimPixels;
            st.rimImages = SHAPES.map (() => new Array (RIM_DIRECTIONS).fill (null));
            if (st.running)
                startBackgroundTask ();
        }
    }

    function discardSprites ()
    {
        st.shadowSprite = null;
        st.rimShadow = null;
        st.blobRim = null;
        st.glowCache.clear ();
    }

    //==========================================================================
    // Cached drawing aids.

    function glowGradient (colorKey, rgb)
    {
        let g = st.glowCache.get (colorKey);
        if (! g)
        {
            if (st.glowCache.size >= GLOW_CACHE_LIMIT)
                st.glowCache.clear ();
            g = ctx.createRadialGradient (0, 0, 0, 0, 0, 1);
            g.addColorStop (0, rgba (rgb, 1));
            g.addColorStop (0.6, rgba (rgb, 0.5));
            g.addColorStop (1, rgba (rgb, 0));
            st.glowCache.set (colorKey, g);
        }
        return g;
    }

    /** The floor shadow of a cell as a unit radial gradient, drawn scaled (a gradient fill costs
        less than an image draw in engines that draw on the processor). */
    function shadowSprite ()
    {
        if (! st.shadowSprite)
        {
            const col = st.dark ? SHADOW_COLORS.dark : SHADOW_COLORS.light;
            const a = st.dark ? 0.45 : 0.3;
            const g = ctx.createRadialGradient (0, 0, 0, 0, 0, 1);
            g.addColorStop (0, rgba (col, a));
            g.addColorStop (0.5, rgba (col, 0.7 * a));
            g.addColorStop (1, rgba (col, 0));
            st.shadowSprite = g;
        }
        return st.shadowSprite;
    }

    /** The rim of plain blobs, across the light in unit cell space: lit white, then clear, then shade. */
    function blobRimGradient ()
    {
        if (! st.blobRim)
        {
            const lx = st.light[0], ly = st.light[1];
            const g = ctx.createLinearGradient (-lx, -ly, lx, ly);
            g.addColorStop (0, "rgba(255,255,255,0.33)");
            g.addColorStop (0.5, "rgba(255,255,255,0)");
            g.addColorStop (0.5, "rgba(0,0,0,0)");
            g.addColorStop (1, "rgba(0,0,0,0.22)");
            st.blobRim = g;
        }
        return st.blobRim;
    }

    function rimShadowGradient ()
    {
        if (! st.rimShadow)
        {
            const col = st.dark ? SHADOW_COLORS.dark : SHADOW_COLORS.light;
            const ox = CENTRE + 8 * st.light[0], oy = CENTRE + 8 * st.light[1];
            const g = ctx.createRadialGradient (ox, oy, INNER_RADIUS - 14, ox, oy, INNER_RADIUS + 10);
            g.addColorStop (0, rgba (col, 0));
            g.addColorStop (1, rgba (col, 1));
            st.rimShadow = g;
        }
        return st.rimShadow;
    }

    /** Makes the rim image of a motif for light direction index dir: the lit edge (white at 0.18)
        and the shaded edge (black at 0.115), each the shape minus a shifted copy of itself. */
    function makeRimImage (shapeIndex, dir)
    {
        const shape = SHAPES[shapeIndex];
        const a = 2 * Math.PI * dir / RIM_DIRECTIONS;
        const lx = Math.cos (a), ly = Math.sin (a);
        const side = st.rimPixels;
        const k = side / RIM_BOX;
        const image = newCanvas (side, side);
        const out = image.getContext ("2d");
        if (! st.scratch || st.scratch.width !== side)
            st.scratch = newCanvas (side, side);
        const s = st.scratch.getContext ("2d");
        for (const [shift, color, alpha] of [[RIM_OFFSET, "#fff", 0.18], [-0.5 * RIM_OFFSET, "#000", 0.115]])
        {
            s.setTransform (1, 0, 0, 1, 0, 0);
            s.globalCompositeOperation = "source-over";
            s.clearRect (0, 0, side, side);
            s.setTransform (k, 0, 0, k, 12.5 * k, 12.5 * k);
            s.fillStyle = color;
            s.strokeStyle = color;
            traceShape (s, shape, paths[shapeIndex]);
            s.globalCompositeOperation = "destination-out";
            s.translate (shift * lx, shift * ly);
            traceShape (s, shape, paths[shapeIndex]);
            out.globalAlpha = alpha;
            out.drawImage (st.scratch, 0, 0);
        }
        const done = freeze (image);
        st.rimImages[shapeIndex][dir] = done;
        return done;
    }

    function rimImage (shapeIndex, dir)
    {
        const have = st.rimImages[shapeIndex][dir];
        if (have || st.rimBudget <= 0)
            return have;
        --st.rimBudget;
        return makeRimImage (shapeIndex, dir);
    }

    /** Makes one missing rim image, nearest the current light direction first; false when all exist. */
    function makeOneMissingRimImage ()
    {
        const base = Math.round (Math.atan2 (st.light[1], st.light[0]) / (2 * Math.PI) * RIM_DIRECTIONS);
        for (let step = 0; step < RIM_DIRECTIONS; ++step)
        {
            const off = step % 2 === 0 ? step / 2 : -(step + 1) / 2;
            const dir = ((base + off) % RIM_DIRECTIONS + RIM_DIRECTIONS) % RIM_DIRECTIONS;
            for (let i = 1; i < SHAPES.length; ++i)
                if (! st.rimImages[i][dir])
                {
                    makeRimImage (i, dir);
                    return true;
                }
        }
        return false;
    }

    //==========================================================================
    // Frame preparation: interpolation, per-cell memory, event effects.

    function memoryOf (id)
    {
        let m = st.memory.get (id);
        if (! m)
        {
            const h = hash01 (id);
            m = { wobble: wobbleOffsets (2 * Math.PI * h), halo: hash01 (id ^ 0x5bd1e995), fadeIn: 0, singing: 0, seenFrame: 0 };
            st.memory.set (id, m);
        }
        return m;
    }

    let frameNumber = 0;

    function prepare (cells, dt)
    {
        const list = [];
        const s = st.shiver;
        for (const c of cells)
        {
            const m = memoryOf (c.id);
            m.seenFrame = frameNumber;
            m.fadeIn = Math.min (1, m.fadeIn + 3 * dt);
            m.singing = stepSinging (m.singing, st.targets.get (c.id) || 0, dt);
            const fade = clamp01 (c.fade);
            const shape = shapeOf (c.motif);
            const motif = shape !== SHAPES[0];
            const shapeIndex = SHAPES.indexOf (shape);
            let [x, y] = toDish (c.x, c.y);
            if (s > 0)
            {
                x += (Math.random () * 2 - 1) * 2 * s;
                y += (Math.random () * 2 - 1) * 2 * s;
            }
            const baseR = Math.max (0, cellRadius (c.mass));
            const r = baseR * (1 - fade);
            const extent = squeezeExtent (r, motif ? st.extents[shapeIndex] : 0, s);
            const d = Math.hypot (x - CENTRE, y - CENTRE);
            const speed = Math.hypot (c.vx, c.vy);
            const squeeze = rimSqueeze (d, extent, motionStretch (c.vx, c.vy));
            const rgb = lighten (parseHex (displayColor (c.row, c.col, st.dark)), c.highlight);
            list.push ({
                id: c.id, x, y, r, baseR, fade, motif, shapeIndex, shape, angle: c.angle,
                ux: speed > 0 ? c.vx / speed : 1, uy: speed > 0 ? c.vy / speed : 0,
                stretch: squeeze.stretch, sq: squeeze.scale,
                rgb, key: `${rgb[0]},${rgb[1]},${rgb[2]}`,
                alpha: m.fadeIn * (1 - fade), fadeIn: m.fadeIn, singing: m.singing, mem: m,
            });
        }
        return list;
    }

    //==========================================================================
    // Drawing steps.

    const base = (a, b, c, d, e, f) => ctx.setTransform (st.scale * a, st.scale * b, st.scale * c, st.scale * d, st.scale * e, st.scale * f);

    function clipDish (radius)
    {
        ctx.beginPath ();
        ctx.arc (CENTRE, CENTRE, radius, 0, 2 * Math.PI);
        ctx.clip ();
    }

    function stepOverlay (dt, now)
    {
        const o = st.overlay, t = st.tint;
        if (o.alpha <= 0.003)
            o.color = t.color.slice ();
        const f = Math.min (2 * dt, 1);
        for (let i = 0; i < 3; ++i)
            o.color[i] += (t.color[i] - o.color[i]) * f;
        o.alpha += (t.alpha - o.alpha) * f;
        if (st.wave && now - st.wave.start >= 1200)
            st.wave = null;
    }

    function drawBackground (now)
    {
        const o = st.overlay;
        const col = o.color.map (Math.round);
        const waveOn = st.wave !== null;
        if (o.alpha <= 0.003 && ! (waveOn && st.wave.from.alpha > 0.003))
            return;
        ctx.save ();
        clipDish (INNER_RADIUS);
        if (waveOn)
        {
            const w = st.wave;
            const p = clamp01 ((now - w.start) / 1200);
            ctx.fillStyle = rgba (w.from.color.map (Math.round), w.from.alpha);
            ctx.fillRect (0, 0, 300, 300);
            ctx.beginPath ();
            ctx.arc (w.origin[0], w.origin[1], (2 * INNER_RADIUS + 46) * Math.sqrt (p), 0, 2 * Math.PI);
            ctx.clip ();
            ctx.clearRect (0, 0, 300, 300);
        }
        ctx.fillStyle = rgba (col, o.alpha);
        ctx.fillRect (0, 0, 300, 300);
        ctx.restore ();

        ctx.save ();
        clipDish (INNER_RADIUS);
        const ring = ctx.createRadialGradient (CENTRE, CENTRE, INNER_RADIUS - 12.5, CENTRE, CENTRE, INNER_RADIUS);
        const darker = col.map ((v) => Math.round (v * 0.55));
        ring.addColorStop (0, rgba (darker, 0));
        ring.addColorStop (1, rgba (darker, o.alpha / 2));
        ctx.fillStyle = ring;
        ctx.fillRect (0, 0, 300, 300);
        ctx.globalAlpha = 0.5 * Math.min (1, o.alpha / 0.4);
        ctx.fillStyle = rimShadowGradient ();
        ctx.fillRect (0, 0, 300, 300);
        ctx.restore ();
    }

    function drawShadows (list)
    {
        const shadow = shadowSprite ();
        ctx.save ();
        clipDish (SQUEEZE_RADIUS);
        ctx.fillStyle = shadow;
        const ox = 7 * st.light[0], oy = 7 * st.light[1];
        for (const c of list)
        {
            if (c.fade > 0 || c.alpha <= 0)
                continue;
            const R = c.baseR * 1.3 * (c.motif ? 1.6 : 1) * (1 - c.fade) * c.sq;
            if (R <= 0)
                continue;
            ctx.globalAlpha = c.fadeIn * (1 - c.fade);
            base (R, 0, 0, R, c.x + ox, c.y + oy);
            ctx.beginPath ();
            ctx.arc (0, 0, 1, 0, 2 * Math.PI);
            ctx.fill ();
        }
        ctx.restore ();
    }

    function drawHalos (list)
    {
        ctx.save ();
        clipDish (INNER_RADIUS);
        for (const c of list)
        {
            const g = (0.32 + 0.2 * Math.sin (1.1 * st.time + 2 * Math.PI * c.mem.halo)) * c.fadeIn * (1 - c.fade);
            if (g <= 0.01)
                continue;
            const R = c.r * (c.motif ? 0.96 : 1) * (1.6 + 1.6 * g) + 4;
            ctx.globalAlpha = Math.min (1, 0.8 * g);
            base (R, 0, 0, R, c.x, c.y);
            ctx.fillStyle = glowGradient (c.key, c.rgb);
            ctx.beginPath ();
            ctx.arc (0, 0, 1, 0, 2 * Math.PI);
            ctx.fill ();
        }
        ctx.restore ();
    }

    function drawRippleGlows ()
    {
        let clipped = false;
        for (const r of st.ripples)
        {
            if (! r.glow || r.life <= 0)
                continue;
            if (! clipped)
            {
                ctx.save ();
                clipDish (INNER_RADIUS);
                clipped = true;
            }
            const R = r.radius + 10;
            const g = ctx.createRadialGradient (r.x, r.y, 0, r.x, r.y, R);
            g.addColorStop (0, rgba (r.color, 0.55 * r.life));
            g.addColorStop (1, rgba (r.color, 0));
            ctx.fillStyle = g;
            ctx.beginPath ();
            ctx.arc (r.x, r.y, R, 0, 2 * Math.PI);
            ctx.fill ();
        }
        if (clipped)
            ctx.restore ();
    }

    function drawBridges (list)
    {
        ctx.fillStyle = "#fff";
        for (let i = 0; i < list.length; ++i)
        {
            const a = list[i];
            if (a.fade > 0 || a.r <= 0)
                continue;
            for (let j = i + 1; j < list.length; ++j)
            {
                const b = list[j];
                if (b.fade > 0 || b.r <= 0)
                    continue;
                const dx = b.x - a.x, dy = b.y - a.y;
                const dist = Math.hypot (dx, dy);
                const k = bridgeStrength (dist, a.r, b.r);
                if (k <= 0)
                    continue;
                const tx = dx / dist, ty = dy / dist;
                const nx = -ty, ny = tx;
                const wa = 0.3 * a.r * a.sq * stretchedWidth (a.stretch, a.ux, a.uy, nx, ny);
                const wb = 0.3 * b.r * b.sq * stretchedWidth (b.stretch, b.ux, b.uy, nx, ny);
                const pinch = Math.min (a.r, b.r) * (0.06 + 0.105 * k);
                const mx = (a.x + b.x) / 2, my = (a.y + b.y) / 2;
                const half = (wa + wb) / 2 - 2 * pinch;
                ctx.globalAlpha = k * Math.min (a.fadeIn, b.fadeIn);
                ctx.beginPath ();
                ctx.moveTo (a.x + nx * wa, a.y + ny * wa);
                ctx.quadraticCurveTo (mx + nx * half, my + ny * half, b.x + nx * wb, b.y + ny * wb);
                ctx.lineTo (b.x - nx * wb, b.y - ny * wb);
                ctx.quadraticCurveTo (mx - nx * half, my - ny * half, a.x - nx * wa, a.y - ny * wa);
                ctx.closePath ();
                ctx.fill ();
            }
        }
        ctx.globalAlpha = 1;
    }

    /** Sets the transform of a cell: its centre, squeeze and stretch along its velocity, then a
        uniform factor. */
    function cellTransform (c, factor)
    {
        const s = c.stretch, q = c.sq * factor;
        const ux = c.ux, uy = c.uy;
        // R(φ) · diag(s, 1/s) · R(−φ) · q
        const a = (s * ux * ux + uy * uy / s) * q;
        const b = (s - 1 / s) * ux * uy * q;
        const d = (s * uy * uy + ux * ux / s) * q;
        base (a, b, b, d, c.x, c.y);
    }

    const blobXs = new Float32Array (POINTS);
    const blobYs = new Float32Array (POINTS);

    function drawBlob (c)
    {
        cellTransform (c, c.r);
        const glow = (c.r + 3) / c.r;
        ctx.fillStyle = glowGradient (c.key, c.rgb);
        ctx.beginPath ();
        ctx.arc (0, 0, glow, 0, 2 * Math.PI);
        ctx.fill ();

        const s = st.shiver;
        for (let k = 0; k < POINTS; ++k)
        {
            const th = 2 * Math.PI * k / POINTS + c.angle;
            const rad = c.mem.wobble[k] + 0.05 * Math.sin (1.5 * st.time + 2 * th) + (k % 2 === 0 ? 0.25 * s : -0.1 * s);
            blobXs[k] = rad * Math.cos (th);
            blobYs[k] = rad * Math.sin (th);
        }
        ctx.beginPath ();
        ctx.moveTo ((blobXs[POINTS - 1] + blobXs[0]) / 2, (blobYs[POINTS - 1] + blobYs[0]) / 2);
        for (let k = 0; k < POINTS; ++k)
        {
            const n = (k + 1) % POINTS;
            ctx.quadraticCurveTo (blobXs[k], blobYs[k], (blobXs[k] + blobXs[n]) / 2, (blobYs[k] + blobYs[n]) / 2);
        }
        ctx.closePath ();
        ctx.fillStyle = `rgb(${c.key})`;
        ctx.fill ();

        ctx.strokeStyle = blobRimGradient ();
        ctx.lineWidth = 0.07 * Math.SQRT2;
        ctx.stroke ();

        ctx.globalAlpha = c.alpha * (0.5 + 0.4 * c.singing);
        ctx.fillStyle = "#fff";
        ctx.beginPath ();
        ctx.arc (0, 0, 0.3, 0, 2 * Math.PI);
        ctx.fill ();
    }

    function drawMotif (c)
    {
        cellTransform (c, 1);
        ctx.fillStyle = glowGradient (c.key, c.rgb);
        ctx.beginPath ();
        ctx.arc (0, 0, c.r + 3, 0, 2 * Math.PI);
        ctx.fill ();

        const k = artScale (c.r, c.shape);
        ctx.rotate (c.angle);
        ctx.scale (k, k);
        ctx.translate (-50, -50);
        const col = `rgb(${c.key})`;
        ctx.fillStyle = col;
        ctx.strokeStyle = col;
        traceShape (ctx, c.shape, paths[c.shapeIndex]);

        // The light seen from inside the turned shape, between two pre-drawn directions.
        const la = Math.atan2 (st.light[1], st.light[0]) - c.angle;
        let pos = la / (2 * Math.PI) * RIM_DIRECTIONS;
        pos = ((pos % RIM_DIRECTIONS) + RIM_DIRECTIONS) % RIM_DIRECTIONS;
        const d0 = Math.floor (pos) % RIM_DIRECTIONS, d1 = (d0 + 1) % RIM_DIRECTIONS;
        const frac = pos - Math.floor (pos);
        const near = frac < 0.5 ? d0 : d1, far = frac < 0.5 ? d1 : d0;
        const i0 = rimImage (c.shapeIndex, near);
        const i1 = rimImage (c.shapeIndex, far);
        const w0 = frac < 0.5 ? 1 - frac : frac;
        if (i0 && i1)
        {
            ctx.globalAlpha = c.alpha * w0;
            ctx.drawImage (i0, -12.5, -12.5, RIM_BOX, RIM_BOX);
            ctx.globalAlpha = c.alpha * (1 - w0);
            ctx.drawImage (i1, -12.5, -12.5, RIM_BOX, RIM_BOX);
        }
        else if (i0 || i1)
        {
            ctx.drawImage (i0 || i1, -12.5, -12.5, RIM_BOX, RIM_BOX);
        }

        ctx.globalAlpha = c.alpha * (0.5 + 0.4 * c.singing);
        ctx.fillStyle = "#fff";
        ctx.beginPath ();
        ctx.arc (c.shape.core[0], c.shape.core[1], CORE_RADIUS, 0, 2 * Math.PI);
        ctx.fill ();
    }

    function drawCells (list)
    {
        for (const c of list)
        {
            if (c.r <= 0 || c.alpha <= 0 || c.sq <= 0)
                continue;
            ctx.globalAlpha = c.alpha;
            if (c.motif)
                drawMotif (c);
            else
                drawBlob (c);
        }
        ctx.globalAlpha = 1;
        base (1, 0, 0, 1, 0, 0);
    }

    function drawRipples ()
    {
        let clipped = false;
        for (const r of st.ripples)
        {
            if (r.clip && ! clipped)
            {
                ctx.save ();
                clipDish (INNER_RADIUS);
                clipped = true;
            }
            const alpha = Math.min (1, 0.2 * r.life * r.gain);
            if (alpha <= 0)
                continue;
            if (! r.ringless && r.radius > 0)
            {
                const inner = Math.max (0, r.radius - 15), outer = r.radius + 15;
                const band = ctx.createRadialGradient (r.x, r.y, inner, r.x, r.y, outer);
                for (let d = -15; d <= 15; d += 5)
                {
                    const at = (r.radius + d - inner) / (outer - inner);
                    if (at >= 0 && at <= 1)
                        band.addColorStop (at, rgba (r.color, 0.5 * alpha * Math.exp (-(d * d) / 50)));
                }
                ctx.fillStyle = band;
                ctx.beginPath ();
                ctx.arc (r.x, r.y, outer, 0, 2 * Math.PI);
                ctx.fill ();
                ctx.globalAlpha = alpha;
                ctx.strokeStyle = rgba (r.color, 1);
                ctx.lineWidth = (0.5 + 1.5 * r.life) * r.gain;
                ctx.beginPath ();
                ctx.arc (r.x, r.y, r.radius, 0, 2 * Math.PI);
                ctx.stroke ();
                ctx.globalAlpha = 1;
            }
            if (r.glints > 0)
            {
                ctx.globalAlpha = Math.min (1, alpha * 2);
                ctx.strokeStyle = rgba (r.color, 1);
                ctx.lineWidth = 1.4;
                ctx.lineCap = "round";
                ctx.beginPath ();
                const from = 1.3 * r.radius + 2, to = from + 2 + 5 * r.life;
                const start = r.phase + 0.8 * (1 - r.life);
                for (let i = 0; i < r.glints; ++i)
                {
                    const a = start + 2 * Math.PI * i / r.glints;
                    const ca = Math.cos (a), sa = Math.sin (a);
                    ctx.moveTo (r.x + ca * from, r.y + sa * from);
                    ctx.lineTo (r.x + ca * to, r.y + sa * to);
                }
                ctx.stroke ();
                ctx.globalAlpha = 1;
            }
        }
        if (clipped)
            ctx.restore ();
    }

    //==========================================================================
    /** Draws one frame at time now (milliseconds). */
    function drawFrame (now)
    {
        const t0 = clock ();
        const dt = st.lastDraw === null ? 1 / 60 : Math.max (0, Math.min (0.1, (now - st.lastDraw) / 1000));
        st.lastDraw = now;
        st.time += dt;
        ++frameNumber;
        st.rimBudget = 1;

        // 1. Interpolation, per-cell memory and the event effects.
        st.shiver = stepShiver (st.shiver, st.note >= 0, dt);
        const cells = cellsAt (st.interp, now);
        const list = prepare (cells, dt);
        const fx = cellEvents (st.events, cells, now, (c) => lighten (parseHex (displayColor (c.row, c.col, st.dark)), 0));
        for (const { spec, cap } of fx.ripples)
            addRipple (st.ripples, spec, cap);
        for (const [x, y] of fx.pokes)
            liquid.poke (x, y);

        ctx.setTransform (1, 0, 0, 1, 0, 0);
        ctx.clearRect (0, 0, canvas.width, canvas.height);
        base (1, 0, 0, 1, 0, 0);
        ctx.globalAlpha = 1;

        stepOverlay (dt, now);
        drawBackground (now);                 // 2
        drawShadows (list);                   // 3
        if (st.dark)
            drawHalos (list);                 // 4
        drawRippleGlows ();                   // 5
        drawBridges (list);                   // 6
        drawCells (list);                     // 7
        for (const [id, m] of st.memory)      // 8
            if (m.seenFrame !== frameNumber)
                st.memory.delete (id);
        liquid.step (dt);                     // 9
        if (liquid.moving !== st.liquidMoving || (liquid.moving && frameNumber % 10 === 0))
        {
            st.liquidMoving = liquid.moving;
            post (B.liquid, { moving: liquid.moving, slope: liquid.slope });
        }
        liquid.draw (ctx, { scale: st.scale, dark: st.dark, light: st.light, tint: st.overlay });
        base (1, 0, 0, 1, 0, 0);
        stepRipples (st.ripples, dt);         // 10
        drawRipples ();

        timing (t0, clock () - t0);
    }

    //==========================================================================
    // The frame loop: draws every k-th display frame so that it stays near 60 per second.

    const raf = typeof requestAnimationFrame === "function"
        ? (fn) => requestAnimationFrame (fn) : (fn) => setTimeout (() => fn (clock ()), FRAME_MS);
    const cancelRaf = typeof cancelAnimationFrame === "function"
        ? (h) => cancelAnimationFrame (h) : (h) => clearTimeout (h);

    function tick ()
    {
        st.handle = 0;
        if (! st.running || ! st.visible)
            return;
        st.handle = raf (tick);
        const now = clock ();
        if (st.lastTick !== null)
        {
            const interval = now - st.lastTick;
            if (interval > 0 && interval <= 100)
                st.frameInterval += 0.1 * (interval - st.frameInterval);
        }
        st.lastTick = now;
        const every = Math.max (1, Math.floor (FRAME_MS / st.frameInterval + 0.05));
        if (++st.tickCount % every !== 0)
            return;
        try
        {
            drawFrame (now);
        }
        catch (error)
        {
            // A frame that fails is skipped; the next one starts afresh.
            ctx.restore ();
            st.lastDraw = now;
        }
    }

    function schedule ()
    {
        if (st.running && st.visible && ! st.handle)
        {
            st.lastTick = null;
            st.handle = raf (tick);
        }
    }

    function startBackgroundTask ()
    {
        if (st.backgroundTask)
            return;
        st.backgroundTask = setInterval (() =>
        {
            if (! makeOneMissingRimImage ())
            {
                clearInterval (st.backgroundTask);
                st.backgroundTask = 0;
            }
        }, 50);
    }

    /** Starts drawing (the view's first reveal). */
    function start ()
    {
        st.running = true;
        schedule ();
        startBackgroundTask ();
    }

    /** Stops the loop and the background task. */
    function stop ()
    {
        st.running = false;
        if (st.handle)
            cancelRaf (st.handle);
        st.handle = 0;
        if (st.backgroundTask)
            clearInterval (st.backgroundTask);
        st.backgroundTask = 0;
    }

    //==========================================================================
    /** Takes one message of the kinds table. */
    function receive (kind, data = {})
    {
        const now = clock ();
        switch (kind)
        {
            case K.start:
                start ();
                break;
            case K.cells:
                if (Array.isArray (data.cells))
                    receiveCells (st.interp, data.cells, now);
                break;
            case K.voices:
                st.targets.clear ();
                if (Array.isArray (data.levels))
                    for (let i = 0; i + 1 < data.levels.length; i += 2)
                    {
                        const t = singingTarget (data.levels[i + 1]);
                        if (t > 0)
                            st.targets.set (data.levels[i], t);
                    }
                break;
            case K.note:
                st.note = Number.isFinite (data.note) ? data.note : -1;
                break;
            case K.ripple:
                addRipple (st.ripples, data, Number.isInteger (data.cap) ? data.cap : 0);
                break;
            case K.stir:
                if (data.phase === "down")
                    liquid.down (data.x, data.y);
                else if (data.phase === "move")
                    liquid.move (data.x, data.y);
                else if (data.phase === "poke")
                    liquid.poke (data.x, data.y);
                else if (data.phase === "up")
                    liquid.up ();
                break;
            case K.fx:
                if (data.tint)
                    setTint (data.tint, now);
                if (data.light)
                    setLight (data.light);
                break;
            case K.cell:
                if (typeof data.dark === "boolean" && data.dark !== st.dark)
                {
                    st.dark = data.dark;
                    discardSprites ();
                }
                if (data.light)
                    setLight (data.light);
                break;
            case K.mark:
                if (data.what === "drop")
                    openDropWindow (st.events, now);
                else if (data.what === "reroll")
                    openJackpotWindow (st.events, now, data.ms);
                else if (data.what === "recall")
                    noteRecall (st.events, now);
                break;
            case K.resize:
                resize (data.dpr);
                break;
            case K.visible:
                st.visible = data.visible !== false;
                if (st.visible)
                    schedule ();
                break;
            default:
                liquid.handle (kind, data);
        }
    }

    function setTint (tint, now)
    {
        const color = Array.isArray (tint.color) && tint.color.length === 3 && tint.color.every (Number.isFinite)
            ? tint.color.map ((v) => Math.max (0, Math.min (255, v))) : [0, 0, 0];
        const alpha = Number.isFinite (tint.alpha) ? clamp01 (tint.alpha) : 0;
        if (Array.isArray (tint.origin) && tint.origin.length === 2 && tint.origin.every (Number.isFinite))
            st.wave = { origin: tint.origin.slice (), start: now, from: { color: st.overlay.color.slice (), alpha: st.overlay.alpha } };
        st.tint = { color, alpha };
    }

    function setLight (light)
    {
        if (! Array.isArray (light) || light.length !== 2 || ! light.every (Number.isFinite))
            return;
        const len = Math.hypot (light[0], light[1]);
        if (len <= 0)
            return;
        const next = [light[0] / len, light[1] / len];
        if (next[0] !== st.light[0] || next[1] !== st.light[1])
        {
            st.light = next;
            discardSprites ();
        }
    }

    resize (options.dpr);
    return { receive, start, stop, drawFrame, liquid, state: st };
}
