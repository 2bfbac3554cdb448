// Saves the page's canvas as a PNG after opening a mesh and, optionally,
// clicking a pixel of the canvas: what a window test compares with the Linux
// program. An empty MESH keeps the default mesh; --page saves the whole page;
// STEPS presses Step that many times after the click.
// usage: node capture.mjs SITE_DIR MESH.tri OUT.png [X Y [--page [STEPS]]]
import { writeFileSync } from "node:fs";
import { basename, join } from "node:path";
import { pathToFileURL } from "node:url";
import { close, launch, openPage, settled } from "./browser.mjs";

const [site, mesh, out, x, y, whole, steps] = process.argv.slice(2);
const browser = await launch();
try {
  const page = await openPage(browser, pathToFileURL(join(site, "index.html")).href);
  if (mesh) {
    await (await page.$("#open-file")).uploadFile(mesh);
    await page.waitForFunction((t) => document.title === t, { timeout: 60000 }, `Orrelin v1.1 - ${basename(mesh)}`);
    await settled(page);
  }
  const canvas = await page.$("#scene");
  if (x !== undefined) {
    const box = await canvas.boundingBox();
    await page.mouse.click(box.x + Number(x), box.y + Number(y));
    await page.waitForFunction(() => document.getElementById("scene").dataset.picked !== undefined);
    await settled(page);
  }
  // The frame's resize grip lies over the canvas's corner: not part of the picture.
  await page.$eval("#canvas-frame", (frame) => (frame.style.resize = "none"));
  await settled(page);
  for (let k = 0; k < Number(steps || 0); ++k) {
    await page.click("#step-one");
    await page.waitForFunction((s) => document.body.dataset.stepStage === s, {}, String(k));
    await settled(page);
  }
  if (whole === "--page") {
    const size = await page.$eval("main", (m) => [m.scrollWidth + 16, m.scrollHeight + 16]);
    await page.setViewport({ width: size[0], height: size[1] });
    await settled(page);
    writeFileSync(out, await page.screenshot({ type: "png" }));
  } else {
    writeFileSync(out, await canvas.screenshot({ type: "png" }));
  }
  if (page.errors.length) throw new Error(page.errors.join("\n"));
} finally {
  await close(browser);
}
