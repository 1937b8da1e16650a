// The child process behind runIsolatedDecode and the pipe protocol between the two.
//
// Child to parent, in native byte order: chunks of [u32 n, 1..kMaxChunk][n bytes], then the
// trailer [u32 0][u8 verdict][u64 total bytes of all chunks]. The parent checks every length
// against its bounds before it stores a byte, and a result counts only with its trailer.
#include "internal/isolated_decode.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <stdio_ext.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// Present only in sanitizer builds: a fuzzer's crash report must not run in the child.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

constexpr std::uint32_t kMaxChunk = 1u << 20;
constexpr std::size_t kTrailerBytes = 1 + sizeof(std::uint64_t);
// Exit codes of the child besides 0; anything else comes from the library or a sanitizer.
constexpr int kExitCalledExit = 120;  // a library called exit()
constexpr int kExitException = 121;   // an exception other than bad_alloc left the decode
constexpr int kExitPipe = 122;        // the result could not be written

bool writeAll(int fd, const void* pBytes, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(pBytes);
    while (n > 0) {
        const ssize_t written = ::write(fd, p, n);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        p += written;
        n -= static_cast<std::size_t>(written);
    }
    return true;
}

class PipeOutput : public IsolatedOutput {
  public:
    explicit PipeOutput(int fd) : fd_(fd) { chunk_.reserve(kMaxChunk); }

    bool write(const void* pBytes, std::size_t nBytes) override {
        const auto* p = static_cast<const unsigned char*>(pBytes);
        while (nBytes > 0 && !broken_) {
            const std::size_t n = std::min<std::size_t>(nBytes, kMaxChunk - chunk_.size());
            chunk_.insert(chunk_.end(), p, p + n);
            p += n;
            nBytes -= n;
            if (chunk_.size() == kMaxChunk) {
                flush();
            }
        }
        return !broken_;
    }

    bool finish(IsolatedVerdict verdict) {
        flush();
        unsigned char trailer[sizeof(std::uint32_t) + kTrailerBytes] = {};
        trailer[sizeof(std::uint32_t)] = static_cast<unsigned char>(verdict);
        std::memcpy(trailer + sizeof(std::uint32_t) + 1, &total_, sizeof(total_));
        return !broken_ && writeAll(fd_, trailer, sizeof(trailer));
    }

  private:
    void flush() {
        if (chunk_.empty() || broken_) {
            return;
        }
        const auto n = static_cast<std::uint32_t>(chunk_.size());
        broken_ = !writeAll(fd_, &n, sizeof(n)) || !writeAll(fd_, chunk_.data(), chunk_.size());
        total_ += n;
        chunk_.clear();
    }

    int fd_;
    std::vector<unsigned char> chunk_;
    std::uint64_t total_ = 0;
    bool broken_ = false;
};

// Parses the child's stream as it arrives.
class ResultReader {
  public:
    enum State { kLength, kData, kTrailer, kComplete, kMalformed, kTooLarge };

    ResultReader(std::size_t maxBytes, std::vector<unsigned char>* pBytes)
        : maxBytes_(maxBytes), bytes_(pBytes) {}

    // False once the stream is broken or exceeds the bound.
    bool feed(const unsigned char* p, std::size_t n) {
        while (n > 0 && (state_ == kLength || state_ == kData || state_ == kTrailer)) {
            if (state_ == kData) {
                const std::size_t take = std::min<std::size_t>(n, dataLeft_);
                bytes_->insert(bytes_->end(), p, p + take);
                p += take;
                n -= take;
                dataLeft_ -= take;
                if (dataLeft_ == 0) {
                    state_ = kLength;
                }
                continue;
            }
            const std::size_t want = state_ == kLength ? sizeof(std::uint32_t) : kTrailerBytes;
            const std::size_t take = std::min(n, want - headerFill_);
            std::memcpy(header_ + headerFill_, p, take);
            headerFill_ += take;
            p += take;
            n -= take;
            if (headerFill_ == want) {
                headerFill_ = 0;
                state_ == kLength ? takeLength() : takeTrailer();
            }
        }
        if (n > 0 && state_ == kComplete) {
            state_ = kMalformed;  // nothing may follow the trailer
        }
        return state_ != kMalformed && state_ != kTooLarge;
    }

