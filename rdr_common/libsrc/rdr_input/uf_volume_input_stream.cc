#include "internal/uf_volume_input_stream.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "core_utilities.h"

namespace {

void streamError(const char* szWhat, const char* szWhy) {
    char szMessage[512];
    std::snprintf(szMessage, sizeof(szMessage), "%s: %s", szWhat, szWhy);
    rdrError("fnLoadUf", szMessage);
}

}  // namespace

// ---- sources -------------------------------------------------------------------------

long PlainSource::read(unsigned char* p, std::size_t n) {
    for (;;) {
        const ssize_t iRead = ::read(m_fd, p, n);
        if (iRead >= 0) {
            return static_cast<long>(iRead);
        }
        if (errno != EINTR) {
            streamError("read fail", std::strerror(errno));
            return -1;
        }
    }
}

IsalSource::IsalSource(int fd) : m_fd(fd), m_in(kInput) {
    isal_inflate_init(&m_state);
    m_state.crc_flag = ISAL_GZIP;
}

long IsalSource::read(unsigned char* p, std::size_t n) {
    if (m_bRefused) {
        return -1;
    }
    m_state.next_out = p;
    m_state.avail_out = static_cast<uint32_t>(std::min<std::size_t>(n, 1u << 30));
    const uint32_t nOut = m_state.avail_out;
    while (m_state.avail_out == nOut && !m_bDone) {
        if (m_state.block_state == ISAL_BLOCK_FINISH) {
            if (!nextMember()) {
                return refuse();
            }
            continue;
        }
        if (m_state.avail_in == 0 && !fill()) {
            return refuse();
        }
        if (isal_inflate(&m_state) < 0) {
            return refuse();
        }
    }
    return static_cast<long>(nOut - m_state.avail_out);
}

// More compressed input; false at the end of the file or on a read error.
bool IsalSource::fill() {
    ssize_t iRead = 0;
    do {
        iRead = ::read(m_fd, m_in.data(), m_in.size());
    } while (iRead < 0 && errno == EINTR);
    if (iRead <= 0) {
        m_bReadFailed = iRead < 0;
        return false;
    }
    m_state.next_in = m_in.data();
    m_state.avail_in = static_cast<uint32_t>(iRead);
    return true;
}

// After a member: the next one, or the clean end of the file (false for anything else).
bool IsalSource::nextMember() {
    if (m_state.avail_in == 0 && !fill()) {
        m_bDone = !m_bReadFailed;
        return m_bDone;
    }
    if (m_state.next_in[0] != 0x1f) {
        return false;
    }
    uint8_t* pNext = m_state.next_in;
    const uint32_t nLeft = m_state.avail_in;
    isal_inflate_reset(&m_state);
    m_state.crc_flag = ISAL_GZIP;
    m_state.next_in = pNext;
    m_state.avail_in = nLeft;
    return true;
}

long IsalSource::refuse() {
    m_bRefused = true;
    return -1;
}

long ZlibSource::read(unsigned char* p, std::size_t n) {
    const int iRead = gzread(m_file.get(), p, static_cast<unsigned>(n));
    if (iRead < 0) {
        int iErr = Z_OK;
        streamError("gzread fail", gzerror(m_file.get(), &iErr));
    }
    return iRead;
}

// ---- read on demand ------------------------------------------------------------------

std::size_t ChunkedInput::ensure(std::size_t n) {
    if (m_end - m_pos >= n || m_eof) {
        return std::min(n, m_end - m_pos);
    }
    if (m_pos + n > m_buffer.size()) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
        while (n > m_buffer.size() || (m_bFilledLast && m_buffer.size() < kMaxCapacity)) {
            m_buffer.resize(2 * m_buffer.size());
            m_bFilledLast = false;
        }
    }
    while (m_end - m_pos < n && !m_eof) {
        const std::size_t nWant = m_buffer.size() - m_end;
        const long iRead = m_source.read(m_buffer.data() + m_end, nWant);
        if (iRead < 0) {
            m_failed = true;
            m_eof = true;
        } else if (iRead == 0) {
            m_eof = true;
        }
        m_bFilledLast = iRead == static_cast<long>(nWant);
        m_end += iRead > 0 ? static_cast<std::size_t>(iRead) : 0;
    }
    return std::min(n, m_end - m_pos);
}

