// The Limits chart: what the two quadtree limits cost on the shown mesh. Both
// sweeps (the depth limit 1 to 10 at the active triangles per region, and the
// triangles per region 1 to 10000 at the active depth limit) run in a worker
// of their own on a copy of the shown scene, so the shown scene, its clicks
// and Apply go on meanwhile; Cancel ends that worker.
//
// The four figures differ by orders of magnitude and in unit, so each curve is
// drawn as a share of its own largest value in the sweep (0 to 100 %); the
// legend gives that largest value with its unit, and every point's title and
// the table under the chart give the figures themselves.

import { kStageSweeping } from "../shared/protocol.js";
import { download } from "./saves.js";

/** @typedef {import("../shared/protocol.js").SweepPoint} SweepPoint */
/** @typedef {import("../shared/protocol.js").Limits} Limits */
/** @typedef {import("./scene_client.js").SceneRunner} SceneRunner */
/** @typedef {import("./panel.js").PanelElements} PanelElements */

const kSvgNs = "http://www.w3.org/2000/svg";

/**
 * A curve: which figure, its name and unit, its colour (Okabe-Ito, told apart
 * without colour vision too by the marker's shape).
 * @typedef {{key: "expectedTests" | "storedReferences" | "splitRegions" | "buildMs", name: string,
 *   unit: string, colour: string, marker: "circle" | "square" | "diamond" | "triangle"}} Curve
 */

/** @type {Curve[]} */
const kCurves = [
  { key: "expectedTests", name: "Expected tests of a click", unit: "triangles", colour: "#0072b2", marker: "circle" },
  { key: "storedReferences", name: "Stored triangle references", unit: "references", colour: "#d55e00", marker: "square" },
  { key: "splitRegions", name: "Split regions", unit: "regions", colour: "#009e73", marker: "diamond" },
  { key: "buildMs", name: "Build time", unit: "ms", colour: "#cc79a7", marker: "triangle" },
];

/**
 * One sweep as drawn: which limit runs along x, the other one's value.
 * @typedef {{axis: "depth" | "triangles", points: SweepPoint[], fixed: number}} Sweep
 */

// The plot's frame inside each chart's 400 x 262 view box.
const kWidth = 400;
const kHeight = 262;
const kLeft = 58;
const kRight = 378;
const kTop = 14;
const kBottom = 178;

/**
 * @param {string} name
 * @param {Record<string, string | number>} attributes
 * @param {Element | null} parent
 */
function svgElement(name, attributes, parent) {
  const element = document.createElementNS(kSvgNs, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, String(value));
  if (parent) parent.append(element);
  return element;
}

/**
 * @param {Element} parent
 * @param {number} x
 * @param {number} y
 * @param {string} text
 * @param {Record<string, string | number>} attributes
 */
function svgText(parent, x, y, text, attributes = {}) {
  const element = svgElement("text", { x, y, "font-size": 10, "font-family": "sans-serif", ...attributes }, parent);
  element.textContent = text;
  return element;
}

/**
 * A point's marker of the given shape, centred on (x, y).
 * @param {Element} parent
 * @param {Curve} curve
 * @param {number} x
 * @param {number} y
 */
function marker(parent, curve, x, y) {
  const paint = { fill: curve.colour, stroke: "#fff", "stroke-width": 0.8 };
  if (curve.marker === "circle") return svgElement("circle", { cx: x, cy: y, r: 3.2, ...paint }, parent);
  if (curve.marker === "square") return svgElement("rect", { x: x - 3, y: y - 3, width: 6, height: 6, ...paint }, parent);
  const d =
    curve.marker === "diamond"
      ? `M${x} ${y - 4}L${x + 4} ${y}L${x} ${y + 4}L${x - 4} ${y}Z`
      : `M${x} ${y - 4}L${x + 3.6} ${y + 3}L${x - 3.6} ${y + 3}Z`;
  return svgElement("path", { d, ...paint }, parent);
}

