// The core's factory, typed: the module the compiler made, as the page's
// build bundles it.

import factory from "orrelin-generated/core_loader.js";

/** @type {import("../core_types").CreateOrrelinCore} */
export const createOrrelinCore = factory;
