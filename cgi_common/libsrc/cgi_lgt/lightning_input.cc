// The strike readers: the window's daily files, read in pieces, one strike per line.
#include "lightning_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "display_utilities.h"
#include "internal/lightning_text.h"
#include "internal/strike_id_set.h"
#include "owned_handle.h"
#include "rdr_root.h"

namespace {

using lgt_text::kTimeLen;

// Files are read in pieces of this size; a line longer than a piece is no strike line and
// is passed over up to its end.
constexpr size_t kPieceBytes = 64 << 10;

enum class Layout { Vyq, Nx1 };

struct Window {
    char start[kTimeLen];
    char end[kTimeLen];
    bool contains(const char* t) const {
        return std::memcmp(t, start, kTimeLen) >= 0 && std::memcmp(t, end, kTimeLen) <= 0;
    }
};

// Noon of the start day, so that stepping a day at a time never lands on another date
// around a change of daylight-saving time.
struct tm startDay(const char* szStartTime) {
    struct tm day = {};
    lgt_text::parseTime(szStartTime, &day);
    day.tm_hour = 12;
    day.tm_min = 0;
    return day;
}

std::string dailyPath(Layout layout, const struct tm& day) {
    char name[96];
    std::strftime(name, sizeof name,
                  layout == Layout::Vyq ? "/DATA/INPUT/LGT/%Y/LGT_VYQ_%Y%m%d.asc"
                                        : "/DATA/INPUT/LGT/%Y/VYQ_LGT_NX1_%Y%m%d.asc",
                  &day);
    return rdrRootPath(std::string(name));
}

// Reads a file in pieces and hands each line to onLine (false stops); a missing or
// unreadable file, or a name that is no regular file, gives nothing. onOpen learns the file's size
// first. False when onLine asked to stop.
template <class OnOpen, class OnLine>
bool readLines(const std::string& path, std::vector<char>& buf, OnOpen&& onOpen, OnLine&& onLine) {
    // Non-blocking, so that a FIFO under a day's name cannot hold the request; only a
    // regular file is read.
    rdr::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return true;
    }
    if (st.st_size > 0) {
        onOpen(static_cast<size_t>(st.st_size));
    }
    buf.resize(kPieceBytes);
    size_t held = 0;
    bool skipping = false;  // inside a line too long for a piece
    bool go = true;
    auto lines = [&](std::string_view line) { return go = onLine(line); };
    for (;;) {
        ssize_t n = ::read(fd.get(), buf.data() + held, buf.size() - held);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            n = 0;  // a read error ends the file like its end would
        }
        const bool final = n == 0;
        size_t size = held + static_cast<size_t>(n);
        size_t from = 0;
        if (skipping) {
            const void* nl = std::memchr(buf.data(), '\n', size);
            if (nl == nullptr) {
                if (final) {
                    return true;
                }
                held = 0;
                continue;
            }
            from = static_cast<size_t>(static_cast<const char*>(nl) - buf.data()) + 1;
            skipping = false;
        }
        const size_t used =
            from + lgt_text::forEachLine(buf.data() + from, size - from, final, lines);
        if (!go || final) {
            return go;
        }
        held = size - used;
        if (held == buf.size()) {
            held = 0;
            skipping = true;
        } else {
            std::memmove(buf.data(), buf.data() + used, held);
        }
    }
}

// Calls onStrike(columns, time) for every well-formed line in the window of every daily
// file the window touches (at most LGT_MAX_DAYS), onOpen(bytes) before each file; false
// from onStrike stops the reading.
template <class OnOpen, class OnStrike>
bool readWindow(Layout layout, const char* szStartTime, const char* szEndTime, OnOpen&& onOpen,
                OnStrike&& onStrike) {
    if (!lgt_text::validTime(szStartTime) || !lgt_text::validTime(szEndTime)) {
        return false;
    }
    Window window;
    std::memcpy(window.start, szStartTime, kTimeLen);
    std::memcpy(window.end, szEndTime, kTimeLen);
    const int nColumns = layout == Layout::Vyq ? static_cast<int>(LGT_VYQ_DATA_MAX)
                                               : static_cast<int>(LGT_NX1_DATA_MAX);
    std::string_view columns[LGT_NX1_DATA_MAX];
    char time[kTimeLen];
    // The columns up to the time first: most lines of a day lie outside a short window and
    // are done with after those.
    const int nTimeColumns = layout == Layout::Vyq ? static_cast<int>(LGT_VYQ_TIME) + 1
                                                   : static_cast<int>(LGT_NX1_TIME) + 1;
    auto onLine = [&](std::string_view line) {
        if (lgt_text::splitColumns(line, columns, nTimeColumns) != nTimeColumns) {
            return true;
        }
        const bool timed = layout == Layout::Vyq ? lgt_text::vyqTime(columns, time)
                                                 : lgt_text::nx1Time(columns, time);
        if (!timed || !window.contains(time) ||
            lgt_text::splitColumns(line, columns, nColumns) != nColumns) {
            return true;
        }
        return onStrike(columns, time);
    };
    std::vector<char> buf;
    struct tm day = startDay(szStartTime);
    for (int d = 0; d < LGT_MAX_DAYS; ++d) {
        char dayStart[kTimeLen + 1];
        if (std::strftime(dayStart, sizeof dayStart, "%Y%m%d0000", &day) != kTimeLen ||
            std::memcmp(dayStart, window.end, kTimeLen) > 0) {
            break;
        }
        if (!readLines(dailyPath(layout, day), buf, onOpen, onLine)) {
            break;
        }
        day = fnGetIncDay(day, 1);
    }
    return true;
}

