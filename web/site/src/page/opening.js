// Opening files: Open File, a file dropped on the canvas, the bundled meshes;
// a load that fails says why in a message box.

import { LoadFailure, WebText } from "orrelin-generated/constants.js";
import { withCString } from "../shared/protocol.js";
import { showMessageBox } from "./message_box.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("../shared/protocol.js").Source} Source */
/** @typedef {import("./scene_client.js").SceneRunner} SceneRunner */
/** @typedef {(source: Source, name: string) => Promise<void>} Open */

// Uint8Array with the browser's base64 decoder, where it has one.
const kTypedArrays = /** @type {{fromBase64?: (text: string) => Uint8Array}} */ (/** @type {unknown} */ (Uint8Array));

/**
 * The bytes of base64 `text`: decoded by the browser where it can (the
 * module's bytes take a JavaScript loop tens of milliseconds at start-up),
 * else character by character.
 * @param {string} text
 * @returns {ArrayBuffer}
 */
export function decodeBase64(text) {
  if (kTypedArrays.fromBase64) return /** @type {ArrayBuffer} */ (kTypedArrays.fromBase64(text).buffer);
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let k = 0; k < binary.length; ++k) bytes[k] = binary.charCodeAt(k);
  return bytes.buffer;
}

/**
 * Loads `source` and shows it under `name`; a failure is told in a message
 * box once the load is over, with the reader's reason when it refused the
 * file's contents. `before` runs first (the replay ends).
 * @param {OrrelinCore} core
 * @param {SceneRunner} runner
 * @param {() => void} before
 * @returns {Open}
 */
export function opener(core, runner, before) {
  return async (source, given) => {
    const name = given || "(unnamed)";
    before();
    const failure = await runner.load(source, name);
    if (failure === null || failure === LoadFailure.None) return; // shown, or replaced by a newer load
    const message =
      failure === LoadFailure.OutOfMemory
        ? core.UTF8ToString(core._orrelin_text(WebText.OutOfMemory))
        : withCString(core, name, (at) => core.UTF8ToString(core._orrelin_load_error_text(at)));
    await showMessageBox(message, "Error", "information", runner.refusal);
  };
}

/**
 * Shows `hint` over the canvas while files are dragged over it.
 * @param {HTMLCanvasElement} canvas
 * @param {HTMLElement} hint
 */
function showDropHint(canvas, hint) {
  /** @param {DragEvent} event */
  const over = (event) => {
    if (event.dataTransfer?.types.includes("Files")) hint.hidden = false;
  };
  canvas.addEventListener("dragenter", over);
  canvas.addEventListener("dragover", over);
  for (const type of ["dragleave", "drop"]) canvas.addEventListener(type, () => (hint.hidden = true));
}

/**
 * Opens what the file input is given and what is dropped on the canvas; a
 * file dropped anywhere else does not replace the page.
 * @param {HTMLInputElement} fileInput
 * @param {HTMLCanvasElement} canvas
 * @param {HTMLElement} dropHint shown while a file is dragged over the canvas
 * @param {Open} open
 */
export function openDroppedAndChosen(fileInput, canvas, dropHint, open) {
  showDropHint(canvas, dropHint);
  fileInput.addEventListener("change", () => {
    const file = fileInput.files?.[0];
    fileInput.value = ""; // the same file can be chosen again
    if (file) open(file, file.name);
  });
  canvas.addEventListener("dragover", (event) => {
    event.preventDefault();
    if (event.dataTransfer) event.dataTransfer.dropEffect = "copy";
  });
  canvas.addEventListener("drop", (event) => {
    event.preventDefault();
    const file = event.dataTransfer?.files[0];
    if (file) open(file, file.name);
  });
  window.addEventListener("dragover", (event) => event.preventDefault());
  window.addEventListener("drop", (event) => event.preventDefault());
}

/**
 * A button for each bundled mesh in `list`.
 * @param {HTMLElement} list
 * @param {{name: string, data: string}[]} meshes the files of Data/, base64
 * @param {Open} open
 */
export function listMeshes(list, meshes, open) {
  for (const mesh of meshes) {
    const item = document.createElement("li");
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = mesh.name;
    button.addEventListener("click", () => open(decodeBase64(mesh.data), `Data/${mesh.name}`));
    item.append(button);
    list.append(item);
  }
}
