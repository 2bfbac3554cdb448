// The WebAssembly module's exports as the page's scripts use them
// (web/module/src/exports.cpp), and the factory the compiler makes. Pointers
// are 32-bit numbers, read unsigned (`>>> 0`): memory may grow past 2 GiB.

/** What the scene operations hand to the page while they run (the worker's instance). */
export interface OrrelinHooks {
  buffer(which: number, bytes: Uint8Array): void;
  stage(stage: number): void;
  redraw(): void;
  /** The generator's progress, 0 to 1. */
  generated(fraction: number): void;
  sweep(done: number, total: number): void;
}

export interface CoreOptions {
  instantiateWasm(
    imports: WebAssembly.Imports,
    receive: (instance: WebAssembly.Instance, module: WebAssembly.Module) => void,
  ): object;
  orrelinHooks?: OrrelinHooks;
}

export interface OrrelinCore {
  HEAPU8: Uint8Array;
  _malloc(size: number): number;
  _free(at: number): void;
  UTF8ToString(at: number): string;
  stringToUTF8(text: string, at: number, size: number): void;
  lengthBytesUTF8(text: string): number;

  // Texts and the panel
  _orrelin_text(which: number): number;
  _orrelin_window_title(name: number): number;
  _orrelin_load_error_text(name: number): number;
  _orrelin_control_count(): number;
  _orrelin_control_kind(index: number): number;
  _orrelin_control_id(index: number): number;
  _orrelin_control_text(index: number): number;
  _orrelin_control_box(index: number, baseWidth: number, baseHeight: number, out: number): void;
  _orrelin_command_count(): number;
  _orrelin_command_text(index: number, part: number): number;
  _orrelin_field_value(text: number): number;
  _orrelin_read_coordinate(text: number, out: number): number;
  _orrelin_active_max_depth(): number;
  _orrelin_active_triangles_per_region(): number;
  _orrelin_validate_properties(maxDepth: number, trianglesPerRegion: number): number;

  // The view (main thread)
  _orrelin_view_resize(width: number, height: number): void;
  _orrelin_view_frame(centreX: number, centreY: number, extent: number, moveStep: number): void;
  _orrelin_view_arrow_key(key: number, shift: number): void;
  _orrelin_view_reset(): void;
  _orrelin_view_pick(x: number, y: number): number;
  _orrelin_view_picked_x(): number;
  _orrelin_view_picked_y(): number;
  _orrelin_view_zoom(towardTarget: number): void;
  _orrelin_view_drag_start(x: number, y: number): void;
  _orrelin_view_drag_end(): void;
  _orrelin_view_drag(x: number, y: number): void;
  _orrelin_view_eye(out: number): void;
  _orrelin_view_set_eye(x: number, y: number, z: number): number;
  _orrelin_view_matrices(out: number): void;
  _orrelin_region_outline(
    minX: number,
    minY: number,
    maxX: number,
    maxY: number,
    r: number,
    g: number,
    b: number,
    out: number,
  ): void;

  // The scene (worker)
  _orrelin_scene_connect(): void;
  _orrelin_scene_load(data: number, size: number, maxDepth: number, trianglesPerRegion: number): number;
  _orrelin_scene_set_query(x: number, y: number, clicked: number): void;
  _orrelin_scene_measures(out: number): void;
  _orrelin_scene_highlight_shown(): number;
  _orrelin_scene_apply(maxDepth: number, trianglesPerRegion: number): number;
  _orrelin_scene_click(x: number, y: number): number;
  _orrelin_scene_stats(out: number): void;
  _orrelin_scene_descent(out: number, capacity: number): number;
  _orrelin_scene_found(out: number): number;
  _orrelin_scene_svg(width: number, height: number, eyeX: number, eyeY: number, eyeZ: number, heatMap: number): number;
  _orrelin_scene_refusal_text(): number;
  _orrelin_scene_highlight_prefix(tested: number): void;

  // Generated meshes, Save mesh and the heat map
  _orrelin_mesh_kind_count(): number;
  _orrelin_mesh_kind_name(index: number): number;
  _orrelin_validate_generate(kind: number, count: number, seed: number): number;
  _orrelin_generate_error_text(verdict: number): number;
  _orrelin_heat_scale(out: number): number;
  _orrelin_scene_generate(
    kind: number,
    count: number,
    seed: number,
    maxDepth: number,
    trianglesPerRegion: number,
  ): number;
  _orrelin_scene_mesh_text(size: number): number;
  _orrelin_scene_release_mesh_text(): void;
  _orrelin_scene_heat_map(): number;
  /** Builds with contract checks only: aborts the module. */
  _orrelin_test_abort?: () => void;
  _orrelin_scene_sweep(axis: number, out: number, capacity: number): number;
}

export type CreateOrrelinCore = (options: CoreOptions) => Promise<OrrelinCore>;
