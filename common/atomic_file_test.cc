// Replacing a file as a whole: the target holds the old contents or the new, never a part of
// either; nothing is left beside it; links are written through, devices and FIFOs in place.
#include "atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A character device like the system's /dev/null (1, 3) or /dev/full (1, 7), made in dir so
// that a writer that replaced devices would replace this copy, never the system's. Where
// no device can be made, the system's own for a user who cannot replace it, else "".
std::string deviceNode(const rdrtest::TempDir& dir, const char* name, unsigned minor) {
    const std::string node = dir.file(name);
    if (mknod(node.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0) {
        return node;
    }
    return geteuid() != 0 ? std::string("/dev/") + name : std::string();
}

// Files this process writes may grow to `bytes` only, so a write fails part way through
// (first short, then EFBIG) as on a full disk; works for root too, unlike a read-only folder.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        savedHandler_ = signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, savedHandler_);
    }

  private:
    rlimit saved_{};
    sighandler_t savedHandler_ = SIG_DFL;
};

class Umask {
  public:
    explicit Umask(mode_t mask) : saved_(umask(mask)) {}
    ~Umask() { umask(saved_); }

  private:
    mode_t saved_;
};

TEST(AtomicFile, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirMode) {
    rdrtest::TempDir dir;
    const std::string target = dir.file("grid.f32");
    std::string why;
    {
        Umask mask(022);
        ASSERT_TRUE(writeFileAtomically(target, "first", 5, &why)) << why;
        EXPECT_EQ(modeOf(target), 0644u);
    }
    {
        Umask mask(077);
        ASSERT_TRUE(writeFileAtomically(dir.file("private"), "x", 1, &why)) << why;
        EXPECT_EQ(modeOf(dir.file("private")), 0600u);
    }
    ASSERT_EQ(chmod(target.c_str(), 0751), 0);
    ASSERT_TRUE(writeFileAtomically(target, "second", 6, &why)) << why;
    EXPECT_EQ(slurp(target), "second");
    EXPECT_EQ(modeOf(target), 0751u);
    // A read-only target is replaced too: only the directory must be writable.
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    ASSERT_TRUE(writeFileAtomically(target, "", 0, &why)) << why;
    EXPECT_EQ(slurp(target), "");
    EXPECT_EQ(modeOf(target), 0444u);
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"grid.f32", "private"}));
}

TEST(AtomicFile, AFailedWriteKeepsTheOldFileAndRemovesTheTemporary) {
    rdrtest::TempDir dir;
    const std::string target = dir.file("volume.uf");
    put(target, "previous contents");
    const std::string big(256 * 1024, 'n');
    std::string why;
    {
        FileSizeLimit limit(100 * 1024);
        EXPECT_FALSE(writeFileAtomically(target, big.data(), big.size(), &why));
    }
    EXPECT_NE(why.find("File too large"), std::string::npos) << why;
    EXPECT_EQ(slurp(target), "previous contents");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"volume.uf"});

    // A writer that ignores the failed write still cannot commit the partial file.
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(target)) << file.error();
        {
            FileSizeLimit limit(1024);
            file.write(big.data(), big.size());
        }
        EXPECT_FALSE(file.commit());
        EXPECT_NE(file.error().find("File too large"), std::string::npos) << file.error();
    }
    // Nor does one that gives up half way: the destructor discards.
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(target)) << file.error();
        ASSERT_TRUE(file.write("half", 4));
    }
    EXPECT_EQ(slurp(target), "previous contents");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"volume.uf"});
}

TEST(AtomicFile, TargetsThatCannotBeReplacedAreRefusedWithAReason) {
    rdrtest::TempDir dir;
    fs::create_directory(dir.path() / "out");
    put(dir.file("out/kept"), "kept");
    const struct {
        std::string target;
        const char* reason;
    } cases[] = {
        {dir.file("out"), "is a directory"},
        {dir.file("out") + "/", "is a directory"},
        {dir.file("new") + "/", "names a directory"},
        {dir.file("missing/x.png"), "no temporary file in"},
        {dir.file("out/kept/x.png"), "Not a directory"},
        {"", "no file name"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(writeFileAtomically(c.target, "data", 4, &why)) << c.target;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.target << ": " << why;
    }
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"out"});
    EXPECT_EQ(entries(dir.path() / "out"), std::vector<std::string>{"kept"});
    EXPECT_EQ(slurp(dir.file("out/kept")), "kept");
}

TEST(AtomicFile, SymbolicLinksAreWrittenThrough) {
    rdrtest::TempDir dir;
    fs::create_directory(dir.path() / "data");
    fs::create_directory(dir.path() / "links");
    const std::string real = dir.file("data/ppi.png");
    put(real, "old image");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    // links/chain -> latest -> ../data/ppi.png, both relative to their own folder.
    fs::create_symlink("../data/ppi.png", dir.path() / "links/latest");
    fs::create_symlink("latest", dir.path() / "links/chain");
    std::string why;
    ASSERT_TRUE(writeFileAtomically(dir.file("links/chain"), "new image", 9, &why)) << why;
    EXPECT_TRUE(fs::is_symlink(dir.path() / "links/chain"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "links/latest"));
    EXPECT_EQ(slurp(real), "new image");
    EXPECT_EQ(modeOf(real), 0640u);
    EXPECT_EQ(entries(dir.path() / "data"), std::vector<std::string>{"ppi.png"});
    EXPECT_EQ(entries(dir.path() / "links"), (std::vector<std::string>{"chain", "latest"}));

    // A dangling link gets its target created; a loop of links is refused.
    fs::create_symlink("../data/new.png", dir.path() / "links/next");
    ASSERT_TRUE(writeFileAtomically(dir.file("links/next"), "n", 1, &why)) << why;
    EXPECT_TRUE(fs::is_symlink(dir.path() / "links/next"));
    EXPECT_EQ(slurp(dir.file("data/new.png")), "n");
    fs::create_symlink("loop", dir.path() / "links/loop");
    EXPECT_FALSE(writeFileAtomically(dir.file("links/loop"), "n", 1, &why));
    EXPECT_NE(why.find("Too many levels"), std::string::npos) << why;
}

