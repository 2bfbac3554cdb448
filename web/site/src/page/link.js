// Copy link: the shown picture as a URL whose fragment holds the mesh (a
// bundled mesh's name, or the generator's kind, size and seed), the limits,
// the eye, the located point, the heat map switch and whether Step plays; and
// the reading of such a fragment at start. Every piece is checked on its own:
// a bad one is left out with a one-line note, and a mesh too large is refused
// before anything is made.

import { PropertiesVerdict } from "orrelin-generated/constants.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("../shared/protocol.js").Limits} Limits */

/** The generator's kinds and the largest mesh it makes for the page. */
export const kGeneratorKinds = ["grid", "density", "slivers", "holes"];
export const kMaxGeneratedTriangles = 2000000;
const kMaxSeed = 18446744073709551615n;
const kMaxFragment = 1000; // characters; a longer fragment is not read at all

/**
 * A generated mesh: the generator's kind, number of triangles and seed (as
 * decimal text: it may exceed what a number holds exactly).
 * @typedef {{kind: string, count: number, seed: string}} Generated
 */

/**
 * The generator's side of a link: which generated mesh a scene shown under
 * `name` is (null: none), and how to make and show one. The Generate form
 * fills them in; until then a link's generated mesh cannot be opened.
 * @type {{describe: (name: string) => Generated | null, show: ((generated: Generated) => Promise<boolean>) | null}}
 */
export const generatedMeshes = { describe: () => null, show: null };

/**
 * What the shown scene was made from: a bundled mesh, the generator, or a
 * file from the user's disk (which cannot travel in a link).
 * @typedef {{from: "bundled", name: string} | {from: "generated", generated: Generated}
 *   | {from: "file", name: string}} Origin
 */

/**
 * @param {string} sceneName the shown scene's name
 * @param {string[]} bundled the bundled meshes' names
 * @returns {Origin}
 */
export function shownOrigin(sceneName, bundled) {
  const generated = generatedMeshes.describe(sceneName);
  if (generated) return { from: "generated", generated };
  // Bundled meshes are shown as Data/NAME; a chosen file's name has no folder.
  const name = sceneName.startsWith("Data/") ? sceneName.slice(5) : "";
  if (bundled.includes(name)) return { from: "bundled", name };
  return { from: "file", name: sceneName };
}

/**
 * What a link asks for; each piece is present only when it was given and good.
 * @typedef {{mesh?: Origin, limits?: Partial<Limits>, eye?: number[], point?: number[],
 *   heat?: boolean, play?: boolean}} LinkPlan
 */

/**
 * The link's fragment for what is shown.
 * @param {{origin: Origin, limits: Limits, eye: number[], point: number[] | null, heat: boolean, play: boolean}} shown
 */
export function fragmentOf(shown) {
  const pieces = new URLSearchParams();
  if (shown.origin.from === "bundled") pieces.set("mesh", shown.origin.name);
  if (shown.origin.from === "generated") {
    const { kind, count, seed } = shown.origin.generated;
    pieces.set("mesh", `${kind}-${count}-${seed}`);
  }
  pieces.set("depth", String(shown.limits.maxDepth));
  pieces.set("triangles", String(shown.limits.trianglesPerRegion));
  // JavaScript's shortest text of each single-precision value reads back to it exactly.
  pieces.set("eye", shown.eye.join(","));
  if (shown.point) pieces.set("point", shown.point.join(","));
  pieces.set("heat", shown.heat ? "1" : "0");
  pieces.set("play", shown.play ? "1" : "0");
  return `#${pieces.toString()}`;
}

/**
 * `count` comma-separated numbers that single precision holds, or null.
 * @param {string} text
 * @param {number} count
 */
function floats(text, count) {
  const parts = text.split(",");
  if (parts.length !== count) return null;
  const values = [];
  for (const part of parts) {
    if (!/^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d{1,3})?$/.test(part)) return null;
    const value = Math.fround(Number(part));
    if (!Number.isFinite(value)) return null;
    values.push(value);
  }
  return values;
}

