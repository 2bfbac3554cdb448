// The page's scene worker: one instance of the core holding one scene. The
// page starts a worker for every load; the worker whose load succeeded then
// holds the shown scene and runs its Apply and clicks. Requests are handled
// one at a time, in the order they come; each is answered with a "done"
// message carrying what the core handed over (buffers, measures, results).
// Performance marks ("orrelin-worker-...") time a load's stages on this
// thread; the benchmark reads them. The marks after a load and an Apply carry
// the module's memory, which the tests follow.

import { Sizes } from "orrelin-generated/constants.js";
import { createOrrelinCore } from "../shared/core.js";
import { instantiateFrom, kStageGenerating, kStageReading, kStageSweeping, withCString } from "../shared/protocol.js";
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
    if (handedOver.length === 0) performance.mark("orrelin-worker-handover");
    handedOver.push({ which, bytes });
  },
  stage(stage) {
    performance.mark(`orrelin-worker-stage-${stage}`);
    postMessage({ type: "stage", stage });
  },
  redraw() {
    redrawn = true;
  },
  generated(fraction) {
    postMessage({ type: "stage", stage: kStageGenerating, fraction });
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
  performance.mark("orrelin-worker-start");
  core = await createOrrelinCore({ orrelinHooks: hooks, instantiateWasm: instantiateFrom(module) });
  core._orrelin_scene_connect();
  performance.mark("orrelin-worker-ready");
}

/**
 * @param {Extract<Request, {type: "load"}>} request
 * @returns {Promise<Result>}
 */
async function load(request) {
  const scene = started();
  const source = request.source;
  let failure;
  performance.mark("orrelin-worker-load");
  if ("generate" in source) {
    postMessage({ type: "stage", stage: kStageGenerating, fraction: 0 });
    const { kind, count, seed } = source.generate;
    failure = withCString(scene, kind, (k) =>
      withCString(scene, String(count), (n) =>
        withCString(scene, seed, (s) =>
          scene._orrelin_scene_generate(k, n, s, request.maxDepth, request.trianglesPerRegion),
        ),
      ),
    );
  } else {
    postMessage({ type: "stage", stage: kStageReading, fraction: 0 });
    const bytes = await readIntoCore(scene, source);
    if (bytes === null) return { failure: 1 };
    performance.mark("orrelin-worker-read");
    failure = scene._orrelin_scene_load(bytes.at, bytes.size, request.maxDepth, request.trianglesPerRegion);
    scene._free(bytes.at);
  }
  performance.mark("orrelin-worker-loaded", { detail: { memoryBytes: scene.HEAPU8.buffer.byteLength } });
  if (failure !== 0) return { failure, reason: scene.UTF8ToString(scene._orrelin_scene_refusal_text()) };
  const measures = readNumbers(scene, Float32Array, Sizes.SceneMeasures, (at) => scene._orrelin_scene_measures(at));
  return { failure, measures, stats: readStats(scene) };
}

/**
 * The shown mesh as .tri text; no bytes without a scene or when they do not fit.
 * @param {OrrelinCore} scene
 * @returns {Result}
 */
function meshText(scene) {
  const sizeAt = scene._malloc(4) >>> 0;
  const at = scene._orrelin_scene_mesh_text(sizeAt) >>> 0;
  const size = new Uint32Array(scene.HEAPU8.buffer, sizeAt, 1)[0];
  scene._free(sizeAt);
  const bytes = at === 0 ? undefined : scene.HEAPU8.slice(at, at + size);
  scene._orrelin_scene_release_mesh_text();
  return { bytes };
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
      performance.mark("orrelin-worker-applied", { detail: { memoryBytes: started().HEAPU8.buffer.byteLength } });
      return { ok, stats: readStats(started()), descent: readDescent(started()), found: readFound(started()) };
    }
    case "click": {
      const ok = started()._orrelin_scene_click(request.x, request.y) === 1;
      return { ok, descent: readDescent(started()), found: readFound(started()) };
    }
    case "prefix":
      return started()._orrelin_scene_highlight_prefix(request.tested);
    case "svg": {
      const [x, y, z] = request.eye;
      const at = started()._orrelin_scene_svg(request.width, request.height, x, y, z, request.heatMap ? 1 : 0);
      return { text: started().UTF8ToString(at) };
    }
    case "meshText":
      return meshText(started());
    case "heatMap":
      return { maxCount: started()._orrelin_scene_heat_map() };
    case "sweep":
      return { sweep: readSweep(started(), request.axis) };
  }
}

/** @typedef {Request & {id: number, abort?: boolean}} Sent */

/** @param {Sent} request */
async function handle(request) {
  handedOver = [];
  redrawn = false;
  // Only a module built with contract checks can be told to abort (the tests).
  if (request.abort && core?._orrelin_test_abort) core._orrelin_test_abort();
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
  const transfer = buffers.map((b) => b.bytes.buffer);
  if (result.bytes) transfer.push(result.bytes.buffer);
  if (request.type === "load") performance.mark("orrelin-worker-answer-load");
  postMessage(answer, transfer);
}

// A request that throws (the core aborted, or the engine ran out of memory
// outside the core) leaves the core in no known state: the page is told and
// ends this worker.
let queue = Promise.resolve();
self.onmessage = (/** @type {MessageEvent<Sent>} */ event) => {
  queue = queue
    .then(() => handle(event.data))
    .catch((error) => postMessage({ type: "broken", id: event.data.id, message: String(error) }));
};
