// The drop sprite cache: one sprite per size, tone and shape, dropped as a whole past 2 000 000 pixels.
import { test } from "node:test";
import assert from "node:assert/strict";
import { createSpriteCache, SPRITE_PIXEL_LIMIT } from "../../src/liquid/sprites.js";

test ("sprites are cached per size, tone and shape", () =>
{
    let made = 0;
    const cache = createSpriteCache ((r, tone, shape, dpr) => ({ width: 10, height: 10, r, tone, shape, n: ++made }));
    const a = cache.get (5, [120, 160, 215], 0, 1);
    assert.equal (cache.get (5.1, [121, 161, 214], 0, 1), a, "same half-pixel size and tone step");
    assert.notEqual (cache.get (5.5, [120, 160, 215], 0, 1), a, "another size");
    assert.notEqual (cache.get (5, [200, 160, 215], 0, 1), a, "another tone");
    assert.notEqual (cache.get (5, [120, 160, 215], 1, 1), a, "another shape");
    assert.notEqual (cache.get (5, [120, 160, 215], 0, 2), a, "another pixel ratio");
    assert.equal (made, 5);
    assert.equal (cache.pixels, 500);
});

test ("the cache is dropped once it would hold more than 2 000 000 pixels", () =>
{
    const cache = createSpriteCache ((r) => ({ width: 300, height: 300 }));
    assert.equal (SPRITE_PIXEL_LIMIT, 2000000);
    let most = 0;
    for (let k = 0; k < 60; ++k)
    {
        cache.get (1 + k / 2, [100, 100, 100], 0, 1);
        most = Math.max (most, cache.pixels);
        assert.ok (cache.pixels <= SPRITE_PIXEL_LIMIT, `${cache.pixels} pixels after ${k + 1} sprites`);
    }
    assert.equal (most, 22 * 90000);
    assert.equal (cache.drops, 2);
    assert.equal (cache.map.size, cache.pixels / 90000);
});
