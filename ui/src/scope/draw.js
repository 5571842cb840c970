// Drawing of the two scope screens (252 × 206 canvas pixels each): the waveform with its grid
// and the 32-bar spectrum, in the green glow of the trace colour. The numbers are pure functions;
// the draw functions take a 2D context and return nothing.

import { WAVE_LENGTH, BAR_COUNT } from "./check.js";

//==============================================================================
export const SCREEN = { width: 252, height: 206 };
export const TRACE = "rgb(56, 242, 175)";
export const GLOW = "rgba(47, 230, 184, 0.85)";
export const CORE_SHADOW = "rgba(255, 255, 255, 0.9)";
export const TICK = "rgba(47, 230, 184, 0.22)";
export const TRIGGER = "rgba(56, 242, 175, 0.55)";
export const FRAME_INTERVAL_MS = 24;
export const FLOOR = 194;

const clamp01 = (v) => Math.min (1, Math.max (0, v));

/** Quietness of a wave: 1 for silence, 0 once its peak reaches 6/84. */
export function quietness (wave)
{
    let peak = 0;
    for (let i = 0; i < wave.length; ++i)
        peak = Math.max (peak, Math.abs (wave[i]));
    return clamp01 (1 - 84 * peak / 6);
}

/** The idle wobble weight o moving towards the quietness a over dt seconds (null o: first frame). */
export function followWobble (o, a, dt)
{
    if (o === null)
        return a;
    dt = Math.min (0.1, Math.max (0, dt));
    const k = a > o ? Math.min (1, dt * 4) : Math.min (1, dt * 12);
    return o + (a - o) * k;
}

/** y of trace point i for wave value w, wobble weight o and τ (20 × the time in ms). */
export function traceY (i, w, o, tau)
{
    const u = i / (WAVE_LENGTH - 1);
    return 110 - 84 * w - 0.65 * o * (0.7 * Math.sin (11 * u + 0.0014 * tau) + 0.3 * Math.cos (5 * u - 0.0009 * tau));
}

/** x of trace point i. */
export const traceX = (i) => 20 + 212 * i / (WAVE_LENGTH - 1);

/** Bar k for value b: { x, width, top, bottom }. */
export function barSpan (k, b, tau)
{
    const H = Math.max (3, 168 * Math.min (1, b));
    const q = 2 * Math.max (0, 0.65 * Math.sin (1.13 * k + 0.0016 * tau) + 0.35 * Math.cos (0.47 * k - 0.0011 * tau));
    const weight = clamp01 ((H - 3) / 3);
    return { x: 20 + 6.625 * k + 1.8125, width: 3, top: FLOOR - H - q, bottom: FLOOR + q * (weight - 1) };
}

//==============================================================================
/** Draws the grid: tick marks along y = 110 and x = 126, and the trigger mark. */
export function drawGrid (g)
{
    g.strokeStyle = TICK;
    g.lineWidth = 1;
    g.beginPath ();
    for (let n = 0, x = 20; x <= 232; x += 7, ++n)
    {
        const len = n % 4 === 0 ? 5 : 2.5;
        g.moveTo (x + 0.5, 110 - len / 2);
        g.lineTo (x + 0.5, 110 + len / 2);
    }
    for (let n = 0, y = 26; y <= 194; y += 7, ++n)
    {
        const len = n % 4 === 0 ? 5 : 2.5;
        g.moveTo (126 - len / 2, y + 0.5);
        g.lineTo (126 + len / 2, y + 0.5);
    }
    g.stroke ();
    g.fillStyle = TRIGGER;
    g.beginPath ();
    g.moveTo (10, 106.5);
    g.lineTo (16, 110);
    g.lineTo (10, 113.5);
    g.closePath ();
    g.fill ();
}

function glowStyle (g)
{
    g.shadowColor = GLOW;
    g.shadowBlur = 8;
    g.strokeStyle = TRACE;
    g.fillStyle = TRACE;
}

function coreStyle (g)
{
    g.shadowColor = CORE_SHADOW;
    g.shadowBlur = 2.5;
    g.strokeStyle = "#ffffff";
    g.fillStyle = "#ffffff";
}

/** Draws the waveform screen: grid, then the trace as a glow and a white core. */
export function drawWave (g, grid, wave, o, tau)
{
    g.setTransform (1, 0, 0, 1, 0, 0);
    g.clearRect (0, 0, SCREEN.width, SCREEN.height);
    g.drawImage (grid, 0, 0);
    g.save ();
    g.lineJoin = "round";
    g.lineCap = "round";
    g.beginPath ();
    for (let i = 0; i < WAVE_LENGTH; ++i)
    {
        const x = traceX (i), y = traceY (i, wave[i], o, tau);
        if (i === 0)
            g.moveTo (x, y);
        else
            g.lineTo (x, y);
    }
    glowStyle (g);
    g.lineWidth = 3;
    g.stroke ();
    coreStyle (g);
    g.lineWidth = 1.3;
    g.stroke ();
    g.restore ();
}

/** Draws the spectrum screen: grid, then 32 bars (clipped to y < 194) in the glow and a white core. */
export function drawBars (g, grid, bars, tau)
{
    g.setTransform (1, 0, 0, 1, 0, 0);
    g.clearRect (0, 0, SCREEN.width, SCREEN.height);
    g.drawImage (grid, 0, 0);
    g.save ();
    g.beginPath ();
    g.rect (0, 0, SCREEN.width, FLOOR);
    g.clip ();
    const spans = [];
    for (let k = 0; k < BAR_COUNT; ++k)
        spans.push (barSpan (k, bars[k], tau));
    glowStyle (g);
    g.beginPath ();
    for (const s of spans)
        g.rect (s.x, s.top, s.width, s.bottom - s.top);
    g.fill ();
    coreStyle (g);
    g.beginPath ();
    for (const s of spans)
        g.rect (s.x + 0.85, s.top, 1.3, s.bottom - s.top);
    g.fill ();
    g.restore ();
}
