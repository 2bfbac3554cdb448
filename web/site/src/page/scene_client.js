// Runs the scene operations off the page's main thread. Each worker holds one
// instance of the core and one scene. A load always runs in a new worker,
// beside the one whose scene is shown: when it succeeds its worker takes
// over, when it fails (or a newer load replaces it) it is ended and the shown
// scene was never touched. Apply and loads take turns; clicks go straight to
// the shown scene's worker. A spare worker is started ahead of the next load,
// so that a load does not wait for a new worker to start and make its
// instance.

import { LoadFailure } from "orrelin-generated/constants.js";
import { showMessageBox } from "./message_box.js";
import { abortRequested } from "./worker_faults.js";

/** @typedef {import("../shared/protocol.js").Answer} Answer */
/** @typedef {import("../shared/protocol.js").HandedBuffer} HandedBuffer */
/** @typedef {import("../shared/protocol.js").Limits} Limits */
/** @typedef {import("../shared/protocol.js").Request} Request */
/** @typedef {import("../shared/protocol.js").Source} Source */
/** @typedef {import("../shared/protocol.js").TreeStats} TreeStats */
/** @typedef {import("../shared/protocol.js").DescentStep} DescentStep */
/** @typedef {import("../shared/protocol.js").Found} Found */
/** @typedef {import("../shared/protocol.js").WorkerMessage} WorkerMessage */
/** @typedef {import("../shared/protocol.js").GeneratedMesh} GeneratedMesh */
/**
 * Where the shown scene came from: a file of the user's, a bundled sample, or
 * the generator (with its arguments), and the name it is shown under.
 * @typedef {{kind: "file" | "sample", name: string} | {kind: "generated", name: string, mesh: GeneratedMesh}} SceneOrigin
 */
/** @typedef {(stage: number, fraction: number | undefined) => void} StageListener */

/**
 * The bar that long operations show.
 * @typedef {{begin(): void, stage(stage: number, fraction: number | undefined): void, end(): void}} ProgressBar
 */

/**
 * Where a worker's answer goes as soon as it is taken, so that nothing of a
 * scene that is no longer shown reaches the picture.
 * @typedef {{showScene(buffers: HandedBuffer[], measures: number[], name: string, stats: TreeStats | undefined): void,
 *   update(buffers: HandedBuffer[], highlight: boolean,
 *     aids: {stats?: TreeStats, descent?: DescentStep[], found?: Found}): void}} SceneDisplay
 */

// What a click whose worker broke says; the scene stays as it was.
const kClickOutOfMemory = "There is not enough memory to locate this point.";

// One worker and the requests it has not answered yet.
export class SceneWorker {
  /**
   * @param {string} workerUrl
   * @param {WebAssembly.Module} module
   */
  constructor(workerUrl, module) {
    this.worker = new Worker(workerUrl);
    /** @type {Map<number, {resolve: (answer: Answer) => void, reject: (error: Error) => void}>} */
    this.waiting = new Map();
    this.nextId = 1;
    this.ended = false;
    this.broken = false; // it failed (the core aborted, the engine ran out of memory), not ended by the page
    /** @type {StageListener | null} */
    this.onStage = null;
    this.worker.onmessage = (/** @type {MessageEvent<WorkerMessage>} */ event) => this.received(event.data);
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.fail(new Error(event.message));
    };
    this.started = this.request({ type: "start", module });
  }

  /**
   * @param {Request} fields
   * @returns {Promise<Answer>}
   */
  request(fields) {
    if (this.ended) return Promise.reject(new Error("the worker has ended"));
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, { resolve, reject });
      this.worker.postMessage({ ...fields, id, abort: abortRequested(fields.type) });
    });
  }

  /** @param {WorkerMessage} message */
  received(message) {
    if (message.type === "stage") {
      if (this.onStage) this.onStage(message.stage, message.fraction);
      return;
    }
    if (message.type === "broken") {
      this.fail(new Error(message.message));
      return;
    }
    const waiter = this.waiting.get(message.id);
    this.waiting.delete(message.id);
    if (waiter) waiter.resolve(message);
  }

  /** Ends the worker; what it has not answered fails with `error`. */
  end(error = new Error("the worker was ended")) {
    this.ended = true;
    this.worker.terminate();
    for (const waiter of this.waiting.values()) waiter.reject(error);
    this.waiting.clear();
  }

  /** @param {Error} error */
  fail(error) {
    this.broken = true;
    this.end(error);
  }
}

