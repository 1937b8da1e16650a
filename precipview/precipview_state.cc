#include "precipview_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "analysis_file.h"
#include "nr_alloc.h"

INPUT_VAR var;
RDR_CMP_HEAD rdr_cmp_head;
float** data = nullptr;
unsigned char** pty = nullptr;
STN_VAL stn_data[kMaxStations];

// Shapes the grids were allocated with, for their release.
int pv_data_rows = 0, pv_data_cols = 0;
int pv_pty_rows = 0, pv_pty_cols = 0;

namespace {
char g_refusal[160];
}

void pv_refuse(const char* fmt, ...) {
    if (g_refusal[0] != '\0') {
        return;
    }
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(g_refusal, sizeof g_refusal, fmt, args);
    va_end(args);
}

const char* pv_refusal() {
    return g_refusal;
}

void pv_clear_refusal() {
    g_refusal[0] = '\0';
}

void pv_reset_state() {
    if (data != nullptr) {
        free_matrix(data, 0, pv_data_rows - 1, 0, pv_data_cols - 1);
        data = nullptr;
    }
    if (pty != nullptr) {
        free_cmatrix(pty, 0, pv_pty_rows - 1, 0, pv_pty_cols - 1);
        pty = nullptr;
    }
    pv_data_rows = pv_data_cols = pv_pty_rows = pv_pty_cols = 0;
    pv_forget_type_cache();
    g_refusal[0] = '\0';
    std::memset(&var, 0, sizeof var);
    std::memset(&rdr_cmp_head, 0, sizeof rdr_cmp_head);
    std::memset(stn_data, 0, sizeof stn_data);
}

bool pv_is_type_product(const char* obs) {
    return std::strcmp(obs, "RNEX") == 0 || std::strcmp(obs, "AREA") == 0 ||
           std::strstr(obs, "RNSN") != nullptr;
}

bool pv_is_known_product(const char* obs) {
    static const char* const kProducts[] = {"RNEX", "RNSN", "RNSN1", "RNSN2",
                                            "AREA", "TW",   "HSR",   "RN15X"};
    for (const char* p : kProducts) {
        if (std::strcmp(p, obs) == 0) {
            return true;
        }
    }
    return false;
}
