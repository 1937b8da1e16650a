// The bytes of a UF file as the record loop sees them: where they come from (the file as it
// is, or its gzip stream inflated by ISA-L or zlib) and how they are buffered (read in
// chunks on demand, or inflated ahead in a second thread while the records are parsed).
#ifndef RDR_UF_VOLUME_INPUT_STREAM_H
#define RDR_UF_VOLUME_INPUT_STREAM_H

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "uf_radar.h"

// Where the file's bytes come from.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to n bytes into p: how many, 0 at the end, -1 on failure (reported by the source
    // unless refused() says the whole load should be redone through zlib).
    virtual long read(unsigned char* p, std::size_t n) = 0;
    virtual bool refused() const { return false; }
};

class PlainSource final : public ByteSource {
  public:
    explicit PlainSource(int fd) : m_fd(fd) {}
    long read(unsigned char* p, std::size_t n) override;

  private:
    int m_fd;
};

// One or more concatenated gzip members. Anything short of a clean end of the last member
// (damage, a cut-off stream, bytes after it that are no member, a failed read) is refused,
// so that zlib, which has always read these files, decides what they hold and says what is
// wrong.
class IsalSource final : public ByteSource {
  public:
    static constexpr std::size_t kInput = 1 << 18;

    explicit IsalSource(int fd);
    long read(unsigned char* p, std::size_t n) override;
    bool refused() const override { return m_bRefused; }

  private:
    bool fill();
    bool nextMember();
    long refuse();

    int m_fd;
    std::vector<unsigned char> m_in;
    inflate_state m_state{};
    bool m_bReadFailed = false;
    bool m_bDone = false;
    bool m_bRefused = false;
};

struct GzCloser {
    void operator()(gzFile_s* f) const { gzclose(f); }
};

class ZlibSource final : public ByteSource {
  public:
    explicit ZlibSource(gzFile file) : m_file(file) {}
    long read(unsigned char* p, std::size_t n) override;

  private:
    std::unique_ptr<gzFile_s, GzCloser> m_file;
};

// What the record loop reads from: a window of the stream that can be made to hold the
// next n bytes in one piece.
class UfByteInput {
  public:
    // The largest framed record: a 32-bit count, 65535 words, a 4-byte trailer.
    static constexpr std::size_t kMaxRequest = 8 + 2 * 65535 + 4;

    virtual ~UfByteInput() = default;
    // Makes up to n bytes (at most kMaxRequest) available at data(); returns how many
    // are (fewer only at the end of the stream or on a failure, see failed()).
    virtual std::size_t ensure(std::size_t n) = 0;
    virtual const unsigned char* data() const = 0;
    // Drops n bytes (at most those available) from the front of the window.
    virtual void consume(std::size_t n) = 0;
    virtual bool failed() const = 0;
};

// The source read on demand into one buffer that starts small and doubles while whole
// chunks keep coming, so a small file costs little and a large one is read a megabyte at a
// time.
class ChunkedInput final : public UfByteInput {
  public:
    static constexpr std::size_t kFirstCapacity = 1 << 16;
    static constexpr std::size_t kMaxCapacity = 1 << 20;

    explicit ChunkedInput(ByteSource& source) : m_source(source), m_buffer(kFirstCapacity) {}

    std::size_t ensure(std::size_t n) override;
    const unsigned char* data() const override { return m_buffer.data() + m_pos; }
    void consume(std::size_t n) override { m_pos += std::min(n, m_end - m_pos); }
    bool failed() const override { return m_failed; }

  private:
    ByteSource& m_source;
    std::vector<unsigned char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_eof = false;
    bool m_failed = false;
    bool m_bFilledLast = false;
};

// The source read ahead by a second thread into a small ring of large chunks while the
// caller parses the chunks already filled, so that inflating and parsing overlap. Each
// chunk has room in front of its bytes for the unread tail of the chunk before it (less
// than one request), so a record that spans two chunks is still read in one piece, and
// only that tail is ever copied.
//
// What the caller sees is what ChunkedInput over the same source would give: the same
// bytes, the end or the failure after the last byte the source delivered. A source that
// fails or refuses stops the thread; refused() says whether the caller reached that point
// (bytes the thread read ahead past where the caller stopped do not count).
class PipelinedInput final : public UfByteInput {
  public:
    static constexpr std::size_t kChunk = 1 << 18;
    static constexpr int kChunks = 3;

    // nChunk bytes a chunk (at least 1), nChunks chunks (at least 2).
    explicit PipelinedInput(ByteSource& source, std::size_t nChunk = kChunk, int nChunks = kChunks);
    ~PipelinedInput() override;
    PipelinedInput(const PipelinedInput&) = delete;
    PipelinedInput& operator=(const PipelinedInput&) = delete;

    // Allocates the chunks and starts the thread; false (and nothing started) when either
    // cannot be had, and the caller reads the source another way.
    bool start();

    std::size_t ensure(std::size_t n) override;
    const unsigned char* data() const override { return m_pCurrent + m_pos; }
    void consume(std::size_t n) override { m_pos += std::min(n, m_end - m_pos); }
    bool failed() const override { return m_failed; }
    // True when the caller read up to a point where the source refused the stream.
    bool refused() const { return m_refused; }

  private:
    struct Chunk {
        std::unique_ptr<unsigned char[]> pBytes;  // headroom, then up to m_nChunk bytes
        std::size_t nFilled = 0;
        bool bLast = false;  // the source ended (or failed) after these bytes
        bool bFailed = false;
        bool bRefused = false;
    };

    void produce();
    // Moves to the next filled chunk in order, with the unread tail of the current one in
    // front of its bytes.
    void advance();

    ByteSource& m_source;
    const std::size_t m_nChunk;
    std::vector<Chunk> m_chunks;

    std::mutex m_mutex;
    std::condition_variable m_filled;
    std::condition_variable m_freed;
    unsigned long m_nProduced = 0;  // chunks filled, in order; slot k % size holds chunk k
    unsigned long m_nReleased = 0;  // chunks the caller has finished with
    bool m_bStop = false;
    std::thread m_thread;

    // The caller's side, touched only by the caller's thread.
    unsigned long m_nTaken = 0;
    unsigned char* m_pCurrent = nullptr;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    const Chunk* m_pLast = nullptr;  // the current chunk, when the source ended after it
    bool m_eof = false;
    bool m_failed = false;
    bool m_refused = false;
};

// fnLoadUfMoments with the size of a gzip file from which its stream is read ahead by a
// PipelinedInput (smaller ones through a ChunkedInput); the loader chooses by that size alone.
UF_RADAR* ufLoadFile(const char* pFile, const std::vector<std::string>* pMoments, long nAheadFrom);

#endif
