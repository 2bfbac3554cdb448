// A lost WebGL context (a GPU reset, a phone's tab sent to the background):
// the canvas says so while the scene, the panels and the input go on; when
// the context comes back the view makes its program and buffers again from
// the bytes it kept, and draws the picture it would have drawn.

/** @typedef {import("./canvas_view.js").SceneView} SceneView */

/**
 * @param {HTMLCanvasElement} canvas
 * @param {SceneView} view
 * @param {HTMLElement} note shown over the canvas while the context is lost
 */
export function followContextLoss(canvas, view, note) {
  canvas.addEventListener("webglcontextlost", (event) => {
    event.preventDefault(); // without it the context never comes back
    view.loseContext();
    note.hidden = false;
  });
  canvas.addEventListener("webglcontextrestored", () => {
    view.restoreContext();
    note.hidden = true;
  });
}
