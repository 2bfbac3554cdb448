// Tests of the GUI test harness: PPM decoding, pixel helpers, child process
// handling, and a live X session driving small X clients (xmessage, xev,
// xclip) the way the GUI tests drive the program.
#include "gui_harness.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A process counts as gone when it no longer exists or is a zombie waiting
// for a parent that does not reap (as PID 1 in a container may not).
bool processGone(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    std::string line;
    std::getline(stat, line);
    std::size_t paren = line.rfind(')');
    return paren == std::string::npos || paren + 2 >= line.size() || line[paren + 2] == 'Z' || line[paren + 2] == 'X';
}

class TempDir {
   public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orrelin-harness-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

   private:
    std::string path_;
};

// ---------------------------------------------------------------------------
// PPM

TEST(ParsePpm, ReadsPixelsRowByRow) {
    gui::Image image = gui::parsePpm("P6\n2 2\n255\n\x01\x02\x03\x04\x05\x06\x07\x08\x09\xff\xfe\xfd"s);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.at(0, 0), (gui::Rgb{1, 2, 3}));
    EXPECT_EQ(image.at(1, 0), (gui::Rgb{4, 5, 6}));
    EXPECT_EQ(image.at(0, 1), (gui::Rgb{7, 8, 9}));
    EXPECT_EQ(image.at(1, 1), (gui::Rgb{255, 254, 253}));
}

TEST(ParsePpm, AcceptsCommentsAndAnyWhitespaceBetweenFields) {
    gui::Image image = gui::parsePpm("P6# made by hand\n  3\t# width\r\n1 # height\n\n# maxval next\n255\n"s +
                                     "\x0a\x20\x23" + "abc" + "\x00\x00\x00"s);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 1);
    // The raster starts right after the one whitespace character following
    // maxval, even when its first bytes are newline, space and '#'.
    EXPECT_EQ(image.at(0, 0), (gui::Rgb{0x0a, 0x20, 0x23}));
    EXPECT_EQ(image.at(1, 0), (gui::Rgb{'a', 'b', 'c'}));
    EXPECT_EQ(image.at(2, 0), (gui::Rgb{0, 0, 0}));
}

TEST(ParsePpm, IgnoresBytesAfterTheRaster) {
    gui::Image image = gui::parsePpm("P6 1 1 255 \x10\x20\x30P6 1 1 255 xyz"s);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.at(0, 0), (gui::Rgb{0x10, 0x20, 0x30}));
}

TEST(ParsePpm, ScalesSamplesWiderThanEightBits) {
    // Two bytes a sample, most significant first.
    gui::Image wide = gui::parsePpm("P6\n2 1\n65535\n"s + "\xff\xff\x00\x00\x80\x00"s + "\x01\x00\x00\x80\x7f\xff"s);
    ASSERT_TRUE(wide.valid());
    EXPECT_EQ(wide.at(0, 0), (gui::Rgb{255, 0, 128}));
    EXPECT_EQ(wide.at(1, 0), (gui::Rgb{1, 0, 127}));

    gui::Image narrow = gui::parsePpm("P6 1 1 15\n\x0f\x00\x07"s);
    ASSERT_TRUE(narrow.valid());
    EXPECT_EQ(narrow.at(0, 0), (gui::Rgb{255, 0, 119}));
}

