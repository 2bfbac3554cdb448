#pragma once
// Child processes for the GUI tests: short commands whose output is captured,
// long-running children (the program under test, the X server), and polling
// with a time-out.
//
// Children are started with fork+exec into their own process group and die
// with the thread that started them (PR_SET_PDEATHSIG), so a test process that
// is killed does not leave an X server behind. Start long-lived children (and
// the X session) from the test's main thread for that reason.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gui {

struct CommandResult {
    int exitStatus = -1;  // exit code, 128 + signal, or -1 after a timeout kill
    std::string out;
    std::string err;
};

// Runs argv[0] (looked up in PATH) with the current environment and stdin
// from /dev/null, capturing stdout and stderr. On timeout the child's whole
// process group is killed and exitStatus is -1. If the program cannot be
// started, exitStatus is 127 and `err` says why.
CommandResult runCommand(const std::vector<std::string>& argv, double timeoutSeconds = 20);

// Same, with `input` written to the child's stdin (then closed).
CommandResult runCommandWithInput(const std::vector<std::string>& argv, std::string_view input,
                                  double timeoutSeconds = 20);

using Environment = std::vector<std::pair<std::string, std::string>>;

// A long-running child (the program under test, the X server, ...). It runs
// in its own process group; kill() and the destructor signal the whole group.
class Process {
   public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;

    // Starts argv with the current environment plus `env` (which overrides),
    // in `workingDirectory` (empty: the current one). stdout and stderr both go
    // to `outputPath` (truncated; empty: /dev/null); stdin is /dev/null.
    // Descriptors in `inheritFds` stay open in the child under the same
    // numbers. Returns false, with error() set, if it could not be started.
    // Refuses (returns false) while the previous child still runs.
    bool start(const std::vector<std::string>& argv, const Environment& env = {},
               const std::string& workingDirectory = {}, const std::string& outputPath = {},
               const std::vector<int>& inheritFds = {});

    int pid() const { return pid_; }  // -1 before start()
    bool running();                   // reaps the child if it has exited

    // Waits for the child to exit; false if it still runs after the timeout
    // (or was never started). status: exit code or 128 + signal.
    bool waitExit(int& status, double timeoutSeconds);

    // SIGKILL to the process group, then reaps the child.
    void kill();
    // SIGTERM to the process group, waits up to graceSeconds, then kill().
    // Returns true if the child ended within the grace time.
    bool terminate(double graceSeconds = 3);

    // Set once the child has been reaped.
    std::optional<int> exitStatus() const { return status_; }
    const std::string& error() const { return error_; }

   private:
    void reset();
    int pid_ = -1;
    bool reaped_ = false;
    std::optional<int> status_;
    std::string error_;
};

// Polls `condition` until it holds or the time is up; it is always checked at
// least once, and once more at the deadline.
bool waitFor(const std::function<bool()>& condition, double timeoutSeconds, double pollSeconds = 0.02);

}  // namespace gui