    State state() const { return state_; }
    IsolatedVerdict verdict() const { return verdict_; }

  private:
    void takeLength() {
        std::uint32_t n = 0;
        std::memcpy(&n, header_, sizeof(n));
        if (n == 0) {
            state_ = kTrailer;
        } else if (n > kMaxChunk) {
            state_ = kMalformed;
        } else if (n > maxBytes_ - bytes_->size()) {
            state_ = kTooLarge;
        } else {
            dataLeft_ = n;
            state_ = kData;
        }
    }

    void takeTrailer() {
        std::uint64_t total = 0;
        std::memcpy(&total, header_ + 1, sizeof(total));
        const unsigned verdict = header_[0];
        if (total != bytes_->size() ||
            verdict > static_cast<unsigned>(IsolatedVerdict::kOutOfMemory)) {
            state_ = kMalformed;
            return;
        }
        verdict_ = static_cast<IsolatedVerdict>(verdict);
        state_ = kComplete;
    }

    std::size_t maxBytes_;
    std::vector<unsigned char>* bytes_;
    State state_ = kLength;
    unsigned char header_[kTrailerBytes] = {};
    std::size_t headerFill_ = 0;
    std::size_t dataLeft_ = 0;
    IsolatedVerdict verdict_ = IsolatedVerdict::kRefused;
};

[[noreturn]] void exitWithoutCleanup() {
    _exit(kExitCalledExit);
}

// Bytes of address space the process has mapped now (VmSize), or 0 when unknown. Read
// with plain system calls: the child may be a fork of a threaded program.
std::size_t addressSpaceInUse() {
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    char text[64] = {};
    const ssize_t n = ::read(fd, text, sizeof(text) - 1);
    ::close(fd);
    if (n <= 0) {
        return 0;
    }
    std::size_t pages = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; i++) {
        pages = pages * 10 + static_cast<std::size_t>(text[i] - '0');
    }
    return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

void lowerLimit(int resource, rlim_t soft, rlim_t hard) {
    struct rlimit current {};
    if (::getrlimit(resource, &current) == 0) {
        if (current.rlim_max != RLIM_INFINITY) {
            hard = std::min(hard, current.rlim_max);
            soft = std::min(soft, hard);
        }
    }
    const struct rlimit limit { soft, hard };
    ::setrlimit(resource, &limit);
}

// Everything the child changes before it runs the decode.
void prepareChild(const IsolationLimits& limits) {
    // A fault or a limit ends the child, whatever handlers the caller (or a fuzzer)
    // installed and whatever signals it blocked.
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS, SIGXCPU, SIGXFSZ,
                    SIGALRM, SIGPIPE, SIGHUP, SIGINT, SIGTERM}) {
        ::signal(sig, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (__sanitizer_set_death_callback != nullptr) {
        __sanitizer_set_death_callback(nullptr);
    }
    // The caller's pending output belongs to the caller; the child's never reaches its stdout.
    __fpurge(stdout);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devNull >= 0) {
        ::dup2(devNull, STDOUT_FILENO);
        ::close(devNull);
    }
    // Registered last, so it runs first should a library call exit(): no other handler and
    // no stdio flush of the caller's buffers happens in the child.
    std::atexit(exitWithoutCleanup);

    // Fresh allocations hold a pattern instead of whatever the pages held (often zeros): a
    // library that uses uninitialised memory (libhdf5 frees an uninitialised pointer on some
    // damaged files) then fails every time, not by chance. Sanitizer builds fill their own.
    ::mallopt(M_PERTURB, 0xa5);

    lowerLimit(RLIMIT_CORE, 0, 0);
    lowerLimit(RLIMIT_CPU, limits.cpuSeconds, limits.cpuSeconds + 1);
    // Relative to what the child inherits, so that sanitizer builds (terabytes of reserved
    // shadow memory) get the same budget.
    const rlim_t addressSpace = addressSpaceInUse() + limits.addressSpaceBytes;
    lowerLimit(RLIMIT_AS, addressSpace, addressSpace);
}

