// The Linux platform layer: Qt Widgets in the same thread as the windowing
// library, whose main loop drives Qt's events through its idle function.

#include "platform_qt.h"

#include <GL/freeglut.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>
#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "orrelin/desktop/platform.h"
#include "x11_display.h"

namespace platform::detail {

struct QtServices {
    // Qt keeps references to argc and argv for the application's lifetime;
    // the program's own arguments belong to the windowing library, except the
    // display both must use.
    int argc = 1;
    char programName[8] = "orrelin";
    char displayOption[9] = "-display";
    std::string displayName;
    char* argv[4] = {programName, nullptr, nullptr, nullptr};
    std::unique_ptr<QApplication> application;
    std::unique_ptr<QSocketNotifier> glutConnection;
    std::unique_ptr<QWindow> drawingWindowProxy;  // stands for the drawing window as a transient parent
};

LinuxBackend& backend() {
    static LinuxBackend state;
    return state;
}

}  // namespace platform::detail

namespace {

using platform::detail::backend;

// Qt wants a private runtime directory; without one it warns on the console.
void ensureRuntimeDirectory() {
    const char* current = std::getenv("XDG_RUNTIME_DIR");
    if (current != nullptr && *current != '\0') return;
    std::string path = "/tmp/runtime-" + std::to_string(getuid());
    struct stat info {};
    bool usable = false;
    if (mkdir(path.c_str(), 0700) == 0) {
        usable = true;
    } else if (lstat(path.c_str(), &info) == 0) {
        usable = S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 0777) == 0700;
    }
    if (!usable) {
        std::string pattern = "/tmp/orrelin-runtime-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return;
        path = pattern;
    }
    setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
}

// The drawing window's events while a modal window runs Qt's loop: handled
// at once, as the platform's own modal loops dispatch them, except input
// while the modal window disables the drawing window, which is dropped.
void handleDrawingWindowEvents() {
    if (!backend().drawingWindow.enabled) x11::discardQueuedInput();
    glutMainLoopEvent();
}

// One step of the event pump; the windowing library calls it whenever it has
// handled its own events. When nothing is waiting on either side it blocks
// until something arrives on Qt's connection or on the library's.
void pumpEvents() {
    if (x11::pendingEvents() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else {
        backend().services->glutConnection->setEnabled(true);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        backend().services->glutConnection->setEnabled(false);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A message box whose copy key puts caption, text and buttons on the
// clipboard, as message boxes on other desktops do, so a user can paste an
// error into a report.
class CopyableMessageBox : public QMessageBox {
   public:
    using QMessageBox::QMessageBox;

   protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!event->matches(QKeySequence::Copy)) {
            QMessageBox::keyPressEvent(event);
            return;
        }
        const QString rule = QStringLiteral("---------------------------\n");
        QString buttons;
        for (const QAbstractButton* button : this->buttons()) buttons += button->text().remove(u'&') + "   ";
        QGuiApplication::clipboard()->setText(rule + windowTitle() + "\n" + rule + text() + "\n" + rule + buttons +
                                              "\n" + rule);
        event->accept();
    }
};

QMessageBox::Icon boxIcon(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::Error: return QMessageBox::Critical;
        case platform::MessageIcon::Warning: return QMessageBox::Warning;
        case platform::MessageIcon::Information: break;
    }
    return QMessageBox::Information;
}

// The display the windowing library opens: the value of the last `-display`
// option, read as it reads its options (`-geometry` takes the next argument
// as its value), or empty for $DISPLAY.
std::string displayFromCommandLine(int argc, char** argv) {
    std::string display;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-display") {
            display = argv[++i];
        } else if (option == "-geometry") {
            ++i;
        }
    }
    return display;
}

}  // namespace