TEST(ParsePpm, RejectsMalformedInput) {
    const std::string pixel = "\x01\x02\x03"s;
    EXPECT_TRUE(gui::parsePpm("P6 1 1 255\n" + pixel).valid());  // the baseline the cases below break

    EXPECT_FALSE(gui::parsePpm("").valid());
    EXPECT_FALSE(gui::parsePpm("P").valid());
    EXPECT_FALSE(gui::parsePpm("P3 1 1 255\n1 2 3\n").valid()) << "ASCII PPM";
    EXPECT_FALSE(gui::parsePpm("P5 1 1 255\n" + pixel).valid()) << "grey map";
    EXPECT_FALSE(gui::parsePpm("p6 1 1 255\n" + pixel).valid());
    EXPECT_FALSE(gui::parsePpm("P61 1 255\n" + pixel).valid()) << "no separator after the magic";
    EXPECT_FALSE(gui::parsePpm("P6 1 1\n" + pixel).valid()) << "maxval missing";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 255").valid()) << "header cut short";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 255" + pixel).valid()) << "no whitespace after maxval";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 255\n\x01\x02"s).valid()) << "raster one byte short";
    EXPECT_FALSE(gui::parsePpm("P6 2 1 255\n" + pixel).valid()) << "raster one pixel short";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 65535\n" + pixel).valid()) << "16-bit raster cut short";
    EXPECT_FALSE(gui::parsePpm("P6 0 1 255\n").valid()) << "zero width";
    EXPECT_FALSE(gui::parsePpm("P6 1 0 255\n").valid()) << "zero height";
    EXPECT_FALSE(gui::parsePpm("P6 -1 1 255\n" + pixel).valid()) << "negative width";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 0\n" + pixel).valid()) << "maxval 0";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 65536\n" + pixel + pixel).valid()) << "maxval too large";
    EXPECT_FALSE(gui::parsePpm("P6 1 1 2\n" + pixel).valid()) << "samples above maxval";
    EXPECT_FALSE(gui::parsePpm("P6 x 1 255\n" + pixel).valid());
    EXPECT_FALSE(gui::parsePpm("P6 99999999999 99999999999 255\n" + pixel).valid()) << "huge size";
    EXPECT_FALSE(gui::parsePpm("P6 100000 100000 255\n" + pixel).valid()) << "size far beyond the data";
}

TEST(Image, DefaultIsInvalidAndAtChecksBounds) {
    EXPECT_FALSE(gui::Image{}.valid());
    gui::Image image = gui::parsePpm("P6 2 1 255\n\x01\x02\x03\x04\x05\x06"s);
    ASSERT_TRUE(image.valid());
    EXPECT_THROW(image.at(2, 0), std::out_of_range);
    EXPECT_THROW(image.at(0, 1), std::out_of_range);
    EXPECT_THROW(image.at(-1, 0), std::out_of_range);
    gui::Image inconsistent = image;
    inconsistent.rgb.pop_back();
    EXPECT_FALSE(inconsistent.valid());
}

TEST(Image, PpmRoundTrip) {
    gui::Image image;
    image.width = 3;
    image.height = 2;
    for (int i = 0; i < 18; ++i) image.rgb.push_back(static_cast<std::uint8_t>(i * 14 + 1));
    gui::Image back = gui::parsePpm(gui::toPpm(image));
    ASSERT_TRUE(back.valid());
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.rgb, image.rgb);
}

// ---------------------------------------------------------------------------
// Pixel helpers

// A w x h image of `background` with the listed pixels set.
gui::Image makeImage(int w, int h, gui::Rgb background, std::initializer_list<std::tuple<int, int, gui::Rgb>> pixels) {
    gui::Image image;
    image.width = w;
    image.height = h;
    for (int i = 0; i < w * h; ++i) image.rgb.insert(image.rgb.end(), {background.r, background.g, background.b});
    for (const auto& [x, y, c] : pixels) {
        std::size_t i = (static_cast<std::size_t>(y) * w + x) * 3;
        image.rgb[i] = c.r;
        image.rgb[i + 1] = c.g;
        image.rgb[i + 2] = c.b;
    }
    return image;
}

constexpr gui::Rgb kBlack{0, 0, 0};
constexpr gui::Rgb kRed{255, 0, 0};

TEST(PixelHelpers, NearComparesEveryChannelAgainstTheTolerance) {
    EXPECT_TRUE(gui::near({100, 100, 100}, {105, 95, 100}, 5));
    EXPECT_FALSE(gui::near({100, 100, 100}, {106, 100, 100}, 5));
    EXPECT_FALSE(gui::near({100, 100, 100}, {100, 100, 94}, 5));
    EXPECT_FALSE(gui::near({0, 0, 0}, {255, 255, 255}, 254));
    EXPECT_TRUE(gui::near({0, 0, 0}, {255, 255, 255}, 255));
}

