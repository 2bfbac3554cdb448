#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace gui {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(double seconds) {
    seconds = std::clamp(seconds, 0.0, 1e6);
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Milliseconds until `deadline`, rounded up, at most `capMs`, never negative.
int msUntil(Clock::time_point deadline, int capMs) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, capMs));
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Moves a descriptor above the standard three, so that setting up the
// child's stdin/stdout/stderr cannot overwrite another source descriptor
// (which happens when the test process runs with a standard stream closed).
int aboveStdio(int fd) {
    if (fd < 0 || fd > 2) return fd;
    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

std::string errnoText(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

// The current environment with `additions` overriding it.
std::vector<std::string> childEnvironment(const Environment& additions) {
    std::vector<std::string> result;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        std::string_view entry(*e);
        std::string_view name = entry.substr(0, entry.find('='));
        bool overridden =
            std::any_of(additions.begin(), additions.end(), [&](const auto& kv) { return kv.first == name; });
        if (!overridden) result.emplace_back(entry);
    }
    for (const auto& [name, value] : additions) result.push_back(name + "=" + value);
    return result;
}

// Looks `program` up in PATH (taken from the child's environment) the way a
// shell does; names containing a slash are used as they are.
std::optional<std::string> resolveProgram(const std::string& program, const std::vector<std::string>& env) {
    if (program.empty()) return std::nullopt;
    if (program.find('/') != std::string::npos) return program;
    std::string path = "/usr/local/bin:/usr/bin:/bin";
    for (const std::string& entry : env) {
        if (entry.rfind("PATH=", 0) == 0) path = entry.substr(5);
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string dir = path.substr(start, end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

// In the forked child: reports which step failed (0 descriptors, 1 chdir,
// 2 exec) and errno to the parent, then exits.
[[noreturn]] void childFailed(int reportFd, int stage) {
    int message[2] = {stage, errno};
    ssize_t ignored = ::write(reportFd, message, sizeof message);
    (void)ignored;
    ::_exit(127);
}

struct SpawnRequest {
    const std::vector<std::string>* argv = nullptr;
    const Environment* env = nullptr;
    std::string workingDirectory;
    int stdinFd = -1, stdoutFd = -1, stderrFd = -1;  // above 2, close-on-exec
    std::vector<int> inheritFds;
};

// fork+exec. Everything the child needs is prepared before fork, so the
// child only makes async-signal-safe calls. Returns the pid, or -1 with
// `error` set (exec failures are reported back through a close-on-exec pipe).
int spawnChild(const SpawnRequest& request, std::string& error) {
    const std::vector<std::string>& argv = *request.argv;
    if (argv.empty()) {
        error = "empty command";
        return -1;
    }
    std::vector<std::string> envStrings = childEnvironment(request.env ? *request.env : Environment{});
    std::optional<std::string> program = resolveProgram(argv[0], envStrings);
    if (!program) {
        error = argv[0] + ": command not found";
        return -1;
    }
    std::vector<char*> argvPtrs;
    for (const std::string& a : argv) argvPtrs.push_back(const_cast<char*>(a.c_str()));
    argvPtrs.push_back(nullptr);
    std::vector<char*> envPtrs;
    for (const std::string& e : envStrings) envPtrs.push_back(const_cast<char*>(e.c_str()));
    envPtrs.push_back(nullptr);
    const char* dir = request.workingDirectory.empty() ? nullptr : request.workingDirectory.c_str();

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = errnoText("pipe", errno);
        return -1;
    }
    sigset_t noSignals;
    sigemptyset(&noSignals);
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    const pid_t parent = ::getpid();

    pid_t pid = ::fork();
    if (pid < 0) {
        error = errnoText("fork", errno);
        ::close(report[0]);
        ::close(report[1]);
        return -1;
    }
    if (pid == 0) {
        // Die with the thread that started us, even if it is killed hard.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);
        ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
        ::sigaction(SIGPIPE, &defaultAction, nullptr);
        if (::dup2(request.stdinFd, 0) < 0 || ::dup2(request.stdoutFd, 1) < 0 || ::dup2(request.stderrFd, 2) < 0) {
            childFailed(report[1], 0);
        }
        // Descriptors someone else opened without O_CLOEXEC must not reach the child.
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        for (int fd : request.inheritFds) {
            if (::fcntl(fd, F_SETFD, 0) < 0) childFailed(report[1], 0);
        }
        if (dir != nullptr && ::chdir(dir) != 0) childFailed(report[1], 1);
        ::execve(program->c_str(), argvPtrs.data(), envPtrs.data());
        childFailed(report[1], 2);
    }
    ::setpgid(pid, pid);  // also here, so the group exists before we might signal it
    ::close(report[1]);
    int message[2] = {0, 0};
    std::size_t got = 0;
    while (got < sizeof message) {
        ssize_t n = ::read(report[0], reinterpret_cast<char*>(message) + got, sizeof message - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(report[0]);
    if (got == 0) return pid;  // exec succeeded
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    switch (message[0]) {
        case 0: error = errnoText("setting up the child's descriptors", message[1]); break;
        case 1: error = errnoText("chdir " + request.workingDirectory, message[1]); break;
        default: error = errnoText("exec " + *program, message[1]); break;
    }
    return -1;
}

void signalGroup(int pid, int sig) {
    if (pid <= 0) return;
    ::kill(-pid, sig);
    ::kill(pid, sig);
}

void appendAvailable(int& fd, std::string& into) {
    char buffer[65536];
    while (fd >= 0) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            closeFd(fd);
        }
    }
}

// Blocks SIGPIPE in this thread while the child's stdin is written (a child
// that exits without reading would otherwise kill the test), and swallows a
// SIGPIPE raised meanwhile.
class SigpipeGuard {
   public:
    SigpipeGuard() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
    }
    ~SigpipeGuard() {
        if (!wasPending_) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                timespec zero{};
                sigtimedwait(&set_, nullptr, &zero);
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

   private:
    sigset_t set_{};
    sigset_t old_{};
    bool wasPending_ = false;
};

CommandResult runCaptured(const std::vector<std::string>& argv, const std::string_view* input, double timeoutSeconds) {
    CommandResult result;
    std::optional<SigpipeGuard> guard;
    if (input != nullptr) guard.emplace();

    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1}, inPipe[2] = {-1, -1};
    int nullIn = -1;
    bool ok = ::pipe2(outPipe, O_CLOEXEC) == 0 && ::pipe2(errPipe, O_CLOEXEC) == 0;
    if (ok && input != nullptr) {
        ok = ::pipe2(inPipe, O_CLOEXEC) == 0;
    } else if (ok) {
        nullIn = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ok = nullIn >= 0;
    }
    if (!ok) {
        result.exitStatus = 127;
        result.err = errnoText("creating pipes", errno);
        for (int* fd : {&outPipe[0], &outPipe[1], &errPipe[0], &errPipe[1], &inPipe[0], &inPipe[1], &nullIn}) {
            closeFd(*fd);
        }
        return result;
    }
    SpawnRequest request;
    request.argv = &argv;
    request.stdinFd = aboveStdio(input != nullptr ? inPipe[0] : nullIn);
    request.stdoutFd = aboveStdio(outPipe[1]);
    request.stderrFd = aboveStdio(errPipe[1]);
    std::string error;
    int pid = spawnChild(request, error);
    closeFd(request.stdinFd);
    closeFd(request.stdoutFd);
    closeFd(request.stderrFd);
    int outFd = outPipe[0], errFd = errPipe[0], inFd = inPipe[1];
    if (pid < 0) {
        closeFd(outFd);
        closeFd(errFd);
        closeFd(inFd);
        result.exitStatus = 127;
        result.err = error;
        return result;
    }
    for (int fd : {outFd, errFd, inFd}) {
        if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    std::size_t written = 0;
    if (input != nullptr && input->empty()) closeFd(inFd);

    const Clock::time_point deadline = deadlineAfter(timeoutSeconds);
    // Once the child has exited, output still in flight is collected, but a
    // background grandchild holding the pipes open must not keep us here.
    Clock::time_point drainUntil{};
    bool exited = false, lostStatus = false;
    int rawStatus = 0;
    for (;;) {
        if (!exited) {
            pid_t r = ::waitpid(pid, &rawStatus, WNOHANG);
            if (r == pid || (r < 0 && errno == ECHILD)) {
                // ECHILD: someone else reaped it (SIGCHLD ignored); the status is lost.
                lostStatus = r != pid;
                exited = true;
                drainUntil = Clock::now() + std::chrono::milliseconds(500);
                closeFd(inFd);
            }
        }
        if (exited && ((outFd < 0 && errFd < 0) || Clock::now() >= drainUntil)) break;
        if (!exited && Clock::now() >= deadline) {
            signalGroup(pid, SIGKILL);
            while (::waitpid(pid, &rawStatus, 0) < 0 && errno == EINTR) {
            }
            result.exitStatus = -1;
            closeFd(outFd);
            closeFd(errFd);
            closeFd(inFd);
            return result;
        }
        pollfd fds[3];
        nfds_t count = 0;
        if (outFd >= 0) fds[count++] = {outFd, POLLIN, 0};
        if (errFd >= 0) fds[count++] = {errFd, POLLIN, 0};
        if (inFd >= 0) fds[count++] = {inFd, POLLOUT, 0};
        // Short waits so that the child's exit is noticed even while a
        // grandchild keeps the pipes open.
        int waitMs = exited ? msUntil(drainUntil, 20) : msUntil(deadline, 20);
        int ready = ::poll(fds, count, waitMs);
        if (ready < 0 && errno != EINTR) break;
        for (nfds_t i = 0; ready > 0 && i < count; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == outFd) {
                appendAvailable(outFd, result.out);
            } else if (fds[i].fd == errFd) {
                appendAvailable(errFd, result.err);
            } else if (fds[i].fd == inFd) {
                while (inFd >= 0 && written < input->size()) {
                    std::size_t chunk = std::min<std::size_t>(input->size() - written, 65536);
                    ssize_t n = ::write(inFd, input->data() + written, chunk);
                    if (n > 0) {
                        written += static_cast<std::size_t>(n);
                    } else if (n < 0 && errno == EINTR) {
                        continue;
                    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                        break;
                    } else {
                        closeFd(inFd);  // the child stopped reading (EPIPE)
                    }
                }
                if (written == input->size()) closeFd(inFd);
            }
        }
    }
    closeFd(outFd);
    closeFd(errFd);
    closeFd(inFd);
    result.exitStatus = lostStatus ? -1 : decodeStatus(rawStatus);
    return result;
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv, double timeoutSeconds) {
    return runCaptured(argv, nullptr, timeoutSeconds);
}

CommandResult runCommandWithInput(const std::vector<std::string>& argv, std::string_view input, double timeoutSeconds) {
    return runCaptured(argv, &input, timeoutSeconds);
}

Process::~Process() {
    kill();
}

Process::Process(Process&& other) noexcept
    : pid_(other.pid_), reaped_(other.reaped_), status_(other.status_), error_(std::move(other.error_)) {
    other.pid_ = -1;
    other.reaped_ = false;
    other.status_.reset();
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        kill();
        pid_ = other.pid_;
        reaped_ = other.reaped_;
        status_ = other.status_;
        error_ = std::move(other.error_);
        other.pid_ = -1;
        other.reaped_ = false;
        other.status_.reset();
    }
    return *this;
}

void Process::reset() {
    pid_ = -1;
    reaped_ = false;
    status_.reset();
    error_.clear();
}

bool Process::start(const std::vector<std::string>& argv, const Environment& env, const std::string& workingDirectory,
                    const std::string& outputPath, const std::vector<int>& inheritFds) {
    if (pid_ > 0 && !reaped_ && running()) {
        error_ = "the process is still running";
        return false;
    }
    reset();
    int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const std::string outName = outputPath.empty() ? std::string("/dev/null") : outputPath;
    int out = ::open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0) {
        error_ = errnoText("open " + (in < 0 ? std::string("/dev/null") : outName), errno);
        closeFd(in);
        closeFd(out);
        return false;
    }
    SpawnRequest request;
    request.argv = &argv;
    request.env = &env;
    request.workingDirectory = workingDirectory;
    request.stdinFd = aboveStdio(in);
    request.stdoutFd = aboveStdio(out);
    request.stderrFd = request.stdoutFd;
    request.inheritFds = inheritFds;
    pid_ = spawnChild(request, error_);
    closeFd(request.stdinFd);
    closeFd(request.stdoutFd);
    return pid_ > 0;
}

