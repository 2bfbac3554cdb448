// The Info panel beside the canvas, laid out from the core's dialog template
// (the desktop dialog's controls, texts and places), and the page's message
// boxes.

// The panel's dialog base units, measured from its font as a dialog manager
// measures them: the mean width of the 52 letters and the line height, in
// whole pixels. A wider font or a larger text size gives a larger panel, so
// that every text keeps the room the template gives it.
function baseUnits(area) {
  const style = getComputedStyle(area);
  const context = document.createElement("canvas").getContext("2d");
  context.font = `${style.fontSize} ${style.fontFamily}`;
  const letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const width = Math.ceil(context.measureText(letters).width / letters.length);
  const metrics = context.measureText("Mg");
  const height = Math.ceil(metrics.fontBoundingBoxAscent + metrics.fontBoundingBoxDescent);
  return { width: Math.max(width, 1), height: Math.max(height, 1) };
}

// Control kinds and ids as the core's template has them.
const kKindEdit = 0;
const kKindPushButton = 1;
const kKindGroupBox = 2;
const kIdMaxDepth = 1001;
const kIdTrianglesPerRegion = 1002;
const kIdApply = 3;
const kIdOpenFile = 5;

// Reads the template through the core's functions: [{kind, id, text, box}].
function dialogTemplate(core, units) {
  const boxAt = core._malloc(16) >>> 0;
  const boxOf = (index) => {
    core._orrelin_control_box(index, units.width, units.height, boxAt);
    const [x, y, width, height] = new Int32Array(core.HEAPU8.buffer, boxAt, 4);
    return { x, y, width, height };
  };
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

function place(element, box) {
  element.style.left = `${box.x}px`;
  element.style.top = `${box.y}px`;
  element.style.width = `${box.width}px`;
  element.style.height = `${box.height}px`;
}

// The static text left of an edit on the same row: its label.
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

// Builds the panel's controls into `area`. Returns the elements the page
// works with: the two fields, Apply and the file input behind Open File.
// eslint-disable-next-line no-unused-vars
function buildPanel(core, area) {
  const template = dialogTemplate(core, baseUnits(area));
  area.style.width = `${template.width}px`;
  area.style.height = `${template.height}px`;
  const elements = {};
  let labelNumber = 0;
  for (const control of template.controls) {
    let element;
    if (control.kind === kKindEdit) {
      element = document.createElement("input");
      element.type = "text";
      element.autocomplete = "off";
      element.spellcheck = false;
      element.id = control.id === kIdMaxDepth ? "depth" : "triangles";
      element.className = "edit";
      const label = labelOf(control, template.controls);
      if (label) {
        label.labelId = `label-${++labelNumber}`;
        element.setAttribute("aria-labelledby", label.labelId);
      }
      if (control.id === kIdMaxDepth) elements.depth = element;
      if (control.id === kIdTrianglesPerRegion) elements.triangles = element;
    } else if (control.kind === kKindPushButton && control.id === kIdOpenFile) {
      // A file input the keyboard reaches, shown as the push button.
      element = document.createElement("span");
      element.className = "file-button";
      const input = document.createElement("input");
      input.type = "file";
      input.id = "open-file";
      input.accept = ".tri";
      const face = document.createElement("label");
      face.htmlFor = "open-file";
      face.className = "push-button";
      face.textContent = control.text;
      element.append(input, face);
      elements.openFile = input;
    } else if (control.kind === kKindPushButton) {
      element = document.createElement("button");
      element.type = "button";
      element.className = "push-button";
      element.textContent = control.text;
      if (control.id === kIdApply) {
        element.id = "apply";
        elements.apply = element;
      }
    } else if (control.kind === kKindGroupBox) {
      element = document.createElement("div");
      element.className = "group-box";
      const caption = document.createElement("span");
      caption.className = "group-caption";
      caption.textContent = control.text;
      element.append(caption);
    } else {
      element = document.createElement("div");
      element.className = "static";
      element.textContent = control.text;
    }
    control.element = element;
    place(element, control.box);
    area.append(element);
  }
  for (const control of template.controls) {
    if (control.labelId) control.element.id = control.labelId;
  }
  return elements;
}

// The page's message box: a modal dialog with caption, icon, text and OK.
// Esc closes it like OK. A box asked for while another is open follows it.
// Resolves when the box is closed.
let messageBoxes = Promise.resolve();

// eslint-disable-next-line no-unused-vars
function showMessageBox(text, caption, icon) {
  const shown = messageBoxes.then(
    () =>
      new Promise((resolve) => {
        const box = document.getElementById("message-box");
        box.querySelector(".message-caption").textContent = caption;
        box.querySelector(".message-text").textContent = text;
        const iconElement = box.querySelector(".message-icon");
        iconElement.className = `message-icon ${icon}`;
        iconElement.setAttribute("aria-label", icon === "warning" ? "Warning" : "Information");
        box.addEventListener("close", () => resolve(), { once: true });
        box.showModal();
        box.querySelector("button").focus();
      }),
  );
  messageBoxes = shown;
  return shown;
}
