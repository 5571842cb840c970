// The views that plug into the shell, by their methods: the dish (src/dish/), the pipette,
// culture and chart pages (src/pages/), and the scope, liquid and lighting (src/scope/). The
// stand-ins here do nothing; main.js uses one when its view fails to start.

/**
    The dish view's methods, called by the shell:
      start()            first reveal: begin drawing (sets ready)
      cells(payload)     accepted "cells" message
      voices(payload)    accepted "voices" message
      note(n)            processor note from "state" (-1 none): the shiver
      tint(t)            dish tint { r, g, b, a, origin: {x, y} | null } or null
      theme(dark)        the theme changed side
      jackpot(ms)        "reroll" was sent: open the jackpot window for ms
      light(v), liquid(kind, data), onLiquid(fn)   used by the scope and liquid view
    The view registers its own stir gesture with shell.gestures.
*/
export function nullDishView ()
{
    return {
        start () {},
        cells () {},
        voices () {},
        note () {},
        tint () {},
        theme () {},
        jackpot () {},
        light () {},
        liquid () {},
        onLiquid () {},
    };
}

/** The pipette, culture and chart pages: "pipette", "presets" and "stats" messages, opening and closing. */
export function nullPages ()
{
    return {
        pipette () {},
        presets () {},
        stats () {},
        opened () {},
        closed () {},
    };
}

/** The scope, the liquid surface and the lighting: "scope", "window" and "light", and scope visibility. */
export function nullInstruments ()
{
    return {
        scope () {},
        window () {},
        light () {},
        scopeShown () {},
    };
}
