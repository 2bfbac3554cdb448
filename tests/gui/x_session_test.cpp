// Tests of the X session helpers on a live private server, driving small X
// clients (xmessage, xev, xclip) the way the GUI tests drive the program.
#include "x_session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "harness_test_util.h"
#include "image.h"
#include "process.h"

namespace {

using namespace std::string_literals;
using harness_test::Clock;
using harness_test::readText;
using harness_test::secondsSince;
using harness_test::TempDir;

constexpr gui::Rgb kRed{255, 0, 0};

// ---------------------------------------------------------------------------
// Live X session

class Live : public ::testing::Test {
   protected:
    void SetUp() override { display_ = gui::session().display(); }
    std::string display_;
};

// An xmessage window with a red background and a blue button that exits with 5.
std::vector<std::string> probeMessage(const std::string& title) {
    return {"xmessage", "-title",  title,      "-bg",   "red",       "-xrm",    "xmessage*Command.background: blue",
            "-buttons", "close:5", "-default", "close", "-geometry", "240x120", "probe window"};
}

constexpr gui::Rgb kBlue{0, 0, 255};

// What the X server holds for windows named `title`: each one's id and map
// state, for a failure message.
std::string windowsNamed(const std::string& title) {
    std::string said;
    for (const std::string& id : gui::findWindows("^" + title + "$", false)) {
        const gui::CommandResult info = gui::runCommand({"xwininfo", "-id", id}, 5);
        const std::size_t state = info.out.find("Map State:");
        said +=
            " " + id +
            (state == std::string::npos ? "" : " (" + info.out.substr(state, info.out.find('\n', state) - state) + ")");
    }
    return said.empty() ? " none" : said;
}

// Starts the probe window titled `title` and waits for it to be shown. An
// xmessage whose window did not show within 20 s, or that ended first, is
// ended and started again, up to three times in all; each such loss is
// printed with what the server held and what xmessage printed, and so is the
// failure when no window came.
std::optional<std::string> showProbe(gui::Process& p, const std::string& title) {
    const std::string log = gui::session().tempDir() + "/" + title + ".log";
    std::optional<std::string> id;
    std::string lost;
    for (int attempt = 0; attempt < 3 && !id; ++attempt) {
        if (!p.start(probeMessage(title), {}, {}, log)) {
            ADD_FAILURE() << p.error();
            return {};
        }
        gui::waitFor(
            [&] {
                id = gui::waitForWindow("^" + title + "$", 0);
                return id.has_value() || !p.running();
            },
            20, 0.05);
        if (id) break;
        lost += "\nattempt " + std::to_string(attempt + 1) + ": xmessage " +
                (p.running() ? "still ran" : "ended with " + std::to_string(p.exitStatus().value_or(-1))) +
                ", windows of that name:" + windowsNamed(title) + ", it printed: " + readText(log);
        p.terminate();
    }
    if (!id) {
        ADD_FAILURE() << "no window \"" << title << "\" was shown" << lost;
    } else if (!lost.empty()) {
        std::cerr << "the probe window \"" << title << "\" came only when started again:" << lost << "\n";
    }
    return id;
}

TEST_F(Live, SessionRunsAPrivateServerWithAWindowManager) {
    ASSERT_FALSE(display_.empty());
    EXPECT_EQ(display_[0], ':');
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    EXPECT_EQ(std::getenv("DISPLAY"), display_);
    EXPECT_EQ(&gui::session(), &gui::session()) << "one session per process";

    gui::CommandResult info = gui::runCommand({"xdpyinfo"});
    ASSERT_EQ(info.exitStatus, 0) << info.err;
    EXPECT_NE(info.out.find("1280x1024 pixels"), std::string::npos);
    EXPECT_NE(info.out.find("depth of root window:    24 planes"), std::string::npos);

    gui::CommandResult wm = gui::runCommand({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"});
    EXPECT_NE(wm.out.find("window id"), std::string::npos) << wm.out;

    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    ASSERT_NE(runtime, nullptr);
    struct stat st {};
    ASSERT_EQ(::stat(runtime, &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(std::getenv("QT_QPA_PLATFORM"), "xcb"s);

    gui::Image root = gui::captureRoot();
    ASSERT_TRUE(root.valid());
    EXPECT_EQ(root.width, 1280);
    EXPECT_EQ(root.height, 1024);
}

TEST_F(Live, FindsCapturesAndClicksAWindow) {
    gui::Process p;
    std::optional<std::string> id = showProbe(p, "orrelin probe click");
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(gui::windowName(*id), "orrelin probe click");
    EXPECT_EQ(gui::findWindows("^orrelin probe c"), std::vector<std::string>{*id});
    EXPECT_TRUE(gui::findWindows("^probe click").empty());

    const gui::Geometry g = gui::windowGeometry(*id);
    ASSERT_TRUE(g.valid());
    EXPECT_EQ(g.width, 240);
    EXPECT_EQ(g.height, 120);
    EXPECT_GE(g.x, 0);
    EXPECT_GT(g.y, 0) << "openbox puts a title bar above the client area";
    EXPECT_LE(g.x + g.width, 1280);

    // Wait for the first paint.
    gui::Image image;
    ASSERT_TRUE(gui::waitFor(
        [&] {
            image = gui::captureWindow(*id);
            return image.valid() && gui::countPixels(image, 0, 0, image.width - 1, image.height - 1, kBlue, 0) > 0;
        },
        10));
    EXPECT_EQ(image.width, g.width);
    EXPECT_EQ(image.height, g.height);
    EXPECT_GT(gui::countPixels(image, 0, 0, image.width - 1, image.height - 1, kRed, 0),
              image.width * image.height / 2);
    EXPECT_EQ(image.at(2, 2), kRed);

    // The same pixels at the same place in a capture of the whole screen.
    gui::Image root = gui::captureRoot();
    ASSERT_TRUE(root.valid());
    EXPECT_EQ(root.at(g.x + 2, g.y + 2), kRed);
    EXPECT_EQ(root.at(g.x + g.width - 3, g.y + g.height - 3), image.at(g.width - 3, g.height - 3));

    // Find the blue button and click its middle.
    int minX = image.width, minY = image.height, maxX = -1, maxY = -1;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.at(x, y) == kBlue) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
        }
    }
    ASSERT_GE(maxX, 0);
    int status = -100;
    EXPECT_FALSE(p.waitExit(status, 0.1)) << "ended before the click";
    ASSERT_TRUE(gui::clickAt(*id, (minX + maxX) / 2, (minY + maxY) / 2, 1));
    ASSERT_TRUE(p.waitExit(status, 10));
    EXPECT_EQ(status, 5);
    EXPECT_TRUE(gui::waitForNoWindow("^orrelin probe click$", 5));
}

TEST_F(Live, PressesAndReleasesTheMouseAtRootCoordinates) {
    gui::Process p;
    std::optional<std::string> id = showProbe(p, "orrelin probe press");
    ASSERT_TRUE(id.has_value());
    gui::Image image;
    ASSERT_TRUE(gui::waitFor(
        [&] {
            image = gui::captureWindow(*id);
            return gui::countPixels(image, 0, 0, image.width - 1, image.height - 1, kBlue, 0) > 20;
        },
        10));
    int bx = -1, by = -1;
    for (int y = image.height - 1; y >= 0 && bx < 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            if (gui::countPixels(image, x - 2, y - 2, x + 2, y + 2, kBlue, 0) == 25) {
                bx = x, by = y;
                break;
            }
        }
    }
    ASSERT_GE(bx, 0) << "no solid blue area";
    const gui::Geometry g = gui::windowGeometry(*id);
    ASSERT_TRUE(gui::mouseMove(g.x + bx, g.y + by));
    gui::CommandResult where = gui::runCommand({"xdotool", "getmouselocation", "--shell"});
    EXPECT_NE(where.out.find("X=" + std::to_string(g.x + bx) + "\n"), std::string::npos) << where.out;
    EXPECT_NE(where.out.find("Y=" + std::to_string(g.y + by) + "\n"), std::string::npos) << where.out;

    auto start = Clock::now();
    ASSERT_TRUE(gui::mouseMove(g.x + bx, g.y + by)) << "moving to where the pointer already is";
    EXPECT_LT(secondsSince(start), 2.0);

    ASSERT_TRUE(gui::mouseDown(1));
    int status = -100;
    EXPECT_FALSE(p.waitExit(status, 0.3)) << "a button acts on release";
    ASSERT_TRUE(gui::mouseUp(1));
    ASSERT_TRUE(p.waitExit(status, 10));
    EXPECT_EQ(status, 5);
}

TEST_F(Live, KeyToWindowActivatesItAndSendsTheKey) {
    gui::Process other, p;
    ASSERT_TRUE(showProbe(other, "orrelin probe other").has_value());
    std::optional<std::string> id = showProbe(p, "orrelin probe key");
    ASSERT_TRUE(id.has_value());
    std::optional<std::string> otherId = gui::waitForWindow("^orrelin probe other$", 60);
    ASSERT_TRUE(otherId.has_value());

    // Put the focus elsewhere first, so the key only arrives if keyToWindow moves it.
    ASSERT_TRUE(gui::keyToWindow(*otherId, "shift"));
    EXPECT_EQ(gui::activeWindow(), *otherId);
    ASSERT_TRUE(gui::keyToWindow(*id, "Return"));  // the default button
    int status = -100;
    ASSERT_TRUE(p.waitExit(status, 10));
    EXPECT_EQ(status, 5);
    EXPECT_TRUE(other.running()) << "the key went to the wrong window";
    EXPECT_TRUE(gui::waitForNoWindow("^orrelin probe key$", 5));
    EXPECT_FALSE(gui::waitForNoWindow("^orrelin probe other$", 0.1));
}

TEST_F(Live, KeysTextAndClickCoordinatesArriveAsRealEvents) {
    // xev prints every event it gets; keys and buttons must arrive unsynthesised
    // and the click at the requested point of the client area.
    const std::string log = gui::session().tempDir() + "/xev.log";
    gui::Process xev;
    ASSERT_TRUE(xev.start({"xev", "-name", "orrelin-xev", "-event", "keyboard", "-event", "button"}, {}, {}, log));
    std::optional<std::string> id = gui::waitForWindow("^orrelin-xev$", 60);
    ASSERT_TRUE(id.has_value());
    ASSERT_TRUE(gui::keyToWindow(*id, "ctrl+c shift+Right"));
    ASSERT_TRUE(gui::typeText("Hi -x!"));
    ASSERT_TRUE(gui::clickAt(*id, 150, 140, 3));
    auto logHas = [&](const std::string& text) { return readText(log).find(text) != std::string::npos; };
    ASSERT_TRUE(gui::waitFor([&] { return logHas("ButtonRelease"); }, 5)) << readText(log);
    const std::string events = readText(log);
    EXPECT_EQ(events.find("synthetic YES"), std::string::npos);
    // xev prints "state <modifier mask>, keycode <n> (keysym <x>, <name>)" on one line.
    auto pressedWith = [&](const std::string& state, const std::string& keysym) {
        std::istringstream lines(events);
        for (std::string line; std::getline(lines, line);) {
            if (line.find(keysym) != std::string::npos && line.find(state) != std::string::npos) return true;
        }
        return false;
    };
    EXPECT_TRUE(pressedWith("state 0x4,", "(keysym 0x63, c)")) << "ctrl held for c";
    EXPECT_TRUE(pressedWith("state 0x1,", "(keysym 0xff53, Right)")) << "shift held for Right";
    std::string typed;
    for (std::size_t at = events.find("KeyPress"); at != std::string::npos; at = events.find("KeyPress", at + 1)) {
        std::size_t quote = events.find("bytes: (", at);
        std::size_t next = events.find("KeyPress", at + 1);
        if (quote == std::string::npos || (next != std::string::npos && quote > next)) continue;
        std::size_t open = events.find('"', quote), close = events.find('"', open + 1);
        if (open != std::string::npos && close == open + 2) typed += events[open + 1];
    }
    EXPECT_EQ(typed, "\x03Hi -x!") << "ctrl+c gives the control character";
    EXPECT_NE(events.find("(150,140)"), std::string::npos) << events;
    EXPECT_NE(events.find("button 3,"), std::string::npos);
}

TEST_F(Live, ReadsTheClipboard) {
    TempDir dir;
    const std::string file = dir.path() + "/text";
    std::ofstream(file, std::ios::binary) << "clipboard \"text\"\nsecond line";
    gui::Process owner;  // xclip in the foreground owns the selection until it is killed
    ASSERT_TRUE(owner.start({"xclip", "-quiet", "-selection", "clipboard", "-i", file}));
    std::string text;
    EXPECT_TRUE(gui::waitFor(
        [&] {
            text = gui::readClipboard();
            return !text.empty();
        },
        5));
    EXPECT_EQ(text, "clipboard \"text\"\nsecond line");
    owner.kill();
    EXPECT_TRUE(gui::waitFor([] { return gui::readClipboard().empty(); }, 5)) << "no owner, no text";
}

TEST_F(Live, SecondSessionWithoutWindowManager) {
    const std::string outer = display_;
    std::string bareDisplay, bareTemp;
    {
        gui::XSession bare(false);
        bareDisplay = bare.display();
        bareTemp = bare.tempDir();
        EXPECT_NE(bareDisplay, outer) << "each session gets a free display of its own";
        EXPECT_EQ(std::getenv("DISPLAY"), bareDisplay);
        EXPECT_FALSE(bare.hasWindowManager());
        gui::CommandResult wm = gui::runCommand({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"});
        EXPECT_EQ(wm.out.find("window id"), std::string::npos) << wm.out;

        gui::Process p;
        std::optional<std::string> id = showProbe(p, "orrelin probe bare");
        ASSERT_TRUE(id.has_value());
        EXPECT_EQ(gui::activeWindow(), "") << "nothing sets _NET_ACTIVE_WINDOW";
        ASSERT_TRUE(gui::keyToWindow(*id, "Return")) << "falls back to setting the focus";
        int status = -100;
        ASSERT_TRUE(p.waitExit(status, 10));
        EXPECT_EQ(status, 5);
    }
    EXPECT_EQ(std::getenv("DISPLAY"), outer) << "the outer session's display is back";
    EXPECT_FALSE(std::filesystem::exists(bareTemp));
    EXPECT_NE(gui::runCommand({"xdpyinfo", "-display", bareDisplay}, 10).exitStatus, 0) << "server still up";
    EXPECT_EQ(gui::runCommand({"xdpyinfo"}, 10).exitStatus, 0);
}

TEST_F(Live, UnknownWindowsAndPlacesGiveEmptyAnswers) {
    EXPECT_TRUE(gui::findWindows("^no window has this name$").empty());
    auto start = Clock::now();
    EXPECT_FALSE(gui::waitForWindow("^no window has this name$", 0.3).has_value());
    EXPECT_GE(secondsSince(start), 0.3);
    EXPECT_LT(secondsSince(start), 5.0);
    EXPECT_TRUE(gui::waitForNoWindow("^no window has this name$", 0));
    EXPECT_EQ(gui::windowName("123456789"), "");
    EXPECT_FALSE(gui::windowGeometry("123456789").valid());
    EXPECT_FALSE(gui::captureWindow("123456789").valid());
    EXPECT_FALSE(gui::keyToWindow("123456789", "Return"));
    EXPECT_FALSE(gui::clickAt("123456789", 1, 1, 1));
    start = Clock::now();
    EXPECT_FALSE(gui::mouseMove(5000, 5000)) << "off the screen";
    EXPECT_LT(secondsSince(start), 5.0);
}

}  // namespace
