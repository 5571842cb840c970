// The liquid surface over the cells and the spilled drops live in src/liquid/; the renderer takes
// them from here.
export { createLiquid } from "../liquid/surface.js";
