#pragma once
// The buffer-object entry points of the drawing context, fetched by name.

#include "orrelin/desktop/gl_headers.h"

struct VboFunctions {
    PFNGLGENBUFFERSARBPROC glGenBuffersARB = nullptr;
    PFNGLBINDBUFFERARBPROC glBindBufferARB = nullptr;
    PFNGLBUFFERDATAARBPROC glBufferDataARB = nullptr;
    PFNGLDELETEBUFFERSARBPROC glDeleteBuffersARB = nullptr;
};

extern VboFunctions vboFunctions;

// The start-up check of the current context: version 1.5 or later and the
// buffer-object extension, and the driver actually hands out the four entry
// points (a driver that lists the extension but has no functions for it is
// treated like one without it).
bool checkBufferObjectSupport();

// Fetches the four entry points into vboFunctions, in the order of the
// record, storing what the driver returns. Requires: a current context.
void loadVboFunctions();

// Whether loadVboFunctions has run and found all four.
bool vboFunctionsLoaded();
