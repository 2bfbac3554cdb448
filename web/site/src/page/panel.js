// The Info panel beside the canvas, laid out from the core's dialog template
// (the desktop dialog's controls, texts and places).

import { ControlId, ControlKind } from "orrelin-generated/constants.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {{x: number, y: number, width: number, height: number}} Box */
/**
 * A control of the template, with the element made for it.
 * @typedef {{kind: number, id: number, text: string, box: Box, element?: HTMLElement, labelId?: string}} Control
 */
/**
 * The elements the page works with.
 * @typedef {{depth: HTMLInputElement, triangles: HTMLInputElement, apply: HTMLButtonElement,
 *   openFile: HTMLInputElement}} PanelElements
 */

// The panel's dialog base units, measured from its font as a dialog manager
// measures them: the mean width of the 52 letters and the line height, in
// whole pixels. A wider font or a larger text size gives a larger panel, so
// that every text keeps the room the template gives it.
/**
 * @param {HTMLElement} area
 * @returns {{width: number, height: number}}
 */
function baseUnits(area) {
  const style = getComputedStyle(area);
  const context = /** @type {CanvasRenderingContext2D} */ (document.createElement("canvas").getContext("2d"));
  context.font = `${style.fontSize} ${style.fontFamily}`;
  const letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const width = Math.ceil(context.measureText(letters).width / letters.length);
  const metrics = context.measureText("Mg");
  const height = Math.ceil(metrics.fontBoundingBoxAscent + metrics.fontBoundingBoxDescent);
  return { width: Math.max(width, 1), height: Math.max(height, 1) };
}

const kKindEdit = ControlKind.Edit;
const kKindPushButton = ControlKind.PushButton;
const kKindGroupBox = ControlKind.GroupBox;

/**
 * Reads the template through the core's functions.
 * @param {OrrelinCore} core
 * @param {{width: number, height: number}} units
 * @returns {{controls: Control[], width: number, height: number}}
 */
function dialogTemplate(core, units) {
  const boxAt = core._malloc(16) >>> 0;
  /** @type {(index: number) => Box} */
  const boxOf = (index) => {
    core._orrelin_control_box(index, units.width, units.height, boxAt);
    const [x, y, width, height] = new Int32Array(core.HEAPU8.buffer, boxAt, 4);
    return { x, y, width, height };
  };
  /** @type {Control[]} */
  const controls = [];
  const count = core._orrelin_control_count();
  for (let index = 0; index < count; ++index) {
    controls.push({
      kind: core._orrelin_control_kind(index),
      id: core._orrelin_control_id(index),
      text: core.UTF8ToString(core._orrelin_control_text(index)),
      box: boxOf(index),
    });
  }
  const size = boxOf(-1);
  core._free(boxAt);
  return { controls, width: size.width, height: size.height };
}

/**
 * @param {HTMLElement} element
 * @param {Box} box
 */
function place(element, box) {
  element.style.left = `${box.x}px`;
  element.style.top = `${box.y}px`;
  element.style.width = `${box.width}px`;
  element.style.height = `${box.height}px`;
}

/**
 * The static text left of an edit on the same row: its label.
 * @param {Control} edit
 * @param {Control[]} controls
 */
function labelOf(edit, controls) {
  return controls.find(
    (c) =>
      c.kind !== kKindEdit &&
      c.kind !== kKindPushButton &&
      c.kind !== kKindGroupBox &&
      c.box.x + c.box.width <= edit.box.x &&
      c.box.y < edit.box.y + edit.box.height &&
      c.box.y + c.box.height > edit.box.y,
  );
}

/**
 * An edit field, labelled by the static text left of it.
 * @param {Control} control
 * @param {Control[]} controls
 * @param {string} labelId the id its label gets
 */
function makeEdit(control, controls, labelId) {
  const element = document.createElement("input");
  element.type = "text";
  element.autocomplete = "off";
  element.spellcheck = false;
  element.id = control.id === ControlId.MaxDepth ? "depth" : "triangles";
  element.className = "edit";
  const label = labelOf(control, controls);
  if (label) {
    label.labelId = labelId;
    element.setAttribute("aria-labelledby", label.labelId);
  }
  return element;
}

/**
 * A file input the keyboard reaches, shown as the push button.
 * @param {Control} control
 */
function makeFileButton(control) {
  const element = document.createElement("span");
  element.className = "file-button";
  const input = document.createElement("input");
  input.type = "file";
  input.id = "open-file";
  input.accept = ".tri";
  // The input is the button a screen reader announces; its face is only seen.
  input.setAttribute("aria-label", control.text);
  const face = document.createElement("label");
  face.htmlFor = "open-file";
  face.className = "push-button";
  face.textContent = control.text;
  face.setAttribute("aria-hidden", "true");
  element.append(input, face);
  return { element, input };
}

/**
 * A push button, a group box or a static text.
 * @param {Control} control
 */
function makeOther(control) {
  if (control.kind === kKindPushButton) {
    const element = document.createElement("button");
    element.type = "button";
    element.className = "push-button";
    element.textContent = control.text;
    if (control.id === ControlId.Apply) element.id = "apply";
    return element;
  }
  const element = document.createElement("div");
  if (control.kind === kKindGroupBox) {
    element.className = "group-box";
    const caption = document.createElement("span");
    caption.className = "group-caption";
    caption.textContent = control.text;
    element.append(caption);
  } else {
    element.className = "static";
    element.textContent = control.text;
  }
  return element;
}

