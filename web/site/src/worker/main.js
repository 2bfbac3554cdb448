// The page's scene worker: one instance of the core holding one scene. The
// page starts a worker for every load; the worker whose load succeeded then
// holds the shown scene and runs its Apply and clicks. Requests are handled
// one at a time, in the order they come; each is answered with a "done"
// message carrying what the core handed over (buffers, measures, results).

import { Sizes } from "orrelin-generated/constants.js";
import { createOrrelinCore } from "../shared/core.js";
import { instantiateFrom, kStageReading, kStageSweeping } from "../shared/protocol.js";
import { readDescent, readFound, readIntoCore, readNumbers, readStats, readSweep } from "./core_reads.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("../shared/protocol.js").Request} Request */
/** @typedef {import("../shared/protocol.js").Result} Result */
/** @typedef {import("../shared/protocol.js").HandedBuffer} HandedBuffer */

/** @type {OrrelinCore | null} */
let core = null;
/** @type {HandedBuffer[]} */
let handedOver = [];
let redrawn = false;

/** @type {import("../core_types").OrrelinHooks} */
const hooks = {
  buffer(which, bytes) {
    handedOver.push({ which, bytes });
  },
  stage(stage) {
    postMessage({ type: "stage", stage });
  },
  redraw() {
    redrawn = true;
  },
  sweep(done, total) {
    postMessage({ type: "stage", stage: kStageSweeping, fraction: done / total });
  },
};

/** @returns {OrrelinCore} */
function started() {
  if (core === null) throw new Error("the worker's core has not started");
  return core;
}

/** @param {WebAssembly.Module} module */
async function start(module) {
  core = await createOrrelinCore({ orrelinHooks: hooks, instantiateWasm: instantiateFrom(module) });
  core._orrelin_scene_connect();
}

/**
 * @param {Extract<Request, {type: "load"}>} request
 * @returns {Promise<Result>}
 */
async function load(request) {
  const scene = started();
  postMessage({ type: "stage", stage: kStageReading, fraction: 0 });
  const bytes = await readIntoCore(scene, request.source);
  if (bytes === null) return { failure: 1 };
  const failure = scene._orrelin_scene_load(bytes.at, bytes.size, request.maxDepth, request.trianglesPerRegion);
  scene._free(bytes.at);
  if (failure !== 0) return { failure };
  const measures = readNumbers(scene, Float32Array, Sizes.SceneMeasures, (at) => scene._orrelin_scene_measures(at));
  return { failure, measures, stats: readStats(scene) };
}

/**
 * Runs one request on the core; what it found, if anything.
 * @param {Request} request
 * @returns {Promise<Result | void>}
 */
async function run(request) {
  switch (request.type) {
    case "start":
      return start(request.module);
    case "load":
      return load(request);
    case "query":
      return started()._orrelin_scene_set_query(request.x, request.y, request.clicked ? 1 : 0);
    case "apply": {
      const ok = started()._orrelin_scene_apply(request.maxDepth, request.trianglesPerRegion) === 1;
      return { ok, stats: readStats(started()), descent: readDescent(started()), found: readFound(started()) };
    }
    case "click": {
      const ok = started()._orrelin_scene_click(request.x, request.y) === 1;
      return { ok, descent: readDescent(started()), found: readFound(started()) };
    }
    case "prefix":
      return started()._orrelin_scene_highlight_prefix(request.tested);
    case "svg":
      return { text: started().UTF8ToString(started()._orrelin_scene_svg(request.width, request.height)) };
    case "sweep":
      return { sweep: readSweep(started(), request.axis) };
  }
}

/** @param {Request & {id: number}} request */
async function handle(request) {
  handedOver = [];
  redrawn = false;
  const result = (await run(request)) || {};
  const buffers = handedOver;
  handedOver = [];
  const answer = {
    type: "done",
    id: request.id,
    result,
    buffers,
    redrawn,
    highlight: core !== null && core._orrelin_scene_highlight_shown() === 1,
  };
  postMessage(
    answer,
    buffers.map((b) => b.bytes.buffer),
  );
}

// A request that throws (the core aborted, or the engine ran out of memory
// outside the core) leaves the core in no known state: the page is told and
// ends this worker.
let queue = Promise.resolve();
self.onmessage = (/** @type {MessageEvent<Request & {id: number}>} */ event) => {
  queue = queue
    .then(() => handle(event.data))
    .catch((error) => postMessage({ type: "broken", id: event.data.id, message: String(error) }));
};
