// The liquid surface over the cells and the spilled drops: the renderer's hooks for them.
//
// The renderer owns one liquid object and calls it in a fixed order each drawn frame: step(dt),
// then draw(ctx, env) after the cells and before the ripples. Stirring reaches it through down,
// move and up (dish units), appearing cells through poke; the window's motion and the spill
// messages through handle(kind, data). This one keeps a flat, still surface: it draws nothing and
// never moves, which is the dish's look without the liquid simulation.

//==============================================================================
/** A still liquid with the interface the renderer drives. */
export function createLiquid ()
{
    const liquid = {
        /** True while the surface moves (the renderer reports it to the page). */
        moving: false,
        /** Overall tilt of the surface, [sx, sy]. */
        slope: [0, 0],
        /** The full-window spill canvas, when the page has one. */
        spill: null,
        attachSpill (canvas) { liquid.spill = canvas || null; },
        down (x, y) {},
        move (x, y) {},
        up () {},
        poke (x, y) {},
        handle (kind, data) {},
        step (dt) {},
        draw (ctx, env) {},
    };
    return liquid;
}
