// The page's one light: where the window sits on its display gives the light's angle θ (degrees,
// 0 = straight above, positive = from the left) and the shade depth. Pure functions over plain
// numbers; light/view.js applies the result to the page.

//==============================================================================
export const MAX_ANGLE = 70;
export const START_ANGLE = 45;
export const TIME_CONSTANT_MS = 50;
export const APPLY_INTERVAL_MS = 29.3;
export const ANGLE_STEP = 0.05;
export const DEPTH_STEP = 0.001;

const clamp = (v, lo, hi) => Math.min (hi, Math.max (lo, v));
const round = (v, step) => Math.round (v / step) * step;
const round4 = (v) => Math.round (v * 10000) / 10000 + 0;

/** Target angle and depth of a "light" message (x: window centre from the display's centre, y: 0 at
    its top, 1 at its bottom, both in display heights). */
export function lightTarget (x, y)
{
    const theta = clamp (Math.atan2 (x, Math.max (y, 0.05)) * 180 / Math.PI, -MAX_ANGLE, MAX_ANGLE);
    return { theta: theta + 0, depth: clamp (y, 0, 1) };
}

/** The relief offset factor (sx, sy): (1, 1) at 45°. */
export function lightVector (theta)
{
    const a = theta * Math.PI / 180;
    return [round4 (Math.SQRT2 * Math.sin (a)), round4 (Math.SQRT2 * Math.cos (a))];
}

/** The cells' light direction (sin θ, cos θ). */
export function lightDirection (theta)
{
    const a = theta * Math.PI / 180;
    return [Math.sin (a), Math.cos (a)];
}

/** The liquid's turn in radians: (45 − θ)°. */
export const liquidTurn = (theta) => (START_ANGLE - theta) * Math.PI / 180;

//==============================================================================
/** The light's state: current and target angle and depth, and the values last applied. */
export function createLightState ()
{
    return {
        theta: START_ANGLE,
        depth: 0,
        target: null,
        lastStep: null,
        lastApply: -Infinity,
        applied: { theta: START_ANGLE, depth: 0 },
    };
}

/** Takes a "light" message at time now (ms). The first one applies at once. Returns true when the
    light must be applied now. */
export function setLightTarget (state, x, y, now)
{
    const target = lightTarget (x, y);
    const first = state.target === null;
    // A light at rest starts counting its approach from this message, not from its last move.
    if (! first && ! lightMoving (state))
        state.lastStep = now;
    state.target = target;
    if (first)
    {
        state.theta = target.theta;
        state.depth = target.depth;
        state.lastStep = now;
    }
    return first;
}

/**
    Moves the light towards its target for the frame at now (ms). Returns the rounded light to
    apply ({ theta, depth }), or null when nothing needs applying in this frame.
*/
export function stepLight (state, now, force = false)
{
    if (state.target !== null)
    {
        const dt = state.lastStep === null ? 0 : clamp (now - state.lastStep, 0, 100);
        state.lastStep = now;
        const k = 1 - Math.exp (-dt / TIME_CONSTANT_MS);
        state.theta += (state.target.theta - state.theta) * k;
        state.depth += (state.target.depth - state.depth) * k;
        if (Math.abs (state.target.theta - state.theta) < ANGLE_STEP && Math.abs (state.target.depth - state.depth) < DEPTH_STEP)
        {
            state.theta = state.target.theta;
            state.depth = state.target.depth;
        }
    }
    if (! force && now - state.lastApply < APPLY_INTERVAL_MS)
        return null;
    const theta = round (state.theta, ANGLE_STEP) + 0;
    const depth = round (state.depth, DEPTH_STEP) + 0;
    if (! force && theta === state.applied.theta && depth === state.applied.depth)
        return null;
    state.lastApply = now;
    state.applied = { theta, depth };
    return { theta, depth };
}

/** True while the current light still differs from its target. */
export const lightMoving = (state) => state.target !== null
    && (state.theta !== state.target.theta || state.depth !== state.target.depth);

/** True once the light has reached its target and that target has been applied: a glide can
    converge in a frame in which applying must wait, and still needs a frame after that. */
export const lightSettled = (state) => ! lightMoving (state)
    && state.applied.theta === round (state.theta, ANGLE_STEP) + 0
    && state.applied.depth === round (state.depth, DEPTH_STEP) + 0;

//==============================================================================
/**
    The CSS custom properties for a light (θ degrees, depth) in a window of the given size: the light
    vector, the gradient angle, θ/45 and |θ/45|, the depth, and the frame layers' rotation and shifts.
*/
export function lightVariables (theta, depth, width, height)
{
    const [sx, sy] = lightVector (theta);
    const t = theta / 45;
    const fix = (v, d = 3) => String (+v.toFixed (d) + 0);
    return {
        "--sx": fix (sx, 4),
        "--sy": fix (sy, 4),
        "--light-angle": fix (180 - theta, 2) + "deg",
        "--light-t": fix (t, 4),
        "--light-abs": fix (Math.abs (t), 4),
        "--light-depth": fix (depth, 3),
        "--frame-sweep-rotate": fix (-theta, 2) + "deg",
        "--frame-sheen-x": fix (-0.32 * width * t, 2) + "px",
        "--frame-sheen-y": fix (0.06 * height * Math.abs (t), 2) + "px",
        "--frame-band-x": fix (0.42 * width * t, 2) + "px",
    };
}
