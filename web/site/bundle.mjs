// Makes the page's three files from the module the compiler made, the page's
// sources (src/) and the bundled meshes:
//   index.html   the page, as written
//   orrelin.css  its styles, as written
//   orrelin.js   one script, bundled by esbuild: the page's modules, the
//                module's loader, the WebAssembly and the meshes of Data/
//                (base64), and the worker's own bundle as text, so that the
//                page needs nothing but its folder and also works opened
//                straight from the disk.
// On the way the TypeScript compiler checks the sources (strict, JSDoc types),
// the page's and the worker's each against their own global scope.
// usage: node bundle.mjs --module orrelin_core.js --constants orrelin_web_constants.js --data DIR
//                        --sources DIR --work DIR --out DIR --esbuild PATH --tsc PATH
import { execFileSync } from "node:child_process";
import { mkdirSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { join, resolve } from "node:path";

const kBanner = "// The page of Orrelin. Made by web/site/bundle.mjs from web/site/src and the WebAssembly\n// module; edit those, not this.";

function options(argv) {
  const named = {};
  for (let k = 0; k + 1 < argv.length; k += 2) {
    if (!argv[k].startsWith("--")) throw new Error(`unexpected argument ${argv[k]}`);
    named[argv[k].slice(2)] = argv[k + 1];
  }
  for (const name of ["module", "constants", "data", "sources", "work", "out", "esbuild", "tsc"]) {
    if (!named[name]) throw new Error(`--${name} is missing`);
  }
  return named;
}

function write(path, text) {
  writeFileSync(path, text);
}

// The compiler's loader as an ES module (its CommonJS and AMD tail left out),
// typed by the declaration of the module's exports.
function writeLoader(args, generated) {
  const loader = readFileSync(args.module, "utf8");
  const tail = loader.indexOf("if (typeof exports === 'object' && typeof module === 'object')");
  if (tail < 0) throw new Error(`${args.module}: the loader's export tail was not found`);
  write(
    join(generated, "core_loader.js"),
    `// @ts-nocheck\n${loader.slice(0, tail)}\nexport default createOrrelinCore;\n`,
  );
  const types = resolve(args.sources, "src/core_types");
  write(
    join(generated, "core_loader.d.ts"),
    `declare const createOrrelinCore: import(${JSON.stringify(types)}).CreateOrrelinCore;\nexport default createOrrelinCore;\n`,
  );
}

// The WebAssembly and the meshes of Data/, base64.
function writeEmbedded(args, generated) {
  const wasm = readFileSync(args.module.replace(/\.js$/, ".wasm"));
  const meshes = readdirSync(args.data)
    .filter((name) => name.endsWith(".tri"))
    .sort()
    .map((name) => ({ name, data: readFileSync(join(args.data, name)).toString("base64") }));
  write(
    join(generated, "embedded.js"),
    `export const kWasmBase64 = ${JSON.stringify(wasm.toString("base64"))};\n` +
      `export const kMeshes = ${JSON.stringify(meshes)};\n`,
  );
  write(
    join(generated, "embedded.d.ts"),
    "export const kWasmBase64: string;\nexport const kMeshes: { name: string; data: string }[];\n",
  );
}

// A compiler configuration for one entry point and its imports.
function writeTsconfig(args, name, entry, lib) {
  const config = {
    compilerOptions: {
      allowJs: true,
      checkJs: true,
      noEmit: true,
      strict: true,
      noImplicitReturns: true,
      noFallthroughCasesInSwitch: true,
      target: "es2022",
      module: "es2022",
      moduleResolution: "node",
      lib,
      types: [],
      baseUrl: resolve(args.work),
      paths: { "orrelin-generated/*": ["generated/*"] },
    },
    files: [resolve(args.sources, entry)],
  };
  const path = join(args.work, name);
  write(path, JSON.stringify(config, null, 2));
  return path;
}

function esbuild(args, entry, tsconfig, outfile) {
  execFileSync(
    args.esbuild,
    [
      resolve(args.sources, entry),
      "--bundle",
      "--format=iife",
      "--log-level=warning",
      `--tsconfig=${tsconfig}`,
      `--banner:js=${kBanner}`,
      `--outfile=${outfile}`,
    ],
    { stdio: "inherit" },
  );
}

function typeCheck(args, tsconfig) {
  execFileSync(args.tsc, ["-p", tsconfig, "--pretty", "false"], { stdio: "inherit" });
}

function main() {
  const args = options(process.argv.slice(2));
  const generated = join(args.work, "generated");
  mkdirSync(generated, { recursive: true });
  mkdirSync(args.out, { recursive: true });
  write(join(generated, "constants.js"), execFileSync(process.execPath, [args.constants], { encoding: "utf8" }));
  writeLoader(args, generated);
  writeEmbedded(args, generated);

  const workerConfig = writeTsconfig(args, "tsconfig.worker.json", "src/worker/main.js", ["es2022", "webworker"]);
  const pageConfig = writeTsconfig(args, "tsconfig.page.json", "src/page/main.js", ["es2022", "dom", "dom.iterable"]);
  const workerBundle = join(args.work, "worker.js");
  esbuild(args, "src/worker/main.js", workerConfig, workerBundle);
  write(
    join(generated, "worker_source.js"),
    `export const kWorkerSource = ${JSON.stringify(readFileSync(workerBundle, "utf8"))};\n`,
  );
  write(join(generated, "worker_source.d.ts"), "export const kWorkerSource: string;\n");
  typeCheck(args, workerConfig);
  typeCheck(args, pageConfig);
  esbuild(args, "src/page/main.js", pageConfig, join(args.out, "orrelin.js"));
  for (const file of ["index.html", "orrelin.css"]) {
    writeFileSync(join(args.out, file), readFileSync(join(args.sources, file)));
  }
}

try {
  main();
} catch (error) {
  // The tools have said what failed already.
  console.error(`bundle.mjs: ${error.message.split("\n")[0]}`);
  process.exit(1);
}
