import { test } from "node:test";
import assert from "node:assert/strict";
import { VARIANTS, TILE, grainPixels, encodePng, grainField } from "../../tools/grain.js";
import { inflateSync } from "node:zlib";

test ("the grain textures are deterministic 160 px PNG tiles", () =>
{
    assert.equal (VARIANTS.length, 4);
    for (const v of VARIANTS)
    {
        const png = encodePng (grainPixels (v), TILE, TILE);
        assert.deepEqual ([...png.subarray (0, 8)], [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
        assert.equal (png.readUInt32BE (16), 160);
        assert.equal (png.readUInt32BE (20), 160);
        assert.deepEqual (encodePng (grainPixels (v), TILE, TILE), png);
        const idatLength = png.readUInt32BE (33);
        const raw = inflateSync (png.subarray (41, 41 + idatLength));
        assert.equal (raw.length, (160 * 3 + 1) * 160);
    }
    assert.notDeepEqual (grainPixels (VARIANTS[0]), grainPixels ({ ...VARIANTS[0], seed: 1 }));
});

test ("the grain tiles without seams", () =>
{
    // The smooth part of the field wraps: the jump across the tile's edge is no larger than the
    // jumps between neighbouring pixels inside it.
    const field = grainField (VARIANTS[0].seed);
    const at = (x, y) => field[((y + TILE) % TILE) * TILE + ((x + TILE) % TILE)];
    let inside = 0, across = 0;
    for (let y = 0; y < TILE; ++y)
    {
        inside += Math.abs (at (80, y) - at (79, y));
        across += Math.abs (at (0, y) - at (-1, y));
    }
    assert.ok (across < inside * 1.5, `edge ${across} vs inside ${inside}`);
    const light = grainPixels (VARIANTS[0]), dark = grainPixels (VARIANTS[1]);
    const mean = (px) => px.reduce ((s, v) => s + v, 0) / px.length;
    assert.ok (mean (light) > 200 && mean (dark) < 70);
});