/** @param {number} value */
function figureText(value) {
  if (!Number.isFinite(value)) return "-";
  if (Number.isInteger(value)) return value.toLocaleString("en");
  return value.toLocaleString("en", { maximumSignificantDigits: 4 });
}

/** @param {SweepPoint} point @param {"depth" | "triangles"} axis */
const limitOf = (point, axis) => (axis === "depth" ? point.maxDepth : point.maxTriangles);

/**
 * Draws one sweep as an SVG chart with its axes, ticks, legend and the active
 * limit marked; `choose` applies a point's limits.
 * @param {Sweep} sweep
 * @param {Limits} active
 * @param {(point: SweepPoint) => void} choose
 * @returns {SVGSVGElement}
 */
export function drawSweep(sweep, active, choose) {
  const { axis, points } = sweep;
  const svg = /** @type {SVGSVGElement} */ (
    svgElement("svg", { xmlns: kSvgNs, viewBox: `0 0 ${kWidth} ${kHeight}`, width: kWidth, height: kHeight }, null)
  );
  svg.classList.add(`sweep-${axis}`);
  const limitName = axis === "depth" ? "Depth limit" : "Triangles per region (log scale)";
  const fixedText = axis === "depth" ? `at ${sweep.fixed} triangles per region` : `at depth limit ${sweep.fixed}`;
  svgElement("title", {}, svg).textContent = `${limitName}, ${fixedText}`;
  svgElement("rect", { x: 0, y: 0, width: kWidth, height: kHeight, fill: "#fff" }, svg);

  const values = points.map((p) => limitOf(p, axis));
  const position = axis === "depth" ? (/** @type {number} */ v) => v : (/** @type {number} */ v) => Math.log10(v);
  const low = position(Math.min(...values));
  const high = position(Math.max(...values));
  const xOf = (/** @type {number} */ v) => kLeft + ((position(v) - low) / (high - low || 1)) * (kRight - kLeft);
  const yOf = (/** @type {number} */ share) => kBottom - share * (kBottom - kTop);

  // Axes, grid and ticks.
  const axes = svgElement("g", { stroke: "#888", "stroke-width": 1, fill: "none" }, svg);
  svgElement("path", { d: `M${kLeft} ${kTop}V${kBottom}H${kRight}` }, axes);
  for (const share of [0, 0.25, 0.5, 0.75, 1]) {
    const y = yOf(share);
    svgElement("path", { d: `M${kLeft - 4} ${y}H${kRight}`, stroke: share ? "#e4e4e4" : "#888" }, axes);
    svgText(svg, kLeft - 6, y + 3, `${share * 100}%`, { "text-anchor": "end" });
  }
  // On the logarithmic axis only the powers of ten are numbered.
  for (const v of values) {
    const x = xOf(v);
    const numbered = axis === "depth" || Number.isInteger(Math.log10(v));
    svgElement("path", { d: `M${x} ${kBottom}v${numbered ? 4 : 2}` }, axes);
    if (numbered) svgText(svg, x, kBottom + 14, String(v), { "text-anchor": "middle" });
  }
  svgText(svg, (kLeft + kRight) / 2, kBottom + 28, `${limitName}, ${fixedText}`, { "text-anchor": "middle" });
  svgText(svg, 12, (kTop + kBottom) / 2, "Share of the sweep's largest value", {
    "text-anchor": "middle",
    transform: `rotate(-90 12 ${(kTop + kBottom) / 2})`,
  });

  // The active limit.
  const activeValue = axis === "depth" ? active.maxDepth : active.trianglesPerRegion;
  if (values.includes(activeValue)) {
    const x = xOf(activeValue);
    const mark = svgElement("g", { class: "active-limit", "data-value": activeValue }, svg);
    svgElement("path", { d: `M${x} ${kTop}V${kBottom}`, stroke: "#333", "stroke-dasharray": "3 3" }, mark);
    svgText(mark, x + 3, kTop + 8, "active", { fill: "#333" });
  }

  // The curves, each over its own largest value.
  const fitting = points.filter((p) => p.fits);
  /** @type {Map<Curve, number>} */
  const largestOf = new Map();
  for (const curve of kCurves) {
    const largest = Math.max(0, ...fitting.map((p) => Number(p[curve.key])).filter(Number.isFinite));
    const share = (/** @type {SweepPoint} */ p) => (largest > 0 ? Number(p[curve.key]) / largest : 0);
    const runs = [];
    let run = "";
    for (const p of points) {
      if (!p.fits || !Number.isFinite(Number(p[curve.key]))) {
        if (run) runs.push(run);
        run = "";
        continue;
      }
      run += `${run ? "L" : "M"}${xOf(limitOf(p, axis)).toFixed(2)} ${yOf(share(p)).toFixed(2)}`;
    }
    if (run) runs.push(run);
    const group = svgElement("g", { class: `curve curve-${curve.key}` }, svg);
    for (const d of runs) svgElement("path", { d, fill: "none", stroke: curve.colour, "stroke-width": 1.5 }, group);
    for (const p of fitting) {
      if (Number.isFinite(Number(p[curve.key]))) marker(group, curve, xOf(limitOf(p, axis)), yOf(share(p)));
    }
    largestOf.set(curve, largest);
  }

  // One choosable column per limit value, carrying its figures.
  const step = points.length > 1 ? (kRight - kLeft) / (points.length - 1) : kRight - kLeft;
  for (const p of points) {
    const v = limitOf(p, axis);
    const column = svgElement(
      "rect",
      {
        class: "sweep-point",
        x: xOf(v) - step / 2,
        y: kTop,
        width: step,
        height: kBottom - kTop,
        fill: "transparent",
        [`data-${axis}`]: v,
        "data-fits": String(p.fits),
      },
      svg,
    );
    const limits = `depth limit ${p.maxDepth}, ${p.maxTriangles} triangles per region`;
    if (!p.fits) {
      svgElement("title", {}, column).textContent = `${limits}: the tree does not fit in memory`;
      svgText(svg, xOf(v), kBottom - 4, "x", { "text-anchor": "middle", fill: "#c00" });
      continue;
    }
    if (Number.isFinite(Number(p.expectedTests))) column.setAttribute("data-expected-tests", String(p.expectedTests));
    column.setAttribute("tabindex", "0");
    column.setAttribute("role", "button");
    column.setAttribute("cursor", "pointer");
    const figures = kCurves.map((c) => `${c.name}: ${figureText(Number(p[c.key]))} ${c.unit}`).join("\n");
    svgElement("title", {}, column).textContent = `${limits}\n${figures}\nChoose to apply these limits`;
    column.setAttribute("aria-label", `Apply ${limits}`);
    column.addEventListener("click", () => choose(p));
    column.addEventListener("keydown", (event) => {
      if (/** @type {KeyboardEvent} */ (event).key !== "Enter") return;
      event.preventDefault();
      choose(p);
    });
  }

  // The legend: name, largest value and unit.
  kCurves.forEach((curve, k) => {
    const x = kLeft;
    const y = kBottom + 44 + k * 11;
    marker(svg, curve, x, y - 3);
    const largest = largestOf.get(curve) ?? 0;
    svgText(svg, x + 7, y, `${curve.name} (100% = ${figureText(largest)} ${curve.unit})`, { "font-size": 9 });
  });
  return svg;
}