export class SceneRunner {
  /**
   * @param {WebAssembly.Module} module
   * @param {string} workerUrl
   * @param {Limits} limits the active quadtree limits
   * @param {ProgressBar} progress
   * @param {SceneDisplay} display
   * @param {SceneWorker | null} spare a worker started for the first load, if any
   */
  constructor(module, workerUrl, limits, progress, display, spare = null) {
    this.module = module;
    this.workerUrl = workerUrl;
    this.limits = limits;
    this.progress = progress;
    this.display = display;
    /** @type {SceneWorker | null} the worker of the shown scene */
    this.shown = null;
    /** @type {Source | null} what it was loaded from, to start it again */
    this.shownSource = null;
    /** @type {SceneOrigin | null} */
    this.shownOrigin = null;
    /** @type {SceneWorker | null} the worker of the load that runs */
    this.loading = null;
    /** @type {SceneWorker | null} the worker the next load takes */
    this.spare = spare;
    this.loadNumber = 0;
    /** @type {Promise<unknown>} Apply and loads, one after the other */
    this.turns = Promise.resolve();
    this.query = { x: 0, y: 0, clicked: false };
    /** why the reader refused the last file that did not load; "" when it did not */
    this.refusal = "";
  }

  get hasScene() {
    return this.shown !== null;
  }

  // The spare worker when it is still whole, else a new one.
  newWorker() {
    const spare = this.spare;
    this.spare = null;
    const worker = spare && !spare.ended ? spare : new SceneWorker(this.workerUrl, this.module);
    worker.onStage = (stage, fraction) => this.progress.stage(stage, fraction);
    return worker;
  }

  // Starts the worker the next load takes, once the load before it is over.
  startSpare() {
    if (!this.spare || this.spare.ended) this.spare = new SceneWorker(this.workerUrl, this.module);
  }

  /**
   * @template T
   * @param {() => Promise<T>} operation
   * @returns {Promise<T>}
   */
  takeTurn(operation) {
    const turn = this.turns.then(operation);
    this.turns = turn.catch(() => {});
    return turn;
  }

  /**
   * Loads `source` (kept unchanged) and shows it under `name`. Resolves with
   * the core's LoadFailure (0: loaded and shown), or null when a newer load
   * came first.
   * @param {Source} source
   * @param {string} name
   * @returns {Promise<number | null>}
   */
  load(source, name) {
    const number = ++this.loadNumber;
    if (this.loading) this.loading.end(); // a newer load replaces it
    return this.takeTurn(async () => {
      if (number !== this.loadNumber) return null;
      const worker = this.newWorker();
      this.loading = worker;
      this.progress.begin();
      /** @type {Answer | null} */
      let answer = null;
      try {
        await worker.started;
        answer = await worker.request({ type: "load", source, ...this.limits });
      } catch (error) {
        answer = null; // the worker was ended or broke: not loaded
      }
      if (this.loading === worker) this.loading = null;
      this.progress.end();
      this.startSpare();
      if (number !== this.loadNumber) return null;
      if (answer === null || answer.result.failure !== LoadFailure.None) {
        worker.end();
        this.refusal = answer?.result.reason ?? "";
        // A worker that broke most likely ran out of memory: the file may be fine.
        if (answer === null) return worker.broken ? LoadFailure.OutOfMemory : LoadFailure.Unreadable;
        return answer.result.failure ?? LoadFailure.Unreadable;
      }
      worker.request({ type: "query", ...this.query }).catch(() => {});
      if (this.shown) this.shown.end();
      this.shown = worker;
      this.shownSource = source;
      this.shownOrigin = sceneOrigin(source, name);
      this.display.showScene(answer.buffers, answer.result.measures ?? [], name, answer.result.stats);
      return LoadFailure.None;
    });
  }

  /**
   * Rebuilds the shown scene's quadtree with `limits` and shows it. Resolves
   * with false when the tree does not fit (nothing changed).
   * @param {Limits} limits
   * @returns {Promise<boolean>}
   */
  apply(limits) {
    return this.takeTurn(async () => {
      const worker = this.shown;
      if (!worker) return true;
      this.progress.begin();
      /** @type {Answer | null} */
      let answer = null;
      try {
        answer = await worker.request({ type: "apply", ...limits });
      } catch (error) {
        answer = null;
      }
      this.progress.end();
      if (answer === null) {
        await this.restart();
        return false;
      }
      if (!answer.result.ok) return false;
      this.limits = { ...limits };
      this.display.update(answer.buffers, answer.highlight, {
        stats: answer.result.stats,
        descent: answer.result.descent,
        found: answer.result.found,
      });
      return true;
    });
  }

