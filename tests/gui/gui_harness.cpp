#include "gui_harness.h"

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
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stdexcept>
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

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string> splitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string current;
    for (char c : text) {
        if (isSpace(c)) {
            if (!current.empty()) words.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) words.push_back(std::move(current));
    return words;
}

bool xdotool(std::vector<std::string> args, double timeoutSeconds = 5) {
    args.insert(args.begin(), "xdotool");
    return runCommand(args, timeoutSeconds).exitStatus == 0;
}

std::string readFile(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// Pixels

void PrintTo(const Rgb& colour, std::ostream* os) {
    *os << colour;
}

std::ostream& operator<<(std::ostream& os, const Rgb& colour) {
    char text[40];
    std::snprintf(text, sizeof text, "#%02x%02x%02x (%d, %d, %d)", colour.r, colour.g, colour.b, colour.r, colour.g,
                  colour.b);
    return os << text;
}

bool Image::valid() const {
    return width > 0 && height > 0 && rgb.size() == static_cast<std::size_t>(width) * height * 3;
}

Rgb Image::at(int x, int y) const {
    if (!valid() || x < 0 || y < 0 || x >= width || y >= height) {
        throw std::out_of_range("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") outside a " +
                                std::to_string(width) + "x" + std::to_string(height) + " image");
    }
    std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

Image parsePpm(std::string_view bytes) {
    std::size_t i = 0;
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') return {};
    i = 2;
    // Whitespace and comments (from '#' to the end of the line) separate the
    // header fields; at least one separator is required.
    auto separator = [&]() {
        bool any = false;
        while (i < bytes.size()) {
            if (isSpace(bytes[i])) {
                ++i;
            } else if (bytes[i] == '#') {
                while (i < bytes.size() && bytes[i] != '\n' && bytes[i] != '\r') ++i;
            } else {
                break;
            }
            any = true;
        }
        return any;
    };
    auto number = [&](std::uint64_t& value) {
        std::size_t start = i;
        value = 0;
        while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9') {
            value = value * 10 + static_cast<std::uint64_t>(bytes[i] - '0');
            if (value > 1'000'000'000) return false;
            ++i;
        }
        return i > start;
    };
    std::uint64_t width = 0, height = 0, maxval = 0;
    if (!separator() || !number(width) || !separator() || !number(height) || !separator() || !number(maxval)) {
        return {};
    }
    // Exactly one whitespace character ends the header; the raster follows,
    // and its first byte may itself look like whitespace or '#'.
    if (i >= bytes.size() || !isSpace(bytes[i])) return {};
    ++i;
    if (width == 0 || height == 0 || maxval == 0 || maxval > 65535) return {};
    if (width * height > (std::uint64_t{1} << 28)) return {};
    const std::uint64_t sampleBytes = maxval < 256 ? 1 : 2;
    const std::uint64_t samples = width * height * 3;
    if (bytes.size() - i < samples * sampleBytes) return {};

    Image image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.rgb.resize(samples);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data() + i);
    for (std::uint64_t s = 0; s < samples; ++s) {
        std::uint64_t v = sampleBytes == 1 ? data[s] : (std::uint64_t{data[2 * s]} << 8) | data[2 * s + 1];
        if (v > maxval) return {};
        image.rgb[s] = static_cast<std::uint8_t>(maxval == 255 ? v : (v * 255 + maxval / 2) / maxval);
    }
    return image;
}

std::string toPpm(const Image& image) {
    if (!image.valid()) return {};
    std::string out = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    out.append(reinterpret_cast<const char*>(image.rgb.data()), image.rgb.size());
    return out;
}

bool near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

int countPixels(const Image& image, int x0, int y0, int x1, int y1, Rgb colour, int tolerance) {
    if (!image.valid()) return 0;
    const int left = std::max(std::min(x0, x1), 0), right = std::min(std::max(x0, x1), image.width - 1);
    const int top = std::max(std::min(y0, y1), 0), bottom = std::min(std::max(y0, y1), image.height - 1);
    int count = 0;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            if (near(image.at(x, y), colour, tolerance)) ++count;
        }
    }
    return count;
}

