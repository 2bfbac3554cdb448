// The drawing canvas: WebGL 2 buffers made from what the core hands over, and
// the three passes of the desktop's picture in its order and colours: the
// mesh's edges as 1-pixel lines, the highlight (tested triangles, the found
// one again, the clicked point as a 6-pixel point), the split lines 2 pixels
// wide, over the heat map's filled leaves while it is on. Sizes are in CSS pixels; the canvas has devicePixelRatio device pixels
// to each, so the picture stays sharp on dense screens.

import { Sizes, WebBuffer } from "orrelin-generated/constants.js";

/** @typedef {import("../shared/protocol.js").HandedBuffer} HandedBuffer */

const kVertexShader = `#version 300 es
in vec2 aPosition;
in vec3 aColor;
in vec2 aOffset;
uniform mat4 uProjection;
uniform mat4 uModelView;
uniform vec2 uPixelToClip;
uniform float uPointSize;
out vec3 vColor;
void main() {
  vec4 clip = uProjection * (uModelView * vec4(aPosition, 0.0, 1.0));
  // Offsets are window pixels, added after projection (split lines and
  // outlines made of triangles).
  clip.xy += aOffset * uPixelToClip * clip.w;
  gl_Position = clip;
  gl_PointSize = uPointSize;
  vColor = aColor;
}`;

const kFragmentShader = `#version 300 es
precision highp float;
in vec3 vColor;
out vec4 fragColor;
void main() {
  fragColor = vec4(vColor, 1.0);
}`;

const kMeshVertices = WebBuffer.MeshVertices;
const kMeshEdges = WebBuffer.MeshEdges;
const kRegionLines = WebBuffer.RegionLines;
const kHighlight = WebBuffer.Highlight;
const kHeatMap = WebBuffer.HeatMap;
// The page's own: regions outlined over the picture, the pointed-at Descent
// row's and the step replay's, both shown at once.
const kOutline = kHeatMap + 1;
const kStepOutline = kHeatMap + 2;

const kColoredVertexBytes = Sizes.ColoredVertexBytes; // x, y, r, g, b
const kWebVertexBytes = Sizes.WebVertexBytes; // x, y, r, g, b, offset x, offset y

/**
 * Compiles and links the page's one program.
 * @param {WebGL2RenderingContext} gl
 * @returns {WebGLProgram}
 */
function linkProgram(gl) {
  /** @type {(type: number, source: string) => WebGLShader} */
  const compile = (type, source) => {
    const shader = /** @type {WebGLShader} */ (gl.createShader(type));
    gl.shaderSource(shader, source);
    gl.compileShader(shader);
    if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(shader) ?? "");
    return shader;
  };
  const program = /** @type {WebGLProgram} */ (gl.createProgram());
  gl.attachShader(program, compile(gl.VERTEX_SHADER, kVertexShader));
  gl.attachShader(program, compile(gl.FRAGMENT_SHADER, kFragmentShader));
  gl.linkProgram(program);
  if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program) ?? "");
  return program;
}

export class SceneView {
  /**
   * @param {HTMLCanvasElement} canvas
   * @param {(out: Float32Array) => void} matrices fills 32 floats: the projection, then the model-view
   */
  constructor(canvas, matrices) {
    this.canvas = canvas;
    this.matrices = matrices;
    this.matrixValues = new Float32Array(32);
    this.cssWidth = canvas.clientWidth;
    this.cssHeight = canvas.clientHeight;
    this.pixelRatio = 1;
    this.frameRequested = false;
    /** @type {(() => void) | null} */
    this.onFrame = null;
    this.gl = canvas.getContext("webgl2", {
      alpha: false,
      antialias: false,
      depth: false,
      stencil: false,
      preserveDrawingBuffer: false,
    });
    /** @type {(WebGLBuffer | null)[]} */
    this.buffers = [null, null, null, null, null, null, null];
    this.byteLengths = [0, 0, 0, 0, 0, 0, 0];
    // The bytes of every buffer shown, kept to rebuild them after a lost context.
    /** @type {(Uint8Array | null)[]} */
    this.kept = [null, null, null, null, null, null, null];
    this.contextLost = false;
    this.sceneShown = false;
    this.highlightShown = false;
    /** @type {WebGLProgram | null} */
    this.program = null;
    this.attributes = { position: 0, color: 0, offset: 0 };
    /** @type {Record<"projection" | "modelView" | "pixelToClip" | "pointSize", WebGLUniformLocation | null>} */
    this.uniforms = { projection: null, modelView: null, pixelToClip: null, pointSize: null };
    /** @type {WebGLVertexArrayObject | null} */
    this.vertexArray = null;
    if (this.gl) this.createProgram(this.gl);
  }

