// What the browser edition's tests share: Debian's Chromium started headless
// by puppeteer-core, the page served from a static server on 127.0.0.1 or
// opened from the disk, and the canvas read back as pixels.
import { execFileSync } from "node:child_process";
import { createServer } from "node:http";
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { extname, join, normalize } from "node:path";
import { inflateSync } from "node:zlib";
import puppeteer from "puppeteer-core";

export const kSite = process.env.ORRELIN_WEB_SITE;
export const kMeshgen = process.env.ORRELIN_MESHGEN_EXE;

export const kBlack = [0, 0, 0];
export const kGrey = [204, 204, 204];
export const kOrange = [255, 153, 0];
export const kTestedRed = [230, 0, 0];
export const kFoundGreen = [0, 204, 0];
export const kPointGreen = [0, 255, 0];

// ORRELIN_BROWSER=firefox: Debian's Firefox ESR through WebDriver BiDi, on
// the X display given (headless it has no WebGL 2).
export const kFirefox = process.env.ORRELIN_BROWSER === "firefox";

// A private profile and the flags a closed, display-less machine needs:
// software WebGL, no background connections.
export async function launch() {
  if (kFirefox) {
    const profile = mkdtempSync(join(tmpdir(), "orrelin-firefox-"));
    const browser = await puppeteer.launch({
      browser: "firefox",
      executablePath: process.env.ORRELIN_FIREFOX || "/usr/bin/firefox-esr",
      headless: false,
      userDataDir: profile,
      extraPrefsFirefox: { "layout.css.devPixelsPerPx": "1.0", "ui.prefersReducedMotion": 1 },
    });
    browser.profile = profile;
    return browser;
  }
  const profile = mkdtempSync(join(tmpdir(), "orrelin-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: process.env.ORRELIN_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    userDataDir: profile,
    args: [
      "--no-sandbox",
      "--use-angle=swiftshader",
      "--enable-unsafe-swiftshader",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      "--disable-quic",
      "--no-first-run",
      "--hide-scrollbars",
      "--force-device-scale-factor=1",
    ],
  });
  browser.profile = profile;
  return browser;
}

// Ends the browser and removes its profile.
export async function close(browser) {
  await browser.close();
  rmSync(browser.profile, { recursive: true, force: true, maxRetries: 10 });
}

// Serves `root` on 127.0.0.1 at a free port, and `extra` files by their
// paths ({"/name": file}); resolves to {url, close()}.
export function serve(root, extra = {}) {
  const types = { ".html": "text/html", ".js": "text/javascript", ".css": "text/css" };
  const server = createServer((request, response) => {
    let path = normalize(decodeURIComponent(new URL(request.url, "http://x").pathname));
    if (path.endsWith("/")) path += "index.html";
    try {
      const body = readFileSync(extra[path] || join(root, path));
      response.writeHead(200, { "content-type": types[extname(path)] || "application/octet-stream" });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((resolve) => {
    server.listen(0, "127.0.0.1", () =>
      resolve({ url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() }),
    );
  });
}

// Opens the page at `url` in a `width` x `height` viewport and waits until it
// is ready (the default mesh shown). Collects the page's errors in page.errors.
// `beforeScripts`, when given, runs in the page before its own scripts.
export async function openPage(browser, url, width = 1300, height = 800, deviceScaleFactor = 1, beforeScripts = null) {
  const page = await browser.newPage();
  page.errors = [];
  page.on("pageerror", (error) => {
    // Firefox also reports what the page's policy refuses as the page's
    // error (the tests watch the policy's violations themselves), among them
    // the /favicon.ico it asks a web server for by itself; Chromium does not.
    if (kFirefox && String(error).startsWith("Error: Content-Security-Policy:")) return;
    page.errors.push(String(error));
  });
  if (beforeScripts) await page.evaluateOnNewDocument(beforeScripts);
  await page.setViewport({ width, height, deviceScaleFactor });
  await page.goto(url);
  await page.waitForSelector("body[data-ready]", { timeout: 30000 });
  await settled(page);
  return page;
}

// Waits until nothing runs and a frame drawn after that is on the canvas.
export async function settled(page) {
  await page.waitForFunction(() => !document.body.dataset.busy, { timeout: 120000 });
  const frames = await page.evaluate(() => Number(document.body.dataset.frames || 0));
  await page.evaluate(
    () => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(() => resolve()))),
  );
  await page.waitForFunction((n) => Number(document.body.dataset.frames || 0) >= n, {}, frames);
}

// Opens the file at `path` with Open File.
export async function openFile(page, path) {
  const input = await page.$("#open-file");
  await input.uploadFile(path);
}

// Drops a file named `name` holding `text` on the canvas.
export async function dropFile(page, name, text) {
  await page.$eval(
    "#scene",
    (canvas, n, t) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([t], n));
      canvas.dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true, cancelable: true }));
    },
    name,
    text,
  );
}

