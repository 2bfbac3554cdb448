#pragma once
// The Info dialog beside the drawing window: its template (controls, texts,
// positions in dialog units), its command and key identifiers, its place
// beside its owner, and the dialog object that holds the pending quadtree
// properties. The object's handlers belong to the desktop program
// (desktop/dialog); the window itself is the platform's (desktop/platform).

#include <cstdint>
#include <span>
#include <string>

// A window of the platform's user interface (the drawing window, the Info
// dialog); only the platform layer knows what is behind it.
struct PlatformWindow;

// Dialog template and control identifiers.
inline constexpr int IDD_INFO = 103;
inline constexpr int IDR_ACCELERATORS = 104;
inline constexpr int IDC_MAX_DEPTH = 1001;
inline constexpr int IDC_TRIANGLES_PER_REGION = 1002;
inline constexpr int IDC_APPLY = 3;
inline constexpr int IDC_OPEN_FILE = 5;
inline constexpr int IDC_STATIC = -1;
// Commands of the two accelerators.
inline constexpr int ID_TOGGLE_ACTIVE_WINDOW = 40001;
inline constexpr int ID_EXIT_PROGRAM = 40002;

inline constexpr const char* kInfoDialogCaption = "Info";
// Size of the dialog's client area in dialog units.
inline constexpr int kInfoDialogWidthUnits = 161;
inline constexpr int kInfoDialogHeightUnits = 367;

// A top-level window's outer rectangle in screen pixels, its frame included
// (right and bottom exclusive), and a point on the screen.
struct WindowFrame {
    int left = 0, top = 0, right = 0, bottom = 0;
};
struct ScreenPoint {
    int x = 0, y = 0;
};

// Where the Info dialog's frame goes when it is created: 5 pixels right of its
// owner's frame and 5 below that frame's top edge, wherever that is (not
// clamped to the screen). The dialog does not follow its owner afterwards.
inline ScreenPoint infoDialogPlace(const WindowFrame& owner) {
    return ScreenPoint{owner.right + 5, owner.top + 5};
}

enum class ControlKind { Edit, PushButton, GroupBox, Static };

struct DialogControl {
    ControlKind kind;
    int id;
    const char* text;
    int x, y, width, height;  // dialog units
};

// The 35 controls in template order, which is also the tab order; only the
// two edits and the two buttons are tab stops.
std::span<const DialogControl> infoDialogControls();

// Whether the control takes the keyboard focus with Tab.
inline bool isTabStop(const DialogControl& control) {
    return control.kind == ControlKind::Edit || control.kind == ControlKind::PushButton;
}

// Dialog units to pixels for a dialog whose font has the average character
// width `baseWidth` and height `baseHeight` (the platform's base units):
// x * baseWidth / 4 and y * baseHeight / 8, rounded to the nearest pixel.
int dialogUnitsToPixelsX(int units, int baseWidth);
int dialogUnitsToPixelsY(int units, int baseHeight);

// What the platform's dialog window reports to its object.
enum class DialogMessage { InitDialog, Destroy, Command };

// The dialog's message procedure: the platform hands every message of the
// dialog window `window` to `procedure` with the object it was created for.
// `handled` tells whether the message map took the message; the result is
// the message's result then (for InitDialog: nonzero lets the platform put
// the focus on the first tab stop).
using DialogProcedure = std::intptr_t (*)(void* object, PlatformWindow* window, DialogMessage message, int commandId,
                                          bool& handled);

// The Info dialog's object. It lives in the application record from start to
// exit; its window exists from start-up until the drawing window goes.
class QuadtreeInfoDialog {
   public:
    std::int32_t m_trianglesPerRegion = 0;  // pending; shown in and read from edit 1002
    std::int32_t m_maxDepth = 0;            // pending; shown in and read from edit 1001
    PlatformWindow* m_hWndDrawing = nullptr;
    std::string m_fileName;            // the path chosen by Open File
    PlatformWindow* m_hWnd = nullptr;  // the dialog window, null while none exists

    // Creates the dialog window owned by `owner` (hidden; its initialisation
    // fills the edits, registers it for key routing, places and shows it).
    // Returns its handle, or null.
    PlatformWindow* Create(PlatformWindow* owner);

    // The message map: command ids 3, 5, 40001, 40002, initialisation and
    // destruction. Anything else is not handled.
    bool ProcessWindowMessage(DialogMessage message, int commandId, std::intptr_t& result);

    void OnInitDialog();
    void OnDestroy();
    // Reads and judges both fields; when they are valid and a scene is
    // loaded, rebuilds the quadtree with them.
    void OnApply();
    bool ValidateProperties();
    // Lets the user choose a file and loads it. True when a file was chosen.
    bool OnOpenFile();
    bool ChooseFile();
    void OnToggleActiveWindow();
    void OnExitProgram();

    static std::intptr_t DialogProc(void* object, PlatformWindow* window, DialogMessage message, int commandId,
                                    bool& handled);
};
