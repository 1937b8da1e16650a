#include "aws_io.h"
#include "aws_overlay.h"
#include "precipview_state.h"
#include "time_seq.h"

int aws_rain_data_get(int seq, int aws_mode, int num_stn) {
    if (num_stn > kMaxStations) {
        num_stn = kMaxStations;
    }
    for (int k = 0; k < num_stn; k++) {
        STN_VAL& s = stn_data[k];
        s.re_base = 0;
        s.re = 0;
        s.d = -999.0f;
        s.rn_15x = -999;
        s.wd = -999.0f;
        s.ws = -999.0f;
    }
    AWS3_DATA rec;
    for (int t = seq + 5; t >= seq - 9; t--) {
        int YY, MM, DD, HH, MI;
        seq2time(t, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
        for (int k = 0; k < num_stn; k++) {
            STN_VAL& s = stn_data[k];
            if (AWS3_DATA_READ(YY, MM, DD, HH, MI, s.stn_id, &rec, 'r') != 0) {
                continue;
            }
            const int16_t* d = rec.d;
            if (d[7] >= 0) {
                s.re_base++;
                if (d[7] > 0) {
                    s.re_ok++;
                }
            }
            if (t >= seq - 4 && t <= seq + 5 && d[67] >= 0 && s.rn_15x < 0) {
                s.rn_15x = d[67];
            }
            if (t == seq) {
                if (aws_mode == 4 || aws_mode == 9) {
                    s.d = d[68] >= 0 ? d[68] * 0.1f : -999.0f;
                } else if (aws_mode == 5 || aws_mode == 10) {
                    s.d = d[69] >= 0 ? d[69] * 0.1f : -999.0f;
                }
                if (d[65] >= 0 && d[66] >= 0) {
                    s.wd = d[65] * 0.1f;
                    s.ws = d[66] * 0.1f;
                } else {
                    s.wd = -999.0f;
                    s.ws = -999.0f;
                }
            }
        }
    }
    AWS3_DATA_IO(0, 0, 0, 0, 0, 0, nullptr, 'c');
    AWS3_QCD_IO(0, 0, 0, 0, 0, 0, nullptr, 'c');
    for (int k = 0; k < num_stn; k++) {
        STN_VAL& s = stn_data[k];
        s.re = s.re_base >= 5 ? (s.re_ok >= 1 ? 1 : 0) : -999;
        if (s.re < 0 && s.rn_15x >= 0) {
            s.re = 0;
        }
        if (s.re < 1 && s.rn_15x > 0) {
            s.re = 1;
        }
        if (aws_mode == 3 || aws_mode == 8) {
            s.d = s.rn_15x >= 0 ? s.rn_15x * 0.4f : -999.0f;
        }
    }
    return 0;
}