TEST(PixelHelpers, CountPixelsIncludesBothEndsAndClampsToTheImage) {
    // Red at the four corners of a 5x4 image and one in the middle.
    gui::Image image = makeImage(5, 4, kBlack, {{0, 0, kRed}, {4, 0, kRed}, {0, 3, kRed}, {4, 3, kRed}, {2, 1, kRed}});
    EXPECT_EQ(gui::countPixels(image, 0, 0, 4, 3, kRed, 0), 5);
    EXPECT_EQ(gui::countPixels(image, 4, 3, 0, 0, kRed, 0), 5) << "corners given the other way round";
    EXPECT_EQ(gui::countPixels(image, 0, 0, 2, 1, kRed, 0), 2);
    EXPECT_EQ(gui::countPixels(image, 2, 1, 2, 1, kRed, 0), 1) << "one-pixel rectangle";
    EXPECT_EQ(gui::countPixels(image, 0, 0, 3, 2, kRed, 0), 2) << "right column and bottom row left out";
    EXPECT_EQ(gui::countPixels(image, -10, -10, 100, 100, kRed, 0), 5);
    EXPECT_EQ(gui::countPixels(image, -10, -10, 100, 100, kBlack, 0), 15);
    EXPECT_EQ(gui::countPixels(image, -10, -10, -1, -1, kBlack, 0), 0) << "entirely left of and above the image";
    EXPECT_EQ(gui::countPixels(image, 5, 0, 9, 3, kBlack, 0), 0) << "entirely right of the image";
    EXPECT_EQ(gui::countPixels(image, 0, 0, 4, 3, {250, 5, 0}, 5), 5);
    EXPECT_EQ(gui::countPixels(image, 0, 0, 4, 3, {250, 5, 0}, 4), 0);
    EXPECT_EQ(gui::countPixels(gui::Image{}, 0, 0, 4, 3, kBlack, 255), 0);
}

TEST(PixelHelpers, AnyPixelNearSearchesADisc) {
    gui::Image image = makeImage(20, 20, kBlack, {{10, 13, kRed}, {17, 17, kRed}});
    EXPECT_TRUE(gui::anyPixelNear(image, 10, 10, 3, kRed, 0)) << "straight down, at exactly the radius";
    EXPECT_FALSE(gui::anyPixelNear(image, 10, 10, 2, kRed, 0));
    EXPECT_TRUE(gui::anyPixelNear(image, 10, 13, 0, kRed, 0));
    // (17,17) is 5 away from (14,13); (16,16) is 3,3 away from (13,13): outside radius 4.
    EXPECT_TRUE(gui::anyPixelNear(image, 14, 13, 5, kRed, 0));
    EXPECT_FALSE(gui::anyPixelNear(image, 14, 14, 4, kRed, 0));
    EXPECT_TRUE(gui::anyPixelNear(image, 19, 19, 3, kRed, 0)) << "disc reaching past the image edge";
    EXPECT_FALSE(gui::anyPixelNear(image, 100, 100, 3, kRed, 0));
    EXPECT_FALSE(gui::anyPixelNear(gui::Image{}, 0, 0, 3, kBlack, 255));
}

TEST(PixelHelpers, SavePngRoundTrip) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    gui::Image image = makeImage(7, 3, {10, 20, 30}, {{0, 0, kRed}, {6, 2, {1, 255, 2}}, {3, 1, {128, 64, 200}}});
    const std::string path = dir.path() + "/image.png";
    ASSERT_TRUE(gui::savePng(image, path));
    ASSERT_EQ(readText(path).substr(1, 3), "PNG");
    gui::CommandResult back = gui::runCommand({"convert", path, "-depth", "8", "ppm:-"});
    ASSERT_EQ(back.exitStatus, 0) << back.err;
    gui::Image decoded = gui::parsePpm(back.out);
    ASSERT_TRUE(decoded.valid());
    EXPECT_EQ(decoded.width, 7);
    EXPECT_EQ(decoded.height, 3);
    EXPECT_EQ(decoded.rgb, image.rgb);
    EXPECT_FALSE(gui::savePng(gui::Image{}, dir.path() + "/empty.png"));
}

