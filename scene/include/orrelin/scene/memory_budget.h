#pragma once
// How much memory a quadtree build may take on this machine, now.

#include <cstddef>

// Half of what is left: of the machine's physical memory, and of the address
// space the process may still map (a ulimit, or the 2 GiB of a 32-bit Windows
// process); in WebAssembly, of what the module's memory may still grow to
// (at most 4 GiB) and what its allocator holds free. Never 0.
std::size_t quadtreeMemoryBudget();
