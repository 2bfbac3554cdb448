// The Info dialog as a Qt dialog built from the dialog template: every
// control at its template position, converted from dialog units with the
// base units of the dialog's font.

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>
#include <algorithm>
#include <map>
#include <vector>

#include "orrelin/desktop/platform.h"
#include "orrelin/ui/dialog_fields.h"
#include "orrelin/ui/info_dialog.h"
#include "platform_qt.h"
#include "x11_display.h"

namespace {

class InfoDialogWidget : public QDialog {
   public:
    explicit InfoDialogWidget(PlatformWindow* handle)
        // A plain top-level window to the window manager (transient for the
        // drawing window): some window managers force dialogs fully onto the
        // screen, and this one is placed beside its owner wherever that is.
        : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint), handle_(handle) {
        setWindowTitle(QString::fromUtf8(kInfoDialogCaption));
        QFont dialogFont = font();  // the template's 8-point font
        dialogFont.setPointSize(8);
        setFont(dialogFont);
        buildControls();
    }

    QWidget* control(int id) const {
        const auto found = controls_.find(id);
        return found == controls_.end() ? nullptr : found->second;
    }

    QWidget* inputArea() const { return content_; }

    // The controls in template order.
    const std::vector<QWidget*>& controlsInOrder() const { return inOrder_; }

   protected:
    // The dialog stays open for the whole run: neither Esc nor the frame closes it.
    void reject() override {}
    void closeEvent(QCloseEvent* event) override { event->ignore(); }

   private:
    // The platform's dialog base units: the font's average character width
    // (over the 52 letters, rounded) and its height.
    void baseUnits(int& width, int& height) const {
        const QFontMetrics metrics(font());
        const int letters =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        width = (letters / 26 + 1) / 2;
        height = metrics.height();
    }

    void buildControls() {
        int cx = 0;
        int cy = 0;
        baseUnits(cx, cy);
        setFixedSize(dialogUnitsToPixelsX(kInfoDialogWidthUnits, cx), dialogUnitsToPixelsY(kInfoDialogHeightUnits, cy));
        content_ = new QWidget(this);
        content_->setGeometry(0, 0, width(), height());

        QWidget* previousTabStop = nullptr;
        std::vector<QWidget*> groupBoxes;
        for (const DialogControl& c : infoDialogControls()) {
            QWidget* widget = nullptr;
            const QString text = QString::fromUtf8(c.text);
            switch (c.kind) {
                case ControlKind::Edit: widget = new QLineEdit(content_); break;
                case ControlKind::PushButton: {
                    auto* button = new QPushButton(text, content_);
                    button->setAutoDefault(false);  // Enter in an edit presses nothing
                    button->setFocusPolicy(Qt::StrongFocus);
                    button->setDefault(false);
                    const int id = c.id;
                    const PlatformWindow* handle = handle_;
                    QObject::connect(button, &QPushButton::clicked, button, [handle, id] {
                        bool handled = false;
                        platform::detail::sendDialogMessage(const_cast<PlatformWindow*>(handle), DialogMessage::Command,
                                                            id, handled);
                    });
                    widget = button;
                    break;
                }
                case ControlKind::GroupBox:
                    widget = new QGroupBox(text, content_);
                    groupBoxes.push_back(widget);
                    break;
                case ControlKind::Static: {
                    auto* label = new QLabel(text, content_);
                    label->setTextFormat(Qt::PlainText);
                    label->setWordWrap(true);
                    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                    widget = label;
                    break;
                }
            }
            widget->setGeometry(dialogUnitsToPixelsX(c.x, cx), dialogUnitsToPixelsY(c.y, cy),
                                dialogUnitsToPixelsX(c.width, cx), dialogUnitsToPixelsY(c.height, cy));
            if (isTabStop(c)) {
                widget->setFocusPolicy(Qt::StrongFocus);
                if (previousTabStop != nullptr) QWidget::setTabOrder(previousTabStop, widget);
                previousTabStop = widget;
            } else {
                widget->setFocusPolicy(Qt::NoFocus);
            }
            if (c.id != IDC_STATIC) controls_[c.id] = widget;
            inOrder_.push_back(widget);
        }
        // Group boxes only frame the controls; they must not catch their clicks.
        for (QWidget* box : groupBoxes) box->lower();
    }

    PlatformWindow* handle_;
    QWidget* content_ = nullptr;
    std::map<int, QWidget*> controls_;
    std::vector<QWidget*> inOrder_;
};

InfoDialogWidget* widgetOf(PlatformWindow* dialog) {
    return dialog != nullptr ? static_cast<InfoDialogWidget*>(dialog->dialog) : nullptr;
}

QLineEdit* editOf(PlatformWindow* dialog, int id) {
    InfoDialogWidget* widget = widgetOf(dialog);
    return widget != nullptr ? dynamic_cast<QLineEdit*>(widget->control(id)) : nullptr;
}

}  // namespace