/**
 * Whether box `a` lies within box `b`.
 * @param {Box} a
 * @param {Box} b
 */
function within(a, b) {
  return a.x >= b.x && a.y >= b.y && a.x + a.width <= b.x + b.width && a.y + a.height <= b.y + b.height;
}

/**
 * A part of the panel `height` pixels tall, its controls placed from `top`.
 * @param {HTMLElement} area
 * @param {number} height
 */
function panelPart(area, height) {
  const part = document.createElement("div");
  part.className = "panel-part";
  part.style.height = `${height}px`;
  area.append(part);
  return part;
}

/**
 * The page's command list, asked of the module: each group a heading and a
 * list of terms, each action followed by its key, so that a screen reader
 * reads them in pairs in the order shown.
 * @param {OrrelinCore} core
 * @returns {HTMLElement}
 */
function commandList(core) {
  const list = document.createElement("div");
  list.className = "commands";
  /** @type {HTMLDListElement | null} */
  let terms = null;
  let group = "";
  const count = core._orrelin_command_count();
  for (let index = 0; index < count; ++index) {
    const [name, action, key] = [0, 1, 2].map((part) => core.UTF8ToString(core._orrelin_command_text(index, part)));
    if (!terms || name !== group) {
      group = name;
      const heading = document.createElement("h3");
      heading.className = "commands-group";
      heading.textContent = name;
      terms = document.createElement("dl");
      list.append(heading, terms);
    }
    const term = document.createElement("dt");
    term.textContent = action;
    const description = document.createElement("dd");
    description.textContent = key;
    terms.append(term, description);
  }
  return list;
}

/**
 * The page's command list in place of the dialog's (every control above the
 * group box that holds the fields, which the page leaves out), folded away
 * behind a button after the fields, folded at first: the results of a click
 * stay in view.
 * @param {OrrelinCore} core
 * @param {HTMLElement} area
 * @param {{controls: Control[], height: number}} template
 * @returns {(control: Control) => {part: HTMLElement, top: number} | null} where each control goes; null: left out
 */
function foldedCommands(core, area, template) {
  const edit = template.controls.find((c) => c.kind === kKindEdit);
  const group = template.controls.find((c) => c.kind === kKindGroupBox && edit && within(edit.box, c.box));
  const cut = group ? group.box.y : 0;
  const commands = commandList(core);
  commands.id = "commands";
  commands.hidden = true;
  area.append(commands);
  const rest = panelPart(area, template.height - cut);
  const toggle = document.createElement("button");
  toggle.type = "button";
  toggle.id = "commands-toggle";
  toggle.className = "commands-toggle";
  toggle.setAttribute("aria-controls", "commands");
  const show = (/** @type {boolean} */ shown) => {
    commands.hidden = !shown;
    toggle.setAttribute("aria-expanded", String(shown));
    toggle.textContent = shown ? "Hide commands" : "Show commands";
  };
  show(false);
  toggle.addEventListener("click", () => show(commands.hidden));
  area.append(toggle);
  return (control) => (control.box.y < cut ? null : { part: rest, top: cut });
}

/**
 * Builds the panel's controls into `area`. Returns the elements the page
 * works with: the two fields, Apply and the file input behind Open File.
 * @param {OrrelinCore} core
 * @param {HTMLElement} area
 * @returns {PanelElements}
 */
export function buildPanel(core, area) {
  const template = dialogTemplate(core, baseUnits(area));
  area.style.width = `${template.width}px`;
  const partOf = foldedCommands(core, area, template);
  /** @type {Partial<PanelElements>} */
  const elements = {};
  let labelNumber = 0;
  for (const control of template.controls) {
    const where = partOf(control);
    if (!where) continue;
    /** @type {HTMLElement} */
    let element;
    if (control.kind === kKindEdit) {
      const edit = makeEdit(control, template.controls, `label-${labelNumber + 1}`);
      if (edit.hasAttribute("aria-labelledby")) ++labelNumber;
      if (control.id === ControlId.MaxDepth) elements.depth = edit;
      if (control.id === ControlId.TrianglesPerRegion) elements.triangles = edit;
      element = edit;
    } else if (control.kind === kKindPushButton && control.id === ControlId.OpenFile) {
      const button = makeFileButton(control);
      elements.openFile = button.input;
      element = button.element;
    } else {
      element = makeOther(control);
      if (control.id === ControlId.Apply && element instanceof HTMLButtonElement) elements.apply = element;
    }
    control.element = element;
    const { part, top } = where;
    place(element, { ...control.box, y: control.box.y - top });
    part.append(element);
  }
  for (const control of template.controls) {
    if (control.labelId && control.element) control.element.id = control.labelId;
  }
  const { depth, triangles, apply, openFile } = elements;
  if (!depth || !triangles || !apply || !openFile) throw new Error("the dialog template lacks a control the page needs");
  return { depth, triangles, apply, openFile };
}

/**
 * Fills the fields with the active limits and returns them.
 * @param {OrrelinCore} core
 * @param {PanelElements} panel
 * @returns {import("../shared/protocol.js").Limits}
 */
export function showActiveLimits(core, panel) {
  const limits = {
    maxDepth: core._orrelin_active_max_depth(),
    trianglesPerRegion: core._orrelin_active_triangles_per_region(),
  };
  // Unsigned, as the fields are read back.
  panel.depth.value = String(limits.maxDepth >>> 0);
  panel.triangles.value = String(limits.trianglesPerRegion >>> 0);
  return limits;
}