namespace platform {

void startServices(int argc, char** argv) {
    ensureRuntimeDirectory();
    // The drawing window is an X11 window; Qt must talk to the same server.
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    auto* services = new detail::QtServices;
    backend().services = services;
    services->displayName = displayFromCommandLine(argc, argv);
    if (!services->displayName.empty()) {
        services->argv[1] = services->displayOption;
        services->argv[2] = services->displayName.data();
        services->argc = 3;
    }
    services->application = std::make_unique<QApplication>(services->argc, services->argv);
    // Message boxes and choosers are the only Qt windows for long stretches;
    // closing one must not end Qt's event loops.
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt adopts the user's locale; numbers read and written by the C library
    // stay in the C form.
    std::setlocale(LC_NUMERIC, "C");
}

void stopServices() {
    detail::LinuxBackend& state = backend();
    if (state.services == nullptr) return;
    for (const detail::DialogEntry& entry : state.dialogs) {
        delete entry.window->dialog;
        delete entry.window;
    }
    state.dialogs.clear();
    state.services->glutConnection.reset();
    state.services->drawingWindowProxy.reset();
    state.services->application.reset();
    delete state.services;
    state.services = nullptr;
}

void primaryScreenSize(int& width, int& height) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        width = 0;
        height = 0;
        return;
    }
    const QSize size = screen->geometry().size() * screen->devicePixelRatio();
    width = size.width();
    height = size.height();
}

PlatformWindow* attachDrawingWindow(const char* title) {
    x11::attachCurrentWindow();
    PlatformWindow& drawing = backend().drawingWindow;
    drawing.nativeId = x11::drawingWindowId();
    x11::setUtf8Title(drawing.nativeId, title);
    drawing.enabled = true;
    detail::startKeyRouting();
    return &drawing;
}

void startEventPump() {
    auto& connection = backend().services->glutConnection;
    connection = std::make_unique<QSocketNotifier>(x11::connectionNumber(), QSocketNotifier::Read);
    connection->setEnabled(false);
    QSocketNotifier* notifier = connection.get();
    // Readable: inside a modal window's loop the drawing window's events are
    // handled here; otherwise the pump's wait is over and the windowing
    // library reads them.
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier] {
        if (backend().modalDepth > 0) {
            handleDrawingWindowEvents();
        } else {
            notifier->setEnabled(false);
        }
    });
    glutIdleFunc(pumpEvents);
}

void showMessageBox(PlatformWindow* owner, const std::string& text, const char* caption, MessageIcon icon) {
    x11::flush();  // the drawing window's last changes (the cursor) show while the box is open
    QWidget* parent = owner != nullptr ? owner->dialog : nullptr;
    CopyableMessageBox box(boxIcon(icon), QString::fromUtf8(caption), QString::fromLocal8Bit(text.c_str()),
                           QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);  // a path is shown as it is, never as markup
    if (owner == &backend().drawingWindow) {
        box.winId();  // creates the native window so that it can get a transient parent
        box.windowHandle()->setTransientParent(detail::drawingWindowProxy());
    }
    detail::runModal(box, owner);
}

void enableWindow(PlatformWindow* window, bool enable) {
    if (window == nullptr) return;
    window->enabled = enable;
    // A dialog's controls are disabled, not its window: a chooser or box it
    // owns must stay usable. Disabling moves the focus off the controls; like
    // a disabled window, the dialog gives it back to the same control.
    if (window->inputArea == nullptr) return;
    if (!enable) {
        QWidget* focus = window->dialog->focusWidget();
        if (focus != nullptr && window->inputArea->isAncestorOf(focus)) window->focusBeforeDisabled = focus;
    }
    window->inputArea->setEnabled(enable);
    if (enable && window->focusBeforeDisabled != nullptr) {
        window->focusBeforeDisabled->setFocus(Qt::OtherFocusReason);
        window->focusBeforeDisabled = nullptr;
    }
}

void setDrawingWindowTitle(const std::string& title) {
    glutSetWindowTitle(title.c_str());
    // The windowing library names the window in Latin-1 only; window managers
    // prefer this UTF-8 name, so paths with other letters show as they are.
    x11::setUtf8Title(backend().drawingWindow.nativeId, title);
}

void setForegroundWindow(PlatformWindow* window) {
    if (window == nullptr || window->nativeId == 0) return;
    x11::activateWindow(window->nativeId);
}

