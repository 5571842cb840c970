// The liquid surface as the dish renderer drives it: the solver and its 80 × 80 shading image
// drawn over the cells, the static layers (body tint, rim rings, sheen, glints), and the spilled
// drops on the full-window spill canvas. The same code runs in the dish worker and on the main
// thread; it needs only a 2D context and, for its scratch images, OffscreenCanvas or a document.

import { createSolver, stepLiquid, liquidActive, moveWindow, stirDown, stirMove, stirUp, poke,
         N, INNER_UNITS, MM_PER_PIXEL } from "./solver.js";
import { createShade, shadeLiquid, sheenPlace, tiltSlope, SHEEN_PEAK, SHINE, SHADE } from "./shade.js";
import { createSpill, spillFrom, stepSpill, wipe, shakeDrops, dropBox, WATER } from "./spill.js";
import { createSpriteCache } from "./sprites.js";

//==============================================================================
const CENTRE = 150;
const BODY = { light: { rgb: [120, 160, 215], alpha: 0.07 }, dark: { rgb: [90, 130, 190], alpha: 0.06 } };
const RIM = {
    light: { shine: [255, 255, 255, 0.95], shade: [70, 100, 150, 0.28] },
    dark: { shine: [175, 200, 235, 0.45], shade: [0, 4, 12, 0.5] },
};

const SPILL_MAX_PIXELS = 8000000;

const rgba = (c, a) => `rgba(${c[0] | 0}, ${c[1] | 0}, ${c[2] | 0}, ${+a.toFixed (4)})`;

let offscreen2d = null;

/** A scratch canvas of the given size: an OffscreenCanvas where it can draw in 2D, else a document
    canvas (the main thread of a browser without 2D off-screen canvases). */
export function makeCanvas (w, h)
{
    if (offscreen2d === null)
    {
        try
        {
            offscreen2d = typeof OffscreenCanvas === "function" && !! new OffscreenCanvas (1, 1).getContext ("2d");
        }
        catch (error)
        {
            offscreen2d = false;
        }
    }
    if (offscreen2d)
        return new OffscreenCanvas (w, h);
    const c = globalThis.document.createElement ("canvas");
    c.width = w;
    c.height = h;
    return c;
}

/** Draws one drop sprite: a translucent body in its tone, a darker edge, a highlight towards the light. */
function makeDropSprite (r, tone, shape, dpr)
{
    const side = Math.max (2, Math.ceil ((2.6 * r + 4) * dpr));
    const canvas = makeCanvas (side, side);
    const g = canvas.getContext ("2d");
    const c = side / 2, s = r * dpr;
    const stretch = [1, 1.1, 0.92, 1.05][shape];
    g.translate (c, c);
    g.scale (stretch, 1 / stretch);
    const body = g.createRadialGradient (-0.25 * s, -0.3 * s, 0.1 * s, 0, 0, s);
    body.addColorStop (0, rgba (tone, 0.42));
    body.addColorStop (0.75, rgba (tone, 0.6));
    body.addColorStop (1, rgba (tone.map ((v) => v * 0.7), 0.78));
    g.fillStyle = body;
    g.beginPath ();
    g.arc (0, 0, s, 0, 2 * Math.PI);
    g.fill ();
    g.fillStyle = "rgba(255, 255, 255, 0.55)";
    g.beginPath ();
    g.ellipse (-0.35 * s, -0.4 * s, 0.28 * s, 0.18 * s, -Math.PI / 4, 0, 2 * Math.PI);
    g.fill ();
    return canvas;
}

