// The page in headless Chromium (and, in web_page_firefox, Firefox ESR on a
// private X server), driven with real input events: what it draws, how
// clicks, keys and the wheel move and locate, the Info panel's
// Apply and Open File, dropped files, large files and the memory message.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";
import { pathToFileURL } from "node:url";
import {
  canvasPixels,
  close,
  closeBox,
  countPixels,
  decodePng,
  differingPixels,
  downloaded,
  downloadsTo,
  dropFile,
  eye,
  generated,
  gridMesh,
  kBlack,
  kFoundGreen,
  kGrey,
  kMeshgen,
  kOrange,
  kPointGreen,
  kSite,
  kTestedRed,
  kFirefox,
  launch,
  messageBox,
  near,
  openFile,
  openPage,
  serve,
  settled,
  waitForTitle,
} from "./browser.mjs";

const f = Math.fround;
// The run in Firefox (ORRELIN_BROWSER=firefox, WebDriver BiDi) leaves out the
// tests that need what only the Chrome DevTools Protocol gives (the
// accessibility tree, a download folder) and the memory test, whose 1M-triangle tree is the same
// WebAssembly's work in any browser and takes Firefox here over a minute.
const kNeedsDevTools = kFirefox && "needs the Chrome DevTools Protocol";
const kSameInEveryBrowser = kFirefox && "the core's work alone, long: Chromium's run has it";
const kInspect = process.env.ORRELIN_INSPECT_EXE;
const work = mkdtempSync(join(tmpdir(), "orrelin-web-"));
const fileUrl = pathToFileURL(join(kSite, "index.html")).href;
let browser;
let server;

before(async () => {
  browser = await launch();
  server = await serve(kSite);
});
after(async () => {
  if (browser) await close(browser);
  server?.close();
});

function meshFile(name, text) {
  const path = join(work, name);
  writeFileSync(path, text);
  return path;
}

// orrelin-inspect's JSON for a file it refuses (it exits with 1).
function refusedByInspect(path) {
  try {
    execFileSync(kInspect, [path, "--summary"]);
  } catch (error) {
    return JSON.parse(error.stdout);
  }
  throw new Error(`${path} loaded`);
}

