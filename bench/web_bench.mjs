// The browser edition's timings in headless Chromium, printed as JSON:
//   startupMs        navigation to the default mesh drawn (the end of start-up)
//   loadToFrameMs    a mesh's bytes, already in the page's memory as a file,
//                    dropped on the canvas, to the first frame that shows it
//                    (median of 3)
//   clickToFrameMs   a left click to the frame with its highlight (median of 9)
//   panFrameMs       a Shift+Right key to the frame drawn for it (median of 9)
//   ...DrawnMs       the same until the GPU has drawn the frame
//   loadLongestTaskMs the longest task on the page's main thread during a
//                    fourth load, from the drop to its title, not waiting for
//                    the GPU (0 when none took 50 ms, the browser's threshold
//                    for a long task)
//   downloadBytes    the page's files, and gzipBytes the same compressed
//   loadStages       the load's stages in ms, [name, ms] in order (medians of
//                    the three loads), from the performance marks of the page
//                    and of the scene worker each load ran in
//   startupStages    the same for the start-up
//   peakMiB          the largest resident memory of the browser's processes
//                    together during the loads, rendererPeakMiB of the page's
//                    process (page and workers) alone, moduleMiB the loading
//                    worker's module memory
// usage: node web_bench.mjs SITE_DIR MESH.tri
import { readFileSync, readdirSync } from "node:fs";
import { join } from "node:path";
import { gzipSync } from "node:zlib";
import { close, launch, openPage, processTree, residentBytes, serve, settled } from "../tests/web/browser.mjs";

const [site, mesh] = process.argv.slice(2);
const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Milliseconds from `start` to the first frame after the first mark `after`
// at or past `start`: {submitted} when the page had handed the frame to
// WebGL, {drawn} when the GPU had drawn it (a pixel read back waits for that).
async function frameAfter(page, start, after) {
  const handle = await page.waitForFunction(
    (t0, name) => {
      const shown = performance.getEntriesByName(name).find((e) => e.startTime >= t0);
      if (!shown) return false;
      const frame = performance.getEntriesByName("orrelin-frame").find((e) => e.startTime >= shown.startTime);
      if (!frame) return false;
      const gl = document.getElementById("scene").getContext("webgl2");
      gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
      return { submitted: frame.startTime - t0, drawn: performance.now() - t0 };
    },
    { timeout: 120000, polling: "raf" },
    start,
    after,
  );
  return handle.jsonValue();
}

// A load's stages, from mark to mark: the page's marks ("p") and its scene
// worker's ("w"), each on its own thread's clock.
const kLoadStages = [
  ["worker started, instance made", "p:drop", "w:orrelin-worker-ready"],
  ["file bytes into the worker", "w:orrelin-worker-ready", "w:orrelin-worker-load"],
  ["into the module's memory", "w:orrelin-worker-load", "w:orrelin-worker-read"],
  ["parse, validate, bounds", "w:orrelin-worker-read", "w:orrelin-worker-stage-1"],
  ["quadtree", "w:orrelin-worker-stage-1", "w:orrelin-worker-stage-2"],
  ["edges", "w:orrelin-worker-stage-2", "w:orrelin-worker-stage-3"],
  ["buffer contents", "w:orrelin-worker-stage-3", "w:orrelin-worker-handover"],
  ["hand-over, scene swap", "w:orrelin-worker-handover", "w:orrelin-worker-loaded"],
  ["measures, statistics", "w:orrelin-worker-loaded", "w:orrelin-worker-answer-load"],
  ["transfer to the page", "w:orrelin-worker-answer-load", "p:orrelin-scene-received"],
  ["buffer uploads", "p:orrelin-scene-received", "p:orrelin-scene-uploaded"],
  ["panel, title", "p:orrelin-scene-uploaded", "p:orrelin-scene-shown"],
  ["first frame handed to WebGL", "p:orrelin-scene-shown", "p:orrelin-frame"],
];
const kStartupStages = [
  ["script fetched and run", "p:navigation", "p:orrelin-start"],
  ["WebAssembly decoded, compiled", "p:orrelin-start", "p:orrelin-compiled"],
  ["page's module instantiated", "p:orrelin-compiled", "p:orrelin-core"],
  ["WebGL context, panel, aids", "p:orrelin-core", "p:orrelin-panel"],
  ["(beside it) worker started, instance made", "p:orrelin-core", "w:orrelin-worker-ready"],
  ["file bytes into the worker", "p:orrelin-panel|w:orrelin-worker-ready", "w:orrelin-worker-load"],
  ...kLoadStages.slice(2, -1),
  ["ready", "p:orrelin-scene-shown", "p:orrelin-ready"],
];

