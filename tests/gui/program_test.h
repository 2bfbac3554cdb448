#pragma once
// What the window tests share: a program started in a private working folder
// with a known default mesh, where the camera puts plane points on the screen,
// and the colours of the picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "image.h"
#include "process.h"
#include "x_session.h"

namespace fs = std::filesystem;

namespace program_test {

inline const gui::Rgb kBlack{0, 0, 0};
inline const gui::Rgb kGrey{204, 204, 204};
inline const gui::Rgb kOrange{255, 153, 0};
inline const gui::Rgb kTestedRed{230, 0, 0};
inline const gui::Rgb kFoundGreen{0, 204, 0};
inline const gui::Rgb kPointGreen{0, 255, 0};
inline constexpr int kTolerance = 3;

// A grid of n x n cells over (0, 0)-(width, height), by default (300, 400), two clockwise triangles per
// cell (so a highlighted triangle is drawn filled). With n = 8 the quadtree at
// the default limits splits the root only.
inline std::string gridMesh(int n, double width = 300, double height = 400) {
    std::string text;
    for (int j = 0; j <= n; ++j) {
        for (int i = 0; i <= n; ++i) {
            // At most 8 characters a coordinate: the reader's field width.
            char line[64];
            std::snprintf(line, sizeof line, "v %.6g %.6g\n", width * i / n, height * j / n);
            text += line;
        }
    }
    auto vertex = [n](int i, int j) { return std::to_string(j * (n + 1) + i); };
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            text += "f " + vertex(i, j) + " " + vertex(i + 1, j + 1) + " " + vertex(i + 1, j) + "\n";
            text += "f " + vertex(i, j) + " " + vertex(i, j + 1) + " " + vertex(i + 1, j + 1) + "\n";
        }
    }
    return text;
}

// Where the camera (eye straight above, 60 degree field of view) puts plane
// points in a window of the given size, and back.
struct View {
    double ex, ey, ez;
    int width = 800, height = 600;

    double halfHeight() const { return ez * std::tan(30.0 * M_PI / 180.0); }
    double aspect() const { return static_cast<double>(static_cast<float>(double(width) / double(height))); }
    double px(double x) const { return (1.0 + (x - ex) / (halfHeight() * aspect())) * width / 2.0; }
    double py(double y) const { return height - (1.0 + (y - ey) / halfHeight()) * height / 2.0; }
    // The plane point a click at window pixel (x, y) picks.
    double planeX(int x) const { return ex + (2.0 * x / width - 1.0) * halfHeight() * aspect(); }
    double planeY(int y) const { return ey + (2.0 * (height - y) / height - 1.0) * halfHeight(); }
};

// Where the default grid is first seen from.
inline const View kStartView{150, 200, 500};

