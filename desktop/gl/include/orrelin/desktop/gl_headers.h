#pragma once
// OpenGL, GLU and the windowing library, with the buffer-object declarations
// of the ARB extension.
#include <GL/freeglut.h>
#include <GL/glext.h>
