// The page: starts the core, builds the panel, and ties the canvas's input,
// the panel, the teaching aids and the scene workers together. The core's
// texts, rules and camera arithmetic are used as they are; nothing of them is
// redone here.

import { kDefaultMeshName, WebBuffer, WebText } from "orrelin-generated/constants.js";
import { kMeshes, kWasmBase64 } from "orrelin-generated/embedded.js";
import { kWorkerSource } from "orrelin-generated/worker_source.js";
import { createOrrelinCore } from "../shared/core.js";
import { instantiateFrom, withCString } from "../shared/protocol.js";
import { CanvasInput, followCanvasSize } from "./canvas_input.js";
import { SceneView } from "./canvas_view.js";
import { followContextLoss } from "./context_loss.js";
import { DescentPanel } from "./descent_panel.js";
import { connectGenerate } from "./generate.js";
import { HeatMap } from "./heat_map.js";
import { connectApply } from "./apply.js";
import { connectLimitsChart } from "./limits_chart.js";
import { connectCopyLink, generatedMeshes, openLinked } from "./link.js";
import { connectLocate } from "./locate.js";
import { decodeBase64, listMeshes, openDroppedAndChosen, opener } from "./opening.js";
import { buildPanel, showActiveLimits } from "./panel.js";
import { Progress } from "./progress.js";
import { connectSaves } from "./saves.js";
import { SceneRunner, SceneWorker } from "./scene_client.js";
import { Stepper, stepControls } from "./stepper.js";
import { TreePanel } from "./tree_panel.js";
import { offerWorkerFaults } from "./worker_faults.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("../shared/protocol.js").HandedBuffer} HandedBuffer */
/** @typedef {import("../shared/protocol.js").TreeStats} TreeStats */

/** @param {string} id */
function byId(id) {
  return /** @type {HTMLElement} */ (document.getElementById(id));
}

/**
 * The canvas's view. What each frame showed is on the page for anyone to read
 * (the tests and the benchmark do): the number of frames drawn and the eye
 * they were drawn from, with a performance mark for each frame.
 * @param {OrrelinCore} core
 * @param {HTMLCanvasElement} canvas
 */
function makeView(core, canvas) {
  const matrixAt = core._malloc(32 * 4) >>> 0;
  const view = new SceneView(canvas, (out) => {
    core._orrelin_view_matrices(matrixAt);
    out.set(new Float32Array(core.HEAPU8.buffer, matrixAt, 32));
  });
  let framesDrawn = 0;
  const eyeAt = core._malloc(12) >>> 0;
  view.onFrame = () => {
    core._orrelin_view_eye(eyeAt);
    canvas.dataset.eye = Array.from(new Float32Array(core.HEAPU8.buffer, eyeAt, 3)).join(" ");
    document.body.dataset.frames = String(++framesDrawn);
    performance.mark("orrelin-frame");
  };
  if (!view.available) byId("canvas-frame").classList.add("no-webgl");
  followContextLoss(canvas, view, byId("context-lost-note"));
  return view;
}

/**
 * The panels that follow the shown scene: the tree's statistics, the last
 * descent and its replay.
 * @param {OrrelinCore} core
 * @param {SceneView} view
 * @param {(tested: number) => Promise<HandedBuffer[] | null>} highlightPrefix
 */
function makeAids(core, view, highlightPrefix) {
  const tree = new TreePanel(byId("tree-stats"));
  const descent = new DescentPanel(
    core,
    view,
    /** @type {HTMLTableElement} */ (byId("descent")),
    byId("descent-summary"),
    byId("found"),
  );
  const stepper = new Stepper(stepControls(), view, descent, highlightPrefix, () => tree.triangleCount);
  return { tree, descent, stepper };
}

/**
 * Where the scene workers' answers go: the canvas, the title and the aids.
 * @param {OrrelinCore} core
 * @param {HTMLCanvasElement} canvas
 * @param {SceneView} view
 * @param {ReturnType<typeof makeAids>} aids
 * @param {HeatMap} heatMap
 * @returns {import("./scene_client.js").SceneDisplay & {sceneName: string}}
 */
function sceneDisplay(core, canvas, view, aids, heatMap) {
  return {
    sceneName: "",
    showScene(buffers, measures, name, stats) {
      performance.mark("orrelin-scene-received");
      const [centreX, centreY, extent, moveStep] = measures;
      core._orrelin_view_frame(centreX, centreY, extent, moveStep);
      canvas.dataset.moveStep = String(moveStep);
      view.replaceBuffers(buffers, false, true);
      performance.mark("orrelin-scene-uploaded");
      document.title = withCString(core, name, (at) => core.UTF8ToString(core._orrelin_window_title(at)));
      this.sceneName = name;
      aids.tree.show(stats);
      aids.descent.show(null, aids.tree.triangleCount);
      aids.stepper.prepare([], null);
      heatMap.refresh();
      performance.mark("orrelin-scene-shown");
    },
    update(buffers, highlight, found) {
      view.replaceBuffers(buffers, highlight, false);
      if (found.stats) {
        aids.tree.show(found.stats);
        heatMap.refresh(); // a new tree
      }
      if (highlight) {
        aids.descent.show(found.descent, aids.tree.triangleCount, found.found);
        aids.stepper.prepare(
          found.descent,
          buffers.filter((b) => b.which === WebBuffer.Highlight),
        );
      }
      if (highlight) performance.mark("orrelin-highlight-shown");
    },
  };
}