[[noreturn]] void runChild(int fd, const IsolatedDecode& decode, const IsolationLimits& limits) {
    prepareChild(limits);
    PipeOutput output(fd);
    IsolatedVerdict verdict = IsolatedVerdict::kRefused;
    try {
        verdict = decode(output);
    } catch (const std::bad_alloc&) {
        verdict = IsolatedVerdict::kOutOfMemory;
    } catch (...) {
        _exit(kExitException);
    }
    _exit(output.finish(verdict) ? 0 : kExitPipe);
}

// Waits for the child; false when its status cannot be had (another part of the program
// reaps children, or SIGCHLD is ignored).
bool reap(pid_t pid, int* pStatus) {
    while (::waitpid(pid, pStatus, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

std::string describeStatus(int status, const IsolationLimits& limits) {
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGXCPU) {
            return "CPU time limit of " + std::to_string(limits.cpuSeconds) + " s reached";
        }
        const char* name = ::strsignal(sig);
        return "killed by signal " + std::to_string(sig) + " (" + (name ? name : "?") + ")";
    }
    if (WIFEXITED(status)) {
        switch (WEXITSTATUS(status)) {
            case kExitCalledExit:
                return "the library ended the process";
            case kExitException:
                return "an unexpected exception";
            case kExitPipe:
                return "the result could not be handed back";
            default:
                return "exit status " + std::to_string(WEXITSTATUS(status));
        }
    }
    return "ended abnormally";
}

IsolatedResult failed(std::string why) {
    IsolatedResult result;
    result.outcome = IsolatedResult::kFailed;
    result.failure = std::move(why);
    return result;
}

}  // namespace

IsolatedResult runIsolatedDecode(const IsolatedDecode& decode, const IsolationLimits& limits) {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        IsolatedResult result = failed(std::string("pipe: ") + std::strerror(errno));
        result.outcome = IsolatedResult::kNotRun;
        return result;
    }
    // A larger pipe means fewer switches between the two processes for a large volume.
    ::fcntl(fds[0], F_SETPIPE_SZ, static_cast<int>(kMaxChunk));
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int err = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        IsolatedResult result = failed(std::string("fork: ") + std::strerror(err));
        result.outcome = IsolatedResult::kNotRun;
        return result;
    }
    if (pid == 0) {
        ::close(fds[0]);
        runChild(fds[1], decode, limits);
    }
    ::close(fds[1]);

    IsolatedResult result;
    ResultReader reader(limits.maxResultBytes, &result.bytes);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limits.wallSeconds);
    bool timedOut = false;
    unsigned char buf[1 << 16];
    // Stops at the trailer rather than at end of file: another fork of this process may
    // hold a copy of the pipe's write end for a while.
    while (reader.state() != ResultReader::kComplete) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        struct pollfd pfd {
            fds[0], POLLIN, 0
        };
        const int ready =
            ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            continue;  // the deadline check above ends the wait
        }
        if (ready < 0) {
            break;
        }
        const ssize_t n = ::read(fds[0], buf, sizeof(buf));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || !reader.feed(buf, static_cast<std::size_t>(n))) {
            break;
        }
    }
    ::close(fds[0]);
    const bool complete = reader.state() == ResultReader::kComplete;
    if (!complete) {
        ::kill(pid, SIGKILL);  // harmless when it has ended: it stays a zombie until reaped
    }
    int status = 0;
    const bool haveStatus = reap(pid, &status);

    if (timedOut) {
        return failed("no result within " + std::to_string(limits.wallSeconds) + " s");
    }
    if (reader.state() == ResultReader::kTooLarge) {
        return failed("a result larger than " + std::to_string(limits.maxResultBytes) + " bytes");
    }
    if (!complete) {
        if (reader.state() == ResultReader::kMalformed) {
            return failed("a malformed result");
        }
        return failed(haveStatus ? describeStatus(status, limits) : "ended without a result");
    }
    if (haveStatus && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        return failed(describeStatus(status, limits));
    }
    switch (reader.verdict()) {
        case IsolatedVerdict::kDecoded:
            result.outcome = IsolatedResult::kDecoded;
            return result;
        case IsolatedVerdict::kRefused:
            result.outcome = IsolatedResult::kRefused;
            result.bytes.clear();
            return result;
        case IsolatedVerdict::kOutOfMemory:
            break;
    }
    return failed("memory limit of " + std::to_string(limits.addressSpaceBytes >> 20) +
                  " MiB reached");
}
