// The Windows platform layer: the system's message boxes, dialog manager,
// file chooser and a message hook that gives the Info dialog its keyboard
// handling and the two accelerators while freeglut owns the message loop.

#include <GL/freeglut.h>
#include <commdlg.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "message_hook_win32.h"
#include "orrelin/desktop/platform.h"

namespace {

HWND hwndOf(PlatformWindow* window) {
    return reinterpret_cast<HWND>(window);
}
PlatformWindow* windowOf(HWND hwnd) {
    return reinterpret_cast<PlatformWindow*>(hwnd);
}

}  // namespace

// Handles ordered as unsigned 32-bit numbers.
bool message_hook_detail::HandleOrder::operator()(HWND a, HWND b) const {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(a)) <
           static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(b));
}

MessageHookRegistry messageHookRegistry;

// Stops the enumeration at the first menu window ("#32768") and stores it.
BOOL CALLBACK FindMenuWindowProc(HWND window, LPARAM lParam) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strncmp(className, "#32768", 6) == 0) {
        *reinterpret_cast<HWND*>(lParam) = window;
        return FALSE;
    }
    return TRUE;
}

// Offers each removed keyboard message to the accelerators and then to the
// keyboard handling of each registered, enabled dialog; a message taken there
// is emptied so that the loop's own dispatch does nothing with it.
LRESULT CALLBACK GetMessageHookProc(int code, WPARAM wParam, LPARAM lParam) {
    MSG* message = reinterpret_cast<MSG*>(lParam);
    // The cheap tests first; the desktop-wide search for a menu window only
    // for the messages that pass them (it has no side effects).
    bool route = code >= 0 && wParam == PM_REMOVE && message->message >= WM_KEYFIRST && message->message <= 0x0109;
    if (route) {
        HWND menu = nullptr;
        EnumWindows(FindMenuWindowProc, reinterpret_cast<LPARAM>(&menu));
        route = menu == nullptr;
    }
    if (route) {
        bool taken = false;
        for (HWND dialog : messageHookRegistry.dialogs) {
            if (!IsWindow(dialog) || !IsWindowEnabled(dialog)) continue;
            if (TranslateAcceleratorA(dialog, messageHookRegistry.accelerators, message) ||
                IsDialogMessageA(dialog, message)) {
                taken = true;
                break;
            }
        }
        if (taken) {
            message->hwnd = nullptr;
            message->message = WM_NULL;
            message->wParam = 0;
            message->lParam = 0;
        }
    }
    return CallNextHookEx(messageHookRegistry.hook, code, wParam, lParam);
}

