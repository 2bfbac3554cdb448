#pragma once
// The user-interface services the program needs from the platform: message
// boxes, window activation and enabling, the screen size, and the event pump
// that lets the platform's toolkit run inside the windowing library's main
// loop. One implementation per platform, chosen by the build.

#include <string>

#include "app_state.h"  // PlatformWindow

namespace platform {

// Starts the toolkit. Call once, first thing in the entry, before the
// windowing library opens its display.
void startServices();

// Stops the toolkit and releases its objects. Call once, after the windowing
// library's main loop has returned (or when start-up gives up).
void stopServices();

// Size of the primary screen in pixels.
void primaryScreenSize(int& width, int& height);

// Binds the drawing window: call right after it was created, while its OpenGL
// context is current. Returns its handle (owner of message boxes).
PlatformWindow* attachDrawingWindow();

// Lets the toolkit's events be handled while the windowing library owns the
// main loop (installed as the library's idle function; it blocks while both
// sides are idle, so an idle program takes no processor time).
void startEventPump();

enum class MessageIcon { Error, Information, Warning };

// A modal message box with one OK button, owned by `owner` (null: no owner).
// Returns when the user has closed it. Input that reached the drawing window
// meanwhile is discarded.
void showMessageBox(PlatformWindow* owner, const std::string& text, const char* caption, MessageIcon icon);

// Enables or disables a window for user input (null: nothing happens).
void enableWindow(PlatformWindow* window, bool enable);
bool isWindowEnabled(PlatformWindow* window);

// Brings a window to the front and gives it the keyboard focus.
void setForegroundWindow(PlatformWindow* window);

// Sends what the drawing window has asked of the display so far (a cursor
// change before a long operation, say) to the screen now.
void flushDrawingWindow();

}  // namespace platform
