// orrelin-inspect built for node prints the same bytes as the Linux build on
// the meshes the suite generates: same floats to the bit, same quadtree,
// same point locations, same messages for files it rejects.
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { test } from "node:test";

const kNodeInspect = process.env.ORRELIN_WEB_INSPECT;
const kLinuxInspect = process.env.ORRELIN_INSPECT_EXE;
const kMeshgen = process.env.ORRELIN_MESHGEN_EXE;

test("the node build prints what the Linux build prints", () => {
  const dir = mkdtempSync(join(tmpdir(), "orrelin-inspect-"));
  const meshes = [];
  for (const [kind, n] of [
    ["grid", 2000],
    ["density", 3000],
    ["slivers", 500],
    ["holes", 2000],
  ]) {
    const name = `${kind}.tri`;
    execFileSync(kMeshgen, [kind, String(n), join(dir, name), "--seed", "3"]);
    meshes.push(name);
  }
  writeFileSync(join(dir, "huge.tri"), "v 0 0\nv 1e39 0\nv 0 1\nf 0 1 2\n");
  writeFileSync(join(dir, "cut.tri"), "v 0 0\nv 1 0\nv 0 1\nf 0 1");
  meshes.push("huge.tri", "cut.tri", "missing.tri");

  const points = ["0.5", "123.25", "-7", "1e3", "1e-7", "3.4e38"].flatMap((p) => ["--locate", p, p]);
  for (const mesh of meshes) {
    for (const limits of [[], ["--max-depth", "10", "--max-triangles", "1"], ["--summary", "--stats"]]) {
      const args = [mesh, ...limits, ...points];
      // Both run in the mesh's folder, so that both print the same file name;
      // the deepest trees print several megabytes, all of which is compared.
      const options = { cwd: dir, encoding: "utf8", maxBuffer: 1 << 28 };
      const linux = spawnSync(kLinuxInspect, args, options);
      const web = spawnSync(process.execPath, [kNodeInspect, ...args], options);
      const what = `${args.slice(0, 3).join(" ")}`;
      assert.ifError(linux.error);
      assert.ifError(web.error);
      assert.equal(web.status, linux.status, what);
      assert.equal(web.stdout, linux.stdout, what);
      assert.equal(web.stderr, linux.stderr, what);
      if (mesh === "grid.tri") assert.ok(linux.stdout.length > 1000, what);
    }
  }
  // The statistics and the figure, the same bytes too.
  const args = ["density.tri", "--summary", "--stats", "--locate", "300", "200", "--size", "640", "480", "--svg"];
  spawnSync(kLinuxInspect, [...args, "linux.svg"], { cwd: dir });
  spawnSync(process.execPath, [kNodeInspect, ...args, "web.svg"], { cwd: dir });
  const figure = readFileSync(join(dir, "linux.svg"), "utf8");
  assert.ok(figure.includes("<polygon"), "a highlight in the figure");
  assert.equal(readFileSync(join(dir, "web.svg"), "utf8"), figure);
});