// ---------------------------------------------------------------------------
// runCommand

TEST(RunCommand, CapturesBothStreamsAndTheExitCode) {
    gui::CommandResult r = gui::runCommand({"sh", "-c", "echo out; echo err >&2; printf 'more'; exit 3"});
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_EQ(r.out, "out\nmore");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_EQ(gui::runCommand({"true"}).exitStatus, 0);
}

TEST(RunCommand, PassesArgumentsUnchanged) {
    gui::CommandResult r = gui::runCommand({"printf", "[%s]", "a b", "", "$HOME", "'\"*"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "[a b][][$HOME]['\"*]");
}

TEST(RunCommand, LargeOutputOnBothStreamsDoesNotDeadlock) {
    // stderr is filled first: a reader that drains stdout to the end before
    // looking at stderr would wait forever.
    gui::CommandResult r = gui::runCommand(
        {"sh", "-c", "head -c 400000 /dev/zero | tr '\\0' e >&2; head -c 300000 /dev/zero | tr '\\0' o"}, 20);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, std::string(400000, 'e'));
    EXPECT_EQ(r.out, std::string(300000, 'o'));
}

TEST(RunCommand, ReportsDeathBySignal) {
    EXPECT_EQ(gui::runCommand({"sh", "-c", "kill -TERM $$"}).exitStatus, 128 + SIGTERM);
    EXPECT_EQ(gui::runCommand({"sh", "-c", "kill -KILL $$"}).exitStatus, 128 + SIGKILL);
}

TEST(RunCommand, InheritsTheEnvironmentAndStdinIsEmpty) {
    ::setenv("ORRELIN_HARNESS_PROBE", "value with spaces", 1);
    gui::CommandResult r = gui::runCommand({"sh", "-c", "printf '%s' \"$ORRELIN_HARNESS_PROBE\"; wc -c"});
    ::unsetenv("ORRELIN_HARNESS_PROBE");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "value with spaces0\n");
}

TEST(RunCommand, MissingProgramGives127) {
    gui::CommandResult r = gui::runCommand({"orrelin-no-such-program-here"});
    EXPECT_EQ(r.exitStatus, 127);
    EXPECT_NE(r.err.find("orrelin-no-such-program-here"), std::string::npos) << r.err;
    EXPECT_EQ(gui::runCommand({"/nonexistent/dir/prog"}).exitStatus, 127);
    EXPECT_EQ(gui::runCommand({}).exitStatus, 127);
}

TEST(RunCommand, TimeoutKillsTheCommandAndWhatItStarted) {
    auto start = Clock::now();
    gui::CommandResult r = gui::runCommand({"sh", "-c", "sleep 30 & echo $!; wait"}, 0.5);
    const double elapsed = secondsSince(start);
    EXPECT_EQ(r.exitStatus, -1);
    EXPECT_GE(elapsed, 0.45);
    EXPECT_LT(elapsed, 5.0);
    const int grandchild = std::atoi(r.out.c_str());
    ASSERT_GT(grandchild, 0) << "output before the timeout is kept: " << r.out;
    EXPECT_TRUE(gui::waitFor([&] { return processGone(grandchild); }, 3)) << "the background sleep survived";
}

TEST(RunCommand, ReturnsWhenTheChildExitsEvenIfABackgroundProcessHoldsItsOutput) {
    auto start = Clock::now();
    gui::CommandResult r = gui::runCommand({"sh", "-c", "sleep 10 & echo $!; exit 2"}, 20);
    const double elapsed = secondsSince(start);
    const int background = std::atoi(r.out.c_str());
    if (background > 0) ::kill(background, SIGKILL);
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_LT(elapsed, 3.0);
}

