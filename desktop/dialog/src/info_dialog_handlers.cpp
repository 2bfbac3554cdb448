// The Info dialog's message map and command handlers.

#include "orrelin/desktop/platform.h"
#include "orrelin/desktop/shell.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/scene.h"
#include "orrelin/ui/dialog_fields.h"
#include "orrelin/ui/info_dialog.h"

PlatformWindow* QuadtreeInfoDialog::Create(PlatformWindow* owner) {
    return platform::createInfoDialog(owner, &QuadtreeInfoDialog::DialogProc, this);
}

std::intptr_t QuadtreeInfoDialog::DialogProc(void* object, PlatformWindow* window, DialogMessage message, int commandId,
                                             bool& handled) {
    auto* self = static_cast<QuadtreeInfoDialog*>(object);
    // The first message binds the window to its object.
    if (message == DialogMessage::InitDialog) self->m_hWnd = window;
    std::intptr_t result = 0;
    handled = self->ProcessWindowMessage(message, commandId, result);
    return result;
}

bool QuadtreeInfoDialog::ProcessWindowMessage(DialogMessage message, int commandId, std::intptr_t& result) {
    switch (message) {
        case DialogMessage::InitDialog:
            OnInitDialog();
            result = 1;  // the focus goes to the first tab stop
            return true;
        case DialogMessage::Destroy:
            OnDestroy();
            result = 0;
            return true;
        case DialogMessage::Command:
            switch (commandId & 0xFFFF) {
                case IDC_APPLY:
                    OnApply();
                    result = 1;
                    return true;
                case IDC_OPEN_FILE: result = OnOpenFile() ? 1 : -1; return true;
                case ID_EXIT_PROGRAM:
                    OnExitProgram();
                    result = 1;
                    return true;
                case ID_TOGGLE_ACTIVE_WINDOW:
                    OnToggleActiveWindow();
                    result = 1;
                    return true;
                default: return false;
            }
    }
    return false;
}

void QuadtreeInfoDialog::OnInitDialog() {
    // Unsigned, as the fields are read back.
    platform::setDialogItemNumber(m_hWnd, IDC_MAX_DEPTH, static_cast<std::uint32_t>(m_maxDepth));
    platform::setDialogItemNumber(m_hWnd, IDC_TRIANGLES_PER_REGION, static_cast<std::uint32_t>(m_trianglesPerRegion));
    platform::registerDialogKeys(m_hWnd);
    platform::showDialogAt(m_hWnd, infoDialogPlace(platform::windowFrame(platform::dialogOwner(m_hWnd))));
}

void QuadtreeInfoDialog::OnDestroy() {
    platform::unregisterDialogKeys(m_hWnd);
}

bool QuadtreeInfoDialog::ValidateProperties() {
    int faultyEdit = 0;
    const char* text = nullptr;
    switch (validateProperties(m_maxDepth, m_trianglesPerRegion)) {
        case PropertiesVerdict::Valid: return true;
        case PropertiesVerdict::InvalidDepth:
            faultyEdit = IDC_MAX_DEPTH;
            text = kInvalidDepthText;
            break;
        case PropertiesVerdict::InvalidTriangles:
            faultyEdit = IDC_TRIANGLES_PER_REGION;
            text = kInvalidTrianglesText;
            break;
    }
    platform::showMessageBox(m_hWnd, text, kPropertiesErrorCaption, platform::MessageIcon::Warning);
    platform::focusDialogItem(m_hWnd, faultyEdit);
    return false;
}

void QuadtreeInfoDialog::OnApply() {
    // Both values are stored before either is judged.
    m_maxDepth = static_cast<std::int32_t>(platform::dialogItemNumber(m_hWnd, IDC_MAX_DEPTH));
    m_trianglesPerRegion = static_cast<std::int32_t>(platform::dialogItemNumber(m_hWnd, IDC_TRIANGLES_PER_REGION));
    if (!ValidateProperties() || !AppState.sceneLoaded) return;
    if (!rebuildQuadtree(m_maxDepth, m_trianglesPerRegion)) {
        // Nothing changed: the old tree and limits stay.
        platform::showMessageBox(m_hWnd, kOutOfMemoryText, "Error", platform::MessageIcon::Information);
    }
}

bool QuadtreeInfoDialog::ChooseFile() {
    m_fileName.clear();
    platform::enableWindow(m_hWndDrawing, false);
    platform::enableWindow(m_hWnd, false);
    const bool chosen = platform::chooseTriangleFile(m_hWnd, m_fileName);
    platform::enableWindow(m_hWnd, true);
    platform::enableWindow(m_hWndDrawing, true);
    return chosen;
}

bool QuadtreeInfoDialog::OnOpenFile() {
    if (!ChooseFile()) return false;
    loadScene(m_fileName);
    return true;
}

void QuadtreeInfoDialog::OnToggleActiveWindow() {
    PlatformWindow* active = platform::activeWindow();
    if (active == m_hWnd) {
        platform::setForegroundWindow(m_hWndDrawing);
    } else if (active == m_hWndDrawing) {
        platform::setForegroundWindow(m_hWnd);
    }
}

void QuadtreeInfoDialog::OnExitProgram() {
    platform::destroyDrawingWindow(AppState.glutWindow);
}
