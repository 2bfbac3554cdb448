// The canvas's size and input: resizing, left click (locate), right-button
// drag, wheel, arrow keys and Home (the view the load framed). What each input does to the eye is the core's
// decision; this module turns the browser's events into its calls.

import { ArrowKey } from "orrelin-generated/constants.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("./canvas_view.js").SceneView} SceneView */
/** @typedef {import("./scene_client.js").SceneRunner} SceneRunner */
/** @typedef {{x: number, y: number}} Pixel */

/** @type {Map<string, number>} */
const kArrowKeys = new Map([
  ["ArrowLeft", ArrowKey.Left],
  ["ArrowRight", ArrowKey.Right],
  ["ArrowUp", ArrowKey.Up],
  ["ArrowDown", ArrowKey.Down],
]);

// Keys that would scroll the page: the canvas takes them.
const kScrollKeys = new Set([" ", "PageUp", "PageDown", "End"]);

/** @param {MouseEvent} event @returns {Pixel} */
const pixel = (event) => ({ x: Math.floor(event.offsetX), y: Math.floor(event.offsetY) });

/**
 * Keeps the view's size that of the canvas. Watching the canvas's size in
 * device pixels also catches a change of the pixel ratio (browser zoom,
 * another screen), which keeps the picture sharp.
 * @param {OrrelinCore} core
 * @param {HTMLCanvasElement} canvas
 * @param {SceneView} view
 */
export function followCanvasSize(core, canvas, view) {
  const resize = () => {
    const width = Math.max(1, Math.round(canvas.clientWidth));
    const height = Math.max(1, Math.round(canvas.clientHeight));
    core._orrelin_view_resize(width, height);
    view.resize(width, height, window.devicePixelRatio || 1);
  };
  const observer = new ResizeObserver(resize);
  try {
    observer.observe(canvas, { box: "device-pixel-content-box" });
  } catch {
    observer.observe(canvas);
  }
  resize();
}

export class CanvasInput {
  /**
   * @param {OrrelinCore} core
   * @param {HTMLCanvasElement} canvas
   * @param {SceneView} view
   * @param {SceneRunner} runner
   */
  constructor(core, canvas, view, runner) {
    this.core = core;
    this.canvas = canvas;
    this.view = view;
    this.runner = runner;
    this.wheelTravel = 0;
    canvas.addEventListener("pointerdown", (event) => this.pointerDown(event));
    /** @param {PointerEvent} event */
    const endDrag = (event) => {
      if (event.button !== 2 && event.type === "pointerup") return;
      canvas.classList.remove("dragging");
      core._orrelin_view_drag_end();
    };
    canvas.addEventListener("pointerup", endDrag);
    canvas.addEventListener("lostpointercapture", endDrag);
    canvas.addEventListener("pointermove", (event) => {
      if (!canvas.classList.contains("dragging")) return;
      const at = pixel(event);
      core._orrelin_view_drag(at.x, at.y);
      view.requestFrame();
    });
    canvas.addEventListener("contextmenu", (event) => event.preventDefault());
    canvas.addEventListener("wheel", (event) => this.wheel(event), { passive: false });
    canvas.addEventListener("keydown", (event) => this.key(event));
  }

  /**
   * The plane point under pixel `at`, which becomes the picked point and the
   * zoom target; false when the pixel's ray misses the plane.
   * @param {Pixel} at
   */
  pick(at) {
    const core = this.core;
    if (!core._orrelin_view_pick(at.x, at.y)) return false;
    this.canvas.dataset.picked = `${core._orrelin_view_picked_x()} ${core._orrelin_view_picked_y()}`;
    return true;
  }

  /** @param {PointerEvent} event */
  pointerDown(event) {
    if (!this.runner.hasScene) return;
    const at = pixel(event);
    if (event.button === 0) {
      if (!this.pick(at)) return;
      performance.mark("orrelin-click");
      this.runner.click(this.core._orrelin_view_picked_x(), this.core._orrelin_view_picked_y());
    } else if (event.button === 2) {
      this.canvas.setPointerCapture(event.pointerId);
      this.canvas.classList.add("dragging");
      this.core._orrelin_view_drag_start(at.x, at.y);
    }
  }

  /**
   * One notch is 100 pixels of scrolling (3 lines, 1 page) in either
   * direction; smaller steps add up to notches.
   * @param {WheelEvent} event
   */
  wheel(event) {
    event.preventDefault();
    if (!this.runner.hasScene) return;
    const perNotch = event.deltaMode === 0 ? 100 : event.deltaMode === 1 ? 3 : 1;
    this.wheelTravel += event.deltaY / perNotch;
    const at = pixel(event);
    while (Math.abs(this.wheelTravel) >= 1 - 1e-9) {
      const away = this.wheelTravel < 0; // rolled away from the user: zoom in
      this.wheelTravel += away ? 1 : -1;
      if (!this.pick(at)) break;
      this.core._orrelin_view_zoom(away ? 1 : 0);
    }
    if (Math.abs(this.wheelTravel) < 1e-9) this.wheelTravel = 0;
    this.view.requestFrame();
  }

  /** @param {KeyboardEvent} event */
  key(event) {
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    if (kScrollKeys.has(event.key)) {
      event.preventDefault();
      return;
    }
    const arrow = kArrowKeys.get(event.key);
    if (arrow === undefined && event.key !== "Home") return;
    event.preventDefault(); // the page does not scroll
    if (!this.runner.hasScene) return;
    performance.mark("orrelin-key");
    if (arrow === undefined) this.core._orrelin_view_reset();
    else this.core._orrelin_view_arrow_key(arrow, event.shiftKey ? 1 : 0);
    this.view.requestFrame();
  }

  /** Back to the view the load framed. */
  resetView() {
    if (!this.runner.hasScene) return;
    this.core._orrelin_view_reset();
    this.view.requestFrame();
  }
}