TEST(RunCommand, FeedsInputWhileReadingOutput) {
    std::string input;
    for (int i = 0; i < 200000; ++i) input += static_cast<char>('a' + i % 26);
    input += std::string("\0\n\xff", 3);
    gui::CommandResult r = gui::runCommandWithInput({"cat"}, input, 20);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out.size(), input.size());
    EXPECT_TRUE(r.out == input);

    EXPECT_EQ(gui::runCommandWithInput({"wc", "-c"}, "").out, "0\n");
}

TEST(RunCommand, ChildThatIgnoresItsInputDoesNotKillTheCaller) {
    // Writing into a pipe nobody reads raises SIGPIPE; it must not end the test.
    const std::string input(1 << 20, 'x');
    gui::CommandResult r = gui::runCommandWithInput({"sh", "-c", "exit 4"}, input, 20);
    EXPECT_EQ(r.exitStatus, 4);
    r = gui::runCommandWithInput({"head", "-c", "5"}, input, 20);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "xxxxx");
    // A child's SIGPIPE is its own: the default action applies to it again.
    r = gui::runCommand({"sh", "-c", "yes | head -c 3 >/dev/null; kill -0 $$"});
    EXPECT_EQ(r.exitStatus, 0);
}

// ---------------------------------------------------------------------------
// Process

TEST(Process, WritesOutputToTheFileAndUsesEnvironmentAndFolder) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string log = dir.path() + "/out.log";
    gui::Process p;
    ASSERT_TRUE(p.start({"sh", "-c", "echo \"$ORRELIN_A $HOME\"; pwd; echo oops >&2; exit 7"},
                        {{"ORRELIN_A", "alpha"}, {"HOME", "/elsewhere"}}, dir.path(), log))
        << p.error();
    EXPECT_GT(p.pid(), 0);
    int status = -100;
    ASSERT_TRUE(p.waitExit(status, 10));
    EXPECT_EQ(status, 7);
    EXPECT_EQ(p.exitStatus(), 7);
    EXPECT_FALSE(p.running());
    const std::string canonical = std::filesystem::canonical(dir.path()).string();
    EXPECT_EQ(readText(log), "alpha /elsewhere\n" + canonical + "\noops\n");
    EXPECT_EQ(std::getenv("ORRELIN_A"), nullptr) << "the additions are for the child only";
}

TEST(Process, WaitExitTimesOutThenKillEndsIt) {
    gui::Process p;
    ASSERT_TRUE(p.start({"sleep", "30"}));
    int status = -100;
    auto start = Clock::now();
    EXPECT_FALSE(p.waitExit(status, 0.2));
    EXPECT_GE(secondsSince(start), 0.19);
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_TRUE(p.running());
    p.kill();
    EXPECT_FALSE(p.running());
    ASSERT_TRUE(p.waitExit(status, 0));
    EXPECT_EQ(status, 128 + SIGKILL);
    p.kill();  // a second kill of a reaped child does nothing
}

TEST(Process, KillAlsoEndsItsChildren) {
    TempDir dir;
    const std::string log = dir.path() + "/pid";
    gui::Process p;
    ASSERT_TRUE(p.start({"sh", "-c", "sleep 30 & echo $!; wait"}, {}, {}, log));
    ASSERT_TRUE(gui::waitFor([&] { return readText(log).find('\n') != std::string::npos; }, 10));
    const int grandchild = std::atoi(readText(log).c_str());
    ASSERT_GT(grandchild, 0);
    EXPECT_FALSE(processGone(grandchild));
    p.kill();
    EXPECT_TRUE(gui::waitFor([&] { return processGone(grandchild); }, 3));
}

TEST(Process, TerminateAsksFirstThenKills) {
    gui::Process polite;
    ASSERT_TRUE(polite.start({"sleep", "30"}));
    EXPECT_TRUE(polite.terminate(5));
    EXPECT_EQ(polite.exitStatus(), 128 + SIGTERM);

    TempDir dir;
    const std::string log = dir.path() + "/ready";
    gui::Process stubborn;
    ASSERT_TRUE(stubborn.start({"sh", "-c", "trap '' TERM; echo ready; while :; do sleep 0.05; done"}, {}, {}, log));
    ASSERT_TRUE(gui::waitFor([&] { return readText(log) == "ready\n"; }, 10));
    auto start = Clock::now();
    EXPECT_FALSE(stubborn.terminate(0.3));
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_EQ(stubborn.exitStatus(), 128 + SIGKILL);
}

