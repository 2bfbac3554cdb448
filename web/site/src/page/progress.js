// The bar under the canvas, shown when an operation takes more than a moment.

import { SceneStage } from "orrelin-generated/constants.js";
import { kStageGenerating, kStageReading } from "../shared/protocol.js";

const kProgressDelayMs = 200; // a load or Apply shorter than this shows no bar

const kStageNames = new Map([
  [kStageReading, "Reading the file"],
  [kStageGenerating, "Generating the mesh"],
  [SceneStage.Parsing, "Parsing"],
  [SceneStage.Quadtree, "Building the quadtree"],
  [SceneStage.Edges, "Listing the edges"],
  [SceneStage.Buffers, "Preparing the picture"],
]);

export class Progress {
  /** @param {HTMLElement} element */
  constructor(element) {
    this.element = element;
    this.label = /** @type {HTMLElement} */ (element.querySelector(".progress-label"));
    this.bar = /** @type {HTMLProgressElement} */ (element.querySelector("progress"));
    this.timer = 0;
    this.running = false;
  }

  begin() {
    this.running = true;
    this.show(kStageReading, 0);
    this.element.hidden = true;
    clearTimeout(this.timer);
    this.timer = setTimeout(() => {
      if (this.running) this.element.hidden = false;
    }, kProgressDelayMs);
    document.body.dataset.busy = "true";
  }

  /**
   * @param {number} stage
   * @param {number | undefined} fraction
   */
  stage(stage, fraction) {
    if (this.running) this.show(stage, fraction || 0);
  }

  /**
   * @param {number} stage
   * @param {number} fraction
   */
  show(stage, fraction) {
    this.label.textContent = kStageNames.get(stage) || "";
    // Generating takes the place of reading: one stage before the core's.
    const position = Math.max(stage, kStageReading) + 1;
    this.bar.value = (position + fraction) / (kStageNames.size - 1);
    this.element.dataset.stage = String(stage);
  }

  end() {
    this.running = false;
    clearTimeout(this.timer);
    this.element.hidden = true;
    delete document.body.dataset.busy;
  }
}