bool anyPixelNear(const Image& image, int cx, int cy, int radius, Rgb colour, int tolerance) {
    if (!image.valid() || radius < 0) return false;
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const int x = cx + dx, y = cy + dy;
            if (dx * dx + dy * dy > radius * radius || x < 0 || y < 0 || x >= image.width || y >= image.height) {
                continue;
            }
            if (near(image.at(x, y), colour, tolerance)) return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Child processes

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

// ---------------------------------------------------------------------------
// X session

namespace {

void setEnv(std::vector<std::pair<std::string, std::optional<std::string>>>& saved, const std::string& name,
            const std::optional<std::string>& value) {
    const char* old = std::getenv(name.c_str());
    saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

std::string tail(const std::string& text, std::size_t n = 2000) {
    return text.size() <= n ? text : text.substr(text.size() - n);
}

}  // namespace

XSession::XSession(bool windowManager, const std::string& screen) : windowManager_(windowManager) {
    try {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "orrelin-gui-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error(errnoText("mkdtemp", errno));
        tempDir_ = pattern;
        const std::string runtimeDir = tempDir_ + "/runtime", homeDir = tempDir_ + "/home";
        if (::mkdir(runtimeDir.c_str(), 0700) != 0 || ::mkdir(homeDir.c_str(), 0700) != 0 ||
            ::mkdir((homeDir + "/.config").c_str(), 0700) != 0) {
            throw std::runtime_error(errnoText("creating session folders", errno));
        }

        // Xvfb picks a free display number itself and writes it to the pipe
        // once it accepts connections, so parallel test processes never race
        // for a number.
        int displayPipe[2];
        if (::pipe2(displayPipe, O_CLOEXEC) != 0) throw std::runtime_error(errnoText("pipe", errno));
        const std::string xvfbLog = tempDir_ + "/xvfb.log";
        bool started = xvfb_.start({"Xvfb", "-displayfd", std::to_string(displayPipe[1]), "-screen", "0", screen,
                                    "-nolisten", "tcp", "-noreset"},
                                   {}, {}, xvfbLog, {displayPipe[1]});
        ::close(displayPipe[1]);
        std::string number;
        const Clock::time_point deadline = deadlineAfter(20);
        while (started && number.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd pfd{displayPipe[0], POLLIN, 0};
            int ready = ::poll(&pfd, 1, msUntil(deadline, 100));
            if (ready < 0 && errno != EINTR) break;
            if (ready <= 0) continue;
            char buffer[32];
            ssize_t n = ::read(displayPipe[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;  // Xvfb exited
            number.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(displayPipe[0]);
        number = trimmed(number);
        if (!started || number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
            std::string why = started ? "Xvfb did not report a display" : "cannot start Xvfb: " + xvfb_.error();
            xvfb_.kill();
            throw std::runtime_error(why + "\n" + tail(readFile(xvfbLog)));
        }
        display_ = ":" + number;

        setEnv(savedEnv_, "DISPLAY", display_);
        setEnv(savedEnv_, "XDG_RUNTIME_DIR", runtimeDir);
        setEnv(savedEnv_, "QT_QPA_PLATFORM", std::string("xcb"));
        setEnv(savedEnv_, "WAYLAND_DISPLAY", std::nullopt);

        if (windowManager_) {
            // A private HOME and config folder: openbox then runs with the
            // system's default configuration, whatever the user has set up.
            const std::string wmLog = tempDir_ + "/openbox.log";
            const Environment wmEnv = {{"HOME", homeDir}, {"XDG_CONFIG_HOME", homeDir + "/.config"}};
            if (!wm_.start({"openbox", "--sm-disable"}, wmEnv, homeDir, wmLog)) {
                throw std::runtime_error("cannot start openbox: " + wm_.error());
            }
            bool ready = waitFor(
                [&] {
                    if (!wm_.running()) return true;
                    CommandResult r = runCommand({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, 5);
                    return r.exitStatus == 0 && r.out.find("window id") != std::string::npos;
                },
                20, 0.05);
            if (!ready || !wm_.running()) {
                throw std::runtime_error("openbox did not come up on " + display_ + "\n" + tail(readFile(wmLog)));
            }
        }
    } catch (...) {
        shutDown();
        throw;
    }
}

XSession::~XSession() {
    shutDown();
}

void XSession::shutDown() {
    wm_.terminate(3);
    xvfb_.terminate(5);
    for (auto it = savedEnv_.rbegin(); it != savedEnv_.rend(); ++it) {
        if (it->second) {
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            ::unsetenv(it->first.c_str());
        }
    }
    savedEnv_.clear();
    if (!tempDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(tempDir_, ignored);
        tempDir_.clear();
    }
}

XSession& session(bool windowManager, const std::string& screen) {
    static std::mutex mutex;
    static std::unique_ptr<XSession> instance;
    std::lock_guard<std::mutex> lock(mutex);
    if (!instance) instance = std::make_unique<XSession>(windowManager, screen);
    return *instance;
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

// ---------------------------------------------------------------------------
// Windows

std::vector<std::string> findWindows(const std::string& nameRegex, bool onlyVisible) {
    std::vector<std::string> args = {"xdotool", "search"};
    if (onlyVisible) args.push_back("--onlyvisible");
    args.insert(args.end(), {"--name", "--", nameRegex});
    CommandResult r = runCommand(args, 10);
    std::vector<std::string> ids;
    if (r.exitStatus != 0) return ids;  // xdotool exits with 1 when nothing matches
    for (std::string& word : splitWords(r.out)) {
        if (word.find_first_not_of("0123456789") == std::string::npos) ids.push_back(std::move(word));
    }
    return ids;
}

std::optional<std::string> waitForWindow(const std::string& nameRegex, double timeoutSeconds) {
    std::optional<std::string> found;
    waitFor(
        [&] {
            std::vector<std::string> ids = findWindows(nameRegex);
            if (!ids.empty()) found = ids.front();
            return found.has_value();
        },
        timeoutSeconds, 0.05);
    return found;
}

bool waitForNoWindow(const std::string& nameRegex, double timeoutSeconds) {
    return waitFor([&] { return findWindows(nameRegex).empty(); }, timeoutSeconds, 0.05);
}

std::string windowName(const std::string& windowId) {
    CommandResult r = runCommand({"xdotool", "getwindowname", windowId}, 5);
    if (r.exitStatus != 0) return {};
    if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
    return r.out;
}

Geometry windowGeometry(const std::string& windowId) {
    CommandResult r = runCommand({"xwininfo", "-id", windowId}, 5);
    Geometry g;
    if (r.exitStatus != 0) return g;
    std::istringstream lines(r.out);
    std::string line;
    auto field = [&](const char* label, int& into) {
        std::string_view view(line);
        std::size_t start = view.find_first_not_of(' ');
        if (start == std::string_view::npos) return;
        view.remove_prefix(start);
        const std::size_t length = std::strlen(label);
        if (view.substr(0, length) == label) into = std::atoi(std::string(view.substr(length)).c_str());
    };
    while (std::getline(lines, line)) {
        field("Absolute upper-left X:", g.x);
        field("Absolute upper-left Y:", g.y);
        field("Width:", g.width);
        field("Height:", g.height);
    }
    return g;
}

std::string activeWindow() {
    CommandResult r = runCommand({"xdotool", "getactivewindow"}, 5);
    return r.exitStatus == 0 ? trimmed(r.out) : std::string();
}

// ---------------------------------------------------------------------------
// Input

bool key(const std::string& keys) {
    std::vector<std::string> args = {"key", "--delay", "20"};
    std::vector<std::string> chords = splitWords(keys);
    if (chords.empty()) return false;
    args.insert(args.end(), chords.begin(), chords.end());
    return xdotool(args, 5 + 0.1 * static_cast<double>(chords.size()));
}

bool keyToWindow(const std::string& windowId, const std::string& keys) {
    // windowactivate needs a window manager (_NET_ACTIVE_WINDOW); without one
    // the window only gets the input focus.
    if (!xdotool({"windowactivate", "--sync", windowId}) && !xdotool({"windowfocus", "--sync", windowId})) {
        return false;
    }
    return key(keys);
}

namespace {

std::optional<std::pair<int, int>> pointerPosition() {
    CommandResult r = runCommand({"xdotool", "getmouselocation", "--shell"}, 5);
    if (r.exitStatus != 0) return std::nullopt;
    std::optional<int> x, y;
    for (const std::string& word : splitWords(r.out)) {
        if (word.rfind("X=", 0) == 0) x = std::atoi(word.c_str() + 2);
        if (word.rfind("Y=", 0) == 0) y = std::atoi(word.c_str() + 2);
    }
    if (!x || !y) return std::nullopt;
    return std::make_pair(*x, *y);
}

}  // namespace

bool mouseMove(int x, int y) {
    // Not "mousemove --sync": that waits for the pointer to move and so hangs
    // when it is already there. Polling the position also reports a target
    // off the screen (where the pointer cannot go) as a failure.
    if (!xdotool({"mousemove", std::to_string(x), std::to_string(y)})) return false;
    const std::pair<int, int> target(x, y);
    return waitFor([&] { return pointerPosition() == target; }, 2, 0.01);
}

bool click(int button) {
    return xdotool({"click", std::to_string(button)});
}

bool mouseDown(int button) {
    return xdotool({"mousedown", std::to_string(button)});
}

bool mouseUp(int button) {
    return xdotool({"mouseup", std::to_string(button)});
}

bool clickAt(const std::string& windowId, int x, int y, int button) {
    const Geometry g = windowGeometry(windowId);
    if (!g.valid()) return false;
    return mouseMove(g.x + x, g.y + y) && click(button);
}

bool typeText(const std::string& text) {
    if (text.empty()) return true;
    return xdotool({"type", "--delay", "20", "--", text}, 5 + 0.05 * static_cast<double>(text.size()));
}

// ---------------------------------------------------------------------------
// Screen and clipboard

Image captureWindow(const std::string& windowId) {
    // import asks the user to pick a window by clicking when the id names no
    // window, so make sure it exists first (the timeout covers a window that
    // goes away in between).
    if (windowId != "root" && runCommand({"xwininfo", "-id", windowId}, 5).exitStatus != 0) return {};
    CommandResult r = runCommand({"import", "-silent", "-window", windowId, "-depth", "8", "ppm:-"}, 10);
    return r.exitStatus == 0 ? parsePpm(r.out) : Image{};
}

Image captureRoot() {
    return captureWindow("root");
}

bool savePng(const Image& image, const std::string& path) {
    if (!image.valid() || path.empty()) return false;
    return runCommandWithInput({"convert", "ppm:-", "png:" + path}, toPpm(image), 30).exitStatus == 0;
}

std::string readClipboard() {
    CommandResult r = runCommand({"xclip", "-o", "-selection", "clipboard"}, 5);
    return r.exitStatus == 0 ? r.out : std::string();
}

}  // namespace gui
