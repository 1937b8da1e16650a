// BUFR tables, message framing and the table-driven decoder: hand-built messages over a
// small local table (values, operators, replication, the fast byte runs), hostile
// descriptor lists (nesting, work without data, truncation), and the samples' framing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "internal/bufr_decoder.h"
#include "internal/bufr_message.h"
#include "internal/bufr_tables.h"
#include "test_support.h"

namespace {

// Big-endian bit writer for section 4.
class BitWriter {
  public:
    void put(uint64_t value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            if (m_bits % 8 == 0) {
                m_bytes.push_back(0);
            }
            if ((value >> i) & 1u) {
                m_bytes.back() |= static_cast<unsigned char>(0x80u >> (m_bits % 8));
            }
            ++m_bits;
        }
    }
    void text(const std::string& s) {
        for (unsigned char c : s) {
            put(c, 8);
        }
    }
    const std::vector<unsigned char>& bytes() const { return m_bytes; }

  private:
    std::vector<unsigned char> m_bytes;
    size_t m_bits = 0;
};

void be(std::vector<unsigned char>* p, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
        p->push_back(static_cast<unsigned char>(v >> (8 * i)));
    }
}

// An edition-4 message of centre 99, master 14, local version 1.
std::vector<unsigned char> message(const std::vector<int>& descriptors, const BitWriter& data,
                                   bool bCompressed = false) {
    std::vector<unsigned char> s1;
    be(&s1, 22, 3);
    s1.push_back(0);                        // master table
    be(&s1, 99, 2);                         // centre
    be(&s1, 0, 2);                          // subcentre
    for (int v : {0, 0, 6, 0, 0, 14, 1}) {  // update, flags, category, subcategories, versions
        s1.push_back(static_cast<unsigned char>(v));
    }
    be(&s1, 2024, 2);
    for (int v : {5, 1, 12, 0, 0}) {
        s1.push_back(static_cast<unsigned char>(v));
    }
    std::vector<unsigned char> s3;
    be(&s3, static_cast<uint32_t>(7 + 2 * descriptors.size()), 3);
    s3.push_back(0);
    be(&s3, 1, 2);
    s3.push_back(bCompressed ? 0xc0 : 0x80);
    for (int d : descriptors) {
        const int f = d / 100000, x = d / 1000 % 100, y = d % 1000;
        be(&s3, static_cast<uint32_t>((f << 14) | (x << 8) | y), 2);
    }
    std::vector<unsigned char> s4;
    be(&s4, static_cast<uint32_t>(4 + data.bytes().size()), 3);
    s4.push_back(0);
    s4.insert(s4.end(), data.bytes().begin(), data.bytes().end());
    std::vector<unsigned char> m(8 + s1.size() + s3.size() + s4.size() + 4);
    const unsigned char head[8] = {'B', 'U', 'F', 'R', 0, 0, 0, 4};
    auto out = std::copy(head, head + 8, m.begin());
    for (const std::vector<unsigned char>* part : {&s1, &s3, &s4}) {
        out = std::copy(part->begin(), part->end(), out);
    }
    std::fill(out, m.end(), '7');
    const uint32_t n = static_cast<uint32_t>(m.size());
    m[4] = static_cast<unsigned char>(n >> 16);
    m[5] = static_cast<unsigned char>(n >> 8);
    m[6] = static_cast<unsigned char>(n);
    return m;
}

// A table tree with only a local table for centre 99 (the master comes from ecCodes).
class LocalTables {
  public:
    LocalTables() {
        const std::string dir = m_dir.file("bufr/tables/0/local/1/99/0");
        std::filesystem::create_directories(dir);
        std::ofstream(dir + "/element.table")
            << "#code|abbreviation|type|name|unit|scale|reference|width\n"
               "048192|a|double|A|m|1|-100|12|m|1|4\n"
               "048193|b|string|B|CCITT IA5|0|0|40|Character|0|5\n"
               "048194|c|long|C|Numeric|0|0|3|Numeric|0|1\n"
               "048195|d|long|D|Numeric|0|0|8|Numeric|0|3\n";
        std::ofstream(dir + "/sequence.def") << "\"348192\" = [  348192 ]\n"
                                                "\"348193\" = [  048192,\n 048193 ]\n";
    }
    std::string root() const { return m_dir.path().string(); }
    const rdrtest::TempDir& dir() const { return m_dir; }

