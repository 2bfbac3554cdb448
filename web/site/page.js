// The page: starts the core, builds the panel, and ties the canvas's input,
// the panel and the scene workers together. The core's texts, rules and
// camera arithmetic are used as they are; nothing of them is redone here.

// Texts of the core (orrelin_text).
const kTextWindowTitle = 0;
const kTextPropertiesCaption = 1;
const kTextInvalidDepth = 2;
const kTextInvalidTriangles = 3;
const kTextOutOfMemory = 4;
const kTextInfoCaption = 5;

// The core's KeyMove.
const kPanLeft = 0;
const kPanRight = 1;
const kPanUp = 2;
const kPanDown = 3;
const kZoomIn = 4;
const kZoomOut = 5;

const kLoadOutOfMemory = 2;
const kDefaultMesh = "triangles_1.tri";
const kProgressDelayMs = 200; // a load or Apply shorter than this shows no bar

const kStageNames = new Map([
  [kStageReading, "Reading the file"],
  [0, "Parsing"],
  [1, "Building the quadtree"],
  [2, "Listing the edges"],
  [3, "Preparing the picture"],
]);

function decodeBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let k = 0; k < binary.length; ++k) bytes[k] = binary.charCodeAt(k);
  return bytes.buffer;
}

// Calls `f` with `text` as a C string in the core's memory.
function withCString(core, text, f) {
  const size = core.lengthBytesUTF8(text) + 1;
  const at = core._malloc(size) >>> 0;
  core.stringToUTF8(text, at, size);
  try {
    return f(at);
  } finally {
    core._free(at);
  }
}

function instantiateFrom(module) {
  return (imports, receive) => {
    WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module));
    return {};
  };
}

// The bar under the canvas, shown when an operation takes more than a moment.
class Progress {
  constructor(element) {
    this.element = element;
    this.label = element.querySelector(".progress-label");
    this.bar = element.querySelector("progress");
    this.timer = 0;
    this.running = false;
  }

  begin() {
    this.running = true;
    this.show(kStageReading, 0);
    this.element.hidden = true;
    clearTimeout(this.timer);
    this.timer = setTimeout(() => {
      if (this.running) this.element.hidden = false;
    }, kProgressDelayMs);
    document.body.dataset.busy = "true";
  }

  stage(stage, fraction) {
    if (this.running) this.show(stage, fraction || 0);
  }

  show(stage, fraction) {
    this.label.textContent = kStageNames.get(stage) || "";
    this.bar.value = (stage + 1 + fraction) / kStageNames.size;
    this.element.dataset.stage = String(stage);
  }

  end() {
    this.running = false;
    clearTimeout(this.timer);
    this.element.hidden = true;
    delete document.body.dataset.busy;
  }
}

// The colour the Descent panel outlines a region in: none of the picture's own.
const kDescentOutline = [0.3, 0.7, 1.0];
const kChildNames = ["lower left", "lower right", "upper left", "upper right"];

// A number as the panels show it: whole numbers as they are, others to two
// decimals; "none" for NaN.
function shown(value) {
  if (Number.isNaN(value)) return "none";
  return Number.isInteger(value) ? String(value) : value.toFixed(2);
}

