// The browser edition's timings in headless Chromium, printed as JSON:
//   startupMs        navigation to the default mesh drawn (the end of start-up)
//   loadToFrameMs    a mesh's bytes, already in the page's memory, dropped on
//                    the canvas, to the first frame that shows it (median of 3)
//   clickToFrameMs   a left click to the frame with its highlight (median of 9)
//   panFrameMs       a Shift+Right key to the frame drawn for it (median of 9)
//   ...DrawnMs       the same until the GPU has drawn the frame
//   loadLongestTaskMs the longest task on the page's main thread during a
//                    fourth load, from the drop to its title, not waiting for
//                    the GPU (0 when none took 50 ms, the browser's threshold
//                    for a long task)
//   downloadBytes    the page's files, and gzipBytes the same compressed
// usage: node web_bench.mjs SITE_DIR MESH.tri
import { readFileSync, readdirSync } from "node:fs";
import { join } from "node:path";
import { gzipSync } from "node:zlib";
import { close, launch, openPage, serve, settled } from "../tests/web/browser.mjs";

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

const browser = await launch();
const server = await serve(site, { "/mesh.tri": mesh });
const results = {};
try {
  const begun = Date.now();
  const page = await openPage(browser, server.url, 1300, 800);
  results.startupMs = await page.evaluate(() => performance.getEntriesByName("orrelin-ready")[0].startTime);
  results.startupWallMs = Date.now() - begun;

  await page.evaluate(async () => {
    window.meshBytes = await (await fetch("mesh.tri")).arrayBuffer();
  });
  const loads = [];
  for (let k = 0; k < 3; ++k) {
    const t0 = await page.evaluate((name) => {
      const t = performance.now();
      const transfer = new DataTransfer();
      transfer.items.add(new File([window.meshBytes], name));
      document
        .getElementById("scene")
        .dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true }));
      return t;
    }, `mesh${k}.tri`);
    loads.push(await frameAfter(page, t0, "orrelin-scene-shown"));
    await settled(page);
  }
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
