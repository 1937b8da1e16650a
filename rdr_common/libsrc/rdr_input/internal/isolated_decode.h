// Runs a decode that may crash, allocate without bound or never finish (a third-party
// library such as libhdf5 on a hostile file) in a child process with memory, CPU and
// wall-time limits, and hands what it decoded back to the caller as bytes. Whatever the
// library does to the child, the caller's process and its library state are untouched.
//
// The decode runs in a fork of the caller, so it sees the caller's memory as it was and
// writes its result through IsolatedOutput; the caller turns the bytes back into its own
// structure. The child's messages on stderr reach the caller's stderr; its stdout goes
// to /dev/null, so that a library's printing never mixes into the caller's output.
#ifndef RDR_ISOLATED_DECODE_H
#define RDR_ISOLATED_DECODE_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct IsolationLimits {
    std::size_t addressSpaceBytes;  // address space the child may add to what it inherits
    unsigned cpuSeconds;
    unsigned wallSeconds;
    std::size_t maxResultBytes;  // the caller stops reading (and kills the child) beyond this
};

// Where the decode in the child writes its result.
class IsolatedOutput {
  public:
    virtual ~IsolatedOutput() = default;
    // False when the bytes cannot be handed over (the caller stopped reading).
    virtual bool write(const void* pBytes, std::size_t nBytes) = 0;
};

// How the decode in the child ended.
enum class IsolatedVerdict {
    kDecoded,      // the result was written
    kRefused,      // the file is refused; the decode printed its own message
    kOutOfMemory,  // an allocation failed under the memory limit
};

struct IsolatedResult {
    enum Outcome {
        kDecoded,  // bytes holds the result
        kRefused,  // the decode refused the file (its message is printed)
        kFailed,   // the child crashed, hit a limit or broke the protocol: see failure
        kNotRun,   // no child could be started: see failure
    };
    Outcome outcome = kFailed;
    std::vector<unsigned char> bytes;
    std::string failure;  // "killed by signal 11 (Segmentation fault)", "timed out after 60 s"
};

using IsolatedDecode = std::function<IsolatedVerdict(IsolatedOutput& output)>;

// Forks, runs decode in the child under limits and collects its result. The child never
// returns into the caller's code: it ends with _exit, so neither atexit handlers nor the
// caller's unflushed stdio buffers run twice. The caller reaps the child in every case.
// Threads may call it at once, but each child inherits the pipes of the calls under way: a
// child that dies without its result may then be noticed only when those children end.
IsolatedResult runIsolatedDecode(const IsolatedDecode& decode, const IsolationLimits& limits);

#endif
