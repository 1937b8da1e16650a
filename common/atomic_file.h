// Replacing a file as a whole: readers see the old contents or the new, never a mixture, a
// truncated file or an empty one, and a failed write leaves the old file as it was.
//
// The new contents go to a temporary file of unique name in the target's directory, which
// is checked, synced to disk and renamed over the target only after every write succeeded;
// on any failure the temporary file is removed. The final name is what matters, so:
// - a symbolic link is followed to the file it names, which is replaced in its own
//   directory (the link stays a link);
// - a device or a FIFO (/dev/null, /dev/stdout, a pipe) cannot be replaced and is written
//   in place; a FIFO's open waits for a reader as usual;
// - an existing file keeps its permission bits (and, where allowed, its owner); a new one
//   gets 0666 less the umask, like any file the program creates.
//
// Three ways to write: writeFileAtomically for a buffer in memory; AtomicFile::write for
// content produced piece by piece; AtomicFile::duplicateFd for a stream that owns its
// descriptor (zlib's gzdopen, fdopen) and AtomicFile::path for libraries that open a file by
// name. Nothing here knows about radar data, so both libraries and every program use it.
#ifndef RDR_ATOMIC_FILE_H
#define RDR_ATOMIC_FILE_H

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile() { discard(); }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Prepares to replace target. False with error() set when the target cannot be
    // replaced (a directory, a missing directory, no room for a temporary file).
    bool open(const std::string& target);

    // Where the contents go: the temporary file, or the target itself when written in place.
    const std::string& path() const { return writePath_; }
    int fd() const { return fd_; }
    bool inPlace() const { return inPlace_; }

    // A close-on-exec duplicate of fd() for a stream that closes its descriptor itself.
    // Close the stream and check its result before commit(); -1 with error() set.
    int duplicateFd();

    // Writes all of the buffer, resuming after short writes and interruptions. A failed
    // write makes the later commit() fail too, so partial contents are never committed.
    bool write(const void* pData, std::size_t nBytes);

    // Syncs the contents to disk and renames the temporary file over the target. False with
    // error() set (the temporary file removed, the target untouched) on any failure.
    bool commit();

    // Drops what was written; the target stays as it was. The destructor does this for
    // a file never committed.
    void discard();

    // Why the last call failed, to follow the target's name in a message: "No space left
    // on device", "is a directory", "no temporary file in out/: Permission denied".
    const std::string& error() const { return error_; }

  private:
    bool fail(const std::string& what, int iErrno);
    bool followLinks(const std::string& target);
    bool createTemporary();

    std::string finalPath_;  // the target after its symbolic links
    std::string writePath_;
    int fd_ = -1;
    bool inPlace_ = false;
    bool failed_ = false;
    bool keepMode_ = false;  // the target exists: its mode and owner carry over
    struct stat existing_ {};
    std::string error_;
};

// Writes nBytes at pData as the whole of target. False with the reason in *pWhy (when
// not null) on failure, the target untouched.
bool writeFileAtomically(const std::string& target, const void* pData, std::size_t nBytes,
                         std::string* pWhy);

// ---- implementation -----------------------------------------------------------------

inline bool AtomicFile::fail(const std::string& what, int iErrno) {
    const std::string reason = iErrno != 0 ? std::strerror(iErrno) : "";
    error_ = what.empty() ? reason : reason.empty() ? what : what + ": " + reason;
    failed_ = true;
    return false;
}

// Follows symbolic links (relative ones from the link's own directory) to the file they
// name, which need not exist yet: writing through a dangling link creates its target.
inline bool AtomicFile::followLinks(const std::string& target) {
    std::string path = target;
    for (int hops = 0; hops <= 40; ++hops) {  // the kernel's own limit on nested links
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            finalPath_ = path;
            return true;
        }
        char szLink[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), szLink, sizeof(szLink));
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof(szLink)) {
            return fail("cannot read the symbolic link " + path, n < 0 ? errno : ENAMETOOLONG);
        }
        std::string link(szLink, static_cast<std::size_t>(n));
        if (link[0] != '/') {
            const std::size_t slash = path.rfind('/');
            link = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
        }
        path = link;
    }
    return fail("cannot follow the symbolic link " + target, ELOOP);
}

// A new file beside the final one. The name is short whatever the target's length, so
// it fits wherever the final name does, and starts with a dot so that listings and
// directory watchers looking for finished files pass over it.
inline bool AtomicFile::createTemporary() {
    const std::size_t slash = finalPath_.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : finalPath_.substr(0, slash + 1);
    const std::string base = finalPath_.substr(dir.size());
    if (base.empty() || base == "." || base == "..") {
        return fail("names a directory", 0);
    }
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char rgRandom[10];
        if (getrandom(rgRandom, sizeof(rgRandom), GRND_NONBLOCK) != sizeof(rgRandom)) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            unsigned long long x = static_cast<unsigned long long>(now.tv_nsec) ^
                                   (static_cast<unsigned long long>(getpid()) << 32) ^
                                   (static_cast<unsigned long long>(attempt) << 48);
            for (unsigned char& c : rgRandom) {
                x = x * 6364136223846793005ULL + 1442695040888963407ULL;
                c = static_cast<unsigned char>(x >> 56);
            }
        }
        std::string name = dir + "." + base.substr(0, 32) + ".";
        for (unsigned char c : rgRandom) {
            name += kLetters[c % (sizeof(kLetters) - 1)];
        }
        // 0666 lets the umask and any default ACL decide, as for any new file.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            writePath_ = name;
            return true;
        }
        if (errno != EEXIST) {
            return fail("no temporary file in " + (dir.empty() ? "." : dir), errno);
        }
    }
    return fail("no temporary file in " + (dir.empty() ? "." : dir), EEXIST);
}

