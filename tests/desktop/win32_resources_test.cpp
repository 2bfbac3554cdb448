// The Windows program's compiled dialog and accelerator resources against the
// dialog template the Linux dialog is built from.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "orrelin/ui/info_dialog.h"

// GCC 12 reports a false overlap in std::string's inlined appends here.
#pragma GCC diagnostic ignored "-Wrestrict"

namespace {

// Reads the packed, WORD-aligned fields of a resource.
class ResourceReader {
   public:
    explicit ResourceReader(const void* data) : p_(static_cast<const unsigned char*>(data)) {}
    std::uint16_t word() {
        std::uint16_t v;
        std::memcpy(&v, p_, 2);
        p_ += 2;
        return v;
    }
    std::uint32_t dword() {
        std::uint32_t v;
        std::memcpy(&v, p_, 4);
        p_ += 4;
        return v;
    }
    std::int16_t shortValue() { return static_cast<std::int16_t>(word()); }
    std::uint8_t byte() { return *p_++; }
    // A zero-terminated UTF-16 string of ASCII characters.
    std::string text() {
        std::string s;
        for (std::uint16_t c = word(); c != 0; c = word()) s += static_cast<char>(c);
        return s;
    }
    // A string or, after 0xFFFF, an ordinal (returned as "#n").
    std::string textOrOrdinal() {
        std::uint16_t first;
        std::memcpy(&first, p_, 2);
        if (first == 0xFFFF) {
            word();
            return "#" + std::to_string(word());
        }
        return text();
    }
    void alignToDword(const void* base) {
        const auto offset = static_cast<std::size_t>(p_ - static_cast<const unsigned char*>(base));
        p_ += (4 - offset % 4) % 4;
    }

   private:
    const unsigned char* p_;
};

const void* resource(LPCSTR type, int id, WORD language) {
    HRSRC found = FindResourceExA(nullptr, type, MAKEINTRESOURCEA(id), language);
    if (found == nullptr) return nullptr;
    return LockResource(LoadResource(nullptr, found));
}

}  // namespace

TEST(WindowsResources, DialogTemplateMatchesTheControlTable) {
    const void* data = resource(MAKEINTRESOURCEA(5) /* RT_DIALOG */, IDD_INFO, 1031);
    ASSERT_NE(nullptr, data) << "dialog 103 in language 1031";
    ResourceReader r(data);
    EXPECT_EQ(1, r.word());  // extended template
    EXPECT_EQ(0xFFFF, r.word());
    r.dword();                 // help id
    EXPECT_EQ(0u, r.dword());  // extended style
    EXPECT_EQ(0x80C000C8u, r.dword());
    const auto controls = infoDialogControls();
    ASSERT_EQ(controls.size(), r.word());
    EXPECT_EQ(0, r.shortValue());
    EXPECT_EQ(0, r.shortValue());
    EXPECT_EQ(kInfoDialogWidthUnits, r.shortValue());
    EXPECT_EQ(kInfoDialogHeightUnits, r.shortValue());
    EXPECT_EQ("", r.textOrOrdinal());  // no menu
    EXPECT_EQ("", r.textOrOrdinal());  // no class of its own
    EXPECT_EQ(kInfoDialogCaption, r.text());
    EXPECT_EQ(8, r.word());
    EXPECT_EQ(400, r.word());
    EXPECT_EQ(0, r.byte());  // not italic
    EXPECT_EQ(1, r.byte());  // DEFAULT_CHARSET
    EXPECT_EQ("MS Shell Dlg", r.text());
    for (const DialogControl& c : controls) {
        r.alignToDword(data);
        r.dword();  // help id
        EXPECT_EQ(0u, r.dword()) << c.text;
        const std::uint32_t style = r.dword();
        EXPECT_EQ(c.x, r.shortValue()) << c.text;
        EXPECT_EQ(c.y, r.shortValue()) << c.text;
        EXPECT_EQ(c.width, r.shortValue()) << c.text;
        EXPECT_EQ(c.height, r.shortValue()) << c.text;
        EXPECT_EQ(static_cast<std::uint32_t>(c.id), r.dword()) << c.text;
        const std::string windowClass = r.textOrOrdinal();
        EXPECT_EQ(c.text, r.textOrOrdinal());
        const std::uint16_t extra = r.word();
        EXPECT_EQ(0, extra);
        switch (c.kind) {
            case ControlKind::Edit:
                EXPECT_EQ(0x50810080u, style);
                EXPECT_EQ("#129", windowClass);
                break;
            case ControlKind::PushButton:
                EXPECT_EQ(0x50010000u, style) << c.text;  // neither is the default push button
                EXPECT_EQ("#128", windowClass);
                break;
            case ControlKind::GroupBox:
                EXPECT_EQ(0x50000007u, style) << c.text;
                EXPECT_EQ("#128", windowClass);
                break;
            case ControlKind::Static:
                EXPECT_EQ(0x50020000u, style) << c.text;
                EXPECT_EQ("#130", windowClass);
                break;
        }
    }
}

TEST(WindowsResources, AcceleratorTableHasExactlyTheTwoEntries) {
    const void* data = resource(MAKEINTRESOURCEA(9) /* RT_ACCELERATOR */, IDR_ACCELERATORS, 1031);
    ASSERT_NE(nullptr, data) << "accelerator table 104 in language 1031";
    ResourceReader r(data);
    EXPECT_EQ(0x0B, r.word());  // FVIRTKEY | FNOINVERT | FCONTROL
    EXPECT_EQ(VK_TAB, r.word());
    EXPECT_EQ(ID_TOGGLE_ACTIVE_WINDOW, r.word());
    r.word();
    EXPECT_EQ(0x83, r.word());  // FVIRTKEY | FNOINVERT, last entry
    EXPECT_EQ(VK_ESCAPE, r.word());
    EXPECT_EQ(ID_EXIT_PROGRAM, r.word());
}

#endif  // _WIN32
