// The UF loader's byte input: reading ahead in a second thread gives the caller what reading
// on demand gives (bytes, end, failure, refusal), whatever the chunk and request sizes, and
// gzip streams inflated that way load, or fail, as they do inflated on demand.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "internal/uf_volume_input_stream.h"
#include "test_support.h"
#include "uf_bytes.h"
#include "uf_fixture.h"
#include "uf_radar.h"

using uffix::Bytes;
using uffix::UfRadarPtr;

namespace {

unsigned char patternByte(std::size_t i) {
    return static_cast<unsigned char>((i * 131 + (i >> 9)) & 0xff);
}

// total bytes of a pattern in reads of uneven sizes; then the end, or at failAt a failure
// (a refusal when refuse is set). Counts what it was asked for.
class ScriptedSource final : public ByteSource {
  public:
    ScriptedSource(std::size_t total, std::size_t failAt, bool refuse)
        : m_total(total), m_failAt(failAt), m_refuse(refuse) {}
    long read(unsigned char* p, std::size_t n) override {
        const std::size_t limit = std::min(m_total, m_failAt);
        if (m_pos >= limit) {
            if (m_failAt <= m_total) {
                m_refused = m_refuse;
                return -1;
            }
            return 0;
        }
        // Short reads as inflaters give them: never more than some odd amount.
        const std::size_t most = 1 + (m_pos * 7 + 4093) % 50000;
        const std::size_t k = std::min({n, most, limit - m_pos});
        for (std::size_t i = 0; i < k; ++i) {
            p[i] = patternByte(m_pos + i);
        }
        m_pos += k;
        return static_cast<long>(k);
    }
    bool refused() const override { return m_refused; }
    std::size_t delivered() const { return m_pos; }

