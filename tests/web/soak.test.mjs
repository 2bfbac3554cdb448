// The page under stress in headless Chromium: thousands of seeded random
// events, after which a click shows what it shows on a fresh page; and twenty
// loads and Applies of 1M-triangle meshes. The memory left behind (the
// browser's processes, the scene worker's module) must stay near what the
// first load or Apply left. ORRELIN_SOAK_SEED replays a run (each prints its
// seed), ORRELIN_SOAK_EVENTS sets its length (5000).
import assert from "node:assert/strict";
import { mkdtempSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { basename, join } from "node:path";
import { after, before, describe, test } from "node:test";
import { pathToFileURL } from "node:url";
import {
  browserMemory,
  canvasPixels,
  close,
  closeBox,
  differingPixels,
  downloadsTo,
  dropFile,
  generated,
  gridMesh,
  kSite,
  launch,
  messageBox,
  openFile,
  openPage,
  settled,
  waitForTitle,
} from "./browser.mjs";

const kSeed = Number(process.env.ORRELIN_SOAK_SEED || Math.floor(Math.random() * 2 ** 31));
const kEvents = Number(process.env.ORRELIN_SOAK_EVENTS || 5000);
const work = mkdtempSync(join(tmpdir(), "orrelin-soak-"));
const fileUrl = pathToFileURL(join(kSite, "index.html")).href;
const kDefaultTitle = "Orrelin v1.1 - Data/triangles_1.tri";
const MiB = (bytes) => `${(bytes / 2 ** 20).toFixed(1)} MiB`;
let browser;

before(async () => {
  browser = await launch();
});
after(async () => {
  if (browser) await close(browser);
  rmSync(work, { recursive: true, force: true });
});

// mulberry32: the same seed gives the same events.
function randomFrom(seed) {
  let state = seed >>> 0;
  const next = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = Math.imul(state ^ (state >>> 15), state | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 2 ** 32;
  };
  const int = (n) => Math.floor(next() * n);
  return { int, pick: (list) => list[int(list.length)], chance: (p) => next() < p };
}

// Files the reader refuses, each for a reason of its own.
const kBadFiles = ["v 0 0\nv 1 0\nf 0 1 2\n", "", "v 0 0\nv 1 0\nv 0 1e39\nf 0 1 2\n", "f 0 1 2\n", "v 0 0 0 0\n"];
const kBadLimits = [["11", "50"], ["0", "50"], ["abc", "50"], ["5", "0"], ["5", "10001"], ["5", "x"]];
const kBadGenerate = [["0", "1"], ["2000001", "1"], ["many", "1"], ["10", "-1"], ["10", "18446744073709551616"]];
// Esc closes a message box and does nothing else; the page has no Enter or
// Space here, which would press whatever button Tab reached.
const kKeys = ["ArrowLeft", "ArrowRight", "ArrowUp", "ArrowDown", "Home", "Tab", "Escape", "PageDown", "End"];

const set = (page, id, value) => page.$eval(`#${id}`, (e, v) => (e.value = v), value);

async function onCanvas(page) {
  await page.evaluate(() => window.scrollTo(0, 0));
  return (await page.$("#scene")).boundingBox();
}

// Each event: [weight, act(page, random, k)]; act resolves to its name and
// to what it must end in: a message box whose text matches, a title, or
// nothing more.
const kEventsTable = [
  [16, async (page, r) => {
    const box = await onCanvas(page);
    await page.mouse.click(box.x + r.int(800), box.y + r.int(600));
    return { name: "click" };
  }],
  [9, async (page, r) => {
    const box = await onCanvas(page);
    await page.mouse.move(box.x + r.int(800), box.y + r.int(600));
    await page.mouse.down({ button: "right" });
    for (let k = r.int(4); k >= 0; --k) await page.mouse.move(box.x + r.int(800), box.y + r.int(600));
    await page.mouse.up({ button: "right" });
    return { name: "right drag" };
  }],
  [12, async (page, r) => {
    const box = await onCanvas(page);
    await page.mouse.move(box.x + r.int(800), box.y + r.int(600));
    await page.mouse.wheel({ deltaY: r.pick([-100, 100, -300, 300, -40, 60]) });
    return { name: "wheel" };
  }],
  [20, async (page, r) => {
    if (r.chance(0.7)) await page.focus("#scene");
    const shift = r.chance(0.3);
    if (shift) await page.keyboard.down("Shift");
    await page.keyboard.press(r.pick(kKeys));
    if (shift) await page.keyboard.up("Shift");
    return { name: "key" };
  }],
  [15, async (page, r) => {
    const button = r.pick(["#step-one", "#step-play", "#step-play", "#heat-map", "#save-picture", "#reset-view"]);
    await page.click(button);
    return { name: button.slice(1) };
  }],
  [8, async (page, r) => {
    const bad = r.chance(0.4);
    const [depth, triangles] = bad ? r.pick(kBadLimits) : [1 + r.int(10), r.pick([1, 5, 50, 300, 1 + r.int(10000)])];
    await set(page, "depth", String(depth));
    await set(page, "triangles", String(triangles));
    await page.click("#apply");
    return { name: "Apply", box: bad && /^Invalid (depth|number of triangles)\. / };
  }],
  [4, async (page, r) => {
    const names = await page.$$eval("#mesh-list button", (b) => b.map((e) => e.textContent));
    const k = r.int(names.length);
    await page.click(`#mesh-list li:nth-child(${k + 1}) button`);
    return { name: "sample", title: `Data/${names[k]}` };
  }],
  [5, async (page, r) => {
    const bad = r.chance(0.4);
    const kind = r.pick(["grid", "density", "slivers", "holes"]);
    const [count, seed] = bad ? r.pick(kBadGenerate) : [1 + r.int(2000), r.int(100000)];
    await page.select("#generate-kind", kind);
    await set(page, "generate-count", String(count));
    await set(page, "generate-seed", String(seed));
    await page.click("#generate");
    if (bad) return { name: "Generate", box: /^Invalid (number of triangles|seed)\. / };
    return { name: "Generate", title: `${kind}-${count}-s${seed}` };
  }],
  [9, async (page, r, k) => {
    const bad = r.chance(0.35);
    const name = `${bad ? "bad" : "soak"}${k}.tri`;
    const text = bad ? r.pick(kBadFiles) : gridMesh(1 + r.int(30));
    if (r.chance(0.5)) await dropFile(page, name, text);
    else await openFile(page, meshFile(name, text));
    if (bad) return { name: "file", box: new RegExp(`^The file "${name}" could not be opened\\.$`) };
    return { name: "file", title: name };
  }],
  [2, async (page) => {
    await page.click("#copy-link");
    const link = await page.$eval("#link", (e) => e.value);
    // A mesh from the disk stays behind: the link opens the default one.
    const title = link.includes("#mesh=") ? await page.title() : kDefaultTitle;
    await page.goto("about:blank");
    await page.goto(link);
    await page.waitForSelector("body[data-ready]", { timeout: 30000 });
    return { name: "Copy link", title: title.replace("Orrelin v1.1 - ", "") };
  }],
];

function meshFile(name, text) {
  const path = join(work, name);
  writeFileSync(path, text);
  return path;
}

// Waits for what the event must end in; any other message box is a fault.
async function outcome(page, expected, r) {
  if (expected?.box) {
    assert.match((await messageBox(page)).text, expected.box);
    await closeBox(page, r.pick(["Escape", "Enter"]));
  }
  if (expected?.title) await waitForTitle(page, expected.title);
  await settled(page);
  const open = await page.$eval("#message-box", (box) => (box.open ? box.textContent.trim() : null));
  assert.equal(open, null, "an unexpected message box");
}

// The browser's memory once the shown scene's worker and the spare are the
// only ones left (an ended worker's memory goes with it).
async function memoryOf(page) {
  for (let k = 0; k < 100 && page.workers().length > 2; ++k) await new Promise((resolve) => setTimeout(resolve, 100));
  return browserMemory(browser, page);
}

// The memory of the scene worker's module after its last load or Apply:
// the newest of the marks named `mark` of any worker, and how many there were.
async function moduleMemory(page, mark) {
  let newest = [-Infinity, 0];
  let count = 0;
  for (const worker of page.workers()) {
    const marks = await worker
      .evaluate((name) => performance.getEntriesByName(name).map((m) => [performance.timeOrigin + m.startTime, m.detail.memoryBytes]), mark)
      .catch(() => []); // ended meanwhile
    count += marks.length;
    for (const m of marks) if (m[0] > newest[0]) newest = m;
  }
  return { bytes: newest[1], count };
}

const within = (value, first, what) =>
  assert.ok(Math.abs(value - first) <= 0.2 * first, `${what}: ${MiB(value)}, first ${MiB(first)}`);

// The check mesh at the page's default limits, framed, clicked at (420, 330):
// the picture and the found triangle's line.
async function clickOnCheckMesh(page, mesh, limits) {
  await openFile(page, mesh);
  await waitForTitle(page, basename(mesh));
  await set(page, "depth", limits[0]);
  await set(page, "triangles", limits[1]);
  await page.click("#apply");
  await settled(page);
  if (await page.$eval("#heat-map", (e) => e.checked)) await page.click("#heat-map");
  await page.focus("#scene");
  await page.keyboard.press("Home");
  const box = await onCanvas(page);
  const shown = await page.evaluate(() => performance.getEntriesByName("orrelin-highlight-shown").length);
  await page.mouse.click(box.x + 420, box.y + 330);
  await page.waitForFunction((n) => performance.getEntriesByName("orrelin-highlight-shown").length > n, {}, shown);
  await settled(page);
  return { picture: await canvasPixels(page), found: await page.$eval("#found", (e) => e.textContent) };
}

describe("the page under stress", () => {
  test(`${kEvents} random events (seed ${kSeed}), then a click locates as on a fresh page, memory as before`, async () => {
    console.log(`soak seed ${kSeed} (ORRELIN_SOAK_SEED=${kSeed} replays it), ${kEvents} events`);
    const r = randomFrom(kSeed);
    const page = await openPage(browser, fileUrl);
    const errors = page.errors; // the page's uncaught errors, kept across its navigations
    page.on("console", (message) => message.type() === "error" && errors.push(message.text()));
    const saved = await downloadsTo(page, join(work, "saved"));
    const limits = await page.$$eval("#depth, #triangles", (e) => e.map((f) => f.value));
    const mesh = meshFile("check.tri", gridMesh(8));
    await openFile(page, mesh);
    await waitForTitle(page, "check.tri");
    const firstMemory = await memoryOf(page);

    const total = kEventsTable.reduce((sum, [weight]) => sum + weight, 0);
    const counts = {};
    for (let k = 0; k < kEvents; ++k) {
      let roll = r.int(total);
      const [, act] = kEventsTable.find(([weight]) => (roll -= weight) < 0);
      let name = "";
      try {
        const expected = await act(page, r, k);
        name = expected.name;
        counts[name] = (counts[name] ?? 0) + 1;
        await outcome(page, expected, r);
      } catch (error) {
        error.message = `event ${k} (${name}) of seed ${kSeed}: ${error.message}`;
        throw error;
      }
    }
    console.log(`events: ${JSON.stringify(counts)}`);

    const soaked = await clickOnCheckMesh(page, mesh, limits);
    const memory = await memoryOf(page);
    console.log(`browser memory: ${MiB(firstMemory)} after the first load, ${MiB(memory)} after the soak`);
    assert.deepEqual(errors, []);
    within(memory, firstMemory, "the browser's memory after the soak");
    assert.equal(readdirSync(saved).some((f) => f.endsWith(".png")), "save-picture" in counts, "saved pictures");
    await page.close();
    // A fresh page shows the same picture for the same click.
    const fresh = await openPage(browser, fileUrl);
    const expected = await clickOnCheckMesh(fresh, mesh, limits);
    assert.match(expected.found, /^found: triangle \d+, corners /);
    assert.equal(soaked.found, expected.found);
    assert.equal(differingPixels(soaked.picture, expected.picture), 0, "pixels unlike the fresh page's");
    await fresh.close();
  });

  test("memory stays flat over twenty 1M-triangle loads and twenty Applies at depth 10, 1 a region", async () => {
    const meshes = [generated(work, "grid", 1000000), generated(work, "density", 1000000)];
    const page = await openPage(browser, fileUrl);
    const measure = async (step, mark) => {
      const module = await moduleMemory(page, mark);
      const figures = { module: module.bytes, browser: await memoryOf(page), marks: module.count };
      console.log(`${step}: module ${MiB(figures.module)}, browser ${MiB(figures.browser)}`);
      return figures;
    };
    const firstLoads = {};
    for (let k = 0; k < 20; ++k) {
      const name = basename(meshes[k % 2]);
      await openFile(page, meshes[k % 2]);
      await waitForTitle(page, name);
      const figures = await measure(`load ${k + 1} (${name})`, "orrelin-worker-loaded");
      const first = (firstLoads[name] ??= figures);
      within(figures.module, first.module, `load ${k + 1}, the module's memory`);
      within(figures.browser, first.browser, `load ${k + 1}, the browser's memory`);
    }
    await set(page, "depth", "10");
    await set(page, "triangles", "1");
    const applies = [];
    for (let k = 0; k < 20; ++k) {
      await page.click("#apply");
      await settled(page);
      assert.equal(await page.$eval("#message-box", (box) => box.open), false, "the tree at 10, 1 fits");
      applies.push(await measure(`Apply ${k + 1} (10, 1)`, "orrelin-worker-applied"));
      assert.equal(applies[k].marks, k + 1, "every Apply ran");
      within(applies[k].browser, applies[0].browser, `Apply ${k + 1}, the browser's memory`);
    }
    // An Apply builds its tree beside the shown one, which goes only once the
    // new one stands, and the module's heap grows by a fifth at a time: the
    // first Applies (beside the default tree, then beside one as large) raise
    // its high-water mark. After that it must not grow.
    for (let k = 10; k < 20; ++k) within(applies[k].module, applies[9].module, `Apply ${k + 1}, the module's memory`);
    assert.deepEqual(page.errors, []);
    await page.close();
  });
});
