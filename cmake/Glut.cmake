# orrelin_glut: freeglut with OpenGL and GLU, for the targets of the drawing
# window. Linux: the system's freeglut and Mesa. Windows: freeglut built as a
# static library (scripts/build-win32 puts it on CMAKE_PREFIX_PATH) and the
# system's OpenGL.
add_library(orrelin_glut INTERFACE)
if(WIN32)
  find_package(FreeGLUT CONFIG REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  target_link_libraries(orrelin_glut INTERFACE FreeGLUT::freeglut_static glu32 opengl32 gdi32 winmm comdlg32)
  target_compile_definitions(orrelin_glut INTERFACE FREEGLUT_STATIC)
else()
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
  find_package(GLUT REQUIRED)
  target_link_libraries(orrelin_glut INTERFACE GLUT::GLUT OpenGL::GL OpenGL::GLU OpenGL::GLX)
endif()
