// The Descent panel: after a click, the regions the quadtree passed through,
// root first; pointing at a row (or focusing it) outlines its region on the
// canvas.

import { kDescentColor, kStepColor, Sizes } from "orrelin-generated/constants.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("../shared/protocol.js").DescentStep} DescentStep */
/** @typedef {import("../shared/protocol.js").Found} Found */
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

/**
 * A single-precision number in its shortest digits, as orrelin-inspect
 * prints it.
 * @param {number} value
 */
function floatText(value) {
  for (let digits = 1; digits < 9; ++digits) {
    const text = Number(value.toPrecision(digits));
    if (Math.fround(text) === value) return String(text);
  }
  return String(value);
}

/**
 * Which triangle holds the point, in words.
 * @param {Found | undefined} found
 */
function foundText(found) {
  if (!found) return "";
  if (found.triangle < 0) {
    return found.outside
      ? "no triangle holds the point; it lies outside the root's rectangle"
      : "no triangle holds the point";
  }
  const c = found.corners.map(floatText);
  return `found: triangle ${found.triangle}, corners (${c[0]}, ${c[1]}), (${c[2]}, ${c[3]}), (${c[4]}, ${c[5]})`;
}

export class DescentPanel {
  /**
   * @param {OrrelinCore} core
   * @param {SceneView} view
   * @param {HTMLTableElement} table
   * @param {HTMLElement} summary
   * @param {HTMLElement} found the line saying which triangle holds the point
   */
  constructor(core, view, table, summary, found) {
    this.core = core;
    this.view = view;
    this.table = table;
    this.summary = summary;
    this.found = found;
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
   * @param {Found} [found] what the click found
   */
  show(steps, triangleCount, found) {
    this.outline(null);
    this.found.textContent = foundText(found);
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
