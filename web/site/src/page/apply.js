// Apply: both fields read as the dialog reads them, judged by the core's
// rule, then the tree rebuilt in the shown scene's worker.

import { PropertiesVerdict, WebText } from "orrelin-generated/constants.js";
import { withCString } from "../shared/protocol.js";
import { showMessageBox } from "./message_box.js";

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */
/** @typedef {import("./panel.js").PanelElements} PanelElements */
/** @typedef {import("./scene_client.js").SceneRunner} SceneRunner */

/**
 * @param {OrrelinCore} core
 * @param {PanelElements} panel
 * @param {SceneRunner} runner
 * @param {() => void} before runs first (the replay ends)
 */
export function connectApply(core, panel, runner, before) {
  /** @param {number} which */
  const text = (which) => core.UTF8ToString(core._orrelin_text(which));
  /** @param {HTMLInputElement} field */
  const value = (field) => withCString(core, field.value, (at) => core._orrelin_field_value(at));
  panel.apply.addEventListener("click", async () => {
    before();
    // Both values are stored before either is judged.
    const maxDepth = value(panel.depth);
    const trianglesPerRegion = value(panel.triangles);
    const verdict = core._orrelin_validate_properties(maxDepth, trianglesPerRegion);
    if (verdict !== PropertiesVerdict.Valid) {
      const depthWrong = verdict === PropertiesVerdict.InvalidDepth;
      const field = depthWrong ? panel.depth : panel.triangles;
      await showMessageBox(
        text(depthWrong ? WebText.InvalidDepth : WebText.InvalidTriangles),
        text(WebText.PropertiesCaption),
        "warning",
      );
      field.focus();
      field.select();
      return;
    }
    // The fields show the numbers used ("1e3" is read as 1, "5.9" as 5).
    panel.depth.value = String(maxDepth);
    panel.triangles.value = String(trianglesPerRegion);
    if (!(await runner.apply({ maxDepth, trianglesPerRegion }))) {
      await showMessageBox(text(WebText.OutOfMemory), "Error", "information");
    }
  });
}
