// Save picture (the canvas as PNG) and Save figure (the core's SVG of the
// shown scene), named after the shown file.

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
 */
export function connectSaves(canvas, view, runner, sceneName) {
  const baseName = () => (sceneName().split("/").pop() || "orrelin").replace(/\.tri$/i, "");
  /** @type {HTMLElement} */ (document.getElementById("save-picture")).addEventListener("click", () => {
    // Drawn and read in one task: the drawing buffer is not kept after it.
    view.draw();
    canvas.toBlob((blob) => blob && download(blob, `${baseName()}.png`), "image/png");
  });
  /** @type {HTMLElement} */ (document.getElementById("save-figure")).addEventListener("click", async () => {
    const text = await runner.figure(Math.round(canvas.clientWidth), Math.round(canvas.clientHeight));
    if (text) download(new Blob([text], { type: "image/svg+xml" }), `${baseName()}.svg`);
  });
}