export async function waitForTitle(page, name) {
  await page.waitForFunction((t) => document.title === t, { timeout: 120000 }, `Orrelin v1.1 - ${name}`);
  await settled(page);
}

// Resolves to the open message box's {caption, text, icon, detail} ("" when
// the detail line is hidden).
export async function messageBox(page) {
  await page.waitForSelector("#message-box[open]", { timeout: 300000 });
  return page.$eval("#message-box", (box) => {
    const detail = box.querySelector("#message-detail");
    return {
      caption: box.querySelector(".message-caption").textContent,
      text: box.querySelector(".message-text").textContent,
      icon: box.querySelector(".message-icon").getAttribute("aria-label"),
      detail: detail.hidden ? "" : detail.textContent,
    };
  });
}

export async function closeBox(page, key = "Escape") {
  await page.keyboard.press(key);
  await page.waitForSelector("#message-box:not([open])");
}

// Saves of `page` go to `folder`.
export async function downloadsTo(page, folder) {
  const session = await page.createCDPSession();
  await session.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: folder });
  return folder;
}

// The bytes of file `name` once the download has written it.
export async function downloaded(folder, name) {
  const path = join(folder, name);
  for (let k = 0; k < 300 && !existsSync(path); ++k) await new Promise((resolve) => setTimeout(resolve, 100));
  return readFileSync(path);
}

// orrelin-meshgen's mesh of `kind` with `n` triangles (seed 4), in `folder`.
export function generated(folder, kind, n) {
  const path = join(folder, `${kind}${n}.tri`);
  execFileSync(kMeshgen, [kind, String(n), path, "--seed", "4"]);
  return path;
}

// n x n cells over (0, 0)-(300, 400), two clockwise triangles a cell.
export function gridMesh(n) {
  const lines = [];
  for (let j = 0; j <= n; ++j) for (let i = 0; i <= n; ++i) lines.push(`v ${(300 * i) / n} ${(400 * j) / n}`);
  const v = (i, j) => j * (n + 1) + i;
  for (let j = 0; j < n; ++j) {
    for (let i = 0; i < n; ++i) {
      lines.push(`f ${v(i, j)} ${v(i + 1, j + 1)} ${v(i + 1, j)}`, `f ${v(i, j)} ${v(i, j + 1)} ${v(i + 1, j + 1)}`);
    }
  }
  return `${lines.join("\n")}\n`;
}

// The process `pid` and all its descendants.
export function processTree(pid) {
  const parent = new Map();
  for (const name of readdirSync("/proc")) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const stat = readFileSync(`/proc/${name}/stat`, "utf8");
      parent.set(Number(name), Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]));
    } catch {
      // ended meanwhile
    }
  }
  const tree = [pid];
  for (let k = 0; k < tree.length; ++k) {
    for (const [child, of] of parent) if (of === tree[k]) tree.push(child);
  }
  return tree;
}

