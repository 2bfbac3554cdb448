#pragma once
// Reading the driver's version and extension strings, without a driver: the
// drawing window hands in what glGetString returned.

// The decimal number at the start of a version string ("4.5 (Compatibility
// Profile) Mesa 22.3.6" gives 4.5), read the way atof reads it but without
// depending on the C locale, then rounded to float. A string that does not
// start with a number, a number beyond double's range, or a null string
// gives 0.
float parseVersionNumber(const char* version);

// True when `name` appears in the space-separated `extensions` list as a whole
// word: the occurrence starts the list or follows a space, and is followed by
// a space or the end. Only the space character separates names. A name that
// contains a space, or a null list, gives false.
bool extensionListContains(const char* extensions, const char* name);

// Whether a driver with this version and these extensions offers the vertex
// buffer objects the drawing window uses: version 1.5 or later (compared in
// single precision) and "GL_ARB_vertex_buffer_object" in the list.
bool bufferObjectsSupported(const char* version, const char* extensions);

inline constexpr const char* kBufferObjectExtension = "GL_ARB_vertex_buffer_object";
