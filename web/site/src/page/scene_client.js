// Runs the scene operations off the page's main thread. Each worker holds one
// instance of the core and one scene. A load always runs in a new worker,
// beside the one whose scene is shown: when it succeeds its worker takes
// over, when it fails (or a newer load replaces it) it is ended and the shown
// scene was never touched. Apply and loads take turns; clicks go straight to
// the shown scene's worker.

import { LoadFailure } from "orrelin-generated/constants.js";

/** @typedef {import("../shared/protocol.js").Answer} Answer */
/** @typedef {import("../shared/protocol.js").HandedBuffer} HandedBuffer */
/** @typedef {import("../shared/protocol.js").Limits} Limits */
/** @typedef {import("../shared/protocol.js").Request} Request */
/** @typedef {import("../shared/protocol.js").Source} Source */
/** @typedef {import("../shared/protocol.js").TreeStats} TreeStats */
/** @typedef {import("../shared/protocol.js").DescentStep} DescentStep */
/** @typedef {import("../shared/protocol.js").Found} Found */
/** @typedef {import("../shared/protocol.js").WorkerMessage} WorkerMessage */
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

// One worker and the requests it has not answered yet.
class SceneWorker {
  /**
   * @param {string} workerUrl
   * @param {WebAssembly.Module} module
   * @param {StageListener} onStage
   */
  constructor(workerUrl, module, onStage) {
    this.worker = new Worker(workerUrl);
    /** @type {Map<number, {resolve: (answer: Answer) => void, reject: (error: Error) => void}>} */
    this.waiting = new Map();
    this.nextId = 1;
    this.ended = false;
    this.onStage = onStage;
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
      this.worker.postMessage({ ...fields, id });
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
   */
  constructor(module, workerUrl, limits, progress, display) {
    this.module = module;
    this.workerUrl = workerUrl;
    this.limits = limits;
    this.progress = progress;
    this.display = display;
    /** @type {SceneWorker | null} the worker of the shown scene */
    this.shown = null;
    /** @type {Source | null} what it was loaded from, to start it again */
    this.shownSource = null;
    /** @type {SceneWorker | null} the worker of the load that runs */
    this.loading = null;
    this.loadNumber = 0;
    /** @type {Promise<unknown>} Apply and loads, one after the other */
    this.turns = Promise.resolve();
    this.query = { x: 0, y: 0, clicked: false };
  }

  get hasScene() {
    return this.shown !== null;
  }

  newWorker() {
    return new SceneWorker(this.workerUrl, this.module, (stage, fraction) => this.progress.stage(stage, fraction));
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
      if (number !== this.loadNumber) return null;
      if (answer === null || answer.result.failure !== LoadFailure.None) {
        worker.end();
        return answer === null ? LoadFailure.Unreadable : answer.result.failure ?? LoadFailure.Unreadable;
      }
      worker.request({ type: "query", ...this.query }).catch(() => {});
      if (this.shown) this.shown.end();
      this.shown = worker;
      this.shownSource = source;
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
   * A left click at plane point (x, y), shown when it is located.
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
      if (worker === this.shown) await this.takeTurn(() => this.restart());
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
    const worker = this.shown;
    if (!worker) return null;
    try {
      const answer = await worker.request({ type: "prefix", tested });
      return worker === this.shown ? answer.buffers : null;
    } catch (error) {
      return null;
    }
  }

  /**
   * The shown scene as an SVG figure of width x height pixels, made by the
   * core; null without a scene.
   * @param {number} width
   * @param {number} height
   * @returns {Promise<string | null>}
   */
  async figure(width, height) {
    const worker = this.shown;
    if (!worker) return null;
    try {
      return (await worker.request({ type: "svg", width, height })).result.text ?? null;
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
    const worker = new SceneWorker(this.workerUrl, this.module, onStage);
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
