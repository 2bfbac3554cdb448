#pragma once
// The four vertex buffers in the drawing context and the three draw passes.

#include <cstddef>
#include <cstdint>

#include "orrelin/render/buffer_contents.h"

// Replaces buffer `name` whole: deletes it, generates a new name, binds it to
// `target` and uploads `bytes` bytes with GL_STATIC_DRAW. The buffer stays bound.
void replaceGlBuffer(std::uint32_t& name, BufferTarget target, const void* data, std::size_t bytes);

// Clears the window, draws mesh edges, the highlight (after a click) and the
// split lines over each other, and swaps. Before the first scene it only
// clears to black. While the view and the mesh stay the same, the mesh pass's
// picture is copied back instead of being drawn again.
void displayScene();

// The mesh buffers are about to be replaced: the picture of the mesh pass
// that displayScene keeps for an unchanged view is stale.
void meshBuffersReplaced();

// Deletes the four buffer names, in the order of the record, when start-up
// enabled buffers and a load fetched the entry points. Requires: the drawing
// context is current.
void releaseGpuBuffers();