  private:
    rdrtest::TempDir m_dir;
};

struct Recorder : BufrValueSink {
    std::vector<std::string> seen;
    size_t stopAfter = static_cast<size_t>(-1);
    bool number(int iFxy, double v, bool bMissing) override {
        seen.push_back(bufrDescriptorName(iFxy) + "=" + (bMissing ? "missing" : fmt(v)));
        return seen.size() < stopAfter;
    }
    bool text(int iFxy, std::string_view t) override {
        seen.push_back(bufrDescriptorName(iFxy) + "='" + std::string(t) + "'");
        return true;
    }
    bool bytes(int iFxy, const unsigned char* p, size_t n) override {
        std::string s = bufrDescriptorName(iFxy);
        s += " bytes";
        for (size_t i = 0; i < n; ++i) {
            s += ' ';
            s += std::to_string(p[i]);
        }
        seen.push_back(s);
        return true;
    }
    bool enter(int iFxy) override {
        std::string s = "[";
        seen.push_back(s + bufrDescriptorName(iFxy));
        return true;
    }
    bool leave(int iFxy) override {
        seen.push_back(bufrDescriptorName(iFxy) + "]");
        return true;
    }
    static std::string fmt(double v) {
        char sz[32];
        std::snprintf(sz, sizeof sz, "%g", v);
        return sz;
    }
};

// Decodes a hand-built message; false with the reason.
bool decodeMessage(const LocalTables& t, const std::vector<unsigned char>& m, Recorder* pRec,
                   std::string* pWhy) {
    BufrMessage msg;
    BufrTables tables;
    return parseBufrMessage(m.data(), m.size(), &msg, pWhy) &&
           tables.load(t.root(), msg.iMaster, msg.iCentre, msg.iSubcentre, msg.iLocal, pWhy) &&
           decodeBufrData(msg, tables, *pRec, pWhy);
}

TEST(BufrDecoder, ValuesOperatorsAndReplication) {
    LocalTables t;
    BitWriter w;
    w.put(1234, 12);  // 0-48-192: (1234 - 100) / 10
    w.put(4095, 12);  // all ones: missing
    w.put(1000, 12);  // 3-48-193: 0-48-192, then 0-48-193
    w.text("hello");
    w.put(1000 + 128, 13);                  // 2-01-129: one bit wider, scale as before
    w.put(3, 8);                            // 0-31-001 stays 8 bits under 2-01-129
    w.put(5, 3), w.put(6, 3), w.put(7, 3);  // three 0-48-194, the last all ones
    w.text("xy");                           // 2-08-002: 0-48-193 now two characters
    w.text("ins");                          // 2-05-003
    w.put(0x5a5, 12);                       // 2-06-012: a local element we skip
    w.put(0, 16);                           // 0-31-002: a replication of nothing
    w.put(2, 3);                            // 0-48-194 at an odd offset
    w.put(4, 16);                           // 0-31-002: four bytes of 0-48-195, not byte aligned
    for (int b : {1, 255, 128, 7}) {
        w.put(static_cast<uint64_t>(b), 8);
    }
    const std::vector<int> descriptors = {
        48192,  48192,  348193, 201129, 48192,  201000, 101000, 31001, 48194,  208002, 48193,
        208000, 205003, 206012, 48199,  101000, 31002,  48194,  48194, 101000, 31002,  48195};
    Recorder rec;
    std::string why;
    ASSERT_TRUE(decodeMessage(t, message(descriptors, w), &rec, &why)) << why;
    const std::vector<std::string> want = {"0-48-192=113.4",
                                           "0-48-192=missing",
                                           "[3-48-193",
                                           "0-48-192=90",
                                           "0-48-193='hello'",
                                           "3-48-193]",
                                           "0-48-192=102.8",
                                           "0-31-001=3",
                                           "0-48-194=5",
                                           "0-48-194=6",
                                           "0-48-194=missing",
                                           "0-48-193='xy'",
                                           "2-05-003='ins'",
                                           "0-31-002=0",
                                           "0-48-194=2",
                                           "0-31-002=4",
                                           "0-48-195 bytes 1 255 128 7"};
    EXPECT_EQ(rec.seen, want);
}

