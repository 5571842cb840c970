// The dish tint: a colour mixed from the active sound controls.

/** Colour of each control, light and dark theme, in control-index order. */
export const CONTROL_COLOURS = [
    [[243, 152, 151], [244, 164, 164]],
    [[123, 214, 162], [139, 230, 178]],
    [[136, 175, 242], [147, 182, 243]],
    [[225, 197, 107], [249, 222, 135]],
    [[233, 175, 245], [233, 175, 245]],
    [[244, 163, 116], [244, 163, 116]],
    [[105, 232, 218], [116, 242, 228]],
    [[95, 196, 243], [95, 196, 243]],
    [[224, 132, 152], [224, 132, 152]],
    [[230, 207, 116], [240, 217, 125]],
    [[153, 213, 142], [163, 223, 152]],
    [[148, 162, 241], [148, 162, 241]],
];

/** Inner radius of the dish's liquid in dish units; the drawing square is 300 units, centre 150. */
export const DISH_INNER_RADIUS = 134;

/**
    The tint for twelve control values: { r, g, b, a } with the weighted mean colour (weights the
    positive values) and alpha min(0.6, 0.4 Σv); null when Σv < 0.01.
*/
export function dishTint (values, dark)
{
    let sum = 0, r = 0, g = 0, b = 0;
    values.forEach ((v, i) =>
    {
        if (! (v > 0) || i >= CONTROL_COLOURS.length)
            return;
        const c = CONTROL_COLOURS[i][dark ? 1 : 0];
        sum += v;
        r += c[0] * v;
        g += c[1] * v;
        b += c[2] * v;
    });
    if (sum < 0.01)
        return null;
    return { r: r / sum, g: g / sum, b: b / sum, a: Math.min (0.6, 0.4 * sum) };
}

/** The point on the dish's inner circle (dish units) in the direction of (dx, dy) from the centre. */
export function waveOrigin (dx, dy)
{
    const angle = Math.atan2 (dy, dx);
    return { x: 150 + DISH_INNER_RADIUS * Math.cos (angle), y: 150 + DISH_INNER_RADIUS * Math.sin (angle) };
}
