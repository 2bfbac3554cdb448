// The page's message box: a modal dialog with caption, icon, text and OK.
// Esc closes it like OK. A box asked for while another is open follows it.

/** @type {Promise<void>} */
let messageBoxes = Promise.resolve();

/**
 * Shows a message box; resolves when it is closed.
 * @param {string} text
 * @param {string} caption
 * @param {"warning" | "information"} icon
 * @returns {Promise<void>}
 */
export function showMessageBox(text, caption, icon) {
  const shown = messageBoxes.then(
    () =>
      new Promise((resolve) => {
        const box = /** @type {HTMLDialogElement} */ (document.getElementById("message-box"));
        /** @type {HTMLElement} */ (box.querySelector(".message-caption")).textContent = caption;
        /** @type {HTMLElement} */ (box.querySelector(".message-text")).textContent = text;
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