bool drawingInputWaiting() {
    return x11::pendingEvents() > 0;
}

void flushDrawingWindow() {
    x11::flush();
}

PlatformWindow* activeWindow() {
    const unsigned long active = x11::activeWindowId();
    if (active == 0) return nullptr;
    if (active == backend().drawingWindow.nativeId) return &backend().drawingWindow;
    for (const detail::DialogEntry& entry : backend().dialogs) {
        if (entry.window->nativeId == active) return entry.window;
    }
    return nullptr;
}

void destroyDrawingWindow(int glutWindow) {
    if (backend().modalDepth > 0) {
        backend().destroyAfterModal = glutWindow;
    } else {
        glutDestroyWindow(glutWindow);
    }
}

void drawingWindowClosing() {
    // A modal window open meanwhile (the drawing window can end the program
    // while a box of the dialog is open) goes with the windows it belongs to.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        if (QApplication::activeModalWidget() == modal) break;
    }
    // Owned dialogs go with their owner; the widgets themselves are deleted
    // when the services stop, outside the windowing library's callbacks.
    for (const detail::DialogEntry& entry : backend().dialogs) {
        if (entry.window->dialog == nullptr || entry.window->nativeId == 0) continue;
        bool handled = false;
        detail::sendDialogMessage(entry.window, DialogMessage::Destroy, 0, handled);
        entry.window->dialog->hide();
        entry.window->nativeId = 0;
    }
}

bool registerDialogKeys(PlatformWindow* dialog) {
    for (detail::DialogEntry& entry : backend().dialogs) {
        if (entry.window == dialog) {
            entry.registered = true;
            return true;
        }
    }
    return false;  // not a dialog of this program
}

bool unregisterDialogKeys(PlatformWindow* dialog) {
    for (detail::DialogEntry& entry : backend().dialogs) {
        if (entry.window == dialog && entry.registered) {
            entry.registered = false;
            return true;
        }
    }
    return false;
}

namespace detail {

int runModal(QDialog& modal, PlatformWindow* owner) {
    // The owner takes no input while its modal window is open.
    const bool ownerEnabled = owner != nullptr && owner->enabled;
    if (owner != nullptr) owner->enabled = false;
    LinuxBackend& state = backend();
    QSocketNotifier* notifier = state.services != nullptr ? state.services->glutConnection.get() : nullptr;
    const bool notifierEnabled = notifier != nullptr && notifier->isEnabled();
    ++state.modalDepth;
    if (notifier != nullptr) {
        notifier->setEnabled(true);
        // Events the windowing library's connection has already read in.
        QTimer::singleShot(0, notifier, [] {
            if (backend().modalDepth > 0 && x11::pendingEvents() > 0) handleDrawingWindowEvents();
        });
    }
    const int result = modal.exec();
    // Input given to the drawing window while it was disabled is dropped,
    // up to the last moment, never handled later.
    if (!state.drawingWindow.enabled) x11::discardQueuedInput();
    --state.modalDepth;
    if (notifier != nullptr) notifier->setEnabled(state.modalDepth > 0 || notifierEnabled);
    if (owner != nullptr) owner->enabled = ownerEnabled;
    if (state.modalDepth == 0 && state.destroyAfterModal != 0) {
        glutDestroyWindow(std::exchange(state.destroyAfterModal, 0));
    }
    return result;
}

QWindow* drawingWindowProxy() {
    LinuxBackend& state = backend();
    if (!state.services->drawingWindowProxy) {
        state.services->drawingWindowProxy.reset(QWindow::fromWinId(static_cast<WId>(state.drawingWindow.nativeId)));
    }
    return state.services->drawingWindowProxy.get();
}

std::intptr_t sendDialogMessage(PlatformWindow* dialog, DialogMessage message, int commandId, bool& handled) {
    handled = false;
    if (dialog == nullptr || dialog->procedure == nullptr) return 0;
    return dialog->procedure(dialog->object, dialog, message, commandId, handled);
}

}  // namespace detail

}  // namespace platform