TEST(Process, DestructorKillsAndReapsARunningChild) {
    int pid = -1;
    {
        gui::Process p;
        ASSERT_TRUE(p.start({"sleep", "30"}));
        pid = p.pid();
        ASSERT_EQ(::kill(pid, 0), 0);
    }
    // Not even a zombie is left: the destructor waited for it.
    errno = 0;
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(Process, ReportsStartFailures) {
    gui::Process p;
    EXPECT_FALSE(p.start({"orrelin-no-such-program-here"}));
    EXPECT_NE(p.error().find("orrelin-no-such-program-here"), std::string::npos) << p.error();
    EXPECT_FALSE(p.running());
    int status = 0;
    EXPECT_FALSE(p.waitExit(status, 0.1));

    EXPECT_FALSE(p.start({"true"}, {}, "/nonexistent/folder"));
    EXPECT_NE(p.error().find("chdir"), std::string::npos) << p.error();

    EXPECT_FALSE(p.start({"true"}, {}, {}, "/nonexistent/folder/log"));
    EXPECT_FALSE(p.start({}));

    // Still usable afterwards.
    ASSERT_TRUE(p.start({"sh", "-c", "exit 9"}));
    ASSERT_TRUE(p.waitExit(status, 10));
    EXPECT_EQ(status, 9);
}

TEST(Process, RefusesToStartWhileRunningAndCanBeMoved) {
    gui::Process p;
    ASSERT_TRUE(p.start({"sleep", "30"}));
    const int pid = p.pid();
    EXPECT_FALSE(p.start({"true"}));
    EXPECT_EQ(p.pid(), pid);
    gui::Process q(std::move(p));
    EXPECT_EQ(q.pid(), pid);
    EXPECT_TRUE(q.running());
    EXPECT_FALSE(p.running());  // NOLINT(bugprone-use-after-move): a moved-from Process is empty
    q = gui::Process();
    EXPECT_TRUE(gui::waitFor([&] { return ::kill(pid, 0) != 0; }, 3)) << "move-assignment ended the old child";
}

TEST(WaitFor, ChecksAgainAtTheDeadline) {
    int calls = 0;
    auto start = Clock::now();
    EXPECT_FALSE(gui::waitFor([&] { return ++calls < 0; }, 0.2, 0.05));
    EXPECT_GE(secondsSince(start), 0.2);
    EXPECT_GE(calls, 4);
    calls = 0;
    EXPECT_TRUE(gui::waitFor([&] { return ++calls == 3; }, 5, 0.001));
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(gui::waitFor([] { return true; }, 0));
}

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
    ASSERT_TRUE(p.start(probeMessage("orrelin probe click"))) << p.error();
    std::optional<std::string> id = gui::waitForWindow("^orrelin probe click$", 10);
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
    ASSERT_TRUE(p.start(probeMessage("orrelin probe press"))) << p.error();
    std::optional<std::string> id = gui::waitForWindow("^orrelin probe press$", 10);
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
    ASSERT_TRUE(other.start(probeMessage("orrelin probe other")));
    ASSERT_TRUE(gui::waitForWindow("^orrelin probe other$", 10).has_value());
    ASSERT_TRUE(p.start(probeMessage("orrelin probe key"))) << p.error();
    std::optional<std::string> id = gui::waitForWindow("^orrelin probe key$", 10);
    ASSERT_TRUE(id.has_value());
    std::optional<std::string> otherId = gui::waitForWindow("^orrelin probe other$", 10);
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
    std::optional<std::string> id = gui::waitForWindow("^orrelin-xev$", 10);
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
        ASSERT_TRUE(p.start(probeMessage("orrelin probe bare")));
        std::optional<std::string> id = gui::waitForWindow("^orrelin probe bare$", 10);
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