TEST(BufrDecoder, HostileDescriptorsAreRefusedWithinBounds) {
    LocalTables t;
    struct Case {
        const char* name;
        std::vector<int> descriptors;
        int dataBits;
        const char* reason;
    };
    const Case cases[] = {
        {"self-nesting sequence", {348192}, 64, "nest deeper than 64"},
        {"operators repeated without data",
         {104255, 103255, 102255, 101255, 201129},
         64,
         "more work than the data section"},
        {"data ends inside an element", {48192, 48192}, 16, "ends inside 0-48-192"},
        {"replication past its list", {103002, 48192}, 64, "reaches past its list"},
        {"unknown element", {48200}, 64, "0-48-200 is not in the tables"},
        {"unknown sequence", {348199}, 64, "3-48-199 is not in the tables"},
        {"quality operator", {222000}, 64, "operator 2-22-000 is not read"},
        {"width beyond 32 bits", {201160, 48192}, 64, "a width of 44 bits"},
        {"delayed factor not a count", {101000, 48192, 48192}, 64, "which is not read"},
    };
    for (const Case& c : cases) {
        BitWriter w;
        for (int i = 0; i < c.dataBits; ++i) {
            w.put(0, 1);
        }
        Recorder rec;
        std::string why;
        EXPECT_FALSE(decodeMessage(t, message(c.descriptors, w), &rec, &why)) << c.name;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
    }

    BitWriter w;
    w.put(0, 32);
    Recorder rec;
    std::string why;
    EXPECT_FALSE(decodeMessage(t, message({48192}, w, true), &rec, &why));
    EXPECT_NE(why.find("compressed"), std::string::npos) << why;
    rec.stopAfter = 1;
    EXPECT_FALSE(decodeMessage(t, message({48192, 48192}, w), &rec, &why));
    EXPECT_EQ(why, "stopped by the reader");
}

TEST(BufrTables, MasterFromEccodesLocalFromTheTree) {
    LocalTables t;
    BufrTables tables;
    std::string why;
    ASSERT_TRUE(tables.load(t.root(), 14, 99, 0, 1, &why)) << why;
    const BufrElement* lat = tables.element(5001);  // from ecCodes' WMO table 14
    ASSERT_NE(lat, nullptr);
    EXPECT_EQ(lat->iScale, 5);
    EXPECT_EQ(lat->iReference, -9000000);
    EXPECT_EQ(lat->iWidth, 25);
    const BufrElement* b = tables.element(48193);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->bText);
    EXPECT_EQ(tables.sequence(348193)->size(), 2u);
    EXPECT_EQ(tables.element(48200), nullptr);
    EXPECT_EQ(tables.sequence(348200), nullptr);

    EXPECT_FALSE(tables.load(t.root(), 250, 99, 0, 1, &why));
    EXPECT_NE(why.find("wmo/250"), std::string::npos) << why;

    // Without its local table a message still loads; the decoder names the file it lacked.
    ASSERT_TRUE(tables.load(t.root(), 14, 97, 0, 1, &why)) << why;
    EXPECT_NE(tables.localTableMissing().find("local/1/97/0/element.table"), std::string::npos);
}