// The resident memory of process `pid` in bytes; 0 when it has ended.
export function residentBytes(pid) {
  try {
    return Number(readFileSync(`/proc/${pid}/statm`, "utf8").split(" ")[1]) * 4096;
  } catch {
    return 0;
  }
}

// The resident memory of all the browser's processes together, after a
// garbage collection in `page` and its workers.
export async function browserMemory(browser, page) {
  for (const target of [page, ...page.workers()]) {
    const session = target === page ? await page.createCDPSession() : target.client;
    await session.send("HeapProfiler.collectGarbage").catch(() => {}); // a worker may have ended meanwhile
    if (target === page) await session.detach();
  }
  return processTree(browser.process().pid).reduce((sum, pid) => sum + residentBytes(pid), 0);
}

export async function eye(page) {
  return page.$eval("#scene", (canvas) => canvas.dataset.eye.split(" ").map(Number));
}

// The canvas's pixels: {width, height, at(x, y) -> [r, g, b]}.
export async function canvasPixels(page) {
  const canvas = await page.$("#scene");
  return decodePng(await canvas.screenshot({ type: "png" }));
}

// A non-interlaced 8-bit RGB or RGBA PNG, as Chromium writes them.
export function decodePng(bytes) {
  const data = Buffer.from(bytes);
  let offset = 8;
  let width = 0;
  let height = 0;
  let channels = 0;
  const compressed = [];
  while (offset < data.length) {
    const length = data.readUInt32BE(offset);
    const type = data.toString("latin1", offset + 4, offset + 8);
    const body = data.subarray(offset + 8, offset + 8 + length);
    if (type === "IHDR") {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      if (body[8] !== 8 || body[12] !== 0 || (body[9] !== 2 && body[9] !== 6)) throw new Error("unexpected PNG");
      channels = body[9] === 6 ? 4 : 3;
    } else if (type === "IDAT") {
      compressed.push(body);
    }
    offset += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(compressed));
  const stride = width * channels;
  const pixels = Buffer.alloc(height * stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const left = x >= channels ? pixels[y * stride + x - channels] : 0;
      const up = y > 0 ? pixels[(y - 1) * stride + x] : 0;
      const upLeft = y > 0 && x >= channels ? pixels[(y - 1) * stride + x - channels] : 0;
      let predicted = 0;
      if (filter === 1) predicted = left;
      else if (filter === 2) predicted = up;
      else if (filter === 3) predicted = (left + up) >> 1;
      else if (filter === 4) {
        const p = left + up - upLeft;
        const pa = Math.abs(p - left);
        const pb = Math.abs(p - up);
        const pc = Math.abs(p - upLeft);
        predicted = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
      }
      pixels[y * stride + x] = (line[x] + predicted) & 255;
    }
  }
  return {
    width,
    height,
    at(x, y) {
      const k = y * stride + x * channels;
      return [pixels[k], pixels[k + 1], pixels[k + 2]];
    },
  };
}

export function near(a, b, tolerance = 3) {
  return Math.abs(a[0] - b[0]) <= tolerance && Math.abs(a[1] - b[1]) <= tolerance && Math.abs(a[2] - b[2]) <= tolerance;
}

export function differingPixels(a, b) {
  let count = 0;
  for (let y = 0; y < a.height; ++y) for (let x = 0; x < a.width; ++x) count += near(a.at(x, y), b.at(x, y), 0) ? 0 : 1;
  return count;
}

export function countPixels(image, colour, x0 = 0, y0 = 0, x1 = image.width - 1, y1 = image.height - 1) {
  let count = 0;
  for (let y = Math.max(0, y0); y <= Math.min(y1, image.height - 1); ++y) {
    for (let x = Math.max(0, x0); x <= Math.min(x1, image.width - 1); ++x) {
      if (near(image.at(x, y), colour)) ++count;
    }
  }
  return count;
}
