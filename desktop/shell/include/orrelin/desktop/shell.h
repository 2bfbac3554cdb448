#pragma once
// Scene loading in the drawing window, the connection of the scene
// operations to it, and the texts and paths start-up uses.

#include <string>

#include "orrelin/scene/scene.h"

#ifdef _WIN32
inline const std::string kDefaultMeshPath = std::string(".\\Data\\") + kDefaultMeshName;
#else
inline const std::string kDefaultMeshPath = std::string("./Data/") + kDefaultMeshName;
#endif
inline constexpr const char* kNoBufferObjectsText =
    "OpenGL Vertex Buffer Objects are not supported by your graphics card. Update your graphics card drivers to at "
    "least OpenGL version 1.5.";

// After the buffer-object check passed: the scene operations upload to and
// draw in the drawing window from now on.
void connectDrawingWindow();

// Replaces the scene by the mesh in the file at `path` and frames it; on
// failure tells the user and keeps everything as it was.
void loadScene(const std::string& path);
