// Builds with contract checks only (the page's tests): the next request of a
// kind is sent with an order to abort, and the scene worker's core aborts
// before it runs it, as a worker dies that runs out of memory or breaks. The
// shipped module has no abort to call, so the page offers no way to ask.

/** @typedef {import("../core_types").OrrelinCore} OrrelinCore */

/** @type {Set<string>} the request types whose next request aborts */
const armed = new Set();

/**
 * Offers window.orrelinAbortNext(type) when the module can abort on request.
 * @param {OrrelinCore} core the page's instance
 */
export function offerWorkerFaults(core) {
  if (!core._orrelin_test_abort) return;
  Object.assign(window, { orrelinAbortNext: (/** @type {string} */ type) => armed.add(type) });
}

/**
 * Whether the request of `type` about to be sent is to abort its worker; once
 * for each time it was asked for.
 * @param {string} type
 */
export function abortRequested(type) {
  return armed.delete(type);
}
