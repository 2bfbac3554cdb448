// The Windows message hook: registration, and what it does with keyboard
// messages the thread removes or only peeks at.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "message_hook_win32.h"
#include "orrelin/ui/info_dialog.h"

namespace {

std::vector<int> commands;  // WM_COMMAND ids the stand-in dialog received

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) commands.push_back(LOWORD(wParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden window of a class whose procedure records WM_COMMAND; the test
// stops when it cannot be made (under Wine: no X display).
HWND makeWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = recordingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "OrrelinHookTest";
        RegisterClassA(&windowClass);
        registered = true;
    }
    HWND window = CreateWindowA("OrrelinHookTest", "hook test", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        ADD_FAILURE() << "no window could be made (error " << GetLastError() << "); under Wine, is there a display?";
    }
    return window;
}

// Posts a key-down of `key` (with Ctrl held when asked) and retrieves it the
// way a message loop does; returns what the loop would dispatch.
MSG retrieveKey(HWND target, WPARAM key, UINT removal) {
    PostMessageA(target, WM_KEYDOWN, key, 1);
    MSG message{};
    PeekMessageA(&message, target, WM_KEYFIRST, WM_KEYLAST, removal);
    return message;
}

}  // namespace

TEST(WindowsMessageHook, RegistersEachDialogOnceAndUnhooksWithTheLast) {
    // No window, no hook: a dialog that could not be created is refused.
    EXPECT_EQ(E_INVALIDARG, InstallMessageHook(nullptr));
    EXPECT_TRUE(messageHookRegistry.dialogs.empty());
    EXPECT_EQ(nullptr, messageHookRegistry.hook);
    HWND a = makeWindow();
    HWND b = makeWindow();
    ASSERT_TRUE(a != nullptr && b != nullptr);
    ASSERT_EQ(S_OK, InstallMessageHook(a));
    ASSERT_NE(nullptr, messageHookRegistry.hook);
    const HHOOK hook = messageHookRegistry.hook;
    EXPECT_NE(nullptr, messageHookRegistry.accelerators);
    EXPECT_EQ(S_OK, InstallMessageHook(a));  // twice: one entry, the same hook
    EXPECT_EQ(S_OK, InstallMessageHook(b));
    EXPECT_EQ(2u, messageHookRegistry.dialogs.size());
    EXPECT_EQ(hook, messageHookRegistry.hook);
    EXPECT_EQ(S_OK, UninstallMessageHook(a));
    EXPECT_EQ(hook, messageHookRegistry.hook);  // b still registered
    EXPECT_EQ(E_INVALIDARG, UninstallMessageHook(a));
    EXPECT_EQ(S_OK, UninstallMessageHook(b));
    EXPECT_EQ(nullptr, messageHookRegistry.hook);
    EXPECT_TRUE(messageHookRegistry.dialogs.empty());
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST(WindowsMessageHook, EscBecomesTheExitCommandOnlyWhenRemoved) {
    HWND dialog = makeWindow();
    HWND other = makeWindow();  // stands for the drawing window
    ASSERT_TRUE(dialog != nullptr && other != nullptr);
    ASSERT_EQ(S_OK, InstallMessageHook(dialog));
    commands.clear();

    // Peeked at without removal: left alone.
    MSG peeked = retrieveKey(other, VK_ESCAPE, PM_NOREMOVE);
    EXPECT_EQ(static_cast<UINT>(WM_KEYDOWN), peeked.message);
    EXPECT_TRUE(commands.empty());
    // Removed: translated at the dialog, whichever window it was meant for,
    // and emptied so that the loop dispatches nothing.
    MSG removed{};
    PeekMessageA(&removed, other, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE);
    EXPECT_EQ(static_cast<UINT>(WM_NULL), removed.message);
    EXPECT_EQ(nullptr, removed.hwnd);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(ID_EXIT_PROGRAM, commands[0]);

    // A disabled dialog routes nothing: the key reaches its window.
    commands.clear();
    EnableWindow(dialog, FALSE);
    MSG passed = retrieveKey(other, VK_ESCAPE, PM_REMOVE);
    EXPECT_EQ(static_cast<UINT>(WM_KEYDOWN), passed.message);
    EXPECT_EQ(other, passed.hwnd);
    EXPECT_TRUE(commands.empty());
    EnableWindow(dialog, TRUE);

    // Any other key for another window goes on untouched.
    MSG plain = retrieveKey(other, 'A', PM_REMOVE);
    EXPECT_EQ(static_cast<UINT>(WM_KEYDOWN), plain.message);
    EXPECT_TRUE(commands.empty());

    EXPECT_EQ(S_OK, UninstallMessageHook(dialog));
    DestroyWindow(dialog);
    DestroyWindow(other);
}

TEST(WindowsMessageHook, FindsMenuWindowsByTheirClassName) {
    HWND found = nullptr;
    HWND window = makeWindow();
    EXPECT_TRUE(FindMenuWindowProc(window, reinterpret_cast<LPARAM>(&found)));  // not a menu: go on
    EXPECT_EQ(nullptr, found);
    DestroyWindow(window);
}

#endif  // _WIN32
