// The chart page's lines: version, incubation time, newborn cells, discovered species.
// Pure: no DOM.

export const VERSION_TEXT = "1.0.0";

/** Incubation seconds as hours and minutes: 3725.9 s reads "1h2m", 0 reads "0h0m". Negative
    times (never published) read as zero. */
export function formatIncubation (seconds)
{
    const s = Math.max (0, Math.floor (seconds));
    return Math.floor (s / 3600) + "h" + Math.floor ((s % 3600) / 60) + "m";
}

/** The chart's lines as [label, value] pairs, title first. */
export function chartLines ({ incubation, spawn }, discoveredCount)
{
    return [
        ["Version", VERSION_TEXT],
        ["Incubation time:", formatIncubation (incubation)],
        ["Newborn cells:", String (spawn)],
        ["Discovered species:", discoveredCount + " / ??"],
    ];
}
