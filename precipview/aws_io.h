// AWS minute-data and quality files: fixed-size records addressed by minute and station.
// Hourly files, 60 minute blocks of 10000 station slots each.
#ifndef PRECIPVIEW_AWS_IO_H
#define PRECIPVIEW_AWS_IO_H

#include <cstdint>
#include <cstdio>

struct TIMES3 {
    int16_t YY;
    int8_t MM, DD, HH, MI;
};

struct AWS3_DATA {
    int16_t aws_id;
    TIMES3 aws_tm;
    int16_t d[88];
};

struct AWS3_QCD {
    int16_t aws_id;
    int16_t lau_id;
    TIMES3 aws_tm;
    TIMES3 lau_tm;
    TIMES3 rec_tm;
    uint64_t state[2];
    uint8_t version;
    uint8_t qc_step;
    TIMES3 qcd_tm;
    uint64_t qc[8];
};

constexpr int kAwsSlots = 10000;
constexpr int kAwsDataSize = 184;
constexpr int kAwsQcdSize = 110;

// Results of the I/O functions.
constexpr int kAwsOk = 0;
constexpr int kAwsNotOpened = -1;
constexpr int kAwsSeekFailed = -3;
constexpr int kAwsShort = -4;
constexpr int kAwsBadStation = -9;

// Where the I/O messages go; standard error when null.
extern FILE* fp_log;

// mode 'r' read, 'w' write (flushed), 'c' close. aws_id 0..9999 moves one record, a
// negative aws_id the whole minute block of kAwsSlots records.
int AWS3_DATA_IO(int YY, int MM, int DD, int HH, int MI, int aws_id, AWS3_DATA* aws, char mode);
int AWS3_QCD_IO(int YY, int MM, int DD, int HH, int MI, int aws_id, struct AWS3_QCD* qcd,
                char mode);

// Reads the data record, then applies the quality flags when the quality record reads.
// 0 on success, -1 when the data record cannot be read (or belongs to another station).
int AWS3_DATA_READ(int YY, int MM, int DD, int HH, int MI, int aws_id, AWS3_DATA* aws, char mode);

// Replaces elements 0..63 flagged by a quality step below 7 with s - 998.
int AWS3_QCD(AWS3_DATA* aws, const struct AWS3_QCD* qcd);

// Packed little-endian forms of the records.
void aws_data_encode(const AWS3_DATA* a, unsigned char* out);
void aws_data_decode(const unsigned char* in, AWS3_DATA* a);
void aws_qcd_encode(const struct AWS3_QCD* q, unsigned char* out);
void aws_qcd_decode(const unsigned char* in, struct AWS3_QCD* q);

#endif