/**
 * The mesh piece: a bundled mesh's name, or KIND-COUNT-SEED.
 * @param {string} text
 * @param {string[]} bundled
 * @returns {Origin | string} the mesh, or why it is refused
 */
function meshOf(text, bundled) {
  if (bundled.includes(text)) return { from: "bundled", name: text };
  const match = /^([a-z]+)-(\d+)-(\d+)$/.exec(text);
  if (!match || !kGeneratorKinds.includes(match[1])) return `no bundled mesh or generator is called "${text}"`;
  const count = match[2].length > 8 ? Infinity : Number(match[2]);
  if (count < 1 || count > kMaxGeneratedTriangles) {
    return `${match[2]} triangles is outside 1 to ${kMaxGeneratedTriangles.toLocaleString("en")}; nothing was made`;
  }
  if (match[3].length > 20 || BigInt(match[3]) > kMaxSeed) return `the seed ${match[3]} is too large`;
  return { from: "generated", generated: { kind: match[1], count, seed: match[3] } };
}

/**
 * Reads a link's fragment. Each bad piece is left out and gives one note.
 * @param {OrrelinCore} core the page's, for the limits' rule
 * @param {string} hash location.hash
 * @param {string[]} bundled the bundled meshes' names
 * @returns {{plan: LinkPlan, notes: string[]}}
 */
