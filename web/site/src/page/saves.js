// Save picture (the canvas as PNG), Save figure (the core's SVG of the shown
// scene as the canvas shows it now, zoom and pan included) and Save mesh (the
// shown mesh as .tri text), named after the shown file.

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("./canvas_view.js").SceneView} SceneView */
/** @typedef {import("./scene_client.js").SceneRunner} SceneRunner */

/**
 * Offers `blob` as a download named `name`.
 * @param {Blob} blob
 * @param {string} name
 */
export function download(blob, name) {
  const url = URL.createObjectURL(blob);
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

/**
 * @param {HTMLCanvasElement} canvas
 * @param {SceneView} view
 * @param {SceneRunner} runner
 * @param {() => string} sceneName the shown scene's name ("" before the first)
 * @param {OrrelinCore} core the page's instance, which holds the eye
 * @param {() => boolean} heatMapOn whether the figure fills the leaves by their counts
 */
export function connectSaves(canvas, view, runner, sceneName, core, heatMapOn = () => false) {
  const baseName = () => (sceneName().split("/").pop() || "orrelin").replace(/\.tri$/i, "");
  /** @type {HTMLElement} */ (document.getElementById("save-picture")).addEventListener("click", () => {
    // Drawn and read in one task: the drawing buffer is not kept after it.
    view.draw();
    canvas.toBlob((blob) => blob && download(blob, `${baseName()}.png`), "image/png");
  });
  /** @type {HTMLElement} */ (document.getElementById("save-figure")).addEventListener("click", async () => {
    // The size and eye the view's arithmetic uses (followCanvasSize).
    const width = Math.max(1, Math.round(canvas.clientWidth));
    const height = Math.max(1, Math.round(canvas.clientHeight));
    const at = core._malloc(12) >>> 0;
    core._orrelin_view_eye(at);
    const eye = [...new Float32Array(core.HEAPU8.buffer, at, 3)];
    core._free(at);
    const text = await runner.figure(width, height, eye, heatMapOn());
    if (text) download(new Blob([text], { type: "image/svg+xml" }), `${baseName()}.svg`);
  });
  /** @type {HTMLElement} */ (document.getElementById("save-mesh")).addEventListener("click", async () => {
    const bytes = await runner.meshText();
    if (bytes) download(new Blob([bytes], { type: "text/plain" }), `${baseName()}.tri`);
  });
}