TEST(BufrTables, MalformedOrEditedTablesAreReadAnew) {
    LocalTables t;
    const std::string file = t.dir().file("bufr/tables/0/local/1/99/0/element.table");
    BufrTables tables;
    std::string why;
    for (const char* line : {"048192|a|long|A|m|0|0|33|m|0|1\n",  // a number wider than 32
                             "048192|a|string|A|CCITT IA5|0|0|12|x|0|1\n",  // not whole chars
                             "348192|a|long|A|m|0|0|8|m|0|1\n",             // not an element
                             "048192|a|long|A|m|0|zero|8\n",                // not a number
                             "048192|a|long\n"}) {
        std::ofstream(file) << "#code|...\n" << line;
        EXPECT_FALSE(tables.load(t.root(), 14, 99, 0, 1, &why)) << line;
        EXPECT_NE(why.find("element.table:2:"), std::string::npos) << why;
    }
    std::ofstream(file) << "048192|a|long|A|m|0|0|9|m|0|3\n";
    ASSERT_TRUE(tables.load(t.root(), 14, 99, 0, 1, &why)) << why;
    EXPECT_EQ(tables.element(48192)->iWidth, 9);
    // A later edit is seen by the next load, however soon it comes.
    std::ofstream(file) << "048192|a|long|A|m|0|0|10|m|0|3\n";
    ASSERT_TRUE(tables.load(t.root(), 14, 99, 0, 1, &why)) << why;
    EXPECT_EQ(tables.element(48192)->iWidth, 10);
}

TEST(BufrMessageFraming, SamplesAndBrokenFrames) {
    RDR_REQUIRE_SHARED_DATA();
    std::ifstream in(rdrtest::sharedData("bufr/example_odim_200906101315.bfr"), std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    BufrMessage msg;
    std::string why;
    ASSERT_TRUE(parseBufrMessage(bytes.data(), bytes.size(), &msg, &why)) << why;
    EXPECT_EQ(msg.iEdition, 3);
    EXPECT_EQ(msg.iCentre, 247);
    EXPECT_EQ(msg.iMaster, 14);
    EXPECT_EQ(msg.iLocal, 8);
    EXPECT_EQ(msg.iYear, 2009);
    EXPECT_EQ(msg.iMonth, 6);
    EXPECT_EQ(msg.iHour, 13);
    EXPECT_EQ(msg.descriptors, (std::vector<int>{321204, 301031, 321203}));

    // Behind a bulletin heading the message is still found.
    std::vector<unsigned char> headed = {'T', 'E', 'S', 'T', '\r', '\n'};
    headed.insert(headed.end(), bytes.begin(), bytes.end());
    EXPECT_TRUE(parseBufrMessage(headed.data(), headed.size(), &msg, &why)) << why;

    std::vector<unsigned char> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_FALSE(parseBufrMessage(cut.data(), cut.size(), &msg, &why));
    EXPECT_NE(why.find("truncated"), std::string::npos) << why;
    std::vector<unsigned char> end = bytes;
    end[end.size() - 1] = '8';
    EXPECT_FALSE(parseBufrMessage(end.data(), end.size(), &msg, &why));
    EXPECT_NE(why.find("7777"), std::string::npos) << why;
    std::vector<unsigned char> s1 = bytes;
    s1[8] = 0xff;  // section 1 longer than the message
    EXPECT_FALSE(parseBufrMessage(s1.data(), s1.size(), &msg, &why));
    EXPECT_NE(why.find("section 1"), std::string::npos) << why;
    std::vector<unsigned char> ed1 = bytes;
    ed1[7] = 1;
    EXPECT_FALSE(parseBufrMessage(ed1.data(), ed1.size(), &msg, &why));
    EXPECT_NE(why.find("edition 1"), std::string::npos) << why;
}

}  // namespace
