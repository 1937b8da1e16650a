#include "aws_io.h"

#include <cstring>
#include <string>
#include <vector>

#include "rdr_root.h"

FILE* fp_log = nullptr;

namespace {

constexpr int kMinutes = 60;

void put16(unsigned char* p, int16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xff);
    p[1] = static_cast<unsigned char>((static_cast<uint16_t>(v) >> 8) & 0xff);
}
int16_t get16(const unsigned char* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}
void put64(unsigned char* p, uint64_t v) {
    for (int k = 0; k < 8; k++) {
        p[k] = static_cast<unsigned char>(v >> (8 * k));
    }
}
uint64_t get64(const unsigned char* p) {
    uint64_t v = 0;
    for (int k = 7; k >= 0; k--) {
        v = (v << 8) | p[k];
    }
    return v;
}
void put_time(unsigned char* p, const TIMES3& t) {
    put16(p, t.YY);
    p[2] = static_cast<unsigned char>(t.MM);
    p[3] = static_cast<unsigned char>(t.DD);
    p[4] = static_cast<unsigned char>(t.HH);
    p[5] = static_cast<unsigned char>(t.MI);
}
void get_time3(const unsigned char* p, TIMES3* t) {
    t->YY = get16(p);
    t->MM = static_cast<int8_t>(p[2]);
    t->DD = static_cast<int8_t>(p[3]);
    t->HH = static_cast<int8_t>(p[4]);
    t->MI = static_cast<int8_t>(p[5]);
}

// One hourly file kept open between calls, as the observations are read minute by minute.
struct HourFile {
    const char* label;   // "DATA" or "QCD"
    const char* prefix;  // file name prefix
    long record;         // record size
    FILE* fp = nullptr;
    long hour_key = -1;
    bool wrote = false;    // a write was ever asked for
    bool open_rw = false;  // the open file allows writing
    std::string path;
    long missing_key = -1;  // hour whose file could not be opened: not tried again for reads

    void close() {
        if (fp != nullptr) {
            std::fclose(fp);
            fp = nullptr;
        }
        hour_key = -1;
    }
};

HourFile g_data{"DATA", "AWS3_MIN", kAwsDataSize, nullptr, -1, false, false, {}, -1};
HourFile g_qcd{"QCD", "AWS3_QCD", kAwsQcdSize, nullptr, -1, false, false, {}, -1};

FILE* log_stream() {
    return fp_log != nullptr ? fp_log : stderr;
}

// Moves count records of raw bytes at the slot of (MI, aws_id).
int hour_file_io(HourFile& f, int YY, int MM, int DD, int HH, int MI, int aws_id,
                 unsigned char* raw, char mode) {
    if (mode == 'c') {
        f.close();
        f.missing_key = -1;
        return kAwsOk;
    }
    if (aws_id >= kAwsSlots) {
        return kAwsBadStation;
    }
    if (mode == 'w') {
        f.wrote = true;
    }
    long key = ((static_cast<long>(YY) * 100 + MM) * 100 + DD) * 100 + HH;
    if (f.fp == nullptr || key != f.hour_key || !(mode == 'r' || f.open_rw)) {
        f.close();
        if (mode == 'r' && key == f.missing_key) {
            return kAwsNotOpened;
        }
        char rel[128];
        std::snprintf(rel, sizeof rel, "/Q7T5_DATA/AWS/AWS3D/%04d%02d/%02d/%s_%04d%02d%02d%02d", YY,
                      MM, DD, f.prefix, YY, MM, DD, HH);
        f.path = rdrRootPath(std::string(rel));
        f.fp = std::fopen(f.path.c_str(), f.wrote ? "rb+" : "rb");
        if (f.fp == nullptr) {
            f.missing_key = key;
            std::fprintf(log_stream(), "#[ AWS3 %s ] File not opened (%s)\n", f.label,
                         f.path.c_str());
            return kAwsNotOpened;
        }
        f.hour_key = key;
        f.missing_key = -1;
        f.open_rw = f.wrote;
    }
    if (MI < 0 || MI >= kMinutes) {
        return kAwsSeekFailed;
    }
    long block = f.record * kAwsSlots;
    long offset = MI * block + (aws_id >= 0 ? aws_id * f.record : 0);
    size_t count = aws_id >= 0 ? 1 : static_cast<size_t>(kAwsSlots);
    if (std::fseek(f.fp, offset, SEEK_SET) != 0) {
        std::fprintf(log_stream(), "#[ AWS3 %s ] fseek error (%s,%ld)\n", f.label, f.path.c_str(),
                     offset);
        return kAwsSeekFailed;
    }
    size_t moved = mode == 'w' ? std::fwrite(raw, static_cast<size_t>(f.record), count, f.fp)
                               : std::fread(raw, static_cast<size_t>(f.record), count, f.fp);
    if (mode == 'w') {
        std::fflush(f.fp);
    }
    if (moved != count) {
        std::fprintf(log_stream(), "#[ AWS3 %s ] IO error (%c,%04d%02d%02d%02d%02d_%d)\n", f.label,
                     mode, YY, MM, DD, HH, MI, aws_id);
        return kAwsShort;
    }
    return kAwsOk;
}