export function readFragment(core, hash, bundled) {
  /** @type {LinkPlan} */
  const plan = {};
  /** @type {string[]} */
  const notes = [];
  const text = hash.replace(/^#/, "");
  if (!text) return { plan, notes };
  if (text.length > kMaxFragment) return { plan, notes: [`The link is too long (${text.length} characters); it was not read.`] };
  /** @param {string} key @param {string} why */
  const refuse = (key, why) => notes.push(`The link's ${key} was left out: ${why}.`);
  /** @param {string} value */
  const flag = (value) => (value === "1" ? true : value === "0" ? false : null);
  // The core's rule judges each limit, the other one at a value it takes.
  /** @param {string} value @param {boolean} depth */
  const limit = (value, depth) => {
    if (!/^\d{1,5}$/.test(value)) return null;
    const n = Number(value);
    const verdict = depth ? core._orrelin_validate_properties(n, 1) : core._orrelin_validate_properties(1, n);
    return verdict === PropertiesVerdict.Valid ? n : null;
  };
  const seen = new Set();
  for (const [key, value] of new URLSearchParams(text)) {
    if (seen.has(key)) {
      refuse(key, "it is given twice");
      continue;
    }
    seen.add(key);
    const shown = JSON.stringify(value.length > 40 ? `${value.slice(0, 40)}...` : value);
    switch (key) {
      case "mesh": {
        const mesh = meshOf(value, bundled);
        if (typeof mesh === "string") refuse(key, mesh);
        else plan.mesh = mesh;
        break;
      }
      case "depth":
      case "triangles": {
        const n = limit(value, key === "depth");
        if (n === null) refuse(key, `${shown} is not ${key === "depth" ? "a depth limit (1 to 10)" : "1 to 10000"}`);
        else plan.limits = { ...plan.limits, [key === "depth" ? "maxDepth" : "trianglesPerRegion"]: n };
        break;
      }
      case "eye":
      case "point": {
        const values = floats(value, key === "eye" ? 3 : 2);
        if (values === null) refuse(key, `${shown} is not ${key === "eye" ? "three" : "two"} numbers`);
        else if (key === "eye" && !(values[2] > 0)) refuse(key, "the eye must be above the plane");
        else plan[key] = values;
        break;
      }
      case "heat":
      case "play": {
        const on = flag(value);
        if (on === null) refuse(key, `${shown} is not 0 or 1`);
        else plan[key] = on;
        break;
      }
      default:
        notes.push(`The link's ${JSON.stringify(key.slice(0, 40))} is not a piece of a link; it was left out.`);
    }
  }
  return { plan, notes };
}

/** @param {string} id */
const element = (id) => /** @type {HTMLElement | null} */ (document.getElementById(id));

/** @param {string[]} notes */
function showNotes(notes) {
  const note = element("link-note");
  if (note) note.textContent = notes.join("\n");
}

/**
 * What the page needs to open a link and to copy one.
 * @typedef {{core: OrrelinCore, canvas: HTMLCanvasElement, runner: import("./scene_client.js").SceneRunner,
 *   panel: import("./panel.js").PanelElements, requestFrame: () => void, bundled: string[],
 *   openBundled: (name: string) => Promise<void>, sceneName: () => string, playing: () => boolean}} LinkContext
 */

/**
 * Opens what the page's link asks for: its limits, its mesh (else the
 * default one, `fallback`), its eye, point, heat map switch and Step.
 * @param {LinkContext} context
 * @param {string} hash
 * @param {string} fallback the default bundled mesh's name
 */
export async function openLinked(context, hash, fallback) {
  const { core, canvas, runner, panel } = context;
  const { plan, notes } = readFragment(core, hash, context.bundled);
  if (plan.limits) {
    runner.limits = { ...runner.limits, ...plan.limits };
    panel.depth.value = String(runner.limits.maxDepth);
    panel.triangles.value = String(runner.limits.trianglesPerRegion);
  }
  const mesh = plan.mesh;
  let shown = false;
  if (mesh?.from === "bundled") {
    await context.openBundled(mesh.name);
    shown = true;
  } else if (mesh?.from === "generated") {
    if (generatedMeshes.show) shown = await generatedMeshes.show(mesh.generated);
    if (!shown) notes.push("The link's generated mesh could not be made here; the default mesh is shown.");
  }
  if (!shown) await context.openBundled(fallback);
  if (plan.eye) core._orrelin_view_set_eye(plan.eye[0], plan.eye[1], plan.eye[2]);
  context.requestFrame();
  if (plan.point) {
    canvas.dataset.picked = `${plan.point[0]} ${plan.point[1]}`;
    await runner.click(plan.point[0], plan.point[1]);
  }
  const heat = /** @type {HTMLInputElement | null} */ (element("heat-map"));
  if (plan.heat !== undefined) {
    if (heat && heat.checked !== plan.heat) heat.click();
    if (!heat && plan.heat) notes.push("This page has no heat map; the link's heat map was left out.");
  }
  const play = /** @type {HTMLButtonElement | null} */ (element("step-play"));
  if (plan.play && play && !play.disabled) play.click();
  showNotes(notes);
}

/**
 * Copy link: the link of what is shown, into the field and the clipboard.
 * @param {LinkContext} context
 */
export function connectCopyLink(context) {
  const button = element("copy-link");
  const field = /** @type {HTMLInputElement | null} */ (element("link"));
  if (!button || !field) return;
  button.addEventListener("click", () => {
    const origin = shownOrigin(context.sceneName(), context.bundled);
    const { x, y, clicked } = context.runner.query;
    const heat = /** @type {HTMLInputElement | null} */ (element("heat-map"));
    const fragment = fragmentOf({
      origin,
      limits: context.runner.limits,
      eye: (context.canvas.dataset.eye ?? "").split(" ").map(Number),
      point: clicked ? [x, y] : null,
      heat: heat?.checked ?? false,
      play: context.playing(),
    });
    field.value = `${location.href.split("#")[0]}${fragment}`;
    showNotes(
      origin.from === "file"
        ? ["A mesh from your disk cannot travel in a link: the link opens the default mesh with everything else."]
        : [],
    );
    field.select();
    navigator.clipboard?.writeText(field.value).catch(() => {});
  });
}