// Appends one random input event for xdotool at a point of the rectangle
// (x0, y0, width, height): a left click, a wheel notch, a right-button drag
// (when `drags`), or one of `keys`.
inline void appendRandomEvent(std::vector<std::string>& argv, std::mt19937& random, int x0, int y0, int width,
                              int height, const std::vector<std::string>& keys, bool drags) {
    const int x = x0 + static_cast<int>(random() % static_cast<unsigned>(width));
    const int y = y0 + static_cast<int>(random() % static_cast<unsigned>(height));
    const auto choice = random() % (drags ? 6u : 5u);
    if (choice == 0) {
        argv.insert(argv.end(), {"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
    } else if (choice == 1) {
        argv.insert(argv.end(), {"mousemove", std::to_string(x), std::to_string(y), "click", random() % 2 ? "4" : "5"});
    } else if (choice == 2 && drags) {
        argv.insert(argv.end(), {"mousemove", std::to_string(x), std::to_string(y), "mousedown", "3", "mousemove",
                                 std::to_string(x + 7), std::to_string(y - 5), "mouseup", "3"});
    } else {
        argv.insert(argv.end(), {"key", "--delay", "0", keys[random() % keys.size()]});
    }
}

inline int rounded(double v) {
    return static_cast<int>(std::lround(v));
}

class ProgramTest : public ::testing::Test {
   protected:
    void SetUp() override {
        gui::session();
        static int counter = 0;
        workDir = fs::path(gui::session().tempDir()) / ("run" + std::to_string(++counter));
        fs::create_directories(workDir / "Data");
    }

    void TearDown() override {
        program.kill();
        std::error_code ignored;
        fs::remove_all(workDir, ignored);
    }

    void writeDefaultMesh(const std::string& text) {
        std::ofstream(workDir / "Data" / "triangles_1.tri", std::ios::binary) << text;
    }

    // Starts the program in the working folder with `args`; `prefix` runs
    // before it (a resource limit, say).
    void start(const gui::Environment& env = {}, std::vector<std::string> prefix = {},
               const std::vector<std::string>& args = {}) {
        prefix.push_back(ORRELIN_EXE);
        prefix.insert(prefix.end(), args.begin(), args.end());
        ASSERT_TRUE(program.start(prefix, env, workDir.string(), (workDir / "output.txt").string())) << program.error();
    }

    // Waits for the drawing window with the loaded default file and its first picture.
    void waitForScene(const View& view) {
        auto id = gui::waitForWindow("^Orrelin v1\\.1 - \\./Data/triangles_1\\.tri$", 60);
        ASSERT_TRUE(id.has_value()) << "no drawing window with the default file's title";
        window = *id;
        const gui::Geometry g = gui::windowGeometry(window);
        ASSERT_EQ(800, g.width);
        ASSERT_EQ(600, g.height);
        ASSERT_TRUE(waitForOrangeAt(view, 150, 30)) << "the root's split line never showed";
    }

    gui::Image capture() { return gui::captureWindow(window); }

    // The program on a 20 x 20 grid, left-clicked at window pixel (x, y): the
    // picture once the point shows (invalid if it never did).
    gui::Image clickedGrid(int x, int y) {
        writeDefaultMesh(gridMesh(20));
        start();
        waitForScene(kStartView);
        gui::Image image;
        if (!gui::clickAt(window, x, y)) return image;
        const bool shown = gui::waitFor(
            [&] {
                image = capture();
                return image.valid() &&
                       gui::countPixels(image, x - 2, y - 2, x + 2, y + 2, kPointGreen, kTolerance) > 0;
            },
            10);
        return shown ? image : gui::Image{};
    }

    // The window's UTF-8 name (_NET_WM_NAME), read as bytes; empty without one.
    static std::string utf8Name(const std::string& id) {
        const gui::CommandResult r = gui::runCommand({"xprop", "-id", id, "-f", "_NET_WM_NAME", "8x", "_NET_WM_NAME"});
        std::string name;
        const std::size_t eq = r.out.find('=');
        if (r.out.find("UTF8_STRING") == std::string::npos || eq == std::string::npos) return name;
        std::istringstream bytes(r.out.substr(eq + 1));
        std::string byte;
        while (std::getline(bytes, byte, ',')) name += static_cast<char>(std::stoi(byte, nullptr, 16));
        return name;
    }

    // Clicks the close button of the frame the window manager draws around
    // `id` (openbox: the rightmost button of the title bar).
    bool clickCloseButton(const std::string& id) {
        const gui::Geometry g = gui::windowGeometry(id);
        const gui::CommandResult r = gui::runCommand({"xprop", "-id", id, "_NET_FRAME_EXTENTS"});
        int left = 0, right = 0, top = 0, bottom = 0;
        const std::size_t eq = r.out.find('=');
        if (!g.valid() || eq == std::string::npos ||
            std::sscanf(r.out.c_str() + eq + 1, " %d , %d , %d , %d", &left, &right, &top, &bottom) != 4) {
            return false;
        }
        return gui::mouseMove(g.x + g.width + right - 10, g.y - top / 2) && gui::click(1);
    }

    // Makes `id` the active window and waits until it stays so: right after
    // start-up the program's own activations may still be on their way.
    bool activateSteadily(const std::string& id) {
        int steady = 0;
        return gui::waitFor(
            [&] {
                if (gui::activeWindow() != id) {
                    steady = 0;
                    gui::runCommand({"xdotool", "windowactivate", "--sync", id});
                    return false;
                }
                return ++steady >= 5;
            },
            10, 0.05);
    }

    // Waits until the split line x = `x` shows at plane height `y` in `view`.
    bool waitForOrangeAt(const View& view, double x, double y, double timeout = 10) {
        return gui::waitFor(
            [&] {
                const gui::Image image = capture();
                return image.valid() &&
                       gui::anyPixelNear(image, rounded(view.px(x)), rounded(view.py(y)), 1, kOrange, kTolerance);
            },
            timeout);
    }

    // Clicks the centre of a control of the Info dialog `dialog` given in
    // dialog units, scaled by the dialog's client area (161 x 367 units).
    static bool clickDialogControl(const std::string& dialog, int x, int y, int width, int height) {
        const gui::Geometry g = gui::windowGeometry(dialog);
        const double sx = g.width / 161.0;
        const double sy = g.height / 367.0;
        return gui::clickAt(dialog, static_cast<int>((x + width / 2.0) * sx),
                            static_cast<int>((y + height / 2.0) * sy));
    }

    // The window `id` is transient for (its owner), as a decimal id; empty if none.
    static std::string transientFor(const std::string& id) {
        const gui::CommandResult r = gui::runCommand({"xprop", "-id", id, "WM_TRANSIENT_FOR"});
        const std::size_t hash = r.out.find('#');
        if (r.exitStatus != 0 || hash == std::string::npos) return {};
        return std::to_string(std::stoul(r.out.substr(hash + 1), nullptr, 16));
    }

    // Whether the window manager stacks `upper` above `lower` (both top-level
    // windows it manages).
    static bool stackedAbove(const std::string& upper, const std::string& lower) {
        const gui::CommandResult r = gui::runCommand({"xprop", "-root", "_NET_CLIENT_LIST_STACKING"});
        std::vector<std::string> order;  // bottom first
        for (std::size_t at = r.out.find("0x"); at != std::string::npos; at = r.out.find("0x", at + 2)) {
            order.push_back(std::to_string(std::stoul(r.out.substr(at), nullptr, 16)));
        }
        const auto u = std::find(order.begin(), order.end(), upper);
        const auto l = std::find(order.begin(), order.end(), lower);
        return u != order.end() && l != order.end() && u > l;
    }

    // The program's exit status (-1000 while it still runs); anything but 0
    // shows what the program printed, sanitizer reports included.
    int exitStatus(double timeout = 10) {
        int status = -1;
        if (!program.waitExit(status, timeout)) return -1000;
        if (status != 0) {
            std::ifstream output(workDir / "output.txt");
            std::cerr << "program output:\n" << output.rdbuf() << "\n";
        }
        return status;
    }

    // The text of the message box `id`: its copy key puts caption, text and
    // buttons on the clipboard.
    std::string boxText(const std::string& id) {
        gui::keyToWindow(id, "ctrl+c");
        std::string text;
        gui::waitFor(
            [&] {
                text = gui::readClipboard();
                return !text.empty();
            },
            5);
        return text;
    }

    // The clipboard form of a message box with one OK button.
    static std::string boxCopy(const std::string& caption, const std::string& text) {
        const std::string rule = "---------------------------\n";
        return rule + caption + "\n" + rule + text + "\n" + rule + "OK   \n" + rule;
    }

    // Pixels of the icon's signature colour in the box's top-left corner:
    // blue for information, red for error, yellow for warning.
    static int iconPixels(const std::string& box, gui::Rgb colour) {
        const gui::Image image = gui::captureWindow(box);
        return image.valid() ? gui::countPixels(image, 0, 0, 50, 50, colour, 0) : -1;
    }

    fs::path workDir;
    gui::Process program;
    std::string window;
};

}  // namespace program_test
