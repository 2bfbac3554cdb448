// Tests of the child process helpers: captured commands, long-running
// children, and polling with a time-out.
#include "process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "harness_test_util.h"

namespace {

using harness_test::Clock;
using harness_test::readText;
using harness_test::secondsSince;
using harness_test::TempDir;

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
    EXPECT_LT(elapsed, 20.0);  // far short of the sleep, however busy the machine
    const int grandchild = std::atoi(r.out.c_str());
    ASSERT_GT(grandchild, 0) << "output before the timeout is kept: " << r.out;
    EXPECT_TRUE(gui::waitFor([&] { return processGone(grandchild); }, 3)) << "the background sleep survived";
}

TEST(RunCommand, ReturnsWhenTheChildExitsEvenIfABackgroundProcessHoldsItsOutput) {
    auto start = Clock::now();
    // Waiting for the background sleep would end in the timeout (status -1).
    gui::CommandResult r = gui::runCommand({"sh", "-c", "sleep 120 & echo $!; exit 2"}, 60);
    const double elapsed = secondsSince(start);
    const int background = std::atoi(r.out.c_str());
    if (background > 0) ::kill(background, SIGKILL);
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_LT(elapsed, 30.0);
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

}  // namespace