/**
 * Each stage's milliseconds for one load begun at `t0` on the page's clock:
 * the worker's first of each mark, moved to the page's clock by the time
 * origins; the page's first at or after t0 (a frame: the first after the
 * scene was shown). What happened before t0 (the worker started ahead)
 * counts as t0.
 */
async function stageTimes(page, t0, stages) {
  const read = () => ({
    origin: performance.timeOrigin,
    marks: performance.getEntriesByType("mark").map((m) => [m.name, m.startTime, m.detail]),
  });
  const find = (marks, name, after) => marks.find(([n, t]) => n === name && t >= after);
  const p = await page.evaluate(read);
  // The load's worker: the one that answered a load after t0 (a spare
  // started for the next load has answered none).
  let w = null;
  for (const worker of page.workers()) {
    const marks = await worker.evaluate(read).catch(() => null);
    if (marks && find(marks.marks, "orrelin-worker-answer-load", t0 - (marks.origin - p.origin))) w = marks;
  }
  if (!w) throw new Error("no worker answered the load");
  const shift = w.origin - p.origin;
  const at = (point) => {
    if (point.includes("|")) return Math.max(...point.split("|").map(at));
    const [side, name] = point.split(/:(.*)/s);
    if (name === "drop") return t0;
    if (name === "navigation") return 0;
    if (side === "w") return Math.max(t0, find(w.marks, name, -Infinity)[1] + shift);
    const after = name === "orrelin-frame" ? at("p:orrelin-scene-shown") : t0;
    return find(p.marks, name, after)[1];
  };
  const result = stages.map(([name, from, to]) => [name, at(to) - at(from)]);
  const loaded = find(w.marks, "orrelin-worker-loaded", -Infinity);
  return { stages: result, moduleBytes: loaded?.[2]?.memoryBytes ?? 0 };
}

// The resident memory of the browser's processes, sampled every 20 ms:
// stop() gives the largest sum and the largest of the page's process.
function sampleMemory(browserPid) {
  const isRenderer = (pid) => {
    try {
      return readFileSync(`/proc/${pid}/cmdline`, "utf8").includes("--type=renderer");
    } catch {
      return false;
    }
  };
  const pids = processTree(browserPid);
  const renderers = pids.filter(isRenderer);
  let peak = 0;
  let rendererPeak = 0;
  const timer = setInterval(() => {
    peak = Math.max(peak, pids.reduce((sum, pid) => sum + residentBytes(pid), 0));
    rendererPeak = Math.max(rendererPeak, renderers.reduce((sum, pid) => sum + residentBytes(pid), 0));
  }, 20);
  return {
    stop() {
      clearInterval(timer);
      return { peak, rendererPeak };
    },
  };
}

const medianStages = (runs) =>
  runs[0].map(([name], k) => [name, Number(median(runs.map((run) => run[k][1])).toFixed(1))]);

