// The chart page: a small green screen with the version and the statistics.

import { chartLines } from "./chart.js";
import { make } from "./dom.js";

/** Builds the chart page in `element`. Returns { draw(stats, discoveredCount) }. */
export function createChartPage (element, doc)
{
    element.classList.add ("chart-page");
    const screen = make (doc, "div", "chart-screen");
    const scan = make (doc, "div", "chart-scanlines");
    const values = [];
    chartLines ({ incubation: 0, spawn: 0 }, 0).forEach (([label], i) =>
    {
        const line = make (doc, "div", i === 0 ? "chart-line chart-title" : "chart-line");
        const name = make (doc, "span", "chart-label");
        const value = make (doc, "span", "chart-value");
        name.textContent = label;
        line.append (name, value);
        screen.appendChild (line);
        values.push (value);
    });
    element.append (screen, scan);

    return {
        /** Writes the values (statistics and discovered count). */
        draw (stats, discoveredCount)
        {
            chartLines (stats, discoveredCount).forEach (([, value], i) => { values[i].textContent = value; });
        },
    };
}
