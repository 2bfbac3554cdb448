// The Descent panel: after a click, the regions the quadtree passed through,
// root first; pointing at a row (or focusing it) outlines its region on the
// canvas.

import { kDescentColor, kStepColor, Sizes } from "orrelin-generated/constants.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("../shared/protocol.js").DescentStep} DescentStep */
/** @typedef {import("./canvas_view.js").SceneView} SceneView */

export const kChildNames = ["lower left", "lower right", "upper left", "upper right"];

const kOutlineBytes = Sizes.RegionOutlineVertices * Sizes.WebVertexBytes;

/**
 * The "child" column: the child taken, or "tested" at the last region.
 * @param {DescentStep} step
 */
function childText(step) {
  return step.child >= 0 ? `${step.child} (${kChildNames[step.child]})` : "tested";
}

export class DescentPanel {
  /**
   * @param {OrrelinCore} core
   * @param {SceneView} view
   * @param {HTMLTableElement} table
   * @param {HTMLElement} summary
   */
  constructor(core, view, table, summary) {
    this.core = core;
    this.view = view;
    this.table = table;
    this.summary = summary;
    this.outlineAt = core._malloc(kOutlineBytes) >>> 0;
  }

  /**
   * Outlines `bounds` over the picture in the descent's colour, or in the step
   * replay's as its own outline; null removes the outline.
   * @param {number[] | null} bounds
   * @param {boolean} step
   */
  outline(bounds, step = false) {
    if (!bounds) {
      this.view.setOutline(null, step);
      return;
    }
    const [minX, minY, maxX, maxY] = bounds;
    const [r, g, b] = step ? kStepColor : kDescentColor;
    this.core._orrelin_region_outline(minX, minY, maxX, maxY, r, g, b, this.outlineAt);
    this.view.setOutline(this.core.HEAPU8.slice(this.outlineAt, this.outlineAt + kOutlineBytes), step);
  }

  /**
   * One row of the table.
   * @param {DescentStep} step
   * @param {number} level
   */
  row(step, level) {
    const row = document.createElement("tr");
    row.tabIndex = 0;
    const [minX, minY, maxX, maxY] = step.bounds;
    const child = childText(step);
    const region = `(${minX}, ${minY}) \u2013 (${maxX}, ${maxY})`;
    for (const text of [String(level), region, String(step.triangles), child]) {
      const cell = document.createElement("td");
      cell.textContent = text;
      row.append(cell);
    }
    row.setAttribute(
      "aria-label",
      `Level ${level}: region (${minX}, ${minY}) to (${maxX}, ${maxY}), ${step.triangles} triangles, ${child}`,
    );
    const outline = () => this.outline(step.bounds);
    row.addEventListener("mouseenter", outline);
    row.addEventListener("focus", outline);
    row.addEventListener("mouseleave", () => this.outline(null));
    row.addEventListener("blur", () => this.outline(null));
    return row;
  }

  /**
   * Shows a click's descent, or none (null or empty).
   * @param {DescentStep[] | null | undefined} steps
   * @param {number} triangleCount the scene's
   */
  show(steps, triangleCount) {
    this.outline(null);
    const body = /** @type {HTMLTableSectionElement} */ (this.table.querySelector("tbody"));
    body.replaceChildren();
    this.table.hidden = !steps || steps.length === 0;
    if (!steps || steps.length === 0) {
      this.summary.textContent = "Click on the mesh to see its descent.";
      return;
    }
    steps.forEach((step, level) => body.append(this.row(step, level)));
    this.summary.textContent = `tested ${steps[steps.length - 1].triangles} of ${triangleCount} triangles`;
  }

  /**
   * Marks the row of `level` as the replay's current one (-1: none).
   * @param {number} level
   */
  markRow(level) {
    this.table.querySelectorAll("tbody tr").forEach((row, k) => {
      if (k === level) row.setAttribute("aria-current", "step");
      else row.removeAttribute("aria-current");
    });
  }
}