// Offers `blob` as a download named `name`.
function download(blob, name) {
  const url = URL.createObjectURL(blob);
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

async function startPage() {
  const module = await WebAssembly.compile(decodeBase64(ORRELIN_WASM));
  const createOrrelinCore = orrelinCoreFactory();
  const core = await createOrrelinCore({ instantiateWasm: instantiateFrom(module) });
  const text = (which) => core.UTF8ToString(core._orrelin_text(which));
  const workerUrl = URL.createObjectURL(
    new Blob(
      [
        `"use strict";\nconst createOrrelinCore = (${orrelinCoreFactory})();\n`,
        `(${orrelinWorker})(createOrrelinCore);\n`,
      ],
      { type: "text/javascript" },
    ),
  );

  const canvas = document.getElementById("scene");
  const frame = document.getElementById("canvas-frame");
  const matrixAt = core._malloc(32 * 4) >>> 0;
  const view = new SceneView(canvas, (out) => {
    core._orrelin_view_matrices(matrixAt);
    out.set(new Float32Array(core.HEAPU8.buffer, matrixAt, 32));
  });
  // What each frame showed, on the page for anyone to read (the tests and
  // the benchmark do): the number of frames drawn and the eye they were drawn
  // from; performance marks for each frame, each input handled, each new
  // scene and the end of the start-up.
  let framesDrawn = 0;
  const eyeAt = core._malloc(12) >>> 0;
  view.onFrame = () => {
    core._orrelin_view_eye(eyeAt);
    canvas.dataset.eye = Array.from(new Float32Array(core.HEAPU8.buffer, eyeAt, 3)).join(" ");
    document.body.dataset.frames = String(++framesDrawn);
    performance.mark("orrelin-frame");
  };
  if (!view.available) {
    frame.classList.add("no-webgl");
  }

  document.getElementById("info-caption").textContent = text(kTextInfoCaption);
  const panel = buildPanel(core, document.getElementById("panel"));
  const activeLimits = {
    maxDepth: core._orrelin_active_max_depth(),
    trianglesPerRegion: core._orrelin_active_triangles_per_region(),
  };
  // Unsigned, as the fields are read back.
  panel.depth.value = String(activeLimits.maxDepth >>> 0);
  panel.triangles.value = String(activeLimits.trianglesPerRegion >>> 0);

  // ---- The teaching aids: the tree's statistics and the last descent ----
  let triangleCount = 0;
  let sceneName = "";
  const treeStats = document.getElementById("tree-stats");
  const showTree = (stats) => {
    if (!stats) return;
    triangleCount = stats.triangleCount;
    const rows = [
      ["Split regions", "splitRegions", stats.splitRegions],
      ["Leaves", "leaves", stats.leaves],
      ["Empty leaves", "emptyLeaves", stats.emptyLeaves],
      ["Depth reached", "depthReached", stats.depthReached],
      ["Stored references", "storedReferences", stats.storedReferences],
      ["Most per leaf", "maxPerLeaf", stats.maxPerLeaf],
      ["Mean per leaf", "meanPerLeaf", stats.meanPerLeaf],
      ["Tests per random click", "expectedTests", stats.expectedTests],
      ["Triangles", "triangleCount", stats.triangleCount],
    ];
    treeStats.replaceChildren();
    for (const [label, key, value] of rows) {
      const term = document.createElement("dt");
      term.textContent = label;
      const detail = document.createElement("dd");
      detail.textContent = shown(value);
      detail.dataset.key = key;
      detail.dataset.value = String(value);
      treeStats.append(term, detail);
    }
  };

  const outlineAt = core._malloc(24 * 28) >>> 0;
  // Outlines `bounds` over the picture in `colour`; null removes the outline.
  const outlineRegion = (bounds, colour = kDescentOutline) => {
    if (!bounds) {
      view.setOutline(null);
      return;
    }
    core._orrelin_region_outline(...bounds, ...colour, outlineAt);
    view.setOutline(core.HEAPU8.slice(outlineAt, outlineAt + 24 * 28));
  };
  const descentTable = document.getElementById("descent");
  const descentSummary = document.getElementById("descent-summary");
  const showDescent = (steps) => {
    outlineRegion(null);
    const body = descentTable.querySelector("tbody");
    body.replaceChildren();
    descentTable.hidden = !steps || steps.length === 0;
    if (descentTable.hidden) {
      descentSummary.textContent = "Click on the mesh to see its descent.";
      return;
    }
    steps.forEach((step, level) => {
      const row = document.createElement("tr");
      row.tabIndex = 0;
      const [minX, minY, maxX, maxY] = step.bounds;
      const child = step.child >= 0 ? `${step.child} (${kChildNames[step.child]})` : "tested";
      for (const text of [String(level), `${minX}, ${minY} to ${maxX}, ${maxY}`, String(step.triangles), child]) {
        const cell = document.createElement("td");
        cell.textContent = text;
        row.append(cell);
      }
      row.setAttribute(
        "aria-label",
        `Level ${level}: region ${minX}, ${minY} to ${maxX}, ${maxY}, ${step.triangles} triangles, ${child}`,
      );
      const outline = () => outlineRegion(step.bounds);
      row.addEventListener("mouseenter", outline);
      row.addEventListener("focus", outline);
      row.addEventListener("mouseleave", () => outlineRegion(null));
      row.addEventListener("blur", () => outlineRegion(null));
      body.append(row);
    });
    descentSummary.textContent = `tested ${steps.at(-1).triangles} of ${triangleCount} triangles`;
  };

  // ---- Stepping through the last click: the descent level by level, then
  // the leaf's triangles one by one, ending on the click's own picture ----
  const stepOutline = [1.0, 0.3, 1.0]; // the region the animation stands on
  const playButton = document.getElementById("step-play");
  const stepButton = document.getElementById("step-one");
  const speedInput = document.getElementById("step-speed");
  const stepStage = document.getElementById("step-stage");
  const stepCaption = document.getElementById("step-caption");
  const stepper = {
    descent: [],
    final: null, // the click's highlight buffers: the last picture
    stage: -1, // -1: not running; then levels, then triangles tested
    timer: 0,
    request: 0, // the number of the newest highlight asked for
    get levels() {
      return this.descent.length;
    },
    get tests() {
      return this.levels ? this.descent.at(-1).triangles : 0;
    },
  };
  const markRow = (level) => {
    descentTable.querySelectorAll("tbody tr").forEach((row, k) => {
      if (k === level) row.setAttribute("aria-current", "step");
      else row.removeAttribute("aria-current");
    });
  };
  const stopTimer = () => {
    clearInterval(stepper.timer);
    stepper.timer = 0;
    playButton.textContent = "Play";
  };
  // Ends the animation on the click's own picture.
  const finishSteps = () => {
    if (stepper.stage < 0) return;
    stopTimer();
    stepper.stage = -1;
    ++stepper.request;
    if (stepper.final) view.replaceBuffers(stepper.final, true, false);
    view.setOutline(null);
    markRow(-1);
    stepCaption.hidden = true;
    stepStage.textContent = `Done: tested ${stepper.tests} of ${triangleCount} triangles.`;
    document.body.dataset.stepStage = "done";
  };
  const showHighlightPrefix = async (tested) => {
    const number = ++stepper.request;
    const buffers = await runner.highlightPrefix(tested);
    if (buffers && number === stepper.request && stepper.stage >= 0) view.replaceBuffers(buffers, true, false);
  };
  const showStage = () => {
    const { stage, levels } = stepper;
    const leaf = stepper.descent.at(-1);
    if (stage < levels) {
      const step = stepper.descent[stage];
      outlineRegion(step.bounds, stepOutline);
      markRow(stage);
      const next = step.child >= 0 ? `, on to child ${step.child} (${kChildNames[step.child]})` : "";
      stepCaption.textContent = `Level ${stage}: ${step.triangles} triangles`;
      stepStage.textContent = `Level ${stage}: the region holds ${step.triangles} triangles${next}.`;
      if (stage === 0) showHighlightPrefix(0);
    } else {
      const tested = stage - levels + 1;
      outlineRegion(leaf.bounds, stepOutline);
      markRow(levels - 1);
      stepCaption.textContent = `Tested ${tested} of ${leaf.triangles}`;
      stepStage.textContent = `Tested ${tested} of the region's ${leaf.triangles} triangles.`;
      showHighlightPrefix(tested);
    }
    stepCaption.hidden = false;
    document.body.dataset.stepStage = String(stage);
  };
  const advance = () => {
    if (stepper.stage < 0) return;
    if (stepper.stage + 1 >= stepper.levels + stepper.tests) {
      finishSteps();
      return;
    }
    ++stepper.stage;
    showStage();
  };
  const beginSteps = () => {
    stepper.stage = 0;
    showStage();
  };
  const playSteps = () => {
    stopTimer();
    stepper.timer = setInterval(advance, 1000 / Number(speedInput.value));
    playButton.textContent = "Pause";
  };
  playButton.addEventListener("click", () => {
    if (stepper.timer) {
      stopTimer();
      return;
    }
    if (stepper.stage < 0) beginSteps();
    playSteps();
  });
  stepButton.addEventListener("click", () => {
    stopTimer();
    if (stepper.stage < 0) beginSteps();
    else advance();
  });
  speedInput.addEventListener("input", () => {
    speedInput.setAttribute("aria-valuetext", `${speedInput.value} steps a second`);
    if (stepper.timer) playSteps();
  });
  // A new click's descent, with its picture as the animation's last.
  const prepareSteps = (descent, buffers) => {
    finishSteps();
    stepper.descent = descent || [];
    stepper.final = buffers;
    playButton.disabled = stepButton.disabled = stepper.levels === 0;
    stepStage.textContent = "";
    delete document.body.dataset.stepStage;
  };

  const runner = new SceneRunner(module, workerUrl, activeLimits, new Progress(document.getElementById("progress")), {
    showScene(buffers, measures, name, stats) {
      const [centreX, centreY, extent, moveStep] = measures;
      core._orrelin_view_frame(centreX, centreY, extent, moveStep);
      canvas.dataset.moveStep = String(moveStep);
      view.replaceBuffers(buffers, false, true);
      document.title = `${text(kTextWindowTitle)} - ${name}`;
      sceneName = name;
      showTree(stats);
      showDescent(null);
      prepareSteps([], null);
      performance.mark("orrelin-scene-shown");
    },
    update(buffers, highlight, aids) {
      view.replaceBuffers(buffers, highlight, false);
      if (aids.stats) showTree(aids.stats);
      if (highlight) {
        showDescent(aids.descent);
        prepareSteps(aids.descent, buffers.filter((b) => b.which === 3));
      }
      if (highlight) performance.mark("orrelin-highlight-shown");
    },
  });

  async function open(source, name) {
    finishSteps();
    const failure = await runner.load(source, name);
    if (failure === null || failure === 0) return; // shown, or replaced by a newer load
    const message =
      failure === kLoadOutOfMemory
        ? text(kTextOutOfMemory)
        : withCString(core, name, (at) => core.UTF8ToString(core._orrelin_load_error_text(at)));
    await showMessageBox(message, "Error", "information");
  }

  // ---- The canvas ----
  const resize = () => {
    const width = Math.max(1, Math.round(canvas.clientWidth));
    const height = Math.max(1, Math.round(canvas.clientHeight));
    core._orrelin_view_resize(width, height);
    view.resize(width, height, window.devicePixelRatio || 1);
  };
  // Watching the canvas's size in device pixels also catches a change of the
  // pixel ratio (browser zoom, another screen), which keeps the picture sharp.
  const observer = new ResizeObserver(resize);
  try {
    observer.observe(canvas, { box: "device-pixel-content-box" });
  } catch {
    observer.observe(canvas);
  }
  resize();

  const pixel = (event) => ({ x: Math.floor(event.offsetX), y: Math.floor(event.offsetY) });
  // The plane point under pixel `at`, which becomes the picked point and the
  // zoom target; false when the pixel's ray misses the plane.
  const pick = (at) => {
    if (!core._orrelin_view_pick(at.x, at.y)) return false;
    canvas.dataset.picked = `${core._orrelin_view_picked_x()} ${core._orrelin_view_picked_y()}`;
    return true;
  };

  // Any other input ends a step animation on its last picture.
  for (const type of ["pointerdown", "wheel", "keydown"]) canvas.addEventListener(type, finishSteps, true);
  canvas.addEventListener("pointerdown", (event) => {
    if (!runner.hasScene) return;
    const at = pixel(event);
    if (event.button === 0) {
      if (!pick(at)) return;
      performance.mark("orrelin-click");
      runner.click(core._orrelin_view_picked_x(), core._orrelin_view_picked_y());
    } else if (event.button === 2) {
      canvas.setPointerCapture(event.pointerId);
      canvas.classList.add("dragging");
      core._orrelin_view_drag_start(at.x, at.y);
    }
  });
  const endDrag = (event) => {
    if (event.button !== 2 && event.type === "pointerup") return;
    canvas.classList.remove("dragging");
    core._orrelin_view_drag_end();
  };
  canvas.addEventListener("pointerup", endDrag);
  canvas.addEventListener("lostpointercapture", endDrag);
  canvas.addEventListener("pointermove", (event) => {
    if (!canvas.classList.contains("dragging")) return;
    const at = pixel(event);
    core._orrelin_view_drag(at.x, at.y);
    view.requestFrame();
  });
  canvas.addEventListener("contextmenu", (event) => event.preventDefault());

  // One notch is 100 pixels of scrolling (3 lines, 1 page) in either
  // direction; smaller steps add up to notches.
  let wheelTravel = 0;
  canvas.addEventListener(
    "wheel",
    (event) => {
      event.preventDefault();
      if (!runner.hasScene) return;
      const perNotch = event.deltaMode === 0 ? 100 : event.deltaMode === 1 ? 3 : 1;
      wheelTravel += event.deltaY / perNotch;
      const at = pixel(event);
      while (Math.abs(wheelTravel) >= 1 - 1e-9) {
        const away = wheelTravel < 0; // rolled away from the user: zoom in
        wheelTravel += away ? 1 : -1;
        if (!pick(at)) break;
        core._orrelin_view_zoom(away ? 1 : 0);
      }
      if (Math.abs(wheelTravel) < 1e-9) wheelTravel = 0;
      view.requestFrame();
    },
    { passive: false },
  );

  canvas.addEventListener("keydown", (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    let move = -1;
    switch (event.key) {
      case "ArrowLeft":
        move = event.shiftKey ? kPanLeft : -1;
        break;
      case "ArrowRight":
        move = event.shiftKey ? kPanRight : -1;
        break;
      case "ArrowUp":
        move = event.shiftKey ? kPanUp : kZoomIn;
        break;
      case "ArrowDown":
        move = event.shiftKey ? kPanDown : kZoomOut;
        break;
      default:
        return;
    }
    event.preventDefault(); // the page does not scroll
    if (!runner.hasScene) return;
    performance.mark("orrelin-key");
    if (move >= 0) core._orrelin_view_key(move);
    view.requestFrame();
  });

  // ---- Opening files: Open File, dropping on the canvas, the bundled meshes ----
  panel.openFile.addEventListener("change", () => {
    const file = panel.openFile.files[0];
    panel.openFile.value = ""; // the same file can be chosen again
    if (file) open(file, file.name);
  });
  canvas.addEventListener("dragover", (event) => {
    event.preventDefault();
    event.dataTransfer.dropEffect = "copy";
  });
  canvas.addEventListener("drop", (event) => {
    event.preventDefault();
    const file = event.dataTransfer.files[0];
    if (file) open(file, file.name);
  });
  // A file dropped anywhere else does not replace the page.
  window.addEventListener("dragover", (event) => event.preventDefault());
  window.addEventListener("drop", (event) => event.preventDefault());

  const list = document.getElementById("mesh-list");
  for (const mesh of ORRELIN_MESHES) {
    const item = document.createElement("li");
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = mesh.name;
    button.addEventListener("click", () => open(decodeBase64(mesh.data), `Data/${mesh.name}`));
    item.append(button);
    list.append(item);
  }

  // ---- Apply ----
  panel.apply.addEventListener("click", async () => {
    finishSteps();
    // Both values are stored before either is judged.
    const maxDepth = withCString(core, panel.depth.value, (at) => core._orrelin_field_value(at));
    const trianglesPerRegion = withCString(core, panel.triangles.value, (at) => core._orrelin_field_value(at));
    const verdict = core._orrelin_validate_properties(maxDepth, trianglesPerRegion);
    if (verdict !== 0) {
      const field = verdict === 1 ? panel.depth : panel.triangles;
      await showMessageBox(
        text(verdict === 1 ? kTextInvalidDepth : kTextInvalidTriangles),
        text(kTextPropertiesCaption),
        "warning",
      );
      field.focus();
      field.select();
      return;
    }
    if (!(await runner.apply({ maxDepth, trianglesPerRegion }))) {
      await showMessageBox(text(kTextOutOfMemory), "Error", "information");
    }
  });

  // ---- Saving the picture and the figure ----
  const baseName = () => (sceneName.split("/").pop() || "orrelin").replace(/\.tri$/i, "");
  document.getElementById("save-picture").addEventListener("click", () => {
    // Drawn and read in one task: the drawing buffer is not kept after it.
    view.draw();
    canvas.toBlob((blob) => blob && download(blob, `${baseName()}.png`), "image/png");
  });
  document.getElementById("save-figure").addEventListener("click", async () => {
    const text = await runner.figure(Math.round(canvas.clientWidth), Math.round(canvas.clientHeight));
    if (text) download(new Blob([text], { type: "image/svg+xml" }), `${baseName()}.svg`);
  });

  const first = ORRELIN_MESHES.find((mesh) => mesh.name === kDefaultMesh);
  if (first) await open(decodeBase64(first.data), `Data/${first.name}`);
  document.body.dataset.ready = "true";
  performance.mark("orrelin-ready");
}

startPage().catch((error) => {
  document.body.dataset.failed = String(error);
  const note = document.getElementById("start-failure");
  note.hidden = false;
  note.textContent = `The page could not start: ${error.message || error}`;
});
