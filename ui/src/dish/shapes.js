// The sixteen cell shapes as vector art in a 100 × 100 box centred at (50, 50), and their page
// symbols. Each shape is a list of parts (an SVG path, filled and/or stroked with rounded joins and
// caps) plus its drawing scale and the point where the white core dot sits.

//==============================================================================
const f = (v) => +v.toFixed (2);

function circle (cx, cy, r)
{
    return `M${f (cx + r)} ${f (cy)}A${r} ${r} 0 1 1 ${f (cx - r)} ${f (cy)}A${r} ${r} 0 1 1 ${f (cx + r)} ${f (cy)}Z`;
}

function polygon (points)
{
    return "M" + points.map (([x, y]) => `${f (x)} ${f (y)}`).join ("L") + "Z";
}

function starPath (outer, inner, tips)
{
    const points = [];
    for (let i = 0; i < tips * 2; ++i)
    {
        const a = -Math.PI / 2 + i * Math.PI / tips;
        const r = i % 2 === 0 ? outer : inner;
        points.push ([50 + r * Math.cos (a), 50 + r * Math.sin (a)]);
    }
    return polygon (points);
}

function gearPath (disc, tip, teeth)
{
    const points = [];
    for (let k = 0; k < teeth; ++k)
    {
        const a = -Math.PI / 2 + k * 2 * Math.PI / teeth;
        for (const [da, r] of [[-0.3, disc], [-0.17, tip], [0.17, tip], [0.3, disc]])
            points.push ([50 + r * Math.cos (a + da), 50 + r * Math.sin (a + da)]);
    }
    return polygon (points);
}

/** The crescent between the outer circle (centre 50, 50) and an inner circle cut out of it. */
function crescentPath (R, cx, cy, r)
{
    const dx = cx - 50, dy = cy - 50, d = Math.hypot (dx, dy);
    const a = (R * R - r * r + d * d) / (2 * d);
    const h = Math.sqrt (R * R - a * a);
    const mx = 50 + a * dx / d, my = 50 + a * dy / d;
    const p1 = [mx + h * dy / d, my - h * dx / d];
    const p2 = [mx - h * dy / d, my + h * dx / d];
    return `M${f (p1[0])} ${f (p1[1])}A${R} ${R} 0 1 0 ${f (p2[0])} ${f (p2[1])}`
         + `A${r} ${r} 0 0 1 ${f (p1[0])} ${f (p1[1])}Z`;
}

const flowerPetals = [0, 1, 2, 3, 4].map ((k) =>
{
    const a = -Math.PI / 2 + k * 2 * Math.PI / 5;
    return circle (50 + 24 * Math.cos (a), 50 + 24 * Math.sin (a), 16);
}).join ("");

