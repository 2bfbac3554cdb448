// The heat map switch: while it is on, every leaf of the shown tree is filled
// by its triangle count under the picture, and the legend shows the scale from
// 0 to the largest count. It follows every new scene and every Apply.

import { Sizes } from "orrelin-generated/constants.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("./canvas_view.js").SceneView} SceneView */
/** @typedef {import("./scene_client.js").SceneRunner} SceneRunner */

export class HeatMap {
  /**
   * @param {OrrelinCore} core
   * @param {HTMLInputElement} checkbox
   * @param {HTMLElement} legend holds .heat-scale, .heat-max
   * @param {SceneView} view
   * @param {() => SceneRunner | null} runner
   */
  constructor(core, checkbox, legend, view, runner) {
    this.checkbox = checkbox;
    this.legend = legend;
    this.view = view;
    this.runner = runner;
    this.asked = 0; // the number of the last request: older answers are dropped
    const at = core._malloc(Sizes.HeatScaleStops * 12) >>> 0;
    core._orrelin_heat_scale(at);
    const stops = Array.from({ length: Sizes.HeatScaleStops }, (_, k) => {
      const [r, g, b] = new Float32Array(core.HEAPU8.buffer, at + 12 * k, 3);
      return `rgb(${Math.round(r * 255)}, ${Math.round(g * 255)}, ${Math.round(b * 255)})`;
    });
    core._free(at);
    /** @type {HTMLElement} */ (legend.querySelector(".heat-scale")).style.background =
      `linear-gradient(to right, ${stops.join(", ")})`;
    checkbox.addEventListener("change", () => this.refresh());
  }

  get on() {
    return this.checkbox.checked;
  }

  // Fetches the shown tree's heat map while the switch is on; clears it when off.
  async refresh() {
    const number = ++this.asked;
    if (!this.on) {
      this.view.setHeatMap(null);
      this.legend.hidden = true;
      return;
    }
    const runner = this.runner();
    const heat = runner ? await runner.heatMap() : null;
    if (number !== this.asked) return;
    this.view.setHeatMap(heat?.buffers[0]?.bytes ?? null);
    this.legend.hidden = heat === null;
    /** @type {HTMLElement} */ (this.legend.querySelector(".heat-max")).textContent = String(heat?.maxCount ?? 0);
  }
}
