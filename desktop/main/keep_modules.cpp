// Linked into sanitizer builds only. Keeps every shared module loaded until
// the process ends, so that the leak report at exit can still name the module
// a leaked block came from: graphics drivers unloaded earlier show up as
// "unknown module" and could not be told apart from the program's own code.
extern "C" int dlclose(void*) {
    return 0;
}