describe("the page", () => {
  test("opens from the disk and from a web server on the default mesh", async () => {
    // The last without the browser's base64 decoder, as older browsers are.
    const withoutDecoder = () => delete Uint8Array.fromBase64;
    for (const [url, before] of [[fileUrl], [server.url], [server.url, withoutDecoder]]) {
      const page = await openPage(browser, url, 1300, 800, 1, before);
      assert.equal(await page.title(), "Orrelin v1.1 - Data/triangles_1.tri", url);
      const size = await page.$eval("#scene", (c) => [c.clientWidth, c.clientHeight, c.width, c.height]);
      assert.deepEqual(size, [800, 600, 800, 600]);
      const image = await canvasPixels(page);
      assert.ok(near(image.at(2, 2), kBlack), "black background");
      assert.ok(countPixels(image, kGrey) > 5000, "mesh edges");
      assert.ok(countPixels(image, kOrange) > 2000, "split lines");
      const meshes = await page.$$eval("#mesh-list button", (b) => b.map((e) => e.textContent));
      assert.ok(meshes.includes("triangles_1.tri"));
      assert.deepEqual(page.errors, []);
      await page.close();
    }
  });

  test("the canvas opens at 800 x 600, narrower in a narrow window, resizes and stays sharp", async () => {
    const page = await openPage(browser, fileUrl, 640, 480);
    const size = () => page.$eval("#scene", (c) => [c.clientWidth, c.clientHeight, c.width, c.height]);
    // The window's width less the page's margins: nothing scrolls sideways.
    assert.deepEqual(await size(), [624, 600, 624, 600]);
    assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 640);
    const before = await eye(page);
    // A resize keeps the eye: more or less of the plane shows.
    await page.$eval("#canvas-frame", (frame) => (frame.style.width = "400px"));
    await page.waitForFunction(() => document.getElementById("scene").width === 400);
    await settled(page);
    assert.deepEqual(await eye(page), before);
    const image = await canvasPixels(page);
    assert.equal(image.width, 400);
    assert.ok(countPixels(image, kOrange) > 500);
    await page.close();
    // Two device pixels to a CSS pixel: twice the canvas pixels.
    const dense = await openPage(browser, fileUrl, 1300, 800, 2);
    assert.deepEqual(await dense.$eval("#scene", (c) => [c.clientWidth, c.width, c.height]), [800, 1600, 1200]);
    await dense.close();
  });

  test("after a click its results are in view; the command list folds away", async () => {
    for (const [width, height] of [
      [1280, 800],
      [1920, 1080],
    ]) {
      const page = await openPage(browser, fileUrl, width, height);
      const box = await (await page.$("#scene")).boundingBox();
      await page.mouse.click(box.x + 400, box.y + 300);
      await page.waitForSelector("#descent:not([hidden])");
      const bottoms = await page.evaluate(() =>
        ["#scene", "#descent-summary", "#descent tbody tr:last-child", "#step-play"].map(
          (s) => document.querySelector(s).getBoundingClientRect().bottom,
        ),
      );
      assert.ok(Math.max(...bottoms) <= height, `${width} x ${height}: ${bottoms}`);
      assert.equal(await page.evaluate(() => window.scrollY), 0);
      // One click shows the commands, another folds them again.
      const folded = () => page.$eval("#commands", (e) => e.hidden);
      assert.equal(await folded(), true);
      await page.click("#commands-toggle");
      assert.equal(await folded(), false);
      await page.click("#commands-toggle");
      assert.equal(await folded(), true);
      await page.close();
    }
  });

  test("a screen reader hears the page's commands, each beside its key, and Open File once", { skip: kNeedsDevTools }, async () => {
    const page = await openPage(browser, fileUrl);
    await page.click("#commands-toggle");
    // Every name of the accessibility tree, in reading order.
    const names = [];
    const walk = (node) => {
      if (node.name) names.push(node.name);
      for (const child of node.children ?? []) walk(child);
    };
    walk(await page.accessibility.snapshot());
    for (const [action, key] of [
      ["Move Left:", "Shift+Cursor Left"],
      ["Zoom in:", "Cursor Up"],
      ["Zoom out:", "Cursor Down"],
      ["Framed view:", "Key Home, or Reset view"],
      ["Zoom out:", "Scroll down"],
      ["Locate a point:", "Type x and y under Descent, then Locate"],
      ["Open a file:", "Open File, or drop a .tri file on the canvas"],
    ]) {
      assert.equal(names[names.indexOf(key) - 1], action, key);
    }
    assert.ok(names.indexOf("Cursor Up") < names.indexOf("Cursor Down"));
    assert.ok(!names.some((name) => /Esc|Exit/.test(name)), "no Esc in the page");
    assert.equal(names.filter((name) => name === "Open File").length, 1);
    await page.close();
  });

  test("a click locates: tested triangles red, the found one green, the point", async () => {
    const page = await openPage(browser, fileUrl);
    const box = await (await page.$("#scene")).boundingBox();
    // A grid of clockwise triangles: the found one is filled.
    await openFile(page, meshFile("grid.tri", gridMesh(8)));
    await waitForTitle(page, "grid.tri");
    // Inside a cell, off the split lines that would be drawn over the point.
    await page.mouse.click(box.x + 420, box.y + 330);
    await page.waitForFunction(() => document.getElementById("scene").dataset.picked !== undefined);
    await settled(page);
    const image = await canvasPixels(page);
    assert.ok(countPixels(image, kFoundGreen) > 100, "the found triangle filled");
    assert.ok(countPixels(image, [255, 255, 255]) > 100, "and outlined in white, 3 pixels wide");
    assert.ok(countPixels(image, kTestedRed) > 100, "tested triangles");
    assert.equal(countPixels(image, kPointGreen, 415, 325, 425, 335), 36, "a 6-pixel point at the click");
    await page.close();
  });

  test("keys, the wheel and a right-button drag move the eye by the desktop's steps", async () => {
    const page = await openPage(browser, fileUrl);
    const canvas = await page.$("#scene");
    const box = await canvas.boundingBox();
    const step = f(Number(await canvas.evaluate((c) => c.dataset.moveStep)));
    await canvas.focus();
    const press = async (keys) => {
      const frames = await page.evaluate(() => Number(document.body.dataset.frames));
      for (const k of keys.slice(0, -1)) await page.keyboard.down(k);
      await page.keyboard.press(keys.at(-1));
      for (const k of keys.slice(0, -1).reverse()) await page.keyboard.up(k);
      await page.waitForFunction((n) => Number(document.body.dataset.frames) > n, {}, frames);
    };
    const framed = await eye(page);
    let [x, y, z] = framed;
    const moves = [
      [["Shift", "ArrowLeft"], () => (x = f(x - step))],
      [["Shift", "ArrowRight"], () => (x = f(x + step))],
      [["Shift", "ArrowUp"], () => (y = f(y + step))],
      [["Shift", "ArrowDown"], () => (y = f(y - step))],
      [["ArrowUp"], () => (z = f(z - step))],
      [["ArrowDown"], () => (z = f(z + step))],
      [["ArrowUp"], () => (z = f(z - step))],
    ];
    for (const [keys, expected] of moves) {
      await press(keys);
      expected();
      assert.deepEqual(await eye(page), [x, y, z], keys.join("+"));
    }
    assert.equal(await page.evaluate(() => window.scrollY), 0, "the page did not scroll");
    // Tab leaves the canvas for the panel's first field, Shift+Tab comes back;
    // the panel says so where the desktop dialog names Ctrl+Tab.
    await page.keyboard.press("Tab");
    assert.equal(await page.evaluate(() => document.activeElement.id), "depth");
    await page.keyboard.down("Shift");
    await page.keyboard.press("Tab");
    await page.keyboard.up("Shift");
    assert.equal(await page.evaluate(() => document.activeElement.id), "scene");
    assert.ok((await page.$eval("#panel", (p) => p.textContent)).includes("Key Tab, Shift+Tab"));

    // One notch toward the point under the cursor: per axis eye + (target - eye) * 0.1.
    const zoom = (e, t, into) => {
      const part = f(f(t - e) * f(0.1));
      return into ? f(e + part) : f(e - part);
    };
    for (const [deltaY, into] of [
      [-100, true],
      [100, false],
    ]) {
      const frames = await page.evaluate(() => Number(document.body.dataset.frames));
      const before = await eye(page);
      await page.mouse.move(box.x + 250, box.y + 180);
      await page.mouse.wheel({ deltaY });
      await page.waitForFunction((n) => Number(document.body.dataset.frames) > n, {}, frames);
      const [tx, ty] = (await canvas.evaluate((c) => c.dataset.picked)).split(" ").map(Number);
      assert.deepEqual(await eye(page), [zoom(before[0], tx, into), zoom(before[1], ty, into), zoom(before[2], 0, into)]);
    }

    // Dragging 30 pixels right and 20 down moves the eye by step * 0.1 a pixel.
    const start = await eye(page);
    await page.mouse.move(box.x + 300, box.y + 300);
    await page.mouse.down({ button: "right" });
    await page.mouse.move(box.x + 330, box.y + 320);
    await page.mouse.up({ button: "right" });
    await settled(page);
    const factor = step * f(0.1);
    assert.deepEqual(await eye(page), [f(start[0] + 30 * factor), f(start[1] - 20 * factor), start[2]]);

    // Home and Reset view go back to the eye the load framed.
    await canvas.focus();
    await press(["Home"]);
    assert.deepEqual(await eye(page), framed, "Home");
    await press(["ArrowUp"]);
    await page.click("#reset-view");
    await page.waitForFunction((z) => document.getElementById("scene").dataset.eye.endsWith(` ${z}`), {}, framed[2]);
    assert.deepEqual(await eye(page), framed, "Reset view");
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test("Apply: invalid values are reported with the field selected, valid ones rebuild", async () => {
    const page = await openPage(browser, fileUrl);
    const orange = countPixels(await canvasPixels(page), kOrange);
    const set = (id, value) => page.$eval(`#${id}`, (e, v) => (e.value = v), value);
    const depthText = "Invalid depth. Only values between 1 and 10 are allowed.";
    const trianglesText = "Invalid number of triangles. Only values between 1 and 10000 are allowed.";
    // Depth is judged first; both fields are read before either is judged.
    const cases = [
      ["11", "0", "depth", depthText],
      ["abc", "50", "depth", depthText],
      ["3", "0", "triangles", trianglesText],
      ["3", "10001", "triangles", trianglesText],
    ];
    for (const [depth, triangles, faulty, text] of cases) {
      await set("depth", depth);
      await set("triangles", triangles);
      await page.click("#apply");
      const shown = await messageBox(page);
      assert.equal(shown.caption, "Properties Input Error");
      assert.equal(shown.icon, "Warning");
      assert.equal(shown.text, text);
      await closeBox(page);
      await page.waitForFunction((id) => document.activeElement.id === id, {}, faulty);
      const focus = await page.evaluate(() => {
        const e = document.activeElement;
        return [e.id, e.selectionStart, e.selectionEnd, e.value.length];
      });
      const length = (faulty === "depth" ? depth : triangles).length;
      assert.deepEqual(focus, [faulty, 0, length, length], `${depth}/${triangles}`);
    }
    // Read as the desktop reads them; the fields then show the numbers used.
    await set("depth", "1e3");
    await set("triangles", "50.9");
    await page.click("#apply");
    await settled(page);
    assert.ok(countPixels(await canvasPixels(page), kOrange) < orange, "fewer split lines at depth 1");
    assert.deepEqual(await page.$$eval(".edit", (e) => e.map((f) => f.value)), ["1", "50"]);
    await page.close();
  });

  test("Open File and a dropped file open meshes; a bad file keeps the scene", async () => {
    const page = await openPage(browser, server.url);
    await openFile(page, meshFile("small.tri", gridMesh(4)));
    await waitForTitle(page, "small.tri");
    const shown = await canvasPixels(page);

    // A file dragged over the canvas is announced, then dropped.
    const drag = (type, text) =>
      page.$eval(
        "#scene",
        (canvas, t, kind) => {
          const transfer = new DataTransfer();
          transfer.items.add(new File([t], "dropped.tri"));
          canvas.dispatchEvent(new DragEvent(kind, { dataTransfer: transfer, bubbles: true, cancelable: true }));
          return !document.getElementById("drop-hint").hidden;
        },
        text,
        type,
      );
    assert.equal(await drag("dragenter", ""), true, "the hint shows");
    assert.equal(await drag("dragleave", ""), false, "the hint goes");
    assert.equal(await drag("dragenter", ""), true);
    assert.equal(await drag("drop", gridMesh(6)), false, "the drop ends it");
    await waitForTitle(page, "dropped.tri");

    // The message says why, as orrelin-inspect does.
    for (const [name, text] of [
      ["bad.tri", "v 0 0\nv 1 0\nf 0 1 2\n"],
      ["empty.tri", ""],
      ["huge.tri", "v 0 0\nv 1 0\nv 0 1e39\nf 0 1 2\n"],
    ]) {
      const before = await canvasPixels(page);
      const path = meshFile(name, text);
      await openFile(page, path);
      const box = await messageBox(page);
      assert.equal(box.text, `The file "${name}" could not be opened.`);
      const { reason } = refusedByInspect(path);
      assert.ok(reason, name);
      assert.equal(box.detail, reason);
      await closeBox(page, "Enter");
      await settled(page);
      assert.equal(await page.title(), "Orrelin v1.1 - dropped.tri");
      const after = await canvasPixels(page);
      assert.equal(countPixels(after, kOrange), countPixels(before, kOrange), "the picture stayed");
    }
    assert.notEqual(countPixels(shown, kGrey), 0);
    // A file without a name is named so in the title.
    await dropFile(page, "", "v 0 0\nv 1 0\nv 0 1\nf 0 1 2\n");
    await waitForTitle(page, "(unnamed)");
    // The bundled meshes open from their list.
    await page.click("#mesh-list li:first-child button");
    await waitForTitle(page, "Data/clustered.tri");
    await page.close();
  });

  test("Tree and Descent panels and both saves agree with orrelin-inspect", { skip: kNeedsDevTools }, async () => {
    // Tall enough for canvas and panels together: nothing scrolls under the pointer.
    const page = await openPage(browser, fileUrl, 1300, 1100);
    const saved = join(work, "saved");
    const session = await page.createCDPSession();
    await session.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: saved });
    const mesh = meshFile("aids.tri", gridMesh(8));
    await openFile(page, mesh);
    await waitForTitle(page, "aids.tri");
    const panel = () =>
      page.$$eval("#tree-stats dd", (d) => Object.fromEntries(d.map((e) => [e.dataset.key, Number(e.dataset.value)])));
    const box = await (await page.$("#scene")).boundingBox();
    await page.mouse.click(box.x + 420, box.y + 330);
    await page.waitForSelector("#descent:not([hidden])");
    await settled(page);
    const [x, y] = (await page.$eval("#scene", (c) => c.dataset.picked)).split(" ");
    const json = JSON.parse(
      execFileSync(kInspect, [mesh, "--summary", "--stats", "--locate", x, y, "--svg", join(work, "aids.svg")]),
    );
    const stats = await panel();
    for (const [key, value] of Object.entries(json.stats)) assert.equal(stats[key], value ?? NaN, key);
    const rows = await page.$$eval("#descent tbody tr", (r) => r.map((e) => [...e.cells].map((c) => c.textContent)));
    const path = json.queries[0].path;
    assert.equal(rows.length, path.length);
    path.forEach((step, k) => {
      const [x0, y0, x1, y1] = step.bounds;
      assert.equal(rows[k][1], `(${x0}, ${y0}) \u2013 (${x1}, ${y1})`);
      assert.equal(rows[k][2], String(step.triangles));
      assert.ok(rows[k][3].startsWith(step.child === undefined ? "tested" : String(step.child)));
    });
    assert.equal(
      await page.$eval("#descent-summary", (e) => e.textContent),
      `tested ${path.at(-1).triangles} of ${json.triangleCount} triangles`,
    );
    // The last triangle of the region that holds the point, in words.
    const query = json.queries[0];
    const holding = query.region[query.inside.lastIndexOf(true)] / 3;
    const foundLine = () => page.$eval("#found", (e) => e.textContent);
    assert.match(await foundLine(), new RegExp(`^found: triangle ${holding}, corners \\(\\d+, \\d+\\), \\(`));

    // Pointing at the root's row outlines it over the picture.
    const outline = [77, 179, 255];
    assert.equal(countPixels(await canvasPixels(page), outline), 0);
    await page.hover("#descent tbody tr:first-child");
    await settled(page);
    assert.ok(countPixels(await canvasPixels(page), outline) > 500);
    await page.mouse.move(0, 0);

    // Outside the mesh, and outside the root's rectangle: none, and why.
    await page.mouse.click(box.x + 5, box.y + 5);
    await page.waitForFunction(() => document.getElementById("found").textContent.startsWith("no"));
    assert.equal(await foundLine(), "no triangle holds the point; it lies outside the root's rectangle");
    await page.mouse.click(box.x + 420, box.y + 330);
    await page.waitForFunction(() => document.getElementById("found").textContent.startsWith("found"));
    await settled(page);

    // The figure is the core's, byte for byte; the picture is the canvas.
    await page.click("#save-figure");
    await page.click("#save-picture");
    const file = (name) => join(saved, name);
    for (let k = 0; k < 100 && !(existsSync(file("aids.svg")) && existsSync(file("aids.png"))); ++k) {
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    const framedFigure = readFileSync(file("aids.svg"), "utf8");
    assert.equal(framedFigure, readFileSync(join(work, "aids.svg"), "utf8"));
    const picture = decodePng(readFileSync(file("aids.png")));
    assert.deepEqual([picture.width, picture.height], [800, 600]);
    assert.ok(countPixels(picture, kOrange) > 500 && countPixels(picture, kFoundGreen) > 100);
    // After a zoom the figure is the view the canvas shows: the core's from that eye.
    rmSync(file("aids.svg"));
    await page.mouse.move(box.x + 300, box.y + 250);
    await page.mouse.wheel({ deltaY: -100 });
    await settled(page);
    await page.click("#save-figure");
    for (let k = 0; k < 100 && !existsSync(file("aids.svg")); ++k) await new Promise((resolve) => setTimeout(resolve, 100));
    const zoomed = join(work, "zoomed.svg");
    execFileSync(kInspect, [mesh, "--summary", "--locate", x, y, "--svg", zoomed, "--eye", ...(await eye(page)).map(String)]);
    const zoomedFigure = readFileSync(file("aids.svg"), "utf8");
    assert.notEqual(zoomedFigure, framedFigure);
    assert.equal(zoomedFigure, readFileSync(zoomed, "utf8"));

    // Apply changes the tree's figures.
    await page.$eval("#depth", (e) => (e.value = "1"));
    await page.click("#apply");
    await page.waitForFunction(() => document.querySelector('#tree-stats dd[data-key="splitRegions"]').dataset.value === "1");
    assert.equal((await panel()).leaves, 4);
    await page.close();
  });

  test("Locate: a typed point is located as a click is; keys never scroll", async () => {
    const page = await openPage(browser, fileUrl);
    const mesh = meshFile("locate.tri", gridMesh(8));
    await openFile(page, mesh);
    await waitForTitle(page, "locate.tri");
    const locate = async (x, y) => {
      await page.$eval("#locate-x", (e, v) => (e.value = v), x);
      await page.$eval("#locate-y", (e, v) => (e.value = v), y);
      await page.focus("#locate-y");
      await page.keyboard.press("Enter");
    };
    // Inside a cell: the triangle orrelin-inspect finds, its descent, green on the canvas.
    await locate("120", "1.3e2");
    await page.waitForSelector("#descent:not([hidden])");
    await settled(page);
    const query = JSON.parse(execFileSync(kInspect, [mesh, "--summary", "--locate", "120", "130"])).queries[0];
    const found = await page.$eval("#found", (e) => e.textContent);
    assert.ok(found.startsWith(`found: triangle ${query.region[query.inside.lastIndexOf(true)] / 3},`), found);
    assert.equal(await page.$$eval("#descent tbody tr", (r) => r.length), query.path.length);
    assert.ok(countPixels(await canvasPixels(page), kFoundGreen) > 100);
    // On a vertex no triangle holds the point: the test is strict.
    await locate("112.5", "150");
    await page.waitForFunction(() => document.getElementById("found").textContent === "no triangle holds the point");
    // What is not a number is said so, in its field.
    await locate("abc", "1");
    assert.equal((await messageBox(page)).text, "Type a number for x.");
    await closeBox(page);
    await page.waitForFunction(() => document.activeElement.id === "locate-x");
    // Space and the page keys on the canvas do not scroll the page.
    await page.focus("#scene");
    const scrolled = await page.evaluate(() => window.scrollY);
    for (const key of [" ", "PageDown", "End"]) await page.keyboard.press(key);
    assert.equal(await page.evaluate(() => window.scrollY), scrolled);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test("Step: the descent level by level, each triangle tested, the click's picture last", async () => {
    const page = await openPage(browser, fileUrl, 1300, 1100);
    await openFile(page, meshFile("steps.tri", gridMesh(8)));
    await waitForTitle(page, "steps.tri");
    const box = await (await page.$("#scene")).boundingBox();
    await page.mouse.click(box.x + 420, box.y + 330);
    await page.waitForSelector("#step-play:not([disabled])");
    await settled(page);
    const final = await canvasPixels(page);
    const same = (a, b) => {
      for (let y = 0; y < a.height; ++y) for (let x = 0; x < a.width; ++x) if (!near(a.at(x, y), b.at(x, y), 0)) return false;
      return true;
    };
    const stage = () => page.evaluate(() => document.body.dataset.stepStage);
    const stepTo = async (expected) => {
      await page.click("#step-one");
      await page.waitForFunction((s) => document.body.dataset.stepStage === s, {}, expected);
      await settled(page);
      return canvasPixels(page);
    };
    const magenta = [255, 77, 255];
    // Level 0: the root outlined in its own colour, nothing tested yet.
    let image = await stepTo("0");
    assert.ok(countPixels(image, magenta) > 500);
    assert.equal(countPixels(image, kTestedRed) + countPixels(image, kFoundGreen), 0);
    assert.equal(await page.$eval("#step-caption", (e) => e.textContent), "Level 0: 128 triangles");
    image = await stepTo("1");
    const levels = await page.$$eval("#descent tbody tr", (rows) => rows.length);
    assert.equal(levels, 2);
    // Pointing at a row meanwhile outlines its region beside the step's.
    await page.hover("#descent tbody tr:first-child");
    await settled(page);
    const both = await canvasPixels(page);
    assert.ok(countPixels(both, magenta) > 500 && countPixels(both, [77, 179, 255]) > 500, "both outlines");
    await page.mouse.move(0, 0);
    await settled(page);
    // Then one triangle after the other.
    image = await stepTo("2");
    const firstTested = countPixels(image, kTestedRed) + countPixels(image, kFoundGreen);
    assert.ok(firstTested > 0);
    image = await stepTo("3");
    assert.ok(countPixels(image, kTestedRed) + countPixels(image, kFoundGreen) > firstTested);

    // Pause holds the stage; play at full speed ends on the click's picture.
    await page.click("#step-play");
    await page.waitForFunction(() => Number(document.body.dataset.stepStage) > 3);
    await page.click("#step-play");
    const paused = await stage();
    await new Promise((resolve) => setTimeout(resolve, 700));
    assert.equal(await stage(), paused);
    // The live status line told the paused stage; while playing it stays quiet.
    assert.equal(await page.$eval("#step-status", (e) => e.textContent), await page.$eval("#step-stage", (e) => e.textContent));
    await page.$eval("#step-status", (status) => {
      window.announced = [];
      new MutationObserver((records) => records.forEach(() => window.announced.push(status.textContent))).observe(
        status,
        { childList: true, characterData: true, subtree: true },
      );
    });
    await page.$eval("#step-speed", (e) => {
      e.value = "20";
      e.dispatchEvent(new Event("input"));
    });
    await page.click("#step-play");
    await page.waitForFunction(() => document.body.dataset.stepStage === "done", { timeout: 60000 });
    const announced = await page.evaluate(() => window.announced);
    assert.equal(announced.length, 1, `announced: ${announced}`);
    assert.match(announced[0], /^Done: tested \d+ of 128 triangles\.$/);
    await settled(page);
    assert.ok(same(await canvasPixels(page), final), "the last picture is the click's");

    // Any other input ends the animation on that picture at once.
    await stepTo("0");
    await page.focus("#scene");
    await page.keyboard.press("a");
    assert.equal(await stage(), "done");
    await settled(page);
    assert.ok(same(await canvasPixels(page), final));
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test("a lost WebGL context: the canvas says so, input goes on, the same picture comes back", async () => {
    const page = await openPage(browser, fileUrl, 1300, 1100);
    await openFile(page, meshFile("context.tri", gridMesh(8)));
    await waitForTitle(page, "context.tri");
    // A click, its descent and the root's row outlined: the picture to come back to.
    const clickAndPoint = async (x, y) => {
      await locateAt(page, x, y);
      await page.hover("#descent tbody tr:first-child");
      await settled(page);
    };
    await clickAndPoint(150, 200);
    const expected = await canvasPixels(page);
    const found = () => page.$eval("#found", (e) => e.textContent);
    const foundThere = await found();
    await clickAndPoint(420, 330);
    await page.evaluate(() => {
      window.contextLoss = document.getElementById("scene").getContext("webgl2").getExtension("WEBGL_lose_context");
      window.contextLoss.loseContext();
    });
    await page.waitForSelector("#context-lost-note:not([hidden])");
    // Meanwhile the panels and the scene go on.
    await clickAndPoint(150, 200);
    assert.equal(await found(), foundThere);
    await page.evaluate(() => window.contextLoss.restoreContext());
    await page.waitForSelector("#context-lost-note[hidden]");
    await settled(page);
    assert.equal(differingPixels(await canvasPixels(page), expected), 0);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test("a scene worker that dies in a load, an Apply or a click: a message, the scene kept", async () => {
    const page = await openPage(browser, fileUrl);
    await openFile(page, meshFile("kept.tri", gridMesh(8)));
    await waitForTitle(page, "kept.tri");
    await locateAt(page, 420, 330);
    const shown = await canvasPixels(page);
    const box = await (await page.$("#scene")).boundingBox();
    const memory = "There is not enough memory to build the quadtree with these properties.";
    const cases = [
      ["load", () => openFile(page, meshFile("lost.tri", gridMesh(4))), memory],
      ["apply", () => page.$eval("#depth", (e) => (e.value = "1")).then(() => page.click("#apply")), memory],
      ["click", () => page.mouse.click(box.x + 150, box.y + 200), "There is not enough memory to locate this point."],
    ];
    for (const [request, act, text] of cases) {
      // The checked build's module aborts on request (the shipped page has no way to ask).
      await page.evaluate((r) => window.orrelinAbortNext(r), request);
      await act();
      assert.equal((await messageBox(page)).text, text, request);
      await closeBox(page);
      await settled(page);
      assert.equal(await page.title(), "Orrelin v1.1 - kept.tri", request);
      assert.equal(differingPixels(await canvasPixels(page), shown), 0, request);
    }
    // A new worker holds the scene: it locates, then the next load replaces it.
    await locateAt(page, 150, 200);
    await openFile(page, meshFile("next.tri", gridMesh(4)));
    await waitForTitle(page, "next.tri");
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test("a hostile file name is shown as text; the page's policy blocks only what it forbids", async () => {
    const name = "<img src=x onerror=alert(1)>.tri";
    const mesh = meshFile(name, gridMesh(4));
    for (const url of [fileUrl, server.url]) {
      const page = await openPage(browser, url);
      const dialogs = [];
      page.on("dialog", (dialog) => {
        dialogs.push(dialog.message());
        dialog.dismiss();
      });
      // Loaded again with a listener for the policy's violations in place first.
      await page.evaluateOnNewDocument(() => {
        window.violations = [];
        // Firefox asks a web server for /favicon.ico by itself: not the page's doing.
        document.addEventListener("securitypolicyviolation", (e) => {
          if (!e.blockedURI.endsWith("/favicon.ico")) window.violations.push(e.effectiveDirective);
        });
      });
      await page.reload();
      await page.waitForSelector("body[data-ready]");
      await openFile(page, mesh);
      await waitForTitle(page, name);
      await dropFile(page, name, "v 0 0\n");
      assert.equal((await messageBox(page)).text, `The file "${name}" could not be opened.`, url);
      assert.equal(await page.$$eval("img", (images) => images.length), 0, url);
      await closeBox(page);
      assert.deepEqual(await page.evaluate(() => window.violations), [], url);
      // What the policy forbids: an inline handler, a network fetch.
      const probe = await page.evaluate(async (address) => {
        const element = document.createElement("div");
        element.setAttribute("onclick", "window.handlerRan = true");
        document.body.append(element);
        element.click();
        const fetched = await fetch(address).then(() => "fetched", () => "refused");
        return [window.handlerRan === true, fetched];
      }, server.url);
      assert.deepEqual(probe, [false, "refused"], url);
      // Violations are reported in a task of their own.
      await page.waitForFunction(() => window.violations.length >= 2);
      assert.deepEqual(await page.evaluate(() => window.violations.sort()), ["connect-src", "script-src-attr"], url);
      assert.deepEqual(dialogs, [], url);
      assert.deepEqual(page.errors, [], url);
      await page.close();
    }
  });

  // How long the page's longest task takes depends on the machine: scripts/bench
  // reports it. Here: the load leaves the page's thread free.
  test("a 1M-triangle load runs in a worker: progress comes and goes, input is answered meanwhile", async () => {
    const mesh = generated(work, "grid", 1000000);
    const page = await openPage(browser, fileUrl);
    await page.evaluate(() => {
      const progress = document.getElementById("progress");
      window.stagesShown = new Set();
      new MutationObserver(() => {
        if (!progress.hidden) window.stagesShown.add(progress.dataset.stage);
      }).observe(progress, { attributes: true, attributeFilter: ["hidden", "data-stage"] });
      window.answeredWhileLoading = 0;
      const busy = () => document.body.dataset.busy === "true";
      document.addEventListener("pointermove", () => (window.answeredWhileLoading += busy() ? 1 : 0), true);
    });
    const loading = () => page.evaluate(() => document.body.dataset.busy === "true");
    await openFile(page, mesh);
    await page.waitForFunction(() => document.body.dataset.busy === "true");
    assert.ok(page.workers().length > 0, "no worker while loading");
    // Pointer moves during the load: a page that did the load's work itself
    // would handle them only after it.
    const box = await (await page.$("#scene")).boundingBox();
    for (let k = 0; (await loading()) && (await page.evaluate(() => window.answeredWhileLoading)) === 0; ++k) {
      await page.mouse.move(box.x + 10 + (k % 100), box.y + 10);
    }
    await waitForTitle(page, "grid1000000.tri");
    const [answered, stages] = await page.evaluate(() => [window.answeredWhileLoading, [...window.stagesShown]]);
    assert.ok(answered > 0, "no input answered while loading");
    assert.ok(stages.length >= 3, `progress stages shown: ${stages}`);
    assert.equal(await loading(), false);
    assert.equal(await page.$eval("#progress", (e) => e.hidden), true);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test("a tree that does not fit gives the memory message and keeps the scene", { skip: kSameInEveryBrowser }, async () => {
    const mesh = generated(work, "slivers", 1000000);
    const page = await openPage(browser, fileUrl);
    await openFile(page, mesh);
    await waitForTitle(page, "slivers1000000.tri");
    const before = countPixels(await canvasPixels(page), kOrange);
    await page.$eval("#depth", (e) => (e.value = "10"));
    await page.$eval("#triangles", (e) => (e.value = "1"));
    await page.click("#apply");
    const box = await messageBox(page);
    assert.deepEqual(box, {
      caption: "Error",
      text: "There is not enough memory to build the quadtree with these properties.",
      icon: "Information",
      detail: "",
    });
    await closeBox(page);
    await settled(page);
    assert.equal(countPixels(await canvasPixels(page), kOrange), before);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test("Generate makes the tool's mesh of every kind and Save mesh writes its bytes; bad fields start nothing", { skip: kNeedsDevTools }, async () => {
    const page = await openPage(browser, fileUrl);
    const saved = await downloadsTo(page, join(work, "generated"));
    const set = (id, value) => page.$eval(`#${id}`, (e, v) => (e.value = v), value);
    const title = await page.title();
    const cases = [
      ["2000001", "1", "generate-count", "Invalid number of triangles. Only values between 1 and 2000000 are allowed."],
      ["0", "1", "generate-count", "Invalid number of triangles. Only values between 1 and 2000000 are allowed."],
      ["10", "-1", "generate-seed", "Invalid seed. Only whole numbers between 0 and 18446744073709551615 are allowed."],
    ];
    for (const [count, seed, faulty, text] of cases) {
      await set("generate-count", count);
      await set("generate-seed", seed);
      await page.click("#generate");
      assert.equal((await messageBox(page)).text, text);
      await closeBox(page);
      await page.waitForFunction((id) => document.activeElement.id === id, {}, faulty);
      assert.equal(await page.title(), title);
    }
    const kinds = await page.$$eval("#generate-kind option", (o) => o.map((e) => e.value));
    assert.deepEqual(kinds, ["grid", "density", "slivers", "holes"]);
    for (const kind of kinds) {
      await page.select("#generate-kind", kind);
      await set("generate-count", "301");
      await set("generate-seed", "07");
      await page.click("#generate");
      await waitForTitle(page, `${kind}-301-s7`);
      await page.click("#save-mesh");
      const tool = join(work, `${kind}-tool.tri`);
      execFileSync(kMeshgen, [kind, "301", tool, "--seed", "7"]);
      assert.ok((await downloaded(saved, `${kind}-301-s7.tri`)).equals(readFileSync(tool)), kind);
    }
    await page.close();
  });

  test("Limits chart: the points are --sweep's, the scene stays, a chosen point is applied", async () => {
    const page = await openPage(browser, fileUrl, 1300, 1600);
    const mesh = generated(work, "density", 3000);
    await openFile(page, mesh);
    await waitForTitle(page, "density3000.tri");
    const stats = () => page.$eval("#tree-stats", (e) => e.textContent);
    const shownStats = await stats();
    const limits = await page.$$eval("#depth, #triangles", (e) => e.map((f) => f.value));
    const state = (s) => page.waitForFunction((t) => document.getElementById("limits-chart").dataset.state === t, {}, s);
    // Cancelled at once: nothing drawn, the note says so.
    await page.evaluate(() => {
      document.getElementById("limits-sweep").click();
      document.getElementById("limits-cancel").click();
    });
    await state("empty");
    assert.equal(await page.$eval("#limits-note", (e) => e.textContent), "The sweep was cancelled.");
    await page.click("#limits-sweep");
    await state("drawn");
    assert.equal(await stats(), shownStats, "the shown tree is untouched");
    const sweeps = {};
    for (const axis of ["depth", "triangles"]) {
      const args = [mesh, "--summary", "--max-depth", limits[0], "--max-triangles", limits[1], "--sweep", axis];
      sweeps[axis] = JSON.parse(execFileSync(kInspect, args)).sweep.points;
      const drawn = await page.$$eval(
        `#limits-chart [data-${axis}]`,
        (e, a) => e.map((p) => [Number(p.dataset[a]), p.dataset.expectedTests ?? null]),
        axis,
      );
      const key = axis === "depth" ? "maxDepth" : "maxTriangles";
      const expected = sweeps[axis].map((p) => [p[key], p.expectedTests === null ? null : String(p.expectedTests)]);
      assert.deepEqual(drawn, expected, axis);
    }
    // Enter on a depth point, a click on a triangles point: Apply with those limits.
    const splitRegions = () =>
      page.$eval('#tree-stats dd[data-key="splitRegions"]', (e) => Number(e.dataset.value));
    await page.$eval('#limits-chart [data-depth="3"]', (e) => e.focus());
    await page.keyboard.press("Enter");
    await page.waitForFunction(() => document.getElementById("depth").value === "3");
    await settled(page);
    assert.equal(await splitRegions(), sweeps.depth.find((p) => p.maxDepth === 3).splitRegions);
    // A point stands for its own tree: both of its limits are applied.
    await page.click('#limits-chart [data-triangles="200"]');
    await page.waitForFunction(() => document.getElementById("triangles").value === "200");
    await settled(page);
    assert.equal(await page.$eval("#depth", (e) => e.value), limits[0]);
    assert.equal(await splitRegions(), sweeps.triangles.find((p) => p.maxTriangles === 200).splitRegions);
    const marked = await page.$$eval("#limits-chart .active-limit", (e) => e.map((m) => m.dataset.value));
    assert.deepEqual(marked, [limits[0], "200"], "both charts mark the active limits");
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test("Heat map: each leaf filled by its count under the lines, a legend, in the figure", { skip: kNeedsDevTools }, async () => {
    const page = await openPage(browser, fileUrl);
    const saved = await downloadsTo(page, join(work, "heat"));
    // Split once: the lower-left leaf holds three triangles, the upper-right one, the others none.
    const corners = [
      [0, 0, 100, 0, 0, 100],
      [200, 200, 300, 200, 200, 300],
      [400, 100, 450, 100, 400, 150],
      [1000, 1000, 1000, 900, 900, 1000],
    ];
    const text = corners.flatMap((c) => [0, 2, 4].map((k) => `v ${c[k]} ${c[k + 1]}`));
    corners.forEach((_, t) => text.push(`f ${3 * t} ${3 * t + 1} ${3 * t + 2}`));
    await openFile(page, meshFile("heat.tri", `${text.join("\n")}\n`));
    await waitForTitle(page, "heat.tri");
    await page.$eval("#depth", (e) => (e.value = "1"));
    await page.$eval("#triangles", (e) => (e.value = "1"));
    await page.click("#apply");
    await page.waitForFunction(() => document.querySelector('#tree-stats dd[data-key="leaves"]').dataset.value === "4");
    // The scale's stops at counts 0, 1 and 3 of 3.
    const none = [0x44, 0x01, 0x54];
    const one = [0x31, 0x68, 0x8e];
    const most = [0xfd, 0xe7, 0x25];
    const centre = (image, colour) => {
      let [x, y, n] = [0, 0, 0];
      for (let j = 0; j < image.height; ++j) {
        for (let i = 0; i < image.width; ++i) if (near(image.at(i, j), colour)) [x, y, n] = [x + i, y + j, n + 1];
      }
      return [x / n - image.width / 2, y / n - image.height / 2, n];
    };
    assert.equal(countPixels(await canvasPixels(page), most), 0);
    await page.click("#heat-map");
    await page.waitForSelector("#heat-legend:not([hidden])");
    await settled(page);
    const image = await canvasPixels(page);
    const [mostX, mostY, mostN] = centre(image, most);
    const [oneX, oneY, oneN] = centre(image, one);
    const [noneX, noneY, noneN] = centre(image, none);
    assert.ok(mostX < -50 && mostY > 50 && oneX > 50 && oneY < -50, `${[mostX, mostY, oneX, oneY]}`);
    assert.ok(Math.abs(noneX) < 5 && Math.abs(noneY) < 5, `${[noneX, noneY]}`);
    // Two empty leaves; the edges and split lines drawn over the fills.
    assert.ok(noneN > 1.8 * oneN && mostN > 0.8 * oneN, `${[noneN, oneN, mostN]}`);
    assert.ok(countPixels(image, kOrange) > 500 && countPixels(image, kGrey) > 100);
    assert.equal(await page.$eval("#heat-legend .heat-max", (e) => e.textContent), "3");
    await page.click("#save-figure");
    const figure = (await downloaded(saved, "heat.svg")).toString();
    for (const fill of ["#440154", "#31688e", "#fde725"]) assert.ok(figure.includes(`fill="${fill}"`), fill);
    await page.click("#heat-map");
    await settled(page);
    assert.equal(countPixels(await canvasPixels(page), most), 0);
    await page.close();
  });

  test("Copy link: the link opens on the same picture, from the disk and a web server", async () => {
    const page = await openPage(browser, fileUrl);
    const names = await page.$$eval("#mesh-list button", (b) => b.map((e) => e.textContent));
    const other = names.find((name) => name !== "triangles_1.tri");
    await page.click(`#mesh-list li:nth-child(${names.indexOf(other) + 1}) button`);
    await waitForTitle(page, `Data/${other}`);
    await page.$eval("#depth", (e) => (e.value = "3"));
    await page.$eval("#triangles", (e) => (e.value = "4"));
    await page.click("#apply");
    await settled(page);
    const box = await (await page.$("#scene")).boundingBox();
    await page.mouse.move(box.x + 300, box.y + 250);
    await page.mouse.wheel({ deltaY: -100 });
    await settled(page);
    await page.mouse.click(box.x + 410, box.y + 290);
    await page.waitForSelector("#descent:not([hidden])");
    await settled(page);
    await page.click("#copy-link");
    const link = await page.$eval("#link", (e) => e.value);
    assert.match(link, /#mesh=.*&depth=3&triangles=4&eye=.*&point=.*&heat=0&play=0$/);
    const picture = await (await page.$("#scene")).screenshot();
    for (const url of [link, server.url + link.slice(link.indexOf("#"))]) {
      const copy = await openPage(browser, url);
      assert.equal(await copy.title(), `Orrelin v1.1 - Data/${other}`);
      assert.ok(picture.equals(await (await copy.$("#scene")).screenshot()), url);
      assert.equal(await copy.$eval("#link-note", (e) => e.textContent), "");
      await copy.close();
    }
    // A file from the disk stays behind: the link says so and carries the rest.
    await openFile(page, meshFile("own.tri", gridMesh(3)));
    await waitForTitle(page, "own.tri");
    await page.click("#copy-link");
    assert.match(await page.$eval("#link", (e) => e.value), /#depth=3&triangles=4&eye=/);
    assert.match(await page.$eval("#link-note", (e) => e.textContent), /^A mesh from your disk cannot travel/);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test("a link's bad pieces are left out with a note; the page opens on the default mesh", async () => {
    const left = (key, why) => `The link's ${key} was left out: ${why}.`;
    const cases = [
      ["mesh=nothing.tri", left("mesh", 'no bundled mesh or generator is called "nothing.tri"')],
      ["mesh=density-2000001-7", left("mesh", "2000001 triangles is outside 1 to 2,000,000; nothing was made")],
      ["mesh=grid-99999999999999999999999-7", left("mesh", "99999999999999999999999 triangles is outside 1 to 2,000,000; nothing was made")],
      ["mesh=grid-10-18446744073709551616", left("mesh", "the seed 18446744073709551616 is too large")],
      ["depth=11&triangles=7", left("depth", '"11" is not a depth limit (1 to 10)')],
      ["triangles=0x10", left("triangles", '"0x10" is not 1 to 10000')],
      ["eye=1,2", left("eye", '"1,2" is not three numbers')],
      ["eye=0,0,-5", left("eye", "the eye must be above the plane")],
      ["point=NaN,1", left("point", '"NaN,1" is not two numbers')],
      ["point=1e39,1", left("point", '"1e39,1" is not two numbers')],
      ["heat=yes", left("heat", '"yes" is not 0 or 1')],
      ["play=2", left("play", '"2" is not 0 or 1')],
      ["depth=3&depth=4", left("depth", "it is given twice")],
      ["zoom=3", 'The link\'s "zoom" is not a piece of a link; it was left out.'],
      [`mesh=${"x".repeat(1000)}`, "The link is too long (1005 characters); it was not read."],
    ];
    const page = await openPage(browser, fileUrl);
    for (const [fragment, note] of cases) {
      await page.goto("about:blank");
      await page.goto(`${fileUrl}#${fragment}`);
      await page.waitForSelector("body[data-ready]", { timeout: 30000 });
      assert.equal(await page.$eval("#link-note", (e) => e.textContent), note, fragment);
      assert.equal(await page.title(), "Orrelin v1.1 - Data/triangles_1.tri", fragment);
    }
    // The good piece beside the bad one was taken.
    await page.goto("about:blank");
    await page.goto(`${fileUrl}#depth=11&triangles=7`);
    await page.waitForSelector("body[data-ready]");
    assert.equal(await page.$eval("#triangles", (e) => e.value), "7");
    assert.deepEqual(page.errors, []);
    await page.close();
  });
});

// Clicks the canvas at pixel (x, y) and waits for the location it shows.
async function locateAt(page, x, y) {
  const box = await (await page.$("#scene")).boundingBox();
  const before = await page.$eval("#found", (e) => e.textContent);
  await page.mouse.click(box.x + x, box.y + y);
  await page.waitForFunction((t) => document.getElementById("found").textContent !== t, {}, before);
  await settled(page);
}
