#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_key_table.h"
#include "orrelin/ui/info_dialog.h"
#include "orrelin/ui/key_routing.h"

namespace {

KeyPress chord(KeyName key, bool ctrl = false, bool shift = false, bool alt = false) {
    KeyPress press;
    press.key = key;
    press.ctrl = ctrl;
    press.shift = shift;
    press.alt = alt;
    return press;
}

RoutingState routing() {
    RoutingState state;
    state.dialogRegistered = true;
    state.dialogEnabled = true;
    state.drawingHandlers = true;
    return state;
}

}  // namespace

TEST(Accelerators, ModifiersMustMatchExactly) {
    EXPECT_EQ(ID_TOGGLE_ACTIVE_WINDOW, acceleratorCommand(chord(KeyName::Tab, true)));
    EXPECT_EQ(ID_EXIT_PROGRAM, acceleratorCommand(chord(KeyName::Escape)));
    EXPECT_EQ(0, acceleratorCommand(chord(KeyName::Tab)));
    EXPECT_EQ(0, acceleratorCommand(chord(KeyName::Tab, false, true)));            // Shift+Tab
    EXPECT_EQ(0, acceleratorCommand(chord(KeyName::Tab, true, true)));             // Ctrl+Shift+Tab
    EXPECT_EQ(0, acceleratorCommand(chord(KeyName::Tab, true, false, true)));      // Ctrl+Alt+Tab
    EXPECT_EQ(0, acceleratorCommand(chord(KeyName::Escape, false, false, true)));  // Alt+Esc
    EXPECT_EQ(0, acceleratorCommand(chord(KeyName::Escape, true)));
    EXPECT_EQ(0, acceleratorCommand(chord(KeyName::Escape, false, true)));
    EXPECT_EQ(0, acceleratorCommand(chord(KeyName::Other, true)));
}

TEST(KeyRouting, AcceleratorsFromBothWindowsWhileTheDialogTakesThem) {
    int command = -1;
    EXPECT_EQ(KeyRoute::Command, routeKey(KeyOrigin::DrawingWindow, chord(KeyName::Escape), routing(), command));
    EXPECT_EQ(ID_EXIT_PROGRAM, command);
    EXPECT_EQ(KeyRoute::Command, routeKey(KeyOrigin::Dialog, chord(KeyName::Tab, true), routing(), command));
    EXPECT_EQ(ID_TOGGLE_ACTIVE_WINDOW, command);
    // Before any scene the drawing window has no handlers, but Esc still ends the program.
    RoutingState noScene = routing();
    noScene.drawingHandlers = false;
    EXPECT_EQ(KeyRoute::Command, routeKey(KeyOrigin::DrawingWindow, chord(KeyName::Escape), noScene, command));
    EXPECT_EQ(KeyRoute::Dropped, routeKey(KeyOrigin::DrawingWindow, chord(KeyName::Other), noScene, command));
    EXPECT_EQ(0, command);
}

TEST(KeyRouting, StandsAsideForModalWindowsPopupsAndADisabledDialog) {
    int command = -1;
    for (int which = 0; which < 4; ++which) {
        RoutingState state = routing();
        if (which == 0) state.modalOpen = true;
        if (which == 1) state.popupOpen = true;
        if (which == 2) state.dialogEnabled = false;
        if (which == 3) state.dialogRegistered = false;
        // Keys in the dialog (or its box) keep their own meaning there: Esc closes the box.
        EXPECT_EQ(KeyRoute::DialogNavigation, routeKey(KeyOrigin::Dialog, chord(KeyName::Escape), state, command))
            << which;
        EXPECT_EQ(0, command);
        // In the drawing window Esc reaches its own handler, which ends the program too.
        EXPECT_EQ(KeyRoute::DrawingHandlers, routeKey(KeyOrigin::DrawingWindow, chord(KeyName::Escape), state, command))
            << which;
    }
}

TEST(KeyRouting, OtherKeysGoWhereTheyWerePressed) {
    int command = -1;
    EXPECT_EQ(KeyRoute::DialogNavigation, routeKey(KeyOrigin::Dialog, chord(KeyName::Tab), routing(), command));
    EXPECT_EQ(KeyRoute::DialogNavigation,
              routeKey(KeyOrigin::Dialog, chord(KeyName::Tab, true, true), routing(), command));
    EXPECT_EQ(KeyRoute::DrawingHandlers, routeKey(KeyOrigin::DrawingWindow, chord(KeyName::Tab), routing(), command));
    EXPECT_EQ(KeyRoute::DrawingHandlers,
              routeKey(KeyOrigin::DrawingWindow, chord(KeyName::Escape, false, false, true), routing(), command));
    EXPECT_EQ(KeyRoute::Dropped,
              routeKey(KeyOrigin::DrawingWindow, chord(KeyName::Modifier, true), routing(), command));
}

