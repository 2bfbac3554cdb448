// What the worker reads out of its core: a file's bytes into the core's
// memory, and the scene's measures, statistics and last descent out of it.

import { Sizes } from "orrelin-generated/constants.js";
import { kStageReading } from "../shared/protocol.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */

/**
 * Copies a stream's chunks to `at` (room for `size` bytes), reporting the
 * reading stage about every fiftieth of the file. Throws when the file
 * changes size while it is read.
 * @param {OrrelinCore} core
 * @param {Blob} file
 * @param {number} at
 * @param {number} size
 */
async function streamInto(core, file, at, size) {
  const reader = file.stream().getReader();
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
}

/**
 * The file's bytes in the core's memory; null when they do not fit or cannot
 * be read.
 * @param {OrrelinCore} core
 * @param {File | ArrayBuffer} source a file's bytes
 * @returns {Promise<{at: number, size: number} | null>}
 */
export async function readIntoCore(core, source) {
  const size = source instanceof ArrayBuffer ? source.byteLength : source.size;
  if (size > 0xffffffff) return null;
  const at = core._malloc(Math.max(size, 1)) >>> 0;
  if (at === 0) return null;
  if (source instanceof ArrayBuffer) {
    core.HEAPU8.set(new Uint8Array(source), at);
    return { at, size };
  }
  try {
    await streamInto(core, source, at, size);
  } catch (error) {
    core._free(at);
    return null;
  }
  return { at, size };
}

/**
 * `count` numbers that `fill(at)` writes into the core's memory, as floats
 * (4 bytes) or doubles (8).
 * @param {OrrelinCore} core
 * @param {typeof Float32Array | typeof Float64Array} type
 * @param {number} count
 * @param {(at: number) => void} fill
 * @returns {number[]}
 */
export function readNumbers(core, type, count, fill) {
  const at = core._malloc(count * type.BYTES_PER_ELEMENT) >>> 0;
  fill(at);
  const values = Array.from(new type(core.HEAPU8.buffer, at, count));
  core._free(at);
  return values;
}

/**
 * The tree's statistics (orrelin_scene_stats).
 * @param {OrrelinCore} core
 * @returns {import("../shared/protocol.js").TreeStats}
 */
export function readStats(core) {
  const values = readNumbers(core, Float64Array, Sizes.SceneStats, (at) => core._orrelin_scene_stats(at));
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

/**
 * What the last click found.
 * @param {OrrelinCore} core
 * @returns {import("../shared/protocol.js").Found}
 */
export function readFound(core) {
  let triangle = -1;
  const values = readNumbers(core, Float32Array, 7, (at) => {
    triangle = core._orrelin_scene_found(at);
  });
  return { triangle, corners: triangle >= 0 ? values.slice(0, 6) : [], outside: values[6] === 1 };
}

/**
 * The last click's descent, root first.
 * @param {OrrelinCore} core
 * @returns {import("../shared/protocol.js").DescentStep[]}
 */
export function readDescent(core) {
  const capacity = 16;
  let count = 0;
  const floats = Sizes.DescentStepFloats;
  const values = readNumbers(core, Float32Array, capacity * floats, (at) => {
    count = core._orrelin_scene_descent(at, capacity);
  });
  const steps = [];
  for (let k = 0; k < count; ++k) {
    const v = values.slice(floats * k, floats * (k + 1));
    steps.push({ bounds: v.slice(0, 4), triangles: v[4], child: v[5] });
  }
  return steps;
}

/**
 * One limits sweep of the shown mesh (orrelin_scene_sweep), axis 0 the depth
 * limit, 1 the triangles per region.
 * @param {OrrelinCore} core
 * @param {number} axis
 * @returns {import("../shared/protocol.js").SweepPoint[]}
 */
export function readSweep(core, axis) {
  const capacity = 32;
  let count = 0;
  const doubles = Sizes.SweepPointDoubles;
  const values = readNumbers(core, Float64Array, capacity * doubles, (at) => {
    count = core._orrelin_scene_sweep(axis, at, capacity);
  });
  const points = [];
  for (let k = 0; k < count; ++k) {
    const [maxDepth, maxTriangles, fits, expectedTests, storedReferences, splitRegions, buildMs] = values.slice(
      doubles * k,
      doubles * (k + 1),
    );
    points.push(
      fits === 1
        ? { maxDepth, maxTriangles, fits: true, expectedTests, storedReferences, splitRegions, buildMs }
        : {
            maxDepth,
            maxTriangles,
            fits: false,
            expectedTests: null,
            storedReferences: null,
            splitRegions: null,
            buildMs: null,
          },
    );
  }
  return points;
}
