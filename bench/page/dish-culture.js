// The culture both dish benchmarks deliver: a plain script evaluated in the page (with the fake
// bridge), defining and starting feedCulture ().

/** Runs in the page: delivers a moving culture through the fake bridge at 30 updates per second. */
function feedCulture ()
{
    const backend = window.__JUCE__.backend;
    let tick = 0, nextId = 1000;
    const ids = Array.from ({ length: 24 }, (_, i) => i + 1);
    const born = new Map ();
    setInterval (() =>
    {
        ++tick;
        // Every half second one to three cells are replaced: cell-event ripples, newborn rings.
        if (tick % 15 === 0)
            for (let k = 0; k < 1 + (tick / 15) % 3; ++k)
            {
                const slot = (tick * 7 + k * 5) % 24;
                ids[slot] = nextId++;
                born.set (ids[slot], tick);
            }
        const cells = [];
        for (let i = 0; i < 24; ++i)
        {
            // Twelve pairs orbiting the centre; the two cells of a pair stay close (bridges).
            const pair = i >> 1, t = tick / 30;
            const a = pair / 12 * 2 * Math.PI + 0.35 * t * (pair % 2 ? 1 : -1);
            const ring = 0.35 + 0.35 * ((pair % 3) / 2);
            const off = (i & 1 ? 1 : -1) * (0.075 + 0.02 * Math.sin (2 * t + pair));
            const x = ring * Math.cos (a) - off * Math.sin (a), y = ring * Math.sin (a) + off * Math.cos (a);
            const vx = -0.35 * ring * Math.sin (a) / 60, vy = 0.35 * ring * Math.cos (a) / 60;
            const id = ids[i];
            const fresh = born.has (id) && tick - born.get (id) < 3;
            cells.push (id, x, y, 1.2 + (i % 4) * 0.4, (i >> 1) % 4, i % 2, i % 15, 0.7 * t + i, vx, vy, 0,
                        (tick + i) % 40 < 4 ? 0.5 : 0, fresh && i % 2 ? 1 : 0);
        }
        backend.emitByBackend ("frame", { cells: { cells }, voices: { levels: [ids[0], 0.5, ids[3], 0.1, ids[8], 1] } });
        if (tick % 20 === 0)
            backend.emitByBackend ("frame", { state: { note: tick % 40 === 0 ? 60 : -1 } });
    }, 1000 / 30);
}

feedCulture ();
