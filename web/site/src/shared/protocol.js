// What the page and its scene workers send each other. The page asks with a
// request; the worker reports stages while it works and answers every request
// with a "done" message carrying what the core handed over.

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */

/** The stage a worker reports while it reads a file, before the core's own (SceneStage). */
export const kStageReading = -1;
/** The stage a worker reports while it generates a mesh, in place of reading a file. */
export const kStageGenerating = -2;
/** The stage a worker reports after each point of a limits sweep, with the fraction done. */
export const kStageSweeping = -3;

/**
 * The tree's statistics, as orrelin-inspect --stats gives them.
 * @typedef {{splitRegions: number, leaves: number, emptyLeaves: number, depthReached: number,
 *   storedReferences: number, maxPerLeaf: number, meanPerLeaf: number, expectedTests: number,
 *   triangleCount: number}} TreeStats
 */

/**
 * One region of a click's descent: its bounds (min x, min y, max x, max y), the
 * triangles it held and the child taken (-1 at the last).
 * @typedef {{bounds: number[], triangles: number, child: number}} DescentStep
 */

/**
 * What a click found: the triangle drawn as holding the point (-1: none) and
 * its corners (x, y each), and whether the point lies outside the root.
 * @typedef {{triangle: number, corners: number[], outside: boolean}} Found
 */

/**
 * A buffer the core handed over: which (WebBuffer) and its bytes.
 * @typedef {{which: number, bytes: Uint8Array}} HandedBuffer
 */

/**
 * The quadtree limits.
 * @typedef {{maxDepth: number, trianglesPerRegion: number}} Limits
 */

/**
 * One tree of a limits sweep, as orrelin-inspect --sweep gives it; the
 * figures are null when the tree did not fit.
 * @typedef {{maxDepth: number, maxTriangles: number, fits: boolean, expectedTests: number | null,
 *   storedReferences: number | null, splitRegions: number | null, buildMs: number | null}} SweepPoint
 */

/**
 * A mesh the generator makes: its kind's name, its triangle count and its
 * seed (decimal digits: it may exceed a double's whole numbers).
 * @typedef {{kind: string, count: number, seed: string}} GeneratedMesh
 */

/**
 * What a scene is loaded from: a file's bytes, or a mesh to generate.
 * @typedef {File | ArrayBuffer | {generate: GeneratedMesh}} Source
 */

/**
 * @typedef {{type: "start", module: WebAssembly.Module}
 *   | ({type: "load", source: Source} & Limits)
 *   | {type: "query", x: number, y: number, clicked: boolean}
 *   | ({type: "apply"} & Limits)
 *   | {type: "click", x: number, y: number}
 *   | {type: "prefix", tested: number}
 *   | {type: "svg", width: number, height: number, eye: number[], heatMap: boolean}
 *   | {type: "meshText"}
 *   | {type: "heatMap"}
 *   | {type: "sweep", axis: number}} Request
 */

/**
 * What an operation found; each request fills its own fields. A refused load
 * gives the reason the reader found ("" when the file was not refused).
 * @typedef {{failure?: number, measures?: number[], stats?: TreeStats, ok?: boolean,
 *   descent?: DescentStep[], found?: Found, text?: string, reason?: string, bytes?: Uint8Array,
 *   maxCount?: number, sweep?: SweepPoint[]}} Result
 */

/**
 * @typedef {{type: "stage", stage: number, fraction?: number}
 *   | {type: "broken", id: number, message: string}
 *   | {type: "done", id: number, result: Result, buffers: HandedBuffer[], redrawn: boolean,
 *      highlight: boolean}} WorkerMessage
 */

/** @typedef {Extract<WorkerMessage, {type: "done"}>} Answer */

/**
 * Calls `f` with `text` as a C string in the core's memory.
 * @template T
 * @param {OrrelinCore} core
 * @param {string} text
 * @param {(at: number) => T} f
 * @returns {T}
 */
export function withCString(core, text, f) {
  const size = core.lengthBytesUTF8(text) + 1;
  const at = core._malloc(size) >>> 0;
  core.stringToUTF8(text, at, size);
  try {
    return f(at);
  } finally {
    core._free(at);
  }
}

/**
 * The instantiateWasm option of the core's factory: the instance made from
 * the module compiled once for the page and its workers.
 * @param {WebAssembly.Module} module
 * @returns {import("../core_types").CoreOptions["instantiateWasm"]}
 */
export function instantiateFrom(module) {
  return (imports, receive) => {
    WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module));
    return {};
  };
}