bool Process::running() {
    if (pid_ <= 0 || reaped_) return false;
    int raw = 0;
    pid_t r = ::waitpid(pid_, &raw, WNOHANG);
    if (r == pid_) {
        reaped_ = true;
        status_ = decodeStatus(raw);
        return false;
    }
    return r == 0;
}

bool Process::waitExit(int& status, double timeoutSeconds) {
    if (pid_ <= 0) return false;
    const Clock::time_point deadline = deadlineAfter(timeoutSeconds);
    auto pause = std::chrono::milliseconds(1);
    while (running()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - Clock::now()));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    if (!status_) return false;  // waitpid failed: not our child
    status = *status_;
    return true;
}

void Process::kill() {
    if (pid_ <= 0 || reaped_) return;
    signalGroup(pid_, SIGKILL);
    int raw = 0;
    pid_t r;
    while ((r = ::waitpid(pid_, &raw, 0)) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    if (r == pid_) status_ = decodeStatus(raw);
}

bool Process::terminate(double graceSeconds) {
    if (!running()) return true;
    signalGroup(pid_, SIGTERM);
    int status = 0;
    if (waitExit(status, graceSeconds)) return true;
    kill();
    return false;
}

bool waitFor(const std::function<bool()>& condition, double timeoutSeconds, double pollSeconds) {
    const Clock::time_point deadline = deadlineAfter(timeoutSeconds);
    const auto pause = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::clamp(pollSeconds, 0.001, 10.0)));
    for (;;) {
        if (condition()) return true;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    }
}

}  // namespace gui
