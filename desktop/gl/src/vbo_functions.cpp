#include "orrelin/desktop/vbo_functions.h"

#include "orrelin/desktop/gl_info.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <GL/glx.h>
#endif

VboFunctions vboFunctions;

namespace {

// The driver's entry point called `name`, or null.
template <typename Function>
Function lookup(const char* name) {
#ifdef _WIN32
    // Through a generic pointer: the lookup's own type says nothing of the function's.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(wglGetProcAddress(name)));
#else
    return reinterpret_cast<Function>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
#endif
}

const char* glText(GLenum which) {
    return reinterpret_cast<const char*>(glGetString(which));
}

}  // namespace

bool checkBufferObjectSupport() {
    if (!bufferObjectsSupported(glText(GL_VERSION), glText(GL_EXTENSIONS))) return false;
    return lookup<PFNGLGENBUFFERSARBPROC>("glGenBuffersARB") != nullptr &&
           lookup<PFNGLBINDBUFFERARBPROC>("glBindBufferARB") != nullptr &&
           lookup<PFNGLBUFFERDATAARBPROC>("glBufferDataARB") != nullptr &&
           lookup<PFNGLDELETEBUFFERSARBPROC>("glDeleteBuffersARB") != nullptr;
}

void loadVboFunctions() {
    vboFunctions.glGenBuffersARB = lookup<PFNGLGENBUFFERSARBPROC>("glGenBuffersARB");
    vboFunctions.glBindBufferARB = lookup<PFNGLBINDBUFFERARBPROC>("glBindBufferARB");
    vboFunctions.glBufferDataARB = lookup<PFNGLBUFFERDATAARBPROC>("glBufferDataARB");
    vboFunctions.glDeleteBuffersARB = lookup<PFNGLDELETEBUFFERSARBPROC>("glDeleteBuffersARB");
}

bool vboFunctionsLoaded() {
    return vboFunctions.glGenBuffersARB != nullptr && vboFunctions.glBindBufferARB != nullptr &&
           vboFunctions.glBufferDataARB != nullptr && vboFunctions.glDeleteBuffersARB != nullptr;
}
