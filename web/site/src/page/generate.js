// Generate: the generator's kinds (the core's), a triangle count and a seed;
// the fields are judged by the core's rule before anything starts, then the
// mesh is made in a new worker and shown like an opened file.

import { GenerateVerdict } from "orrelin-generated/constants.js";
import { withCString } from "../shared/protocol.js";
import { showMessageBox } from "./message_box.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("./opening.js").Open} Open */

/** @param {string} id */
function field(id) {
  return /** @type {HTMLInputElement} */ (document.getElementById(id));
}

/**
 * Fills the kind list and starts a generation on the button.
 * @param {OrrelinCore} core
 * @param {Open} open loads a source and shows it under a name
 */
export function connectGenerate(core, open) {
  const kind = /** @type {HTMLSelectElement} */ (document.getElementById("generate-kind"));
  const count = field("generate-count");
  const seed = field("generate-seed");
  for (let k = 0; k < core._orrelin_mesh_kind_count(); ++k) {
    const name = core.UTF8ToString(core._orrelin_mesh_kind_name(k));
    kind.append(new Option(name, name));
  }
  /** @type {HTMLElement} */ (document.getElementById("generate")).addEventListener("click", async () => {
    const [kindText, countText, seedText] = [kind.value, count.value.trim(), seed.value.trim()];
    const verdict = withCString(core, kindText, (k) =>
      withCString(core, countText, (n) =>
        withCString(core, seedText, (s) => core._orrelin_validate_generate(k, n, s)),
      ),
    );
    if (verdict !== GenerateVerdict.Valid) {
      const text = core.UTF8ToString(core._orrelin_generate_error_text(verdict));
      await showMessageBox(text, "Generate Input Error", "warning");
      const faulty = verdict === GenerateVerdict.InvalidKind ? kind : verdict === GenerateVerdict.InvalidCount ? count : seed;
      faulty.focus();
      if (faulty instanceof HTMLInputElement) faulty.select();
      return;
    }
    // The name shows the numbers used ("007" is seed 7).
    const mesh = { kind: kindText, count: Number(countText), seed: BigInt(seedText).toString() };
    await open({ generate: mesh }, `${mesh.kind}-${mesh.count}-s${mesh.seed}`);
  });
}