  private:
    std::size_t m_total;
    std::size_t m_failAt;
    bool m_refuse;
    std::size_t m_pos = 0;
    bool m_refused = false;
};

struct Outcome {
    std::string trouble;  // the first wrong byte or count, empty when none
    std::size_t read = 0;
    bool failed = false;
    bool operator==(const Outcome& o) const {
        return trouble == o.trouble && read == o.read && failed == o.failed;
    }
};

// Reads the input as the record loop does: a header, then a record of any length up to
// the largest, checking every byte against the pattern.
Outcome readAll(UfByteInput& in, std::size_t stopAfter = ~std::size_t{0}) {
    Outcome o;
    for (unsigned step = 0; o.read < stopAfter; ++step) {
        const std::size_t want =
            step % 3 == 0 ? 8 : (step % 7 == 0 ? UfByteInput::kMaxRequest : 1 + step * 997 % 40000);
        const std::size_t got = in.ensure(want);
        for (std::size_t i = 0; i < got; ++i) {
            if (in.data()[i] != patternByte(o.read + i)) {
                o.trouble = "byte " + std::to_string(o.read + i);
                return o;
            }
        }
        if (got > want) {
            o.trouble = "more than asked at " + std::to_string(o.read);
            return o;
        }
        // A tail left unread at times, as a record's trailer is.
        const std::size_t used = got == want ? got - std::min<std::size_t>(got, step % 5) : got;
        in.consume(used);
        o.read += used;
        if (got < want) {
            break;
        }
    }
    o.failed = in.failed();
    return o;
}

TEST(UfPipelinedInput, ThreadedReadAheadGivesWhatReadingOnDemandGives) {
    constexpr std::size_t kChunk = PipelinedInput::kChunk;
    const struct {
        const char* name;
        std::size_t total;
        std::size_t failAt;  // past total: no failure
        std::size_t chunk;
        bool refuse;
    } cases[] = {
        {"empty stream", 0, ~std::size_t{0}, kChunk, false},
        {"ends on a chunk boundary", 4 * kChunk, ~std::size_t{0}, kChunk, false},
        {"ends inside a chunk", 3 * kChunk + 12345, ~std::size_t{0}, kChunk, false},
        {"chunks smaller than a record", 700000, ~std::size_t{0}, 1000, false},
        {"fails inside a chunk", 2000000, 777777, kChunk, false},
        {"fails on a chunk boundary", 2000000, 2 * kChunk, kChunk, false},
        {"refuses in the middle", 2000000, 1234567, kChunk, true},
        {"refuses at the end", 900000, 900000, kChunk, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSource onDemandSource(c.total, c.failAt, c.refuse);
        ChunkedInput onDemand(onDemandSource);
        const Outcome expected = readAll(onDemand);
        ASSERT_EQ(expected.trouble, "");

        ScriptedSource aheadSource(c.total, c.failAt, c.refuse);
        PipelinedInput ahead(aheadSource, c.chunk);
        ASSERT_TRUE(ahead.start());
        const Outcome got = readAll(ahead);
        EXPECT_EQ(got.trouble, "");
        EXPECT_EQ(got.read, expected.read);
        EXPECT_EQ(got.read, std::min(c.total, c.failAt));
        EXPECT_EQ(got.failed, expected.failed);
        EXPECT_EQ(ahead.refused(), onDemandSource.refused());
    }
}

TEST(UfPipelinedInput, ThreadedReaderThatStopsEarlyEndsTheThreadAndNoRefusalItNeverReached) {
    constexpr std::size_t kChunk = PipelinedInput::kChunk;
    // The thread reads at most a few chunks ahead of the caller, then waits; leaving stops
    // it, and a refusal further on is not the caller's.
    ScriptedSource source(64 * kChunk, 60 * kChunk, true);
    {
        PipelinedInput in(source);
        ASSERT_TRUE(in.start());
        EXPECT_EQ(readAll(in, kChunk + 5).trouble, "");
        EXPECT_FALSE(in.failed());
        EXPECT_FALSE(in.refused());
    }
    EXPECT_LE(source.delivered(), (PipelinedInput::kChunks + 1) * kChunk);
    EXPECT_FALSE(source.refused());

    // Stopping inside the last chunk, before the point the source refused (a record found
    // damaged there): no refusal either, or the stream would be read again and the damage
    // reported twice.
    ScriptedSource refusing(3 * kChunk + 200000, 3 * kChunk + 200000, true);
    PipelinedInput in(refusing);
    ASSERT_TRUE(in.start());
    EXPECT_EQ(readAll(in, 3 * kChunk + 10).trouble, "");
    EXPECT_FALSE(in.failed());
    EXPECT_FALSE(in.refused());
}

Bytes rawBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Load {
    UfRadarPtr uf;
    std::string said;
};

Load load(const std::string& file, long nAheadFrom) {
    testing::internal::CaptureStderr();
    Load l;
    l.uf.reset(ufLoadFile(file.c_str(), nullptr, nAheadFrom));
    l.said = testing::internal::GetCapturedStderr();
    return l;
}

// Gzip streams of several chunks, whole and damaged, read ahead in a second thread and on
// demand: the same volume or the same failure, and zlib still has the last word on what a
// damaged stream holds.
TEST(UfLoad, ThreadedInflateLoadsWhatInflatingOnDemandLoads) {
    const Bytes plain = ufbytes::frameRecords(
        ufbytes::writeRecords(ufbytes::smallVolume(3, 360, 400)), ufbytes::Framing::four);
    ASSERT_GT(plain.size(), 6 * PipelinedInput::kChunk);
    rdrtest::TempDir dir;
    auto gzipped = [&dir](Bytes::const_iterator from, Bytes::const_iterator to) {
        const std::string file = dir.file("member.gz");
        ufbytes::writeBytes(file, Bytes(from, to), /*gzip=*/true);
        return rawBytes(file);
    };
    // Three members, split inside records, as concatenated gzip files are.
    const std::size_t cut1 = plain.size() / 3 + 11;
    const std::size_t cut2 = plain.size() * 2 / 3 + 5;
    const Bytes first = gzipped(plain.begin(), plain.begin() + cut1);
    const Bytes middle = gzipped(plain.begin() + cut1, plain.begin() + cut2);
    const Bytes last = gzipped(plain.begin() + cut2, plain.end());
    auto joined = [&](const Bytes& mid) {
        Bytes all = first;
        all.insert(all.end(), mid.begin(), mid.end());
        all.insert(all.end(), last.begin(), last.end());
        return all;
    };
    Bytes dataDamaged = middle;
    for (std::size_t i = middle.size() / 2; i < middle.size() / 2 + 16; ++i) {
        dataDamaged[i] ^= 0x5a;
    }
    Bytes headerDamaged = middle;
    headerDamaged[0] = ' ';
    const Bytes whole = joined(middle);
    Bytes junkAfter = whole;
    junkAfter.insert(junkAfter.end(), 300, 'x');

    const std::string plainFile = dir.file("plain.uf");
    ufbytes::writeBytes(plainFile, plain);
    const Load reference = load(plainFile, 0);
    ASSERT_NE(reference.uf, nullptr);

    const struct {
        const char* name;
        Bytes bytes;
        bool whole;  // the plain file's volume, nothing said
    } cases[] = {
        {"three members", whole, true},
        {"bytes after the last member", junkAfter, true},
        {"middle member's header damaged", joined(headerDamaged), false},
        {"middle member's data damaged", joined(dataDamaged), false},
        {"cut off", Bytes(whole.begin(), whole.begin() + whole.size() * 3 / 5), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.file("v.uf.gz");
        ufbytes::writeBytes(file, c.bytes);
        const Load ahead = load(file, 0);
        const Load onDemand = load(file, LONG_MAX);
        EXPECT_EQ(ahead.said, onDemand.said);
        ASSERT_EQ(ahead.uf == nullptr, onDemand.uf == nullptr);
        if (ahead.uf != nullptr) {
            EXPECT_EQ(uffix::diffUf(ahead.uf.get(), onDemand.uf.get(), true), "");
        }
        if (c.whole) {
            EXPECT_EQ(ahead.said, "");
            ASSERT_NE(ahead.uf, nullptr);
            EXPECT_EQ(uffix::diffUf(ahead.uf.get(), reference.uf.get(), true), "");
        } else {
            EXPECT_NE(ahead.said, "");
        }
    }
}

}  // namespace
