// Tells the Windows window tests (run under Wine) what the Info dialog's
// thread is doing once it has handled the input given so far: the title of
// its active window (the dialog, or a box or chooser the dialog opened) and
// the control of the dialog that has the keyboard focus, as
//   ACTIVE-TITLE|CONTROL-ID|CONTROL-TEXT
// CONTROL-ID is 0 when the focus is not on a control of the dialog.

#include <windows.h>

#include <cstdio>

int main() {
    HWND dialog = FindWindowA(nullptr, "Info");
    if (dialog == nullptr) {
        std::puts("no dialog");
        return 1;
    }
    DWORD processId = 0;
    const DWORD threadId = GetWindowThreadProcessId(dialog, &processId);
    // The key events were sent before this program started; give Wine's X
    // driver a moment to read them, then wait until the dialog's process has
    // handled all its input.
    Sleep(50);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process != nullptr) {
        WaitForInputIdle(process, 5000);
        CloseHandle(process);
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(threadId, &info)) {
        std::puts("no thread");
        return 1;
    }
    char active[256] = "";
    if (info.hwndActive != nullptr) GetWindowTextA(info.hwndActive, active, sizeof active);
    int control = 0;
    char text[256] = "";
    if (info.hwndFocus != nullptr && GetParent(info.hwndFocus) == dialog) {
        control = static_cast<short>(GetDlgCtrlID(info.hwndFocus));
        GetWindowTextA(info.hwndFocus, text, sizeof text);
    }
    std::printf("%s|%d|%s\n", active, control, text);
    return 0;
}