// ---- read ahead in a second thread ---------------------------------------------------

PipelinedInput::PipelinedInput(ByteSource& source, std::size_t nChunk, int nChunks)
    : m_source(source), m_nChunk(std::max<std::size_t>(nChunk, 1)) {
    m_chunks.resize(static_cast<std::size_t>(std::max(nChunks, 2)));
}

PipelinedInput::~PipelinedInput() {
    if (m_thread.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_freed.notify_one();
        m_thread.join();
    }
}

bool PipelinedInput::start() {
    for (Chunk& c : m_chunks) {
        c.pBytes.reset(new (std::nothrow) unsigned char[kMaxRequest + m_nChunk]);
        if (c.pBytes == nullptr) {
            return false;
        }
    }
    try {
        m_thread = std::thread(&PipelinedInput::produce, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void PipelinedInput::produce() {
    const std::size_t nSlots = m_chunks.size();
    for (unsigned long k = 0;; ++k) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_freed.wait(lock, [&] { return m_bStop || k - m_nReleased < nSlots; });
            if (m_bStop) {
                return;
            }
        }
        // The slot is the thread's alone until it is published below.
        Chunk& c = m_chunks[k % nSlots];
        unsigned char* pBytes = c.pBytes.get() + kMaxRequest;
        std::size_t nFilled = 0;
        bool bEnd = false;
        bool bFailed = false;
        while (nFilled < m_nChunk) {
            const long iRead = m_source.read(pBytes + nFilled, m_nChunk - nFilled);
            if (iRead <= 0) {
                bEnd = true;
                bFailed = iRead < 0;
                break;
            }
            nFilled += static_cast<std::size_t>(iRead);
        }
        c.nFilled = nFilled;
        c.bLast = bEnd;
        c.bFailed = bFailed;
        c.bRefused = bFailed && m_source.refused();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_nProduced = k + 1;
        }
        m_filled.notify_one();
        if (bEnd) {
            return;
        }
    }
}

void PipelinedInput::advance() {
    Chunk* pNext = nullptr;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_filled.wait(lock, [&] { return m_nProduced > m_nTaken; });
        pNext = &m_chunks[m_nTaken % m_chunks.size()];
    }
    ++m_nTaken;
    // The unread tail (shorter than one request) goes just in front of the new bytes.
    const std::size_t nTail = m_end - m_pos;
    unsigned char* pBase = pNext->pBytes.get();
    if (nTail > 0) {
        std::memcpy(pBase + kMaxRequest - nTail, m_pCurrent + m_pos, nTail);
    }
    if (m_pCurrent != nullptr) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_nReleased;
        }
        m_freed.notify_one();
    }
    m_pCurrent = pBase;
    m_pos = kMaxRequest - nTail;
    m_end = kMaxRequest + pNext->nFilled;
    m_pLast = pNext->bLast ? pNext : nullptr;
}

std::size_t PipelinedInput::ensure(std::size_t n) {
    n = std::min(n, kMaxRequest);  // the headroom holds the tail of at most one request
    while (m_end - m_pos < n && !m_eof) {
        // The end or failure counts only once bytes past it are asked for, as when the
        // source is read on demand.
        if (m_pLast != nullptr || !m_thread.joinable()) {
            m_eof = true;
            m_failed = m_pLast == nullptr || m_pLast->bFailed;
            m_refused = m_pLast != nullptr && m_pLast->bRefused;
            break;
        }
        advance();
    }
    return std::min(n, m_end - m_pos);
}