  /**
   * A left click at plane point (x, y), shown when it is located. When the
   * worker breaks, the scene is started again in a new one and the page says
   * why the click shows nothing.
   * @param {number} x
   * @param {number} y
   */
  async click(x, y) {
    const worker = this.shown;
    if (!worker) return;
    /** @type {Answer} */
    let answer;
    try {
      answer = await worker.request({ type: "click", x, y });
    } catch (error) {
      if (worker !== this.shown) return; // replaced, or already being started again
      this.shown = null;
      await this.takeTurn(() => this.restart());
      await showMessageBox(kClickOutOfMemory, "Error", "information");
      return;
    }
    if (worker !== this.shown || !answer.result.ok) return;
    this.query = { x, y, clicked: true };
    this.display.update(answer.buffers, answer.highlight, {
      descent: answer.result.descent,
      found: answer.result.found,
    });
  }

  /**
   * The last click's highlight after its first `tested` triangles: the
   * highlight buffer, or null when the scene changed meanwhile.
   * @param {number} tested
   * @returns {Promise<HandedBuffer[] | null>}
   */
  async highlightPrefix(tested) {
    const asked = await this.askShown({ type: "prefix", tested });
    return asked && asked.worker === this.shown ? asked.answer.buffers : null;
  }

  /**
   * The shown scene as an SVG figure of width x height pixels seen from
   * `eye`, made by the core; null without a scene.
   * @param {number} width
   * @param {number} height
   * @param {number[]} eye x, y, z
   * @param {boolean} [heatMap] the leaves filled by their counts
   * @returns {Promise<string | null>}
   */
  async figure(width, height, eye, heatMap = false) {
    const asked = await this.askShown({ type: "svg", width, height, eye, heatMap });
    return asked?.answer.result.text ?? null;
  }

  /**
   * The shown mesh as .tri text; null without a scene or when it does not fit.
   * @returns {Promise<Uint8Array | null>}
   */
  async meshText() {
    const asked = await this.askShown({ type: "meshText" });
    return asked?.answer.result.bytes ?? null;
  }

  /**
   * The shown tree's heat map: its buffer and the largest count; null without
   * a scene, when it does not fit, or when the scene changed meanwhile.
   * @returns {Promise<{buffers: HandedBuffer[], maxCount: number} | null>}
   */
  async heatMap() {
    const asked = await this.askShown({ type: "heatMap" });
    const maxCount = asked?.answer.result.maxCount ?? -1;
    return asked && asked.worker === this.shown && maxCount >= 0 ? { buffers: asked.answer.buffers, maxCount } : null;
  }

  /**
   * The shown scene's worker's answer to `fields`, with that worker (the
   * scene may have changed by the time it comes); null without a scene or
   * when the request failed.
   * @param {Request} fields
   * @returns {Promise<{worker: SceneWorker, answer: Answer} | null>}
   */
  async askShown(fields) {
    const worker = this.shown;
    if (!worker) return null;
    try {
      return { worker, answer: await worker.request(fields) };
    } catch (error) {
      return null;
    }
  }

  /**
   * A worker of its own loaded with a copy of the shown scene (its source, the
   * active limits), for work that must leave the shown scene alone; the
   * caller ends it. `loaded` fails without a scene or when the copy did not
   * load.
   * @param {StageListener} onStage
   */
  copyOfShown(onStage) {
    const worker = new SceneWorker(this.workerUrl, this.module);
    worker.onStage = onStage;
    const source = this.shownSource;
    const limits = { ...this.limits };
    const loaded = (async () => {
      if (source === null) throw new Error("no mesh is shown");
      await worker.started;
      const answer = await worker.request({ type: "load", source, ...limits });
      if (answer.result.failure !== LoadFailure.None) throw new Error("the shown mesh did not load again");
    })();
    return { worker, loaded };
  }

  // The shown scene's worker broke: the same scene is loaded again in a new
  // worker, with the active limits and the last click. The picture, which the
  // page still holds, stays as it is.
  async restart() {
    if (this.shown) this.shown.end();
    this.shown = null;
    if (this.shownSource === null) return;
    const worker = this.newWorker();
    try {
      await worker.started;
      const answer = await worker.request({ type: "load", source: this.shownSource, ...this.limits });
      if (answer.result.failure !== 0) throw new Error("the shown scene no longer loads");
      await worker.request({ type: "query", ...this.query });
      this.shown = worker;
    } catch (error) {
      worker.end();
    }
  }
}

/**
 * @param {Source} source
 * @param {string} name
 * @returns {SceneOrigin}
 */
function sceneOrigin(source, name) {
  if (source instanceof ArrayBuffer) return { kind: "sample", name };
  if ("generate" in source) return { kind: "generated", name, mesh: { ...source.generate } };
  return { kind: "file", name };
}
