// Runs the scene operations off the page's main thread. Each worker holds one
// instance of the core and one scene. A load always runs in a new worker,
// beside the one whose scene is shown: when it succeeds its worker takes
// over, when it fails (or a newer load replaces it) it is ended and the shown
// scene was never touched. Apply and loads take turns; clicks go straight to
// the shown scene's worker.

// The stages a worker reports: reading the file, then the core's SceneStage.
const kStageReading = -1;

// LoadFailure of the core.
const kLoadUnreadable = 1;

// One worker and the requests it has not answered yet.
class SceneWorker {
  constructor(workerUrl, module, onStage) {
    this.worker = new Worker(workerUrl);
    this.waiting = new Map();
    this.nextId = 1;
    this.ended = false;
    this.onStage = onStage;
    this.worker.onmessage = (event) => this.received(event.data);
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.fail(new Error(event.message));
    };
    this.started = this.request({ type: "start", module });
  }

  request(fields) {
    if (this.ended) return Promise.reject(new Error("the worker has ended"));
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, { resolve, reject });
      this.worker.postMessage({ ...fields, id });
    });
  }

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

  // Ends the worker; what it has not answered fails with `error`.
  end(error = new Error("the worker was ended")) {
    this.ended = true;
    this.worker.terminate();
    for (const waiter of this.waiting.values()) waiter.reject(error);
    this.waiting.clear();
  }

  fail(error) {
    this.end(error);
  }
}

// eslint-disable-next-line no-unused-vars
class SceneRunner {
  // `limits`: the active quadtree limits {maxDepth, trianglesPerRegion}.
  // `progress`: {begin(), stage(stage, fraction), end()} for long operations.
  // `display`: {showScene(buffers, measures, name, stats),
  // update(buffers, highlight, {stats, descent})},
  // called as soon as a worker's answer is taken, so that nothing of a scene
  // that is no longer shown reaches the picture.
  constructor(module, workerUrl, limits, progress, display) {
    this.module = module;
    this.workerUrl = workerUrl;
    this.limits = limits;
    this.progress = progress;
    this.display = display;
    this.shown = null; // the worker of the shown scene
    this.shownSource = null; // what it was loaded from, to start it again
    this.loading = null; // the worker of the load that runs
    this.loadNumber = 0;
    this.turns = Promise.resolve(); // Apply and loads, one after the other
    this.query = { x: 0, y: 0, clicked: false };
  }

  get hasScene() {
    return this.shown !== null;
  }

  newWorker() {
    return new SceneWorker(this.workerUrl, this.module, (stage, fraction) => this.progress.stage(stage, fraction));
  }

  takeTurn(operation) {
    const turn = this.turns.then(operation);
    this.turns = turn.catch(() => {});
    return turn;
  }

  // Loads `source` (a File or an ArrayBuffer, kept unchanged) and shows it
  // under `name`. Resolves with the core's LoadFailure (0: loaded and shown),
  // or null when a newer load came first.
  load(source, name) {
    const number = ++this.loadNumber;
    if (this.loading) this.loading.end(); // a newer load replaces it
    return this.takeTurn(async () => {
      if (number !== this.loadNumber) return null;
      const worker = this.newWorker();
      this.loading = worker;
      this.progress.begin();
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
      if (answer === null || answer.result.failure !== 0) {
        worker.end();
        return answer === null ? kLoadUnreadable : answer.result.failure;
      }
      worker.request({ type: "query", ...this.query }).catch(() => {});
      if (this.shown) this.shown.end();
      this.shown = worker;
      this.shownSource = source;
      this.display.showScene(answer.buffers, answer.result.measures, name, answer.result.stats);
      return 0;
    });
  }

  // Rebuilds the shown scene's quadtree with `limits` and shows it. Resolves
  // with false when the tree does not fit (nothing changed).
  apply(limits) {
    return this.takeTurn(async () => {
      const worker = this.shown;
      if (!worker) return true;
      this.progress.begin();
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
      });
      return true;
    });
  }

  // A left click at plane point (x, y), shown when it is located.
  async click(x, y) {
    const worker = this.shown;
    if (!worker) return;
    let answer = null;
    try {
      answer = await worker.request({ type: "click", x, y });
    } catch (error) {
      if (worker === this.shown) await this.takeTurn(() => this.restart());
      return;
    }
    if (worker !== this.shown || !answer.result.ok) return;
    this.query = { x, y, clicked: true };
    this.display.update(answer.buffers, answer.highlight, { descent: answer.result.descent });
  }

  // The last click's highlight after its first `tested` triangles: the
  // highlight buffer, or null when the scene changed meanwhile.
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

  // The shown scene as an SVG figure of width x height pixels, made by the
  // core; null without a scene.
  async figure(width, height) {
    const worker = this.shown;
    if (!worker) return null;
    try {
      return (await worker.request({ type: "svg", width, height })).result.text;
    } catch (error) {
      return null;
    }
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
