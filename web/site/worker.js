// The page's worker: one instance of the core holding one scene. The page
// starts a worker for every load; the worker whose load succeeded then holds
// the shown scene and runs its Apply and clicks. Requests are handled one at
// a time, in the order they come; each is answered with a "done" message
// carrying what the core handed over (buffers, measures, results).
//
// Runs in the worker's global scope, from the source text the page puts in a
// Blob (see scene.js).

// eslint-disable-next-line no-unused-vars
function orrelinWorker(createOrrelinCore) {
  "use strict";

  const kStageReading = -1; // before the core's own stages (SceneStage)
  let core = null;
  let handedOver = [];
  let redrawn = false;

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
  };

  async function start(module) {
    core = await createOrrelinCore({
      orrelinHooks: hooks,
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module));
        return {};
      },
    });
    core._orrelin_scene_connect();
  }

  // The file's bytes in the core's memory; null when they do not fit or
  // cannot be read.
  async function readIntoCore(source) {
    const size = source.byteLength !== undefined ? source.byteLength : source.size;
    if (size > 0xffffffff) return null;
    const at = core._malloc(Math.max(size, 1)) >>> 0;
    if (at === 0) return null;
    if (source.byteLength !== undefined) {
      core.HEAPU8.set(new Uint8Array(source), at);
      return { at, size };
    }
    try {
      const reader = source.stream().getReader();
      let done = 0;
      let reported = 0;
      for (;;) {
        const chunk = await reader.read();
        if (chunk.done) break;
        if (done + chunk.value.length > size) throw new Error("the file grew while it was read");
        core.HEAPU8.set(chunk.value, at + done);
        done += chunk.value.length;
        if (done - reported >= size / 50) {
          reported = done;
          postMessage({ type: "stage", stage: kStageReading, fraction: done / size });
        }
      }
      if (done !== size) throw new Error("the file shrank while it was read");
    } catch (error) {
      core._free(at);
      return null;
    }
    return { at, size };
  }

  function floats(count, fill) {
    const at = core._malloc(count * 4) >>> 0;
    fill(at);
    const values = Array.from(new Float32Array(core.HEAPU8.buffer, at, count));
    core._free(at);
    return values;
  }

  // The tree's statistics (orrelin_scene_stats): nine numbers.
  function stats() {
    const at = core._malloc(9 * 8) >>> 0;
    core._orrelin_scene_stats(at);
    const values = Array.from(new Float64Array(core.HEAPU8.buffer, at, 9));
    core._free(at);
    const [splitRegions, leaves, emptyLeaves, depthReached, storedReferences, maxPerLeaf, meanPerLeaf] = values;
    return {
      splitRegions,
      leaves,
      emptyLeaves,
      depthReached,
      storedReferences,
      maxPerLeaf,
      meanPerLeaf,
      expectedTests: values[7],
      triangleCount: values[8],
    };
  }

  // The last click's descent: [{bounds, triangles, child}], root first.
  function descent() {
    const capacity = 16;
    const at = core._malloc(capacity * 6 * 4) >>> 0;
    const count = core._orrelin_scene_descent(at, capacity);
    const values = Array.from(new Float32Array(core.HEAPU8.buffer, at, count * 6));
    core._free(at);
    const steps = [];
    for (let k = 0; k < count; ++k) {
      const v = values.slice(6 * k, 6 * k + 6);
      steps.push({ bounds: v.slice(0, 4), triangles: v[4], child: v[5] });
    }
    return steps;
  }

  async function load(request) {
    postMessage({ type: "stage", stage: kStageReading, fraction: 0 });
    const bytes = await readIntoCore(request.source);
    if (bytes === null) return { failure: 1 };
    const failure = core._orrelin_scene_load(bytes.at, bytes.size, request.maxDepth, request.trianglesPerRegion);
    core._free(bytes.at);
    if (failure !== 0) return { failure };
    return { failure, measures: floats(8, (at) => core._orrelin_scene_measures(at)), stats: stats() };
  }

  const handlers = {
    start: (request) => start(request.module),
    load,
    query: (request) => core._orrelin_scene_set_query(request.x, request.y, request.clicked ? 1 : 0),
    apply: (request) => {
      const ok = core._orrelin_scene_apply(request.maxDepth, request.trianglesPerRegion) === 1;
      return { ok, stats: stats(), descent: descent() };
    },
    click: (request) => ({ ok: core._orrelin_scene_click(request.x, request.y) === 1, descent: descent() }),
    prefix: (request) => core._orrelin_scene_highlight_prefix(request.tested),
    svg: (request) => ({ text: core.UTF8ToString(core._orrelin_scene_svg(request.width, request.height)) }),
  };

  async function handle(request) {
    handedOver = [];
    redrawn = false;
    const result = (await handlers[request.type](request)) || {};
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

  // A request that throws (the core aborted, or the engine ran out of
  // memory outside the core) leaves the core in no known state: the page is
  // told and ends this worker.
  let queue = Promise.resolve();
  self.onmessage = (event) => {
    queue = queue
      .then(() => handle(event.data))
      .catch((error) => postMessage({ type: "broken", id: event.data.id, message: String(error) }));
  };
}