TEST(InfoDialogTemplate, ControlsTabStopsAndTexts) {
    const auto controls = infoDialogControls();
    ASSERT_EQ(35u, controls.size());
    std::vector<int> tabStops;
    int groupBoxes = 0;
    for (const DialogControl& c : controls) {
        if (isTabStop(c)) tabStops.push_back(c.id);
        if (c.kind == ControlKind::GroupBox) ++groupBoxes;
        if (c.kind != ControlKind::Edit) {
            EXPECT_STRNE("", c.text);
        }
        if (c.kind == ControlKind::Static || c.kind == ControlKind::GroupBox) {
            EXPECT_EQ(IDC_STATIC, c.id);
        }
        // Inside the 161 x 367 client area.
        EXPECT_GE(c.x, 0);
        EXPECT_LE(c.x + c.width, kInfoDialogWidthUnits) << c.text;
        EXPECT_LE(c.y + c.height, kInfoDialogHeightUnits) << c.text;
    }
    EXPECT_EQ((std::vector<int>{IDC_MAX_DEPTH, IDC_TRIANGLES_PER_REGION, IDC_APPLY, IDC_OPEN_FILE}), tabStops);
    EXPECT_EQ(4, groupBoxes);
    EXPECT_STREQ("Max. depth level:\n(1-10)", controls[28].text);
    EXPECT_STREQ("Number of triangles per region: (1-10k)", controls[29].text);
    EXPECT_NE(std::string::npos, std::string(controls[26].text).find('\n'));  // the two-line credit
    EXPECT_STREQ("Apply", controls[2].text);
    EXPECT_STREQ("Open File", controls[3].text);
}

TEST(InfoDialogTemplate, DialogUnitsScaleWithTheFontLikeMulDiv) {
    // Base units 6 x 13: 161 x 367 units are 242 x 596 pixels (241.5 rounds up).
    EXPECT_EQ(242, dialogUnitsToPixelsX(161, 6));
    EXPECT_EQ(596, dialogUnitsToPixelsY(367, 13));
    EXPECT_EQ(156, dialogUnitsToPixelsX(104, 6));
    EXPECT_EQ(3, dialogUnitsToPixelsX(2, 5));  // 2.5 rounds away from zero
    EXPECT_EQ(-3, dialogUnitsToPixelsX(-2, 5));
    EXPECT_EQ(0, dialogUnitsToPixelsY(0, 13));
    EXPECT_EQ(7, dialogUnitsToPixelsY(4, 13));  // 6.5
}

namespace {

// The template index of a control named in the recorded table.
int indexOf(int control) {
    const auto controls = infoDialogControls();
    if (control == dialog_keys::kLastText) return static_cast<int>(controls.size()) - 1;
    for (std::size_t k = 0; k < controls.size(); ++k) {
        if (controls[k].id == control) return static_cast<int>(k);
    }
    return -1;
}

KeyPress xdotoolChord(const std::string& keys) {
    KeyPress press;
    std::string name = keys;
    for (std::size_t plus; (plus = name.find('+')) != std::string::npos; name.erase(0, plus + 1)) {
        const std::string modifier = name.substr(0, plus);
        press.ctrl = press.ctrl || modifier == "ctrl";
        press.shift = press.shift || modifier == "shift";
    }
    const std::vector<std::pair<std::string, KeyName>> names{
        {"Tab", KeyName::Tab},   {"Return", KeyName::Return}, {"space", KeyName::Space}, {"Up", KeyName::Up},
        {"Down", KeyName::Down}, {"Left", KeyName::Left},     {"Right", KeyName::Right}};
    for (const auto& [text, key] : names) {
        if (text == name) press.key = key;
    }
    return press;
}

}  // namespace

// The rules give what the Windows dialog did with each key on each focusable
// control (a press of Space is the button's own; the box a press of Apply
// opens moves the focus on, which is the handler's doing).
TEST(DialogNavigation, DoesWhatTheWindowsDialogDid) {
    using Kind = DialogNavigation::Kind;
    const auto controls = infoDialogControls();
    for (const dialog_keys::Case& c : dialog_keys::kWindowsBehaviour) {
        SCOPED_TRACE(std::to_string(c.from) + " " + c.keys);
        const DialogNavigation nav = navigateDialog(controls, indexOf(c.from), xdotoolChord(c.keys));
        const bool button = controls[static_cast<std::size_t>(indexOf(c.from))].kind == ControlKind::PushButton;
        if (c.pressed != dialog_keys::kNothing) {
            if (std::string(c.keys) == "space") {
                EXPECT_TRUE(button && nav.kind == Kind::Control);
            } else {
                EXPECT_EQ(Kind::Press, nav.kind);
                EXPECT_EQ(indexOf(c.pressed), nav.control);
            }
        } else if (c.focus == c.from) {
            EXPECT_NE(Kind::Focus, nav.kind);
            EXPECT_NE(Kind::Press, nav.kind);
        } else {
            EXPECT_EQ(Kind::Focus, nav.kind);
            EXPECT_EQ(indexOf(c.focus), nav.control);
        }
    }
    // Alt takes nothing; Tab goes on from a text.
    EXPECT_EQ(Kind::Control, navigateDialog(controls, 2, KeyPress{KeyName::Return, false, false, true}).kind);
    EXPECT_EQ(0, navigateDialog(controls, 4, xdotoolChord("Tab")).control);
    EXPECT_EQ(3, navigateDialog(controls, 4, xdotoolChord("shift+Tab")).control);
}
