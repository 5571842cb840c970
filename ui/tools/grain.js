// Generates the four tileable anodised-metal grain textures of the page (160 px tiles).
// Deterministic: the same seeds always give the same bytes. Pure node, no dependencies.
//
//   node tools/grain.js OUTDIR
//
// The grain is our own noise: a periodic value-noise field (two octaves on lattices that divide
// the tile, so the tile wraps without seams) plus fine per-pixel speckle, stretched slightly along
// one axis like brushed, anodised aluminium. Each variant maps it onto its own base tone.

import { writeFileSync, mkdirSync } from "node:fs";
import { join } from "node:path";
import { deflateSync } from "node:zlib";

export const TILE = 160;

/** The four variants: file name, base RGB, contrast of the grain in RGB steps, seed. */
export const VARIANTS = [
    { file: "anodizeGrain.png",           base: [214, 221, 235], amount: 9,  seed: 0x1f2e3d4c },
    { file: "anodizeGrainDark.png",       base: [52, 60, 76],    amount: 7,  seed: 0x5a6b7c8d },
    { file: "anodizeGrainRecess.png",     base: [192, 201, 219], amount: 8,  seed: 0x2b3c4d5e },
    { file: "anodizeGrainRecessDark.png", base: [38, 44, 56],    amount: 6,  seed: 0x6c7d8e9f },
];

//==============================================================================
/** Mulberry32: a small, well-mixed 32-bit generator. Returns a function giving numbers in [0, 1). */
export function mulberry32 (seed)
{
    let a = seed >>> 0;
    return () =>
    {
        a = (a + 0x6d2b79f5) >>> 0;
        let t = a;
        t = Math.imul (t ^ (t >>> 15), t | 1);
        t ^= t + Math.imul (t ^ (t >>> 7), t | 61);
        return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
}

/** A periodic lattice of random values (cellsX × cellsY), smoothly interpolated; wraps at the tile edge. */
function periodicValueNoise (size, cellsX, cellsY, rand)
{
    const lattice = new Float64Array (cellsX * cellsY);
    for (let i = 0; i < lattice.length; ++i)
        lattice[i] = rand () * 2 - 1;

    const out = new Float64Array (size * size);
    const fade = (t) => t * t * (3 - 2 * t);
    for (let y = 0; y < size; ++y)
    {
        const gy = (y / size) * cellsY;
        const y0 = Math.floor (gy), ty = fade (gy - y0);
        const ya = y0 % cellsY, yb = (y0 + 1) % cellsY;
        for (let x = 0; x < size; ++x)
        {
            const gx = (x / size) * cellsX;
            const x0 = Math.floor (gx), tx = fade (gx - x0);
            const xa = x0 % cellsX, xb = (x0 + 1) % cellsX;
            const top = lattice[ya * cellsX + xa] * (1 - tx) + lattice[ya * cellsX + xb] * tx;
            const bottom = lattice[yb * cellsX + xa] * (1 - tx) + lattice[yb * cellsX + xb] * tx;
            out[y * size + x] = top * (1 - ty) + bottom * ty;
        }
    }
    return out;
}

/** The grain field of one variant: values roughly in [-1, 1], tileable in both directions. */
export function grainField (seed, size = TILE)
{
    const rand = mulberry32 (seed);
    // Lattices stretched horizontally (fewer cells across than down) give the brushed look.
    const coarse = periodicValueNoise (size, 10, 40, rand);
    const fine = periodicValueNoise (size, 32, 160, rand);
    const out = new Float64Array (size * size);
    for (let i = 0; i < out.length; ++i)
        out[i] = 0.35 * coarse[i] + 0.35 * fine[i] + 0.3 * (rand () * 2 - 1);
    return out;
}

/** RGB bytes (size × size × 3) of one variant. */
export function grainPixels (variant, size = TILE)
{
    const field = grainField (variant.seed, size);
    const px = new Uint8Array (size * size * 3);
    for (let i = 0; i < field.length; ++i)
        for (let c = 0; c < 3; ++c)
            px[i * 3 + c] = Math.max (0, Math.min (255, Math.round (variant.base[c] + variant.amount * field[i])));
    return px;
}

//==============================================================================
const crcTable = (() =>
{
    const t = new Uint32Array (256);
    for (let n = 0; n < 256; ++n)
    {
        let c = n;
        for (let k = 0; k < 8; ++k)
            c = (c & 1) ? (0xedb88320 ^ (c >>> 1)) : (c >>> 1);
        t[n] = c >>> 0;
    }
    return t;
}) ();

function crc32 (bytes)
{
    let c = 0xffffffff;
    for (const b of bytes)
        c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

function chunk (type, data)
{
    const head = Buffer.alloc (8);
    head.writeUInt32BE (data.length, 0);
    head.write (type, 4, "ascii");
    const crc = Buffer.alloc (4);
    crc.writeUInt32BE (crc32 (Buffer.concat ([head.subarray (4), data])), 0);
    return Buffer.concat ([head, data, crc]);
}

/** Encodes RGB bytes as a PNG file (8-bit truecolour, no filter, fixed compression level). */
export function encodePng (rgb, width, height)
{
    const ihdr = Buffer.alloc (13);
    ihdr.writeUInt32BE (width, 0);
    ihdr.writeUInt32BE (height, 4);
    ihdr[8] = 8;  // bit depth
    ihdr[9] = 2;  // truecolour
    const raw = Buffer.alloc ((width * 3 + 1) * height);
    for (let y = 0; y < height; ++y)
    {
        raw[y * (width * 3 + 1)] = 0;
        Buffer.from (rgb.buffer, rgb.byteOffset + y * width * 3, width * 3).copy (raw, y * (width * 3 + 1) + 1);
    }
    const signature = Buffer.from ([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
    return Buffer.concat ([signature, chunk ("IHDR", ihdr), chunk ("IDAT", deflateSync (raw, { level: 9 })),
                           chunk ("IEND", Buffer.alloc (0))]);
}

/** Writes the four textures into a folder. */
export function writeGrainTextures (outDir)
{
    mkdirSync (outDir, { recursive: true });
    for (const v of VARIANTS)
        writeFileSync (join (outDir, v.file), encodePng (grainPixels (v), TILE, TILE));
}

if (import.meta.url === `file://${process.argv[1]}`)
{
    if (process.argv.length < 3)
    {
        console.error ("usage: node tools/grain.js OUTDIR");
        process.exit (2);
    }
    writeGrainTextures (process.argv[2]);
}