/**
 * The chart's section: Sweep, Cancel, Save chart, its own progress, the
 * chart and a note.
 * @param {SceneRunner} runner
 * @param {PanelElements} panel
 * @param {() => string} sceneName
 */
export function connectLimitsChart(runner, panel, sceneName) {
  const byId = (/** @type {string} */ id) => /** @type {HTMLElement} */ (document.getElementById(id));
  const sweepButton = /** @type {HTMLButtonElement} */ (byId("limits-sweep"));
  const cancelButton = /** @type {HTMLButtonElement} */ (byId("limits-cancel"));
  const saveButton = /** @type {HTMLButtonElement} */ (byId("save-chart"));
  const progress = /** @type {HTMLProgressElement} */ (byId("limits-progress"));
  const note = byId("limits-note");
  const chart = byId("limits-chart");
  /** @type {Sweep[]} */
  let sweeps = [];
  /** @type {(() => void) | null} */
  let cancel = null;
  let shownLimits = "";

  /** @param {SweepPoint} point */
  const choose = (point) => {
    // The normal Apply path: the fields filled, Apply pressed.
    panel.depth.value = String(point.maxDepth);
    panel.triangles.value = String(point.maxTriangles);
    panel.apply.click();
  };

  const render = () => {
    chart.replaceChildren(...sweeps.map((sweep) => drawSweep(sweep, runner.limits, choose)));
    shownLimits = JSON.stringify(runner.limits);
    saveButton.disabled = sweeps.length === 0;
    chart.dataset.state = sweeps.length ? "drawn" : "empty";
  };

  const stop = () => {
    if (cancel) cancel();
    cancel = null;
    sweepButton.disabled = false;
    cancelButton.hidden = true;
    progress.hidden = true;
  };

  sweepButton.addEventListener("click", async () => {
    stop();
    sweeps = [];
    render();
    const limits = { ...runner.limits };
    const source = runner.shownSource;
    let done = 0;
    let cancelled = false;
    const copy = runner.copyOfShown((stage, fraction) => {
      if (stage === kStageSweeping) progress.value = (done + (fraction || 0)) / 2;
    });
    cancel = () => {
      cancelled = true;
      copy.worker.end();
    };
    sweepButton.disabled = true;
    cancelButton.hidden = false;
    progress.hidden = false;
    progress.value = 0;
    note.textContent = "Sweeping the limits...";
    chart.dataset.state = "busy";
    try {
      /** @type {Sweep[]} */
      const made = [];
      await copy.loaded;
      for (const [axis, index] of /** @type {["depth" | "triangles", number][]} */ ([
        ["depth", 0],
        ["triangles", 1],
      ])) {
        const answer = await copy.worker.request({ type: "sweep", axis: index });
        const fixed = axis === "depth" ? limits.trianglesPerRegion : limits.maxDepth;
        made.push({ axis, points: answer.result.sweep ?? [], fixed });
        done += 1;
      }
      if (runner.shownSource !== source) throw new Error("another mesh is shown now");
      sweeps = made;
      note.textContent = "Choose a point (click, or Enter) to apply its limits.";
    } catch (error) {
      note.textContent = cancelled
        ? "The sweep was cancelled."
        : `The sweep stopped: ${error instanceof Error ? error.message : String(error)}`;
    }
    copy.worker.end();
    stop();
    render();
  });
  cancelButton.addEventListener("click", stop);
  saveButton.addEventListener("click", () => {
    const text = sweeps.length ? combinedSvg(chart) : "";
    const base = (sceneName().split("/").pop() || "orrelin").replace(/\.tri$/i, "");
    if (text) download(new Blob([text], { type: "image/svg+xml" }), `${base}-limits.svg`);
  });

  return {
    /** A new scene is shown: the chart was for the one before. */
    sceneChanged() {
      stop();
      sweeps = [];
      render();
      note.textContent = "";
    },
    /** After an Apply the active limits are marked again. */
    limitsMaybeChanged() {
      if (sweeps.length && JSON.stringify(runner.limits) !== shownLimits) render();
    },
  };
}

/**
 * Both charts as one SVG document, one above the other.
 * @param {HTMLElement} chart
 */
function combinedSvg(chart) {
  const parts = Array.from(chart.querySelectorAll(":scope > svg"));
  const serializer = new XMLSerializer();
  const inner = parts
    .map((svg, k) => {
      const copy = /** @type {SVGSVGElement} */ (svg.cloneNode(true));
      copy.removeAttribute("xmlns");
      copy.setAttribute("y", String(k * kHeight));
      return serializer.serializeToString(copy);
    })
    .join("\n");
  return `<?xml version="1.0" encoding="UTF-8"?>\n<svg xmlns="${kSvgNs}" width="${kWidth}" height="${kHeight * parts.length}" viewBox="0 0 ${kWidth} ${kHeight * parts.length}">\n${inner}\n</svg>\n`;
}
