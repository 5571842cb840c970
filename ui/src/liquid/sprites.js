// Sprites of spilled drops, cached per size, tone and shape. The cache counts its pixels and is
// dropped as a whole once it holds more than 2 000 000 of them.

//==============================================================================
export const SPRITE_PIXEL_LIMIT = 2000000;

/** Key parts: the radius in half-pixel steps, the colour in steps of 16, the shape 0 to 3. */
export function spriteKey (r, color, shape, dpr)
{
    const size = Math.max (1, Math.round (r * 2));
    const tone = color.map ((v) => Math.round (Math.min (255, Math.max (0, v)) / 16)).join (".");
    return size + "/" + tone + "/" + (shape & 3) + "@" + Math.round (dpr * 4);
}

/**
    A sprite cache. make(r, color, shape, dpr) returns a drawable with width and height (device
    pixels); the cache keeps it under its key.
*/
export function createSpriteCache (make, limit = SPRITE_PIXEL_LIMIT)
{
    const cache = {
        map: new Map (),
        pixels: 0,
        drops: 0,
        get (r, color, shape, dpr)
        {
            const key = spriteKey (r, color, shape, dpr);
            let sprite = cache.map.get (key);
            if (! sprite)
            {
                const q = Math.max (1, Math.round (r * 2)) / 2;
                const tone = color.map ((v) => Math.round (Math.min (255, Math.max (0, v)) / 16) * 16);
                sprite = make (q, tone, shape & 3, dpr);
                const px = sprite.width * sprite.height;
                if (cache.pixels + px > limit)
                {
                    cache.map.clear ();
                    cache.pixels = 0;
                    ++cache.drops;
                }
                cache.map.set (key, sprite);
                cache.pixels += px;
            }
            return sprite;
        },
        clear ()
        {
            cache.map.clear ();
            cache.pixels = 0;
        },
    };
    return cache;
}