// The readers fill the record next() gives them (zeroed first: a line that turns out to be
// no strike leaves it to be filled again) and ask done(record) whether to go on.
template <class Next, class Done>
int readVyq(const char* szStartTime, const char* szEndTime, Next&& next, Done&& done) {
    int count = 0;
    const bool ok = readWindow(
        Layout::Vyq, szStartTime, szEndTime, [](size_t) {},
        [&](const std::string_view* columns, const char* time) {
            LGT_VYQ_DATA* rec = next();
            *rec = LGT_VYQ_DATA{};
            if (!lgt_text::fillVyq(columns, time, rec)) {
                return true;
            }
            ++count;
            return done(*rec);
        });
    return ok ? count : -1;
}

template <class Next, class Done>
int readNx1(const char* szStartTime, const char* szEndTime, Next&& next, Done&& done) {
    int count = 0;
    lgt_text::StrikeIdSet seen;
    // A strike line is well over 64 bytes: room for a file's identifiers at once.
    const auto reserve = [&](size_t bytes) { seen.reserve(bytes / 64); };
    const bool ok = readWindow(
        Layout::Nx1, szStartTime, szEndTime, reserve,
        [&](const std::string_view* columns, const char* time) {
            LGT_NX1_DATA* rec = next();
            *rec = LGT_NX1_DATA{};
            // A malformed line is no strike: its identifier is not taken, so a good line of
            // the same strike still counts.
            if (!lgt_text::fillNx1(columns, time, rec) || !seen.insert(rec->m_nStrkes_id)) {
                return true;
            }
            ++count;
            return done(*rec);
        });
    return ok ? count : -1;
}

}  // namespace

int lgtVisitStrikesVYQ(const char* szStartTime, const char* szEndTime,
                       const std::function<bool(const LGT_VYQ_DATA&)>& visit) {
    if (!visit) {
        return -1;
    }
    LGT_VYQ_DATA rec;
    return readVyq(
        szStartTime, szEndTime, [&] { return &rec; }, visit);
}

int lgtVisitStrikesNX1(const char* szStartTime, const char* szEndTime,
                       const std::function<bool(const LGT_NX1_DATA&)>& visit) {
    if (!visit) {
        return -1;
    }
    LGT_NX1_DATA rec;
    return readNx1(
        szStartTime, szEndTime, [&] { return &rec; }, visit);
}

// The array readers fill the caller's records in place and stop once the array is full.
int fnReadLgtDataVYQ(const char* szStartTime, const char* szEndTime, LGT_VYQ_DATA* pBuf,
                     int nBufMax) {
    if (pBuf == nullptr || nBufMax < 0) {
        return -1;
    }
    if (nBufMax == 0) {
        return lgt_text::validTime(szStartTime) && lgt_text::validTime(szEndTime) ? 0 : -1;
    }
    int stored = 0;
    const int rc = readVyq(
        szStartTime, szEndTime, [&] { return &pBuf[stored]; },
        [&](const LGT_VYQ_DATA&) { return ++stored < nBufMax; });
    return rc < 0 ? -1 : stored;
}

int fnReadLgtDataNX1(const char* szStartTime, const char* szEndTime, LGT_NX1_DATA* pBuf,
                     int nBufMax) {
    if (pBuf == nullptr || nBufMax < 0) {
        return -1;
    }
    if (nBufMax == 0) {
        return lgt_text::validTime(szStartTime) && lgt_text::validTime(szEndTime) ? 0 : -1;
    }
    int stored = 0;
    const int rc = readNx1(
        szStartTime, szEndTime, [&] { return &pBuf[stored]; },
        [&](const LGT_NX1_DATA&) { return ++stored < nBufMax; });
    return rc < 0 ? -1 : stored;
}
