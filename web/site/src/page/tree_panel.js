// The Tree panel: the statistics of the shown tree after each load and Apply.

/** @typedef {import("../shared/protocol.js").TreeStats} TreeStats */

/**
 * A number as the panels show it: whole numbers as they are, others to two
 * decimals; "none" for NaN.
 * @param {number} value
 */
function shown(value) {
  if (Number.isNaN(value)) return "none";
  return Number.isInteger(value) ? String(value) : value.toFixed(2);
}

/** @type {[string, keyof TreeStats][]} */
const kRows = [
  ["Split regions", "splitRegions"],
  ["Leaves", "leaves"],
  ["Empty leaves", "emptyLeaves"],
  ["Depth reached", "depthReached"],
  ["Stored references", "storedReferences"],
  ["Most per leaf", "maxPerLeaf"],
  ["Mean per leaf", "meanPerLeaf"],
  ["Tests per random click", "expectedTests"],
  ["Triangles", "triangleCount"],
];

export class TreePanel {
  /** @param {HTMLElement} list the panel's description list */
  constructor(list) {
    this.list = list;
    /** The shown scene's triangle count, which the descent's summaries name. */
    this.triangleCount = 0;
  }

  /** @param {TreeStats | undefined} stats */
  show(stats) {
    if (!stats) return;
    this.triangleCount = stats.triangleCount;
    this.list.replaceChildren();
    for (const [label, key] of kRows) {
      const value = stats[key];
      const term = document.createElement("dt");
      term.textContent = label;
      const detail = document.createElement("dd");
      detail.textContent = shown(value);
      detail.dataset.key = key;
      detail.dataset.value = String(value);
      this.list.append(term, detail);
    }
  }
}
