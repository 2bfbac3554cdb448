// Makes the page's three files from the module the compiler made, the page's
// sources and the bundled meshes:
//   index.html   the page, as written
//   orrelin.css  its styles, as written
//   orrelin.js   one script: the WebAssembly (base64), the meshes of Data/
//                (base64), the module's loader and the page's scripts, so
//                that the page needs nothing but its folder and also works
//                opened straight from the disk.
// usage: node bundle.mjs --module orrelin_core.js --data DIR --sources DIR --out DIR
import { mkdirSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { basename, join } from "node:path";

// The page's scripts, in the order they are put together.
const kScripts = ["worker.js", "panel.js", "view.js", "scene.js", "page.js"];

function options(argv) {
  const named = {};
  for (let k = 0; k + 1 < argv.length; k += 2) {
    if (!argv[k].startsWith("--")) throw new Error(`unexpected argument ${argv[k]}`);
    named[argv[k].slice(2)] = argv[k + 1];
  }
  for (const name of ["module", "data", "sources", "out"]) {
    if (!named[name]) throw new Error(`--${name} is missing`);
  }
  return named;
}

function main() {
  const args = options(process.argv.slice(2));
  const loader = readFileSync(args.module, "utf8");
  const wasm = readFileSync(args.module.replace(/\.js$/, ".wasm"));
  const meshes = readdirSync(args.data)
    .filter((name) => name.endsWith(".tri"))
    .sort()
    .map((name) => ({ name, data: readFileSync(join(args.data, name)).toString("base64") }));

  const parts = [
    `// Orrelin v1.1 in a web page. Made by web/site/bundle.mjs from the page's`,
    `// scripts in web/site and the WebAssembly module; edit those, not this.`,
    `(function () {`,
    `"use strict";`,
    `const ORRELIN_WASM = ${JSON.stringify(wasm.toString("base64"))};`,
    `const ORRELIN_MESHES = ${JSON.stringify(meshes)};`,
    // The loader stays a function of its own: the worker is started from its
    // source text.
    `function orrelinCoreFactory() {`,
    loader,
    `return createOrrelinCore;`,
    `}`,
  ];
  for (const script of kScripts) {
    parts.push(`// ---- ${script} ----`, readFileSync(join(args.sources, script), "utf8"));
  }
  parts.push(`})();`, ``);

  mkdirSync(args.out, { recursive: true });
  writeFileSync(join(args.out, "orrelin.js"), parts.join("\n"));
  for (const file of ["index.html", "orrelin.css"]) {
    writeFileSync(join(args.out, basename(file)), readFileSync(join(args.sources, file)));
  }
}

main();
