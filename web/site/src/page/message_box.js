// The page's message box: a modal dialog with caption, icon, text and OK.
// Esc closes it like OK. A box asked for while another is open follows it.

/** @type {Promise<void>} */
let messageBoxes = Promise.resolve();

/**
 * Shows a message box; resolves when it is closed.
 * @param {string} text
 * @param {string} caption
 * @param {"warning" | "information"} icon
 * @param {string} [detail] a line under the text saying why; none when empty
 * @returns {Promise<void>}
 */
export function showMessageBox(text, caption, icon, detail = "") {
  const shown = messageBoxes.then(
    () =>
      new Promise((resolve) => {
        const box = /** @type {HTMLDialogElement} */ (document.getElementById("message-box"));
        /** @type {HTMLElement} */ (box.querySelector(".message-caption")).textContent = caption;
        /** @type {HTMLElement} */ (box.querySelector(".message-text")).textContent = text;
        const detailElement = /** @type {HTMLElement} */ (box.querySelector("#message-detail"));
        detailElement.textContent = detail;
        detailElement.hidden = detail === "";
        const iconElement = /** @type {HTMLElement} */ (box.querySelector(".message-icon"));
        iconElement.className = `message-icon ${icon}`;
        iconElement.setAttribute("aria-label", icon === "warning" ? "Warning" : "Information");
        box.addEventListener("close", () => resolve(undefined), { once: true });
        box.showModal();
        /** @type {HTMLButtonElement} */ (box.querySelector("button")).focus();
      }),
  );
  messageBoxes = shown;
  return shown;
}
