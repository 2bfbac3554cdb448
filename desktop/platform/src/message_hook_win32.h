#pragma once
// The Windows message hook that gives the Info dialog its keyboard handling
// and the accelerators while freeglut owns the message loop.
#include <windows.h>

#include <set>

namespace message_hook_detail {
struct HandleOrder {
    bool operator()(HWND a, HWND b) const;
};
}  // namespace message_hook_detail

// The process-wide record of the message hook: the hook, the program's module
// and accelerator table, and the registered dialogs in ascending handle order.
struct MessageHookRegistry {
    HHOOK hook = nullptr;
    HINSTANCE moduleInstance = nullptr;
    HACCEL accelerators = nullptr;
    std::set<HWND, message_hook_detail::HandleOrder> dialogs;
};

extern MessageHookRegistry messageHookRegistry;

// Installs the hook for this thread (once) and registers `dialog`; loads
// accelerator table 104 every time. E_INVALIDARG, with nothing changed, when
// `dialog` is no window; E_UNEXPECTED when no hook can be installed.
HRESULT InstallMessageHook(HWND dialog);

// Unregisters `dialog` (E_INVALIDARG when it was not registered) and removes
// the hook with the last one.
HRESULT UninstallMessageHook(HWND dialog);

LRESULT CALLBACK GetMessageHookProc(int code, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK FindMenuWindowProc(HWND window, LPARAM lParam);
