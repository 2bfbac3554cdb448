#pragma once
// The user-interface services the program needs from the platform: message
// boxes, window activation and enabling, the screen size, and the event pump
// that lets the platform's toolkit run inside the windowing library's main
// loop. One implementation per platform, chosen by the build.

#include <cstdint>
#include <string>

#include "orrelin/ui/info_dialog.h"  // PlatformWindow, DialogProcedure

namespace platform {

// Starts the toolkit on the display the windowing library will open: the
// one its `-display` option names, if the command line has one. Call once,
// first thing in the entry, before the windowing library's initialisation
// takes its options out of the command line.
void startServices(int argc, char** argv);

// Stops the toolkit and releases its objects. Call once, after the windowing
// library's main loop has returned (or when start-up gives up).
void stopServices();

// Size of the primary screen in pixels.
void primaryScreenSize(int& width, int& height);

// Binds the drawing window: call right after it was created, while its OpenGL
// context is current. Returns its handle (owner of message boxes). Installs
// the key routing on it, so Esc and Ctrl+Tab work before any scene.
PlatformWindow* attachDrawingWindow(const char* title);

// Lets the toolkit's events be handled while the windowing library owns the
// main loop (installed as the library's idle function; it blocks while both
// sides are idle, so an idle program takes no processor time).
void startEventPump();

enum class MessageIcon { Error, Information, Warning };

// A modal message box with one OK button, owned by `owner` (null: no owner).
// Returns when the user has closed it. The owner takes no input meanwhile;
// the drawing window's events are handled as they come, its input dropped
// while it is disabled.
void showMessageBox(PlatformWindow* owner, const std::string& text, const char* caption, MessageIcon icon);

// Enables or disables a window for user input (null: nothing happens).
void enableWindow(PlatformWindow* window, bool enable);

// Sets the drawing window's title (the windowing library's, and the text
// window managers show, which on Linux is read as UTF-8).
void setDrawingWindowTitle(const std::string& title);

// Brings a window to the front and gives it the keyboard focus.
void setForegroundWindow(PlatformWindow* window);

// Whether more input for the drawing window is waiting: the windowing
// library handles it right after the current callback, before it draws
// what was asked for with glutPostRedisplay.
bool drawingInputWaiting();

// Sends what the drawing window has asked of the display so far (a cursor
// change before a long operation, say) to the screen now.
void flushDrawingWindow();

// The window that has the keyboard focus among the program's windows: the
// drawing window, the Info dialog, or null for anything else.
PlatformWindow* activeWindow();

// --- The Info dialog ---------------------------------------------------------

// Creates the Info dialog from its template, owned by `owner`, hidden. Every
// message of the new window goes to `procedure` with `object`, the first
// (InitDialog) before this returns. Returns the dialog's handle, or null.
PlatformWindow* createInfoDialog(PlatformWindow* owner, DialogProcedure procedure, void* object);

// Writes `value` into the edit `id` as an unsigned decimal number.
void setDialogItemNumber(PlatformWindow* dialog, int id, std::uint32_t value);

// The number in the edit `id`, read as unsigned: leading white space skipped,
// decimal digits up to the first other character; no digit, or a value beyond
// 32 bits, reads as 0.
std::uint32_t dialogItemNumber(PlatformWindow* dialog, int id);

// Moves the keyboard focus into the edit `id` and selects its text.
void focusDialogItem(PlatformWindow* dialog, int id);

// The window that owns the dialog (its parent in the window hierarchy).
PlatformWindow* dialogOwner(PlatformWindow* dialog);

// The outer rectangle of a top-level window, its window manager's frame
// included (waits until a window just shown has its frame).
WindowFrame windowFrame(PlatformWindow* window);

// Moves the dialog's frame to `place` on the screen (not clamped to it), on
// top of the other windows, then shows and activates it.
void showDialogAt(PlatformWindow* dialog, ScreenPoint place);

// The file chooser of Open File, owned by `owner`: one filter "Triangle"
// (*.tri), starting in the current directory, existing files only. True with
// the full path in `path` when a file was chosen; false when cancelled.
bool chooseTriangleFile(PlatformWindow* owner, std::string& path);

// --- Key routing -------------------------------------------------------------

// Registers a dialog for key routing: from now on the accelerators (Ctrl+Tab,
// Esc) reach its commands from both windows, and keys in it get its keyboard
// navigation. Registering twice keeps one entry. False when the routing
// cannot be set up (the dialog then works without the two keys).
bool registerDialogKeys(PlatformWindow* dialog);

// Takes the dialog off the key routing; false when it was not registered.
bool unregisterDialogKeys(PlatformWindow* dialog);

using KeyboardHandler = void (*)(unsigned char key, int x, int y);
using SpecialKeyHandler = void (*)(int key, int x, int y);

// The drawing window's key handlers, called for keys the routing leaves to
// the drawing window. Until a scene registers them such keys do nothing.
void registerDrawingKeyHandlers(KeyboardHandler keyboard, SpecialKeyHandler special);

using MouseHandler = void (*)(int button, int state, int x, int y);
using MotionHandler = void (*)(int x, int y);

// The drawing window's mouse button and motion handlers, on the current
// window. They get nothing while a modal window disables the drawing window.
void registerDrawingPointerHandlers(MouseHandler mouse, MotionHandler motion);

// Destroys the drawing window `glutWindow`, which ends the program. While a
// modal window is open (a box of the dialog, which leaves the drawing window
// its keys), the window goes once the modal window has closed, as it does
// under the windowing library's own loop on Windows.
void destroyDrawingWindow(int glutWindow);

// The drawing window is going: its dialog goes with it (hidden now, released
// when the services stop).
void drawingWindowClosing();

}  // namespace platform