//==============================================================================
/** The shapes in motif order, "normal" (the plain blob, motif −1) first. */
export const SHAPES = Object.freeze ([
    { name: "normal", scale: 1, core: [50, 50], parts: [{ d: circle (50, 50, 34) }] },
    {
        name: "spade", scale: 1, core: [50, 50],
        parts: [{
            d: "M50 14C62 30 84 40 84 58C84 71 73 78 63 76C58 75 55 72 53 69C54 77 58 83 65 86L35 86"
             + "C42 83 46 77 47 69C45 72 42 75 37 76C27 78 16 71 16 58C16 40 38 30 50 14Z",
            stroke: 3,
        }],
    },
    {
        name: "clover", scale: 1, core: [50, 50],
        parts: [
            { d: circle (50, 32, 14.5) + circle (33, 52, 14.5) + circle (67, 52, 14.5) + circle (50, 48, 12) },
            { d: "M47 58Q50 74 42 87L48 88Q55 74 53 58Z", stroke: 2.5 },
        ],
    },
    {
        name: "heart", scale: 0.92, core: [50, 50],
        parts: [{
            d: "M50 84C24 66 14 52 14 38C14 26 23 18 33 18C41 18 47 23 50 30C53 23 59 18 67 18"
             + "C77 18 86 26 86 38C86 52 76 66 50 84Z",
            stroke: 2.5,
        }],
    },
    {
        name: "diamond", scale: 1, core: [50, 50],
        parts: [{
            d: "M50 13Q52 13 54 16L79 47Q81 50 79 53L54 84Q52 87 50 87Q48 87 46 84L21 53Q19 50 21 47"
             + "L46 16Q48 13 50 13Z",
            stroke: 3,
        }],
    },
    {
        name: "crown", scale: 1, core: [50, 58],
        parts: [
            { d: "M24 74L23 38L37 52L50 30L63 52L77 38L76 74Z", stroke: 6.5 },
            { d: circle (23, 30, 5.5) + circle (50, 21, 5.5) + circle (77, 30, 5.5) },
        ],
    },
    { name: "gear", scale: 1, core: [50, 50], parts: [{ d: gearPath (26, 36, 8) + circle (50, 50, 26) }] },
    { name: "star", scale: 0.92, core: [50, 50], parts: [{ d: starPath (40, 17, 5), stroke: 6 }] },
    { name: "bolt", scale: 1, core: [50, 50], parts: [{ d: "M60 12L30 54L48 54L40 88L71 43L53 43Z", stroke: 9 }] },
    {
        name: "puzzle", scale: 1.15, core: [55, 45],
        parts: [{
            d: "M35 25L75 25L75 65L62 65C64 70 63 79 55 79C47 79 46 70 48 65L35 65L35 52C30 54 21 53 21 45"
             + "C21 37 30 36 35 38Z",
        }],
    },
    {
        name: "bell", scale: 1, core: [50, 50],
        parts: [{
            d: "M50 13C53 13 55 15 55 18C68 21 74 33 74 47L74 61C74 67 80 69 82 73L82 78L18 78L18 73"
             + "C20 69 26 67 26 61L26 47C26 33 32 21 45 18C45 15 47 13 50 13Z" + circle (50, 83, 7),
        }],
    },
    {
        name: "leaf", scale: 1, core: [50, 50],
        parts: [
            { d: "M50 10C72 22 80 46 66 66C60 74 54 76 50 78C46 76 40 74 34 66C20 46 28 22 50 10Z" },
            { d: "M50 70L50 90", stroke: 6, fill: false },
        ],
    },
    { name: "flower", scale: 0.9, core: [50, 50], parts: [{ d: flowerPetals + circle (50, 50, 22) }] },
    {
        name: "controller", scale: 1.05, core: [50, 50], evenOdd: true,
        parts: [{
            d: "M30 30L70 30C82 30 90 40 92 54C94 68 88 78 80 78C72 78 68 68 62 66L38 66C32 68 28 78 20 78"
             + "C12 78 6 68 8 54C10 40 18 30 30 30Z"
             + "M27 40L33 40L33 45L38 45L38 51L33 51L33 56L27 56L27 51L22 51L22 45L27 45Z"
             + circle (67, 44, 4) + circle (75, 52, 4),
        }],
    },
    {
        name: "ribbon", scale: 1, core: [50, 50],
        parts: [
            { d: "M46 50L22 36L22 64ZM54 50L78 36L78 64Z", stroke: 16 },
            { d: circle (50, 50, 9) },
        ],
    },
    { name: "moon", scale: 1, core: [50, 50], parts: [{ d: crescentPath (34, 63, 41, 27) }] },
]);

/** The shape of a motif index; anything outside 0 to 14 is the plain blob. */
export function shapeOf (motif)
{
    return Number.isInteger (motif) && motif >= 0 && motif < SHAPES.length - 1 ? SHAPES[motif + 1] : SHAPES[0];
}

/** Radius of the white core dot in art units. */
export const CORE_RADIUS = 9.375;

/** Drawn size factor: a motif of cell radius r is drawn at 2 · r · 1.6 · scale / 100 per art unit. */
export function artScale (radius, shape)
{
    return 2 * radius * 1.6 * shape.scale / 100;
}

//==============================================================================
/** SVG markup of one <symbol> per shape (ids "m-normal" … "m-moon", view box 0 0 100 100), filled
    and stroked in currentColor with the shape's scale applied and a translucent white core dot. */
export function symbolMarkup ()
{
    return SHAPES.map ((shape) =>
    {
        const s = shape.scale;
        const transform = s === 1 ? "" : ` transform="translate(50 50) scale(${s}) translate(-50 -50)"`;
        const parts = shape.parts.map ((p) =>
            `<path d="${p.d}" fill="${p.fill === false ? "none" : "currentColor"}"`
            + (shape.evenOdd ? ` fill-rule="evenodd"` : "")
            + (p.stroke ? ` stroke="currentColor" stroke-width="${p.stroke}" stroke-linejoin="round" stroke-linecap="round"` : "")
            + "/>").join ("");
        const core = `<circle cx="${shape.core[0]}" cy="${shape.core[1]}" r="${CORE_RADIUS}" fill="#fff" fill-opacity="0.5"/>`;
        return `<symbol id="m-${shape.name}" viewBox="0 0 100 100"><g${transform}>${parts}${core}</g></symbol>`;
    }).join ("");
}

/** Adds the shape symbols to a document once (a hidden <svg> at the end of the body). */
export function mountSymbols (doc = globalThis.document)
{
    if (! doc || doc.getElementById ("m-normal"))
        return;
    const holder = doc.createElement ("div");
    holder.innerHTML = `<svg xmlns="http://www.w3.org/2000/svg" width="0" height="0" aria-hidden="true">${symbolMarkup ()}</svg>`;
    const svg = holder.firstChild;
    svg.style.position = "absolute";
    doc.body.appendChild (svg);
}
