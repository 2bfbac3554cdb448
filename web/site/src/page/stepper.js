// Step: replays the last click, the descent level by level, then the leaf's
// triangles one by one, ending on the click's own picture. Screen readers
// hear the stage when the replay stands still (a single step, a pause, the
// end), not at every step of a running replay.

import { kChildNames } from "./descent_panel.js";

/** @typedef {import("../shared/protocol.js").DescentStep} DescentStep */
/** @typedef {import("../shared/protocol.js").HandedBuffer} HandedBuffer */
/** @typedef {import("./canvas_view.js").SceneView} SceneView */
/** @typedef {import("./descent_panel.js").DescentPanel} DescentPanel */

/**
 * @typedef {{play: HTMLButtonElement, step: HTMLButtonElement, speed: HTMLInputElement, stage: HTMLElement,
 *   caption: HTMLElement, status: HTMLElement}} StepControls
 */

/** @param {string} id */
function byId(id) {
  return /** @type {HTMLElement} */ (document.getElementById(id));
}

/** The step controls of the page. @returns {StepControls} */
export function stepControls() {
  return {
    play: /** @type {HTMLButtonElement} */ (byId("step-play")),
    step: /** @type {HTMLButtonElement} */ (byId("step-one")),
    speed: /** @type {HTMLInputElement} */ (byId("step-speed")),
    stage: byId("step-stage"),
    caption: byId("step-caption"),
    status: byId("step-status"),
  };
}

export class Stepper {
  /**
   * @param {StepControls} controls
   * @param {SceneView} view
   * @param {DescentPanel} descent
   * @param {(tested: number) => Promise<HandedBuffer[] | null>} highlightPrefix the click's highlight so far
   * @param {() => number} triangleCount the scene's
   */
  constructor(controls, view, descent, highlightPrefix, triangleCount) {
    this.controls = controls;
    this.view = view;
    this.panel = descent;
    this.highlightPrefix = highlightPrefix;
    this.triangleCount = triangleCount;
    /** @type {DescentStep[]} */
    this.descent = [];
    /** @type {HandedBuffer[] | null} the click's highlight buffers: the last picture */
    this.final = null;
    this.stage = -1; // -1: not running; then levels, then triangles tested
    this.timer = 0;
    this.request = 0; // the number of the newest highlight asked for
    this.connect();
  }

  get levels() {
    return this.descent.length;
  }

  get tests() {
    return this.levels ? this.descent[this.levels - 1].triangles : 0;
  }

  connect() {
    const { play, step, speed } = this.controls;
    play.addEventListener("click", () => {
      if (this.timer) {
        this.stopTimer();
        this.announce();
        return;
      }
      if (this.stage < 0) this.begin();
      this.play();
    });
    step.addEventListener("click", () => {
      this.stopTimer();
      if (this.stage < 0) this.begin();
      else this.advance();
      this.announce();
    });
    speed.addEventListener("input", () => {
      speed.setAttribute("aria-valuetext", `${speed.value} steps a second`);
      if (this.timer) this.play();
    });
  }

  stopTimer() {
    clearInterval(this.timer);
    this.timer = 0;
    this.controls.play.textContent = "Play";
  }

  /** Tells screen readers the stage shown (the status line is live). */
  announce() {
    this.controls.status.textContent = this.controls.stage.textContent;
  }

  /** Ends the replay on the click's own picture. */
  finish() {
    if (this.stage < 0) return;
    this.stopTimer();
    this.stage = -1;
    ++this.request;
    if (this.final) this.view.replaceBuffers(this.final, true, false);
    this.panel.outline(null, true);
    this.panel.markRow(-1);
    this.controls.caption.hidden = true;
    this.controls.stage.textContent = `Done: tested ${this.tests} of ${this.triangleCount()} triangles.`;
    this.announce();
    document.body.dataset.stepStage = "done";
  }

  /** @param {number} tested */
  async showHighlightPrefix(tested) {
    const number = ++this.request;
    const buffers = await this.highlightPrefix(tested);
    if (buffers && number === this.request && this.stage >= 0) this.view.replaceBuffers(buffers, true, false);
  }

  showStage() {
    const { stage, levels } = this;
    const { caption, stage: stageText } = this.controls;
    const leaf = this.descent[levels - 1];
    if (stage < levels) {
      const step = this.descent[stage];
      this.panel.outline(step.bounds, true);
      this.panel.markRow(stage);
      const next = step.child >= 0 ? `, on to child ${step.child} (${kChildNames[step.child]})` : "";
      caption.textContent = `Level ${stage}: ${step.triangles} triangles`;
      stageText.textContent = `Level ${stage}: the region holds ${step.triangles} triangles${next}.`;
      if (stage === 0) this.showHighlightPrefix(0);
    } else {
      const tested = stage - levels + 1;
      this.panel.outline(leaf.bounds, true);
      this.panel.markRow(levels - 1);
      caption.textContent = `Tested ${tested} of ${leaf.triangles}`;
      stageText.textContent = `Tested ${tested} of the region's ${leaf.triangles} triangles.`;
      this.showHighlightPrefix(tested);
    }
    caption.hidden = false;
    document.body.dataset.stepStage = String(stage);
  }

  advance() {
    if (this.stage < 0) return;
    if (this.stage + 1 >= this.levels + this.tests) {
      this.finish();
      return;
    }
    ++this.stage;
    this.showStage();
  }

  begin() {
    this.stage = 0;
    this.showStage();
  }

  play() {
    this.stopTimer();
    this.timer = setInterval(() => this.advance(), 1000 / Number(this.controls.speed.value));
    this.controls.play.textContent = "Pause";
  }

  /**
   * A new click's descent, with its picture as the replay's last.
   * @param {DescentStep[] | undefined} descent
   * @param {HandedBuffer[] | null} buffers
   */
  prepare(descent, buffers) {
    this.finish();
    this.descent = descent || [];
    this.final = buffers;
    this.controls.play.disabled = this.controls.step.disabled = this.levels === 0;
    this.controls.stage.textContent = "";
    this.controls.status.textContent = "";
    delete document.body.dataset.stepStage;
  }
}