const browser = await launch();
const server = await serve(site, { "/mesh.tri": mesh });
const results = {};
try {
  const begun = Date.now();
  const page = await openPage(browser, server.url, 1300, 800);
  results.startupMs = await page.evaluate(() => performance.getEntriesByName("orrelin-ready")[0].startTime);
  results.startupWallMs = Date.now() - begun;
  results.startupStages = medianStages([(await stageTimes(page, 0, kStartupStages)).stages]);

  // The files to drop are made before the loads: a File made of bytes in
  // memory is copied to the browser's blob store meanwhile, which a file
  // chosen or dropped by hand never is. The page's policy forbids any fetch,
  // so the page is opened again with the policy bypassed to fetch the mesh.
  await page.setBypassCSP(true);
  await page.reload();
  await page.waitForSelector("body[data-ready]", { timeout: 60000 });
  await page.evaluate(async () => {
    const bytes = await (await fetch("mesh.tri")).arrayBuffer();
    window.meshBytes = bytes;
    window.meshFiles = [0, 1, 2].map((k) => new File([bytes], `mesh${k}.tri`));
    await Promise.all(window.meshFiles.map((file) => file.slice(0, 1).arrayBuffer()));
  });
  const loads = [];
  const stageRuns = [];
  let moduleBytes = 0;
  const memory = sampleMemory(browser.process().pid);
  for (let k = 0; k < 3; ++k) {
    const t0 = await page.evaluate((k) => {
      const t = performance.now();
      const transfer = new DataTransfer();
      transfer.items.add(window.meshFiles[k]);
      document
        .getElementById("scene")
        .dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true }));
      return t;
    }, k);
    loads.push(await frameAfter(page, t0, "orrelin-scene-shown"));
    const times = await stageTimes(page, t0, kLoadStages);
    stageRuns.push(times.stages);
    moduleBytes = Math.max(moduleBytes, times.moduleBytes);
    await settled(page);
  }
  const memoryPeaks = memory.stop();
  results.loadStages = medianStages(stageRuns);
  results.peakMiB = memoryPeaks.peak / 2 ** 20;
  results.rendererPeakMiB = memoryPeaks.rendererPeak / 2 ** 20;
  results.moduleMiB = moduleBytes / 2 ** 20;
  results.loadToFrameMs = median(loads.map((t) => t.submitted));
  results.loadToDrawnMs = median(loads.map((t) => t.drawn));
  // The timed loads read a pixel back to wait for the GPU, which holds the
  // page's thread: the longest task is measured on a load of its own.
  await page.evaluate(() => {
    window.longestTask = 0;
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.longestTask = Math.max(window.longestTask, entry.duration);
    }).observe({ type: "longtask" });
    const transfer = new DataTransfer();
    transfer.items.add(new File([window.meshBytes], "longest.tri"));
    document
      .getElementById("scene")
      .dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true }));
  });
  await page.waitForFunction(() => document.title.endsWith(" - longest.tri") && !document.body.dataset.busy, {
    timeout: 120000,
  });
  results.loadLongestTaskMs = await page.evaluate(() => window.longestTask);
  await settled(page);

  const canvas = await page.$("#scene");
  const box = await canvas.boundingBox();
  const clicks = [];
  const pans = [];
  for (let k = 0; k < 9; ++k) {
    const marks = await page.evaluate(() => performance.getEntriesByName("orrelin-click").length);
    await page.mouse.click(box.x + 300 + 20 * k, box.y + 200 + 15 * k);
    await page.waitForFunction((n) => performance.getEntriesByName("orrelin-click").length > n, {}, marks);
    const t0 = await page.evaluate(() => performance.getEntriesByName("orrelin-click").at(-1).startTime);
    // The highlight comes back from the worker; its frame follows.
    clicks.push(await frameAfter(page, t0, "orrelin-highlight-shown"));
    await settled(page);
    await canvas.focus();
    await page.keyboard.down("Shift");
    await page.keyboard.press("ArrowRight");
    await page.keyboard.up("Shift");
    const key = await page.evaluate(() => performance.getEntriesByName("orrelin-key").at(-1).startTime);
    pans.push(await frameAfter(page, key, "orrelin-key"));
    await settled(page);
  }
  results.clickToFrameMs = median(clicks.map((t) => t.submitted));
  results.clickToDrawnMs = median(clicks.map((t) => t.drawn));
  results.panFrameMs = median(pans.map((t) => t.submitted));
  results.panDrawnMs = median(pans.map((t) => t.drawn));

  const files = readdirSync(site).map((name) => readFileSync(join(site, name)));
  results.downloadBytes = files.reduce((sum, bytes) => sum + bytes.length, 0);
  results.gzipBytes = files.reduce((sum, bytes) => sum + gzipSync(bytes, { level: 9 }).length, 0);
  await page.close();
} finally {
  server.close();
  await close(browser);
}
process.stdout.write(`${JSON.stringify(results)}\n`);
