// Light/dark theme: token mixing, text colour, and the theme switch.

import { easeInOutQuad } from "./motion.js";

/** Theme tokens: light end and dark end, RGB with alpha. */
export const THEME_TOKENS = {
    "bg": [[205, 213, 229, 1], [45, 52, 65, 1]],
    "light-shadow": [[244, 247, 252, 1], [79, 92, 117, 1]],
    "dark-shadow": [[128, 142, 173, 1], [13, 19, 29, 1]],
    "dish-inner-light": [[244, 247, 252, 1], [79, 92, 117, 0.02]],
    "press-light": [[255, 255, 255, 0.64], [84, 100, 130, 0.52]],
    "press-dark": [[128, 142, 173, 0.55], [4, 7, 12, 0.6]],
    "active-halo": [[236, 136, 65, 0], [236, 136, 65, 0.22]],
    "glass-glare": [[255, 255, 255, 0.2], [255, 255, 255, 0]],
    "glass-gloss": [[255, 255, 255, 0.06], [255, 255, 255, 0]],
};

export const TEXT_LIGHT_THEME = [54, 65, 80];
export const TEXT_DARK_THEME = [188, 195, 213];

const clamp01 = (v) => Math.min (1, Math.max (0, v));

/** The mix factor for a theme value t (1 light, 0 dark): 0 = light end, 1 = dark end. */
export function mixFactor (t)
{
    const v = Number.isFinite (t) ? clamp01 (t) : 1;
    return 1 - Math.sqrt (v);
}

/** Dark mode holds while the mix factor is at least 0.5. */
export const isDark = (t) => mixFactor (t) >= 0.5;

/** Mixes two RGBA colours: channels rounded, alpha interpolated. */
export function mixColour (light, dark, m)
{
    const out = [0, 1, 2].map ((i) => Math.round (light[i] * (1 - m) + dark[i] * m));
    const la = light[3] ?? 1, da = dark[3] ?? 1;
    out.push (la * (1 - m) + da * m);
    return out;
}

const squaredDistance = (a, b) => (a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2 + (a[2] - b[2]) ** 2;

/** Weight of the dark-theme text colour against a background: leans to the end that contrasts more. */
export function textDarkWeight (background)
{
    const dLight = squaredDistance (TEXT_LIGHT_THEME, background);
    const dDark = squaredDistance (TEXT_DARK_THEME, background);
    return 1 / (1 + Math.exp (-0.02 * (dDark - dLight)));
}

/** Every token for theme value t, plus "text" and the two shade inks. Colours as [r, g, b, a]. */
export function themeColours (t)
{
    const m = mixFactor (t);
    const out = {};
    for (const [name, [light, dark]] of Object.entries (THEME_TOKENS))
        out[name] = mixColour (light, dark, m);
    const w = textDarkWeight (out["bg"]);
    out["text"] = mixColour ([...TEXT_LIGHT_THEME, 1], [...TEXT_DARK_THEME, 1], w);
    const ds = out["dark-shadow"];
    const half = ds.slice (0, 3).map ((c) => Math.round (c / 2));
    out["shade-ink"] = [...half, 0.22];
    out["shade-ink-deep"] = [...half, 0.6];
    return out;
}

export const cssColour = (c) => `rgba(${c[0]}, ${c[1]}, ${c[2]}, ${+c[3].toFixed (4)})`;

/** Sun and moon icon state and thumb offset for an animated theme value t. */
export function switchPose (t)
{
    const v = clamp01 (t);
    const sunOpacity = clamp01 ((v - 0.2) / 0.6);
    return {
        thumbX: 15 * v,
        sun: { opacity: sunOpacity, rotate: 90 * (1 - v), scale: 0.5 + 0.5 * v },
        moon: { opacity: 1 - sunOpacity, rotate: -90 * v, scale: 1 - 0.5 * v },
    };
}

/** The colours follow the thumb's animation only at its ends. */
export const colourEndReached = (t) => t <= 0.04 || t >= 0.96;

//==============================================================================
/** Writes the theme's colours as custom properties and sets the dark-mode body class. */
export function applyThemeColours (doc, t)
{
    const colours = themeColours (t);
    const root = doc.documentElement;
    for (const [name, c] of Object.entries (colours))
        root.style.setProperty ("--" + name, cssColour (c));
    const dark = isDark (t);
    doc.body.classList.toggle ("is-theme-dark", dark);
    return dark;
}

/**
    Wires the theme switch. onChange(dark) is told when the colours change side;
    send(value) sends "theme". Returns { setFromNative(t), value() }.
*/
export function createThemeSwitch ({ doc, element, send, onColours, requestFrame, now })
{
    const thumb = element.querySelector (".theme-thumb");
    const sun = element.querySelector (".icon-sun");
    const moon = element.querySelector (".icon-moon");
    let target = 1;
    let shown = 1;            // the animated value
    let colourValue = 1;      // the value the colours are mixed for
    let animation = null;
    let suppressClickUntil = 0;

    const pose = (t) =>
    {
        const p = switchPose (t);
        thumb.style.transform = `translateX(${p.thumbX}px)`;
        sun.style.opacity = String (p.sun.opacity);
        sun.style.transform = `rotate(${p.sun.rotate}deg) scale(${p.sun.scale})`;
        moon.style.opacity = String (p.moon.opacity);
        moon.style.transform = `rotate(${p.moon.rotate}deg) scale(${p.moon.scale})`;
    };

    const setColours = (t) =>
    {
        colourValue = t;
        onColours (applyThemeColours (doc, t), t);
    };

    const step = () =>
    {
        if (! animation)
            return;
        const p = Math.min (1, (now () - animation.start) / 280);
        shown = animation.from + (animation.to - animation.from) * easeInOutQuad (p);
        pose (shown);
        if (colourEndReached (shown) && Math.abs (colourValue - animation.to) > 1e-9 && Math.abs (shown - animation.to) < 0.5)
            setColours (animation.to);
        if (p < 1)
            requestFrame (step);
        else
        {
            animation = null;
            doc.body.classList.remove ("is-theme-moving");
        }
    };

    const change = (value) =>
    {
        if (value === target)
            return;
        target = value;
        send (value);
        animation = { from: shown, to: value, start: now () };
        doc.body.classList.add ("is-theme-moving");
        requestFrame (step);
    };

    let down = null;
    element.addEventListener ("pointerdown", (e) =>
    {
        down = { x: e.clientX, id: e.pointerId, swiped: false };
    });
    element.addEventListener ("pointermove", (e) =>
    {
        if (! down || down.id !== e.pointerId || down.swiped)
            return;
        const dx = e.clientX - down.x;
        if (Math.abs (dx) > 4)
        {
            down.swiped = true;
            suppressClickUntil = now () + 100;
            change (dx > 0 ? 1 : 0);
        }
    });
    const up = (e) =>
    {
        if (down && down.id === e.pointerId && down.swiped)
            suppressClickUntil = now () + 100;
        down = null;
    };
    element.addEventListener ("pointerup", up);
    element.addEventListener ("pointercancel", up);
    element.addEventListener ("click", () =>
    {
        if (now () < suppressClickUntil)
            return;
        change (target >= 0.5 ? 0 : 1);
    });

    pose (shown);
    setColours (1);

    return {
        setFromNative (t)
        {
            const v = Math.min (1, Math.max (0, t));
            animation = null;
            doc.body.classList.remove ("is-theme-moving");
            target = v;
            shown = v;
            pose (v);
            setColours (v);
        },
        value: () => target,
        dark: () => isDark (colourValue),
    };
}