inline bool AtomicFile::open(const std::string& target) {
    discard();
    error_.clear();
    failed_ = false;
    keepMode_ = false;
    if (target.empty()) {
        return fail("no file name", 0);
    }
    // Devices and FIFOs are opened by the name given, so that the kernel follows the links
    // that only it can (/dev/stdout -> /proc/self/fd/1 -> "pipe:[...]").
    struct stat st {};
    if (stat(target.c_str(), &st) == 0 &&
        (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode))) {
        const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            return fail("", errno);
        }
        fd_ = fd;
        finalPath_ = writePath_ = target;
        inPlace_ = true;
        return true;
    }
    if (!followLinks(target)) {
        return false;
    }
    if (stat(finalPath_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return fail("is a directory", 0);
        }
        if (!S_ISREG(st.st_mode)) {
            return fail("is neither a file, a device nor a FIFO", 0);
        }
        keepMode_ = true;
        existing_ = st;
    } else if (errno != ENOENT) {
        return fail("", errno);
    }
    return createTemporary();
}

inline int AtomicFile::duplicateFd() {
    if (fd_ < 0) {
        fail("no file open", 0);
        return -1;
    }
    const int fd = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        fail("", errno);
    }
    return fd;
}

inline bool AtomicFile::write(const void* pData, std::size_t nBytes) {
    if (fd_ < 0) {
        return fail("no file open", 0);
    }
    const auto* p = static_cast<const unsigned char*>(pData);
    while (nBytes > 0) {
        const ssize_t n = ::write(fd_, p, nBytes < SSIZE_MAX ? nBytes : SSIZE_MAX);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A device that takes nothing and says nothing is as full as one that says so.
            return fail("", n < 0 ? errno : ENOSPC);
        }
        p += n;
        nBytes -= static_cast<std::size_t>(n);
    }
    return true;
}

inline bool AtomicFile::commit() {
    if (fd_ < 0) {
        return fail("no file open", 0);
    }
    if (failed_) {
        const std::string why = error_;
        discard();
        error_ = why;
        return false;
    }
    if (inPlace_) {
        const int fd = fd_;
        fd_ = -1;
        writePath_.clear();
        inPlace_ = false;
        return ::close(fd) == 0 ? true : fail("", errno);
    }
    // A library given the temporary name may have replaced the file rather than written
    // into it; what is synced and renamed is what now stands under that name.
    struct stat ours {};
    struct stat named {};
    if (fstat(fd_, &ours) != 0 || stat(writePath_.c_str(), &named) != 0) {
        const int iErrno = errno;
        discard();
        return fail("temporary file " + writePath_, iErrno);
    }
    if (ours.st_ino != named.st_ino || ours.st_dev != named.st_dev) {
        ::close(fd_);
        fd_ = ::open(writePath_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            const int iErrno = errno;
            discard();
            return fail("temporary file " + writePath_, iErrno);
        }
    }
    if (keepMode_) {
        if (existing_.st_uid != named.st_uid || existing_.st_gid != named.st_gid) {
            // Only the owner's group, or anything for root: a refusal keeps ours.
            [[maybe_unused]] const int iIgnored = fchown(fd_, existing_.st_uid, existing_.st_gid);
        }
        if (fchmod(fd_, existing_.st_mode & 07777) != 0) {
            const int iErrno = errno;
            discard();
            return fail("cannot keep the mode", iErrno);
        }
    }
    if (fsync(fd_) != 0) {
        const int iErrno = errno;
        discard();
        return fail("", iErrno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int iErrno = errno;
        discard();
        return fail("", iErrno);
    }
    if (std::rename(writePath_.c_str(), finalPath_.c_str()) != 0) {
        const int iErrno = errno;
        discard();
        return fail("cannot rename " + writePath_ + " into place", iErrno);
    }
    writePath_.clear();
    // The rename itself lasts once the directory is synced; where a file system cannot
    // sync a directory the new contents are still complete under the final name.
    const std::size_t slash = finalPath_.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : finalPath_.substr(0, slash + 1);
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

inline void AtomicFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!inPlace_ && !writePath_.empty()) {
        unlink(writePath_.c_str());
    }
    writePath_.clear();
    inPlace_ = false;
}

inline bool writeFileAtomically(const std::string& target, const void* pData, std::size_t nBytes,
                                std::string* pWhy) {
    AtomicFile file;
    if (file.open(target) && file.write(pData, nBytes) && file.commit()) {
        return true;
    }
    if (pWhy != nullptr) {
        *pWhy = file.error();
    }
    return false;
}

#endif