async function startPage() {
  performance.mark("orrelin-start");
  const module = await WebAssembly.compile(decodeBase64(kWasmBase64));
  performance.mark("orrelin-compiled");
  const core = await createOrrelinCore({ instantiateWasm: instantiateFrom(module) });
  performance.mark("orrelin-core");
  const workerUrl = URL.createObjectURL(new Blob([kWorkerSource], { type: "text/javascript" }));
  // The first mesh's worker starts now, on its own thread, while this one
  // waits for the WebGL context (the GPU process) and builds the panel.
  const firstWorker = new SceneWorker(workerUrl, module);

  const canvas = /** @type {HTMLCanvasElement} */ (byId("scene"));
  const view = makeView(core, canvas);
  byId("info-caption").textContent = core.UTF8ToString(core._orrelin_text(WebText.InfoCaption));
  const panel = buildPanel(core, byId("panel"));
  offerWorkerFaults(core);
  const activeLimits = showActiveLimits(core, panel);

  /** @type {SceneRunner | null} */
  let runner = null;
  const aids = makeAids(core, view, async (tested) => (runner ? runner.highlightPrefix(tested) : null));
  const heatMap = new HeatMap(
    core,
    /** @type {HTMLInputElement} */ (byId("heat-map")),
    byId("heat-legend"),
    view,
    () => runner,
  );
  const display = sceneDisplay(core, canvas, view, aids, heatMap);
  const scenes = new SceneRunner(module, workerUrl, activeLimits, new Progress(byId("progress")), display, firstWorker);
  runner = scenes;
  const finishSteps = () => aids.stepper.finish();
  const open = opener(core, scenes, finishSteps);

  followCanvasSize(core, canvas, view);
  // Any other input ends a step replay on its last picture.
  for (const type of ["pointerdown", "wheel", "keydown"]) canvas.addEventListener(type, finishSteps, true);
  const input = new CanvasInput(core, canvas, view, scenes);
  byId("reset-view").addEventListener("click", () => {
    finishSteps();
    input.resetView();
  });
  openDroppedAndChosen(panel.openFile, canvas, byId("drop-hint"), open);
  listMeshes(byId("mesh-list"), kMeshes, open);
  connectApply(core, panel, scenes, finishSteps);
  connectLocate(core, /** @type {HTMLFormElement} */ (byId("locate-form")), canvas, scenes, finishSteps);
  connectSaves(canvas, view, scenes, () => display.sceneName, core, () => heatMap.on);
  connectGenerate(core, open);
  // A link names a generated mesh by the generator's arguments.
  generatedMeshes.describe = () => {
    const origin = scenes.shownOrigin;
    return origin && origin.kind === "generated" ? origin.mesh : null;
  };
  generatedMeshes.show = async (mesh) => {
    await open({ generate: mesh }, `${mesh.kind}-${mesh.count}-s${mesh.seed}`);
    return scenes.shownOrigin !== null && scenes.shownOrigin.kind === "generated";
  };
  const limitsChart = connectLimitsChart(scenes, panel, () => display.sceneName);
  const { showScene, update } = display;
  display.showScene = (...shown) => {
    showScene.apply(display, shown);
    limitsChart.sceneChanged();
  };
  display.update = (...updated) => {
    update.apply(display, updated);
    limitsChart.limitsMaybeChanged();
  };

  /** @type {import("./link.js").LinkContext} */
  const linkContext = {
    core,
    canvas,
    runner: scenes,
    panel,
    requestFrame: () => view.requestFrame(),
    bundled: kMeshes.map((mesh) => mesh.name),
    async openBundled(name) {
      const mesh = kMeshes.find((m) => m.name === name);
      if (mesh) await open(decodeBase64(mesh.data), `Data/${mesh.name}`);
    },
    sceneName: () => display.sceneName,
    playing: () => aids.stepper.timer !== 0,
  };
  connectCopyLink(linkContext);
  performance.mark("orrelin-panel");
  await openLinked(linkContext, location.hash, kDefaultMeshName);
  document.body.dataset.ready = "true";
  performance.mark("orrelin-ready");
}

startPage().catch((/** @type {unknown} */ error) => {
  document.body.dataset.failed = String(error);
  const note = byId("start-failure");
  note.hidden = false;
  const message = error instanceof Error && error.message ? error.message : error;
  note.textContent = `The page could not start: ${message}`;
});
