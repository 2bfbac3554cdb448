#include "orrelin/ui/info_dialog.h"

#include <iterator>

namespace {

#define ORRELIN_CONTROL(kind, id, text, x, y, width, height) \
    DialogControl{ControlKind::kind, id, text, x, y, width, height},
constexpr DialogControl kControls[] = {
#include "info_dialog_controls.inc"
};
#undef ORRELIN_CONTROL

static_assert(std::size(kControls) == 35);
// The ids the program names: the two edits, then the two buttons.
static_assert(kControls[0].id == IDC_MAX_DEPTH && kControls[1].id == IDC_TRIANGLES_PER_REGION);
static_assert(kControls[2].id == IDC_APPLY && kControls[3].id == IDC_OPEN_FILE);

// units * base / divisor, rounded half away from zero like the platform's MulDiv.
int scale(int units, int base, int divisor) {
    const long long product = static_cast<long long>(units) * base;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : -((-product + half) / divisor));
}

}  // namespace

std::span<const DialogControl> infoDialogControls() {
    return kControls;
}

int dialogUnitsToPixelsX(int units, int baseWidth) {
    return scale(units, baseWidth, 4);
}

int dialogUnitsToPixelsY(int units, int baseHeight) {
    return scale(units, baseHeight, 8);
}