namespace platform {

namespace detail {

int focusedControl(PlatformWindow* dialog) {
    const InfoDialogWidget* widget = widgetOf(dialog);
    if (widget == nullptr) return -1;
    const std::vector<QWidget*>& controls = widget->controlsInOrder();
    const auto found = std::find(controls.begin(), controls.end(), QApplication::focusWidget());
    return found == controls.end() ? -1 : static_cast<int>(found - controls.begin());
}

void focusControl(PlatformWindow* dialog, int index) {
    const InfoDialogWidget* widget = widgetOf(dialog);
    if (widget == nullptr || index < 0 || index >= static_cast<int>(widget->controlsInOrder().size())) return;
    QWidget* control = widget->controlsInOrder()[static_cast<std::size_t>(index)];
    // Texts take the focus too, as the platform's dialogs let them.
    control->setFocus(Qt::TabFocusReason);
    if (auto* edit = dynamic_cast<QLineEdit*>(control)) edit->selectAll();
}

void pressControl(PlatformWindow* dialog, int index) {
    const InfoDialogWidget* widget = widgetOf(dialog);
    if (widget == nullptr || index < 0 || index >= static_cast<int>(widget->controlsInOrder().size())) return;
    if (auto* button = dynamic_cast<QPushButton*>(widget->controlsInOrder()[static_cast<std::size_t>(index)])) {
        button->click();
    }
}

}  // namespace detail

PlatformWindow* createInfoDialog(PlatformWindow* owner, DialogProcedure procedure, void* object) {
    auto* handle = new PlatformWindow;
    handle->owner = owner;
    handle->procedure = procedure;
    handle->object = object;
    auto* widget = new InfoDialogWidget(handle);
    handle->dialog = widget;
    handle->inputArea = widget->inputArea();
    // Owned by the drawing window: the window manager keeps it above its
    // owner and minimises it with it.
    handle->nativeId = static_cast<unsigned long>(widget->winId());
    if (owner != nullptr && owner->dialog == nullptr)
        widget->windowHandle()->setTransientParent(detail::drawingWindowProxy());
    detail::backend().dialogs.push_back({handle, false});

    bool handled = false;
    const std::intptr_t focusFirst = detail::sendDialogMessage(handle, DialogMessage::InitDialog, 0, handled);
    if (focusFirst != 0) {
        if (QWidget* first = widget->control(IDC_MAX_DEPTH)) first->setFocus(Qt::TabFocusReason);
    }
    return handle;
}

void setDialogItemNumber(PlatformWindow* dialog, int id, std::uint32_t value) {
    if (QLineEdit* edit = editOf(dialog, id)) edit->setText(QString::number(value));
}

std::uint32_t dialogItemNumber(PlatformWindow* dialog, int id) {
    QLineEdit* edit = editOf(dialog, id);
    return edit != nullptr ? readUnsignedField(edit->text().toStdString()) : 0;
}

void focusDialogItem(PlatformWindow* dialog, int id) {
    QLineEdit* edit = editOf(dialog, id);
    if (edit == nullptr) return;
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

PlatformWindow* dialogOwner(PlatformWindow* dialog) {
    return dialog != nullptr ? dialog->owner : nullptr;
}

WindowFrame windowFrame(PlatformWindow* window) {
    if (window == nullptr || window->nativeId == 0) return {};
    const x11::FrameRect frame = x11::frameRect(window->nativeId);
    return WindowFrame{frame.left, frame.top, frame.right, frame.bottom};
}

void showDialogAt(PlatformWindow* dialog, ScreenPoint place) {
    InfoDialogWidget* widget = widgetOf(dialog);
    if (widget == nullptr) return;
    // First guess: the dialog gets a frame like its owner's.
    if (dialog->owner != nullptr && dialog->owner->nativeId != 0) {
        const x11::FrameRect owner = x11::frameRect(dialog->owner->nativeId);
        widget->move(place.x + owner.borderLeft, place.y + owner.borderTop);
    }
    // A caption without a system menu: the title, and no buttons.
    x11::setTitleOnlyFrame(dialog->nativeId);
    widget->show();
    // Owned by its owner: kept above it, minimised and restored with it. The
    // toolkit clears this hint of a plain window when it shows one, so it is
    // set now.
    if (dialog->owner != nullptr) x11::setTransientFor(dialog->nativeId, dialog->owner->nativeId);
    x11::setTitleOnlyFrame(dialog->nativeId);
    widget->raise();
    x11::placeFrameAt(dialog->nativeId, place.x, place.y);
    x11::activateWindow(dialog->nativeId);
}

bool chooseTriangleFile(PlatformWindow* owner, std::string& path) {
    QFileDialog chooser(widgetOf(owner), QString(), QDir::currentPath(), QStringLiteral("Triangle (*.tri)"));
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    // The same chooser on every desktop, showing the filter by its name.
    chooser.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    const bool chosen =
        platform::detail::runModal(chooser, owner) == QDialog::Accepted && !chooser.selectedFiles().isEmpty();
    if (!chosen) return false;
    path = QFile::encodeName(chooser.selectedFiles().first()).toStdString();
    return true;
}

}  // namespace platform
