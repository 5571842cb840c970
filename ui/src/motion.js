// Small easing and timing helpers shared by the controls.

/** Quadratic ease in and out, p in [0, 1]. */
export function easeInOutQuad (p)
{
    const x = Math.min (1, Math.max (0, p));
    return x < 0.5 ? 2 * x * x : 1 - 2 * (1 - x) * (1 - x);
}

export const clamp01 = (v) => Math.min (1, Math.max (0, v));

/** Milliseconds since the page started, from the monotonic clock. */
export const nowMs = () => performance.now ();