HRESULT InstallMessageHook(HWND dialog) {
    // A handle that names no window (a dialog that could not be created)
    // would be registered and keep the hook for nothing.
    if (dialog == nullptr || !IsWindow(dialog)) return E_INVALIDARG;
    if (messageHookRegistry.hook == nullptr) {
        messageHookRegistry.hook =
            SetWindowsHookExA(WH_GETMESSAGE, GetMessageHookProc, GetModuleHandleA(nullptr), GetCurrentThreadId());
        if (messageHookRegistry.hook == nullptr) return E_UNEXPECTED;
    }
    messageHookRegistry.dialogs.insert(dialog);
    messageHookRegistry.moduleInstance = GetModuleHandleA(nullptr);
    messageHookRegistry.accelerators =
        LoadAcceleratorsA(messageHookRegistry.moduleInstance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    return S_OK;
}

HRESULT UninstallMessageHook(HWND dialog) {
    if (messageHookRegistry.dialogs.erase(dialog) == 0) return E_INVALIDARG;
    if (!messageHookRegistry.dialogs.empty()) return S_OK;
    if (messageHookRegistry.hook == nullptr) return S_OK;
    HRESULT result = S_OK;
    if (!UnhookWindowsHookEx(messageHookRegistry.hook)) {
        const DWORD error = GetLastError();
        result = static_cast<HRESULT>(error > 0 ? ((error & 0x0000FFFFu) | 0x80070000u) : error);
    }
    messageHookRegistry.hook = nullptr;
    return result;
}

namespace {

// The dialog window's object and procedure, from creation to WM_NCDESTROY.
struct DialogBinding {
    DialogProcedure procedure;
    void* object;
};

INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(window, DWLP_USER, lParam);
    auto* binding = reinterpret_cast<DialogBinding*>(GetWindowLongPtrA(window, DWLP_USER));
    if (binding == nullptr) return FALSE;
    bool handled = false;
    std::intptr_t result = 0;
    switch (message) {
        case WM_INITDIALOG:
            result = binding->procedure(binding->object, windowOf(window), DialogMessage::InitDialog, 0, handled);
            // The result itself decides the first focus.
            return handled ? static_cast<INT_PTR>(result) : FALSE;
        case WM_DESTROY:
            result = binding->procedure(binding->object, windowOf(window), DialogMessage::Destroy, 0, handled);
            break;
        case WM_COMMAND:
            result = binding->procedure(binding->object, windowOf(window), DialogMessage::Command,
                                        static_cast<int>(LOWORD(wParam)), handled);
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrA(window, DWLP_USER, 0);
            delete binding;
            return FALSE;
        default: return FALSE;
    }
    if (!handled) return FALSE;
    SetWindowLongPtrA(window, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
    return TRUE;
}

// The request's flags name a hook procedure (OFN_ENABLEHOOK), and the common
// dialog library refuses such a request without one; this one leaves every
// message to the chooser.
UINT_PTR CALLBACK chooserHook(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

UINT iconStyle(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Error: return MB_ICONERROR;
        case platform::MessageIcon::Warning: return MB_ICONWARNING;
        case platform::MessageIcon::Information: break;
    }
    return MB_ICONINFORMATION;
}

}  // namespace

namespace platform {

void startServices(int, char**) {}
void stopServices() {}
void startEventPump() {}
void flushDrawingWindow() {}
// Every camera step draws at once, as the program has always done on Windows.
bool drawingInputWaiting() {
    return false;
}
void drawingWindowClosing() {}

void primaryScreenSize(int& width, int& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

PlatformWindow* attachDrawingWindow(const char* title) {
    return windowOf(FindWindowA(nullptr, title));
}

void showMessageBox(PlatformWindow* owner, const std::string& text, const char* caption, MessageIcon icon) {
    MessageBoxA(hwndOf(owner), text.c_str(), caption, MB_OK | iconStyle(icon));
}

void enableWindow(PlatformWindow* window, bool enable) {
    if (window != nullptr) EnableWindow(hwndOf(window), enable ? TRUE : FALSE);
}

// A disabled window gets no input from the system.
void registerDrawingPointerHandlers(MouseHandler mouse, MotionHandler motion) {
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
}

// The windowing library destroys it from its own loop, after any modal loop.
void destroyDrawingWindow(int glutWindow) {
    glutDestroyWindow(glutWindow);
}

void setDrawingWindowTitle(const std::string& title) {
    // Title and paths are both in the ANSI code page.
    glutSetWindowTitle(title.c_str());
}

void setForegroundWindow(PlatformWindow* window) {
    if (window != nullptr) SetForegroundWindow(hwndOf(window));
}

PlatformWindow* activeWindow() {
    return windowOf(GetActiveWindow());
}

PlatformWindow* createInfoDialog(PlatformWindow* owner, DialogProcedure procedure, void* object) {
    auto* binding = new DialogBinding{procedure, object};
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INFO), hwndOf(owner),
                                     dialogProcedure, reinterpret_cast<LPARAM>(binding));
    if (dialog == nullptr) delete binding;  // never reached the dialog procedure
    return windowOf(dialog);
}

void setDialogItemNumber(PlatformWindow* dialog, int id, std::uint32_t value) {
    SetDlgItemInt(hwndOf(dialog), id, value, FALSE);
}

std::uint32_t dialogItemNumber(PlatformWindow* dialog, int id) {
    return GetDlgItemInt(hwndOf(dialog), id, nullptr, FALSE);
}

void focusDialogItem(PlatformWindow* dialog, int id) {
    HWND window = hwndOf(dialog);
    SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, id)), TRUE);
}

PlatformWindow* dialogOwner(PlatformWindow* dialog) {
    return windowOf(GetParent(hwndOf(dialog)));  // a pop-up's parent is its owner
}

WindowFrame windowFrame(PlatformWindow* window) {
    RECT rect{};
    GetWindowRect(hwndOf(window), &rect);
    return WindowFrame{rect.left, rect.top, rect.right, rect.bottom};
}

void showDialogAt(PlatformWindow* dialog, ScreenPoint place) {
    SetWindowPos(hwndOf(dialog), HWND_TOP, place.x, place.y, 0, 0, SWP_NOSIZE);
    ShowWindow(hwndOf(dialog), SW_SHOW);
}

bool chooseTriangleFile(PlatformWindow* owner, std::string& path) {
    char fileName[MAX_PATH] = {};
    OPENFILENAMEA request;
    std::memset(&request, 0, sizeof request);
    static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEA) == 88, "the request's size on 32-bit Windows");
    request.lStructSize = sizeof request;
    request.hwndOwner = hwndOf(owner);
    request.lpstrFile = fileName;
    request.nMaxFile = MAX_PATH;
    request.lpstrFilter = "Triangle\0*.tri\0\0";
    request.nFilterIndex = 1;
    request.lpstrInitialDir = ".\\";
    request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING | OFN_ENABLEHOOK;
    request.lpfnHook = chooserHook;
    if (GetOpenFileNameA(&request) != 1) return false;
    path = fileName;
    return true;
}

// The message hook gives the dialog its keys while the windowing library owns
// the message loop; its status codes stay here.
bool registerDialogKeys(PlatformWindow* dialog) {
    return SUCCEEDED(InstallMessageHook(hwndOf(dialog)));
}

bool unregisterDialogKeys(PlatformWindow* dialog) {
    return SUCCEEDED(UninstallMessageHook(hwndOf(dialog)));
}

void registerDrawingKeyHandlers(KeyboardHandler keyboard, SpecialKeyHandler special) {
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
}

}  // namespace platform