  get available() {
    return this.gl !== null;
  }

  /** @param {WebGL2RenderingContext} gl */
  createProgram(gl) {
    const program = linkProgram(gl);
    this.program = program;
    this.attributes = {
      position: gl.getAttribLocation(program, "aPosition"),
      color: gl.getAttribLocation(program, "aColor"),
      offset: gl.getAttribLocation(program, "aOffset"),
    };
    this.uniforms = {
      projection: gl.getUniformLocation(program, "uProjection"),
      modelView: gl.getUniformLocation(program, "uModelView"),
      pixelToClip: gl.getUniformLocation(program, "uPixelToClip"),
      pointSize: gl.getUniformLocation(program, "uPointSize"),
    };
    this.vertexArray = gl.createVertexArray();
  }

  /**
   * The canvas is `width` x `height` CSS pixels.
   * @param {number} width
   * @param {number} height
   * @param {number} pixelRatio
   */
  resize(width, height, pixelRatio) {
    this.cssWidth = width;
    this.cssHeight = height;
    this.pixelRatio = pixelRatio;
    this.canvas.width = Math.max(1, Math.round(width * pixelRatio));
    this.canvas.height = Math.max(1, Math.round(height * pixelRatio));
    this.requestFrame();
  }

  /**
   * Replaces the buffers the core handed over, then draws. A new scene
   * replaces all of them and drops the highlight.
   * @param {HandedBuffer[]} handedOver
   * @param {boolean} highlightShown
   * @param {boolean} newScene
   */
  replaceBuffers(handedOver, highlightShown, newScene) {
    if (!this.gl) return;
    const gl = this.gl;
    if (newScene) {
      for (const which of [kMeshVertices, kMeshEdges, kRegionLines, kHighlight, kHeatMap]) this.setBuffer(gl, which, null);
      this.sceneShown = true;
    }
    for (const { which, bytes } of handedOver) this.setBuffer(gl, which, bytes);
    this.highlightShown = highlightShown && this.byteLengths[kHighlight] > 0;
    gl.bindBuffer(gl.ARRAY_BUFFER, null);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, null);
    this.requestFrame();
  }

  /**
   * @param {WebGL2RenderingContext} gl
   * @param {number} which
   * @param {Uint8Array | null} bytes
   */
  setBuffer(gl, which, bytes) {
    if (this.buffers[which]) gl.deleteBuffer(this.buffers[which]);
    this.buffers[which] = null;
    this.byteLengths[which] = 0;
    this.kept[which] = bytes;
    if (bytes === null) return;
    // Without a context the bytes wait for it to come back.
    this.byteLengths[which] = bytes.byteLength;
    if (this.contextLost) return;
    const target = which === kMeshEdges ? gl.ELEMENT_ARRAY_BUFFER : gl.ARRAY_BUFFER;
    const buffer = gl.createBuffer();
    // The vertex array is unbound while an index buffer is uploaded: it
    // belongs to no draw yet.
    gl.bindVertexArray(null);
    gl.bindBuffer(target, buffer);
    gl.bufferData(target, bytes, gl.STATIC_DRAW);
    this.buffers[which] = buffer;
  }

  /**
   * The context was lost: its program and buffers are gone. Buffers handed
   * over meanwhile are kept until restoreContext.
   */
  loseContext() {
    this.contextLost = true;
    this.program = null;
    this.vertexArray = null;
    this.buffers.fill(null);
  }

  /** The context is back: the program and every kept buffer made again, then drawn. */
  restoreContext() {
    if (!this.gl) return;
    const gl = this.gl;
    this.contextLost = false;
    this.createProgram(gl);
    this.kept.forEach((bytes, which) => this.setBuffer(gl, which, bytes));
    gl.bindBuffer(gl.ARRAY_BUFFER, null);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, null);
    this.requestFrame();
  }

  /**
   * Fills the leaves under the picture with `vertices` (ColoredVertex bytes,
   * as orrelin_scene_heat_map hands them over), or removes the fill (null).
   * @param {Uint8Array | null} vertices
   */
  setHeatMap(vertices) {
    if (!this.gl) return;
    this.setBuffer(this.gl, kHeatMap, vertices);
    this.gl.bindBuffer(this.gl.ARRAY_BUFFER, null);
    this.requestFrame();
  }

  /**
   * Outlines a region over the picture with `vertices` (WebVertex bytes, as
   * orrelin_region_outline makes them), or removes the outline (null).
   * @param {Uint8Array | null} vertices
   * @param {boolean} step the step replay's outline, else the pointed-at row's
   */
  setOutline(vertices, step = false) {
    if (!this.gl) return;
    this.setBuffer(this.gl, step ? kStepOutline : kOutline, vertices);
    this.gl.bindBuffer(this.gl.ARRAY_BUFFER, null);
    this.requestFrame();
  }

  // Draws once before the next repaint, however many changes come first.
  requestFrame() {
    if (this.frameRequested) return;
    this.frameRequested = true;
    requestAnimationFrame(() => {
      this.frameRequested = false;
      this.draw();
      if (this.onFrame) this.onFrame();
    });
  }

  /**
   * @param {WebGL2RenderingContext} gl
   * @param {number} which
   * @param {number} stride
   */
  bindVertices(gl, which, stride) {
    const a = this.attributes;
    gl.bindBuffer(gl.ARRAY_BUFFER, this.buffers[which]);
    gl.enableVertexAttribArray(a.position);
    gl.vertexAttribPointer(a.position, 2, gl.FLOAT, false, stride, 0);
    gl.enableVertexAttribArray(a.color);
    gl.vertexAttribPointer(a.color, 3, gl.FLOAT, false, stride, 8);
    if (stride === kWebVertexBytes) {
      gl.enableVertexAttribArray(a.offset);
      gl.vertexAttribPointer(a.offset, 2, gl.FLOAT, false, stride, 20);
    } else {
      gl.disableVertexAttribArray(a.offset);
      gl.vertexAttrib2f(a.offset, 0, 0);
    }
  }

  /** Draws the picture now. */
  draw() {
    const gl = this.gl;
    if (!gl || this.contextLost) return;
    gl.viewport(0, 0, this.canvas.width, this.canvas.height);
    gl.clearColor(0, 0, 0, 1);
    gl.clear(gl.COLOR_BUFFER_BIT);
    if (!this.sceneShown) return;
    gl.useProgram(this.program);
    gl.bindVertexArray(this.vertexArray);
    this.matrices(this.matrixValues);
    gl.uniformMatrix4fv(this.uniforms.projection, false, this.matrixValues.subarray(0, 16));
    gl.uniformMatrix4fv(this.uniforms.modelView, false, this.matrixValues.subarray(16, 32));
    gl.uniform2f(this.uniforms.pixelToClip, 2 / this.cssWidth, 2 / this.cssHeight);
    gl.uniform1f(this.uniforms.pointSize, 6 * this.pixelRatio);

    if (this.buffers[kHeatMap]) {
      this.bindVertices(gl, kHeatMap, kColoredVertexBytes);
      gl.drawArrays(gl.TRIANGLES, 0, this.byteLengths[kHeatMap] / kColoredVertexBytes);
    }
    if (this.buffers[kMeshVertices] && this.buffers[kMeshEdges]) {
      this.bindVertices(gl, kMeshVertices, kColoredVertexBytes);
      gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, this.buffers[kMeshEdges]);
      gl.drawElements(gl.LINES, this.byteLengths[kMeshEdges] / 4, gl.UNSIGNED_INT, 0);
    }
    if (this.highlightShown) {
      const count = this.byteLengths[kHighlight] / kWebVertexBytes;
      this.bindVertices(gl, kHighlight, kWebVertexBytes);
      gl.drawArrays(gl.TRIANGLES, 0, count - 1);
      gl.drawArrays(gl.POINTS, count - 1, 1);
    }
    if (this.buffers[kRegionLines]) {
      this.bindVertices(gl, kRegionLines, kWebVertexBytes);
      gl.drawArrays(gl.TRIANGLES, 0, this.byteLengths[kRegionLines] / kWebVertexBytes);
    }
    for (const outline of [kStepOutline, kOutline]) {
      if (!this.buffers[outline]) continue;
      this.bindVertices(gl, outline, kWebVertexBytes);
      gl.drawArrays(gl.TRIANGLES, 0, this.byteLengths[outline] / kWebVertexBytes);
    }
    gl.bindVertexArray(null);
  }
}
