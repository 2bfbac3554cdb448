#pragma once
// The program's start-up, main loop and scene loading in the drawing window.

#include <string>

inline constexpr const char* kWindowTitle = "Orrelin v1.1";
#ifdef _WIN32
inline constexpr const char* kDefaultMeshPath = ".\\Data\\triangles_1.tri";
#else
inline constexpr const char* kDefaultMeshPath = "./Data/triangles_1.tri";
#endif
inline constexpr const char* kNoBufferObjectsText =
    "OpenGL Vertex Buffer Objects are not supported by your graphics card. Update your graphics card drivers to at "
    "least OpenGL version 1.5.";

// The whole program: opens the drawing window, checks the driver, loads the
// default mesh and runs the main loop until the drawing window is gone.
// Always returns 0.
int runProgram(int argc, char** argv);

// After the buffer-object check passed: the scene operations upload to and
// draw in the drawing window from now on.
void connectDrawingWindow();

// Replaces the scene by the mesh in the file at `path` and frames it; on
// failure tells the user and keeps everything as it was.
void loadScene(const std::string& path);

// "The file "PATH" could not be opened."
std::string loadErrorText(const std::string& path);