TEST(AtomicFile, DevicesAndFifosAreWrittenInPlace) {
    rdrtest::TempDir dir;
    const std::string null = deviceNode(dir, "null", 3);
    const std::string full = deviceNode(dir, "full", 7);
    if (null.empty() || full.empty()) {
        GTEST_SKIP() << "no device node can be made here";
    }
    std::string why;
    EXPECT_TRUE(writeFileAtomically(null, "nothing", 7, &why)) << why;
    EXPECT_FALSE(writeFileAtomically(full, "nothing", 7, &why));
    EXPECT_NE(why.find("No space left"), std::string::npos) << why;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(null, dir.path() / "to_null");
    std::string received;
    std::thread reader([&] { received = slurp(fifo); });
    const std::string payload(200 * 1024, 'p');  // more than a pipe holds at once
    AtomicFile file;
    ASSERT_TRUE(file.open(fifo)) << file.error();
    EXPECT_TRUE(file.inPlace());
    EXPECT_EQ(file.path(), fifo);
    EXPECT_TRUE(file.write(payload.data(), payload.size()));
    EXPECT_TRUE(file.commit()) << file.error();
    reader.join();
    EXPECT_EQ(received.size(), payload.size());
    EXPECT_TRUE(fs::is_fifo(fifo));
    // A link to a device reaches the device.
    ASSERT_TRUE(file.open(dir.file("to_null"))) << file.error();
    EXPECT_TRUE(file.inPlace());
    EXPECT_TRUE(file.commit());
    for (const std::string& name : entries(dir.path())) {
        EXPECT_NE(name[0], '.') << "a temporary file beside a device or FIFO: " << name;
    }

    // /dev/stdout of a process writing into a pipe: a link only the kernel can follow.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    EXPECT_TRUE(writeFileAtomically("/proc/self/fd/" + std::to_string(ends[1]), "piped", 5, &why))
        << why;
    close(ends[1]);
    char piped[8] = {};
    EXPECT_EQ(read(ends[0], piped, sizeof(piped)), 5);
    close(ends[0]);
    EXPECT_EQ(std::string(piped), "piped");
}

TEST(AtomicFile, ANameThatFitsFinallyFitsWhileBeingWritten) {
    rdrtest::TempDir dir;
    const std::string name(NAME_MAX, 'L');
    std::string why;
    ASSERT_TRUE(writeFileAtomically(dir.file(name), "long", 4, &why)) << why;
    EXPECT_EQ(slurp(dir.file(name)), "long");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{name});
}

TEST(AtomicFile, StreamsAndWritersByNameCommitLikeBuffers) {
    rdrtest::TempDir dir;
    const std::string target = dir.file("volume.uf.gz");
    put(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0604), 0);
    {
        // zlib owns and closes its descriptor: it gets a duplicate.
        AtomicFile file;
        ASSERT_TRUE(file.open(target)) << file.error();
        gzFile gz = gzdopen(file.duplicateFd(), "wb");
        ASSERT_NE(gz, nullptr);
        ASSERT_EQ(gzwrite(gz, "compressed words", 16), 16);
        ASSERT_EQ(gzclose(gz), Z_OK);
        ASSERT_TRUE(file.commit()) << file.error();
    }
    gzFile in = gzopen(target.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    char back[32] = {};
    EXPECT_EQ(gzread(in, back, sizeof(back)), 16);
    gzclose(in);
    EXPECT_EQ(std::string(back), "compressed words");
    EXPECT_EQ(modeOf(target), 0604u);

    // A library handed the temporary name may delete and create it afresh.
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(target)) << file.error();
        ASSERT_EQ(std::remove(file.path().c_str()), 0);
        put(file.path(), "made by name");
        ASSERT_TRUE(file.commit()) << file.error();
    }
    EXPECT_EQ(slurp(target), "made by name");
    EXPECT_EQ(modeOf(target), 0604u);
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"volume.uf.gz"});
}

TEST(AtomicFile, ConcurrentWritersLeaveOneWholeFileAtEveryMoment) {
    rdrtest::TempDir dir;
    const std::string target = dir.file("shared.f32");
    const std::size_t kBytes = 128 * 1024;
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    auto writer = [&](char c) {
        const std::string contents(kBytes, c);
        for (int i = 0; i < 15; ++i) {
            std::string why;
            failures += writeFileAtomically(target, contents.data(), contents.size(), &why) ? 0 : 1;
        }
    };
    std::vector<std::string> seen;
    std::thread watcher([&] {
        while (!done) {
            const std::string now = slurp(target);
            if (!now.empty() &&
                (now.size() != kBytes || now.find_first_not_of(now[0]) != std::string::npos)) {
                seen.push_back(now.substr(0, 16) + "... (" + std::to_string(now.size()) + ")");
            }
        }
    });
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    done = true;
    watcher.join();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(seen.empty()) << "mixed or partial contents seen: " << seen.front();
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"shared.f32"});
}

}  // namespace