//==============================================================================
/** The liquid with the interface the dish renderer drives. options.random for tests. */
export function createLiquid (options = {})
{
    const random = options.random || Math.random;
    const solver = createSolver (random);
    const shade = createShade ();
    const spill = createSpill (random);
    const sprites = createSpriteCache (makeDropSprite);
    let image = null, imageCtx = null, imageData = null;
    let spillCanvas = null, spillCtx = null, spillDpr = 1;
    let lastBoxes = new Map ();
    let tint = { color: [0, 0, 0], alpha: 0 };
    let staticKey = "", bodyGradient = null, rimGradient = null, sheenGradient = null;

    const liquid = {
        moving: false,
        slope: [0, 0],
        spill: null,
        solver,
        spillState: spill,
        sprites,
        attachSpill (canvas)
        {
            spillCanvas = canvas || null;
            spillCtx = spillCanvas ? spillCanvas.getContext ("2d") : null;
            liquid.spill = spillCanvas;
            sizeSpill ();
        },
        down (x, y) { stirDown (solver, x, y); },
        move (x, y) { stirMove (solver, x, y); },
        up () { stirUp (solver); },
        poke (x, y) { poke (solver, x, y); },
        handle (kind, data)
        {
            if (! data || typeof data !== "object")
                return;
            switch (kind)
            {
                case "motion":
                case "shake":
                    moveWindow (solver, +data.dx, +data.dy);
                    break;
                case "spillGeometry":
                    setGeometry (data);
                    break;
                case "spillObstacles":
                    if (Array.isArray (data.rects))
                        spill.obstacles = data.rects.filter ((o) => o && [o.x, o.y, o.w, o.h].every (Number.isFinite));
                    break;
                case "spillPoke":
                    wipe (spill, +data.x, +data.y, +data.dx, +data.dy);
                    break;
                default:
                    break;
            }
        },
        step (dt)
        {
            stepLiquid (solver, dt);
            if (spill.geometry)
            {
                spillFrom (spill, dt, solver.motion.envelope, solver.rim, dropColour ());
                shakeDrops (spill, solver.accel[0] / MM_PER_PIXEL, solver.accel[1] / MM_PER_PIXEL);
                if (spill.drops.length)
                    stepSpill (spill, dt);
                else
                    spill.moving = false;
            }
            liquid.moving = liquidActive (solver) || spill.moving;
            liquid.slope = tiltSlope (solver.tilt);
        },
        draw (ctx, env = {})
        {
            if (env.tint && Array.isArray (env.tint.color))
                tint = env.tint;
            drawSurface (ctx, env);
            drawSpill ();
        },
    };

    function setGeometry (g)
    {
        const width = +g.width, height = +g.height, dpr = Number.isFinite (+g.dpr) && g.dpr > 0 ? Math.min (3, +g.dpr) : 1;
        if (! (width > 0 && height > 0) || ! g.dish || ! [g.dish.x, g.dish.y, g.dish.r].every (Number.isFinite))
            return;
        spill.geometry = { width, height, dish: { x: g.dish.x, y: g.dish.y, r: g.dish.r } };
        // A very large window draws its drops at a lower density rather than on a huge canvas.
        spillDpr = Math.min (dpr, Math.sqrt (SPILL_MAX_PIXELS / (width * height)));
        sizeSpill ();
    }

    /** Sizes the spill canvas to the window (device pixels) and redraws it whole. */
    function sizeSpill ()
    {
        lastBoxes = new Map ();
        spill.changed = true;
        spill.full = true;
        const g = spill.geometry;
        if (! spillCanvas || ! g)
            return;
        const w = Math.round (g.width * spillDpr), h = Math.round (g.height * spillDpr);
        if (spillCanvas.width !== w || spillCanvas.height !== h)
        {
            spillCanvas.width = w;
            spillCanvas.height = h;
        }
    }

    /** The colour of newly spilled drops: the liquid's own tone, tinted by the dish's tint. */
    function dropColour ()
    {
        const k = Math.min (1, (tint.alpha || 0) / 0.4);
        return WATER.map ((w, i) => w + ((tint.color[i] ?? w) - w) * k);
    }

    //==========================================================================
    function lightOf (env)
    {
        const l = Array.isArray (env.light) && env.light.every (Number.isFinite) ? env.light : [Math.SQRT1_2, Math.SQRT1_2];
        const len = Math.hypot (l[0], l[1]) || 1;
        const dir = [l[0] / len, l[1] / len];
        const theta = Math.atan2 (dir[0], dir[1]);
        return { dir, theta, turn: Math.PI / 4 - theta };
    }

    function drawSurface (ctx, env)
    {
        const dark = !! env.dark;
        const theme = dark ? "dark" : "light";
        const { dir, turn } = lightOf (env);
        const slope = liquid.slope;
        const key = theme + dir[0].toFixed (4) + dir[1].toFixed (4);
        if (key !== staticKey)
        {
            staticKey = key;
            const body = BODY[theme];
            bodyGradient = ctx.createRadialGradient (CENTRE, CENTRE, 0, CENTRE, CENTRE, INNER_UNITS);
            bodyGradient.addColorStop (0, rgba (body.rgb, body.alpha * 0.6));
            bodyGradient.addColorStop (1, rgba (body.rgb, body.alpha));
            const rim = RIM[theme];
            const R = INNER_UNITS;
            rimGradient = ctx.createLinearGradient (CENTRE - dir[0] * R, CENTRE - dir[1] * R, CENTRE + dir[0] * R, CENTRE + dir[1] * R);
            rimGradient.addColorStop (0, rgba (rim.shine, rim.shine[3]));
            rimGradient.addColorStop (0.4, rgba (rim.shine, 0));
            rimGradient.addColorStop (0.6, rgba (rim.shade, 0));
            rimGradient.addColorStop (1, rgba (rim.shade, rim.shade[3]));
            sheenGradient = ctx.createRadialGradient (0, 0, 0, 0, 0, 1);
            sheenGradient.addColorStop (0, `rgba(255, 255, 255, ${SHEEN_PEAK[theme]})`);
            sheenGradient.addColorStop (1, "rgba(255, 255, 255, 0)");
        }
        const R = INNER_UNITS;
        const m = ctx.getTransform ();
        ctx.save ();
        ctx.beginPath ();
        ctx.arc (CENTRE, CENTRE, R, 0, 2 * Math.PI);
        ctx.clip ();

        // Body tint, fading out as the dish's own tint grows.
        const fade = 1 - Math.min (1, (tint.alpha || 0) / 0.4);
        if (fade > 0)
        {
            ctx.globalAlpha = fade;
            ctx.fillStyle = bodyGradient;
            ctx.fillRect (CENTRE - R, CENTRE - R, 2 * R, 2 * R);
            ctx.globalAlpha = 1;
        }

        // The moving surface: the 80 × 80 shading image scaled smoothly over the dish.
        if (liquidActive (solver))
        {
            if (! image)
            {
                image = makeCanvas (N, N);
                imageCtx = image.getContext ("2d");
                imageData = imageCtx.createImageData (N, N);
            }
            const pixels = shadeLiquid (shade, solver, { dark, light: [dir[0] * Math.SQRT2, dir[1] * Math.SQRT2], turn, tiltSlope: slope });
            imageData.data.set (pixels);
            imageCtx.putImageData (imageData, 0, 0);
            ctx.imageSmoothingEnabled = true;
            ctx.drawImage (image, 0, 0, 300, 300);
        }

        // Rim rings: shine and shade bands in the outer 9 units, lit on opposite sides.
        ctx.strokeStyle = rimGradient;
        ctx.lineWidth = 9;
        ctx.globalAlpha = 0.5;
        ctx.beginPath ();
        ctx.arc (CENTRE, CENTRE, R - 4.5, 0, 2 * Math.PI);
        ctx.stroke ();
        ctx.lineWidth = 3;
        ctx.globalAlpha = 0.8;
        ctx.beginPath ();
        ctx.arc (CENTRE, CENTRE, R - 1.5, 0, 2 * Math.PI);
        ctx.stroke ();
        ctx.globalAlpha = 1;

        // Sheen, moving with the tilt.
        const place = sheenPlace (turn, slope);
        ctx.translate (CENTRE + place.x, CENTRE + place.y);
        ctx.rotate (place.angle);
        ctx.scale (place.a, place.b);
        ctx.fillStyle = sheenGradient;
        ctx.beginPath ();
        ctx.arc (0, 0, 1, 0, 2 * Math.PI);
        ctx.fill ();
        ctx.setTransform (m);

        // Glints at the rim on the tilt side while the liquid tilts.
        const amount = Math.hypot (slope[0], slope[1]);
        const glint = Math.min (1, amount / 0.3);
        if (glint > 0.01)
        {
            const a = Math.atan2 (slope[1], slope[0]);
            ctx.lineCap = "round";
            ctx.lineWidth = 2.5;
            ctx.strokeStyle = rgba (SHINE[theme], glint);
            ctx.beginPath ();
            ctx.arc (CENTRE, CENTRE, R - 2.5, a - 0.5, a + 0.5);
            ctx.stroke ();
            ctx.strokeStyle = rgba (SHADE[theme], 0.7 * glint);
            ctx.beginPath ();
            ctx.arc (CENTRE, CENTRE, R - 2.5, a + Math.PI - 0.5, a + Math.PI + 0.5);
            ctx.stroke ();
        }
        ctx.restore ();
    }

    //==========================================================================
    /** Redraws the spill canvas where drops changed (dirty rectangle); nothing when no drop moves. */
    function drawSpill ()
    {
        if (! spillCtx || ! spill.changed)
            return;
        spill.changed = false;
        let x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
        const grow = (b) =>
        {
            x0 = Math.min (x0, b.x);
            y0 = Math.min (y0, b.y);
            x1 = Math.max (x1, b.x + b.w);
            y1 = Math.max (y1, b.y + b.h);
        };
        const boxes = new Map ();
        for (const d of spill.drops)
        {
            const box = dropBox (d);
            boxes.set (d.id, box);
            const old = lastBoxes.get (d.id);
            if (! old || d.moved || spill.full)
            {
                grow (box);
                if (old)
                    grow (old);
            }
            d.moved = false;
        }
        for (const [id, old] of lastBoxes)
            if (! boxes.has (id))
                grow (old);
        lastBoxes = boxes;
        if (spill.full)
        {
            x0 = 0;
            y0 = 0;
            x1 = spillCanvas.width / spillDpr;
            y1 = spillCanvas.height / spillDpr;
            spill.full = false;
        }
        if (! (x1 > x0 && y1 > y0))
            return;
        const dpr = spillDpr;
        const g = spillCtx;
        const rx = Math.max (0, Math.floor (x0 * dpr)), ry = Math.max (0, Math.floor (y0 * dpr));
        const rw = Math.min (spillCanvas.width, Math.ceil (x1 * dpr)) - rx, rh = Math.min (spillCanvas.height, Math.ceil (y1 * dpr)) - ry;
        if (rw <= 0 || rh <= 0)
            return;
        g.setTransform (1, 0, 0, 1, 0, 0);
        g.save ();
        g.beginPath ();
        g.rect (rx, ry, rw, rh);
        g.clip ();
        g.clearRect (rx, ry, rw, rh);
        for (const d of spill.drops)
        {
            const b = boxes.get (d.id);
            if (b.x * dpr > rx + rw || (b.x + b.w) * dpr < rx || b.y * dpr > ry + rh || (b.y + b.h) * dpr < ry)
                continue;
            const sprite = sprites.get (d.r, d.color, d.shape, dpr);
            g.drawImage (sprite, Math.round (d.x * dpr - sprite.width / 2), Math.round (d.y * dpr - sprite.height / 2));
        }
        g.restore ();
        liquid.lastSpillRect = { x: rx, y: ry, w: rw, h: rh };
    }

    return liquid;
}
