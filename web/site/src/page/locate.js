// Locate: a plane point typed as x and y, read as the file's numbers are,
// located by the same operation as a click (same Descent, Step and picture).
// Without a mouse, and exactly: a point on a shared edge or a vertex shows
// the tie rules at work.

import { withCString } from "../shared/protocol.js";
import { showMessageBox } from "./message_box.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("./scene_client.js").SceneRunner} SceneRunner */

/**
 * The coordinate in `field`, or null when it is not a number.
 * @param {OrrelinCore} core
 * @param {HTMLInputElement} field
 * @returns {number | null}
 */
function coordinate(core, field) {
  const at = core._malloc(4) >>> 0;
  const ok = withCString(core, field.value, (text) => core._orrelin_read_coordinate(text, at)) === 1;
  const value = new Float32Array(core.HEAPU8.buffer, at, 1)[0];
  core._free(at);
  return ok ? value : null;
}

/**
 * @param {OrrelinCore} core
 * @param {HTMLFormElement} form holding the fields locate-x and locate-y
 * @param {HTMLCanvasElement} canvas whose picked point the located one becomes
 * @param {SceneRunner} runner
 * @param {() => void} before runs first (the replay ends)
 */
export function connectLocate(core, form, canvas, runner, before) {
  const fieldX = /** @type {HTMLInputElement} */ (form.querySelector("#locate-x"));
  const fieldY = /** @type {HTMLInputElement} */ (form.querySelector("#locate-y"));
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    before();
    const x = coordinate(core, fieldX);
    const y = coordinate(core, fieldY);
    if (x === null || y === null) {
      const field = x === null ? fieldX : fieldY;
      await showMessageBox(`Type a number for ${x === null ? "x" : "y"}.`, "Locate", "warning");
      field.focus();
      field.select();
      return;
    }
    if (!runner.hasScene) return;
    canvas.dataset.picked = `${x} ${y}`;
    performance.mark("orrelin-click");
    await runner.click(x, y);
  });
}