template <typename Rec, void (*Enc)(const Rec*, unsigned char*),
          void (*Dec)(const unsigned char*, Rec*)>
int record_io(HourFile& f, int YY, int MM, int DD, int HH, int MI, int aws_id, Rec* rec,
              char mode) {
    if (mode != 'r' && mode != 'w' && mode != 'c') {
        return kAwsNotOpened;
    }
    size_t count = aws_id >= 0 ? 1 : static_cast<size_t>(kAwsSlots);
    std::vector<unsigned char> raw(mode == 'c' ? 0 : count * static_cast<size_t>(f.record));
    if (mode == 'w') {
        for (size_t k = 0; k < count; k++) {
            Enc(rec + k, raw.data() + k * static_cast<size_t>(f.record));
        }
    }
    int rc = hour_file_io(f, YY, MM, DD, HH, MI, aws_id, raw.data(), mode);
    if (rc == kAwsOk && mode == 'r') {
        for (size_t k = 0; k < count; k++) {
            Dec(raw.data() + k * static_cast<size_t>(f.record), rec + k);
        }
    }
    return rc;
}

}  // namespace

void aws_data_encode(const AWS3_DATA* a, unsigned char* out) {
    put16(out, a->aws_id);
    put_time(out + 2, a->aws_tm);
    for (int k = 0; k < 88; k++) {
        put16(out + 8 + 2 * k, a->d[k]);
    }
}

void aws_data_decode(const unsigned char* in, AWS3_DATA* a) {
    a->aws_id = get16(in);
    get_time3(in + 2, &a->aws_tm);
    for (int k = 0; k < 88; k++) {
        a->d[k] = get16(in + 8 + 2 * k);
    }
}

void aws_qcd_encode(const struct AWS3_QCD* q, unsigned char* out) {
    put16(out, q->aws_id);
    put16(out + 2, q->lau_id);
    put_time(out + 4, q->aws_tm);
    put_time(out + 10, q->lau_tm);
    put_time(out + 16, q->rec_tm);
    put64(out + 22, q->state[0]);
    put64(out + 30, q->state[1]);
    out[38] = q->version;
    out[39] = q->qc_step;
    put_time(out + 40, q->qcd_tm);
    for (int k = 0; k < 8; k++) {
        put64(out + 46 + 8 * k, q->qc[k]);
    }
}

void aws_qcd_decode(const unsigned char* in, struct AWS3_QCD* q) {
    q->aws_id = get16(in);
    q->lau_id = get16(in + 2);
    get_time3(in + 4, &q->aws_tm);
    get_time3(in + 10, &q->lau_tm);
    get_time3(in + 16, &q->rec_tm);
    q->state[0] = get64(in + 22);
    q->state[1] = get64(in + 30);
    q->version = in[38];
    q->qc_step = in[39];
    get_time3(in + 40, &q->qcd_tm);
    for (int k = 0; k < 8; k++) {
        q->qc[k] = get64(in + 46 + 8 * k);
    }
}

int AWS3_DATA_IO(int YY, int MM, int DD, int HH, int MI, int aws_id, AWS3_DATA* aws, char mode) {
    return record_io<AWS3_DATA, aws_data_encode, aws_data_decode>(g_data, YY, MM, DD, HH, MI,
                                                                  aws_id, aws, mode);
}

int AWS3_QCD_IO(int YY, int MM, int DD, int HH, int MI, int aws_id, struct AWS3_QCD* qcd,
                char mode) {
    return record_io<struct AWS3_QCD, aws_qcd_encode, aws_qcd_decode>(g_qcd, YY, MM, DD, HH, MI,
                                                                      aws_id, qcd, mode);
}

int AWS3_QCD(AWS3_DATA* aws, const struct AWS3_QCD* qcd) {
    for (int i = 0; i < 64; i++) {
        for (int s = 7; s >= 1; s--) {
            if ((qcd->qc[s] >> i) & 1u) {
                if (s < 7) {
                    aws->d[i] = static_cast<int16_t>(s - 998);
                }
                break;
            }
        }
    }
    return 0;
}

int AWS3_DATA_READ(int YY, int MM, int DD, int HH, int MI, int aws_id, AWS3_DATA* aws, char mode) {
    if (AWS3_DATA_IO(YY, MM, DD, HH, MI, aws_id, aws, mode) != kAwsOk) {
        return -1;
    }
    // A slot never written reads as zeros; it is no observation of this station.
    if (aws_id >= 0 && aws->aws_id != aws_id) {
        return -1;
    }
    struct AWS3_QCD qcd;
    if (aws_id >= 0 && AWS3_QCD_IO(YY, MM, DD, HH, MI, aws_id, &qcd, mode) == kAwsOk) {
        AWS3_QCD(aws, &qcd);
    }
    return 0;
}
