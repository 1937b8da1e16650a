#include "request.h"

#include <cstdlib>
#include <cstring>

#include "analysis_file.h"
#include "cgi_words.h"
#include "map_window.h"
#include "time_seq.h"

namespace {

enum class Kind { Name, Product, Integer, Digits, Letter };

struct KeyRule {
    const char* key;
    Kind kind;
    size_t max_len;  // longest accepted value
};

// Integers carry at most six digits, so atoi never overflows and every product of two of
// them with the image sizes stays inside int.
constexpr size_t kMaxIntDigits = 6;

constexpr KeyRule kRules[] = {
    {"cmp", Kind::Name, 7},          {"qcd", Kind::Name, 7},
    {"obs", Kind::Product, 7},       {"map", Kind::Name, 7},
    {"x1", Kind::Integer, 0},        {"y1", Kind::Integer, 0},
    {"x2", Kind::Integer, 0},        {"y2", Kind::Integer, 0},
    {"color", Kind::Name, 7},        {"tm", Kind::Digits, 12},
    {"auto_man", Kind::Letter, 7},   {"aws", Kind::Integer, 0},
    {"sms", Kind::Integer, 0},       {"zoom_level", Kind::Integer, 0},
    {"zoom_rate", Kind::Integer, 0}, {"zoom_x", Kind::Digits, 15},
    {"zoom_y", Kind::Digits, 15},    {"size", Kind::Integer, 0},
    {"legend", Kind::Integer, 0},    {"gis", Kind::Name, 7},
    {"griddisp", Kind::Integer, 0},  {"rnexdisp", Kind::Integer, 0},
    {"dir", Kind::Integer, 0},
};

bool is_name_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool all_of(const char* s, bool (*pred)(char)) {
    for (; *s != '\0'; s++) {
        if (!pred(*s)) {
            return false;
        }
    }
    return true;
}

bool valid_integer(const char* s) {
    if (*s == '-') {
        s++;
    }
    size_t n = std::strlen(s);
    return n >= 1 && n <= kMaxIntDigits && all_of(s, is_digit);
}

// Values of keys the program does not know are still checked: they end up in logs and
// must not smuggle anything else through.
bool valid_other_value(const char* s) {
    for (; *s != '\0'; s++) {
        if (!is_name_char(*s) && *s != '-') {
            return false;
        }
    }
    return true;
}

void copy_text(char* dst, size_t dst_size, const char* src) {
    std::strncpy(dst, src, dst_size - 1);
    dst[dst_size - 1] = '\0';
}

int* int_field(INPUT_VAR* v, const char* key) {
    struct {
        const char* key;
        int INPUT_VAR::*field;
    } const kInts[] = {
        {"x1", &INPUT_VAR::x1},
        {"y1", &INPUT_VAR::y1},
        {"x2", &INPUT_VAR::x2},
        {"y2", &INPUT_VAR::y2},
        {"aws", &INPUT_VAR::aws},
        {"sms", &INPUT_VAR::sms},
        {"zoom_level", &INPUT_VAR::zoom_level},
        {"zoom_rate", &INPUT_VAR::zoom_rate},
        {"size", &INPUT_VAR::size},
        {"legend", &INPUT_VAR::legend},
        {"griddisp", &INPUT_VAR::griddisp},
        {"rnexdisp", &INPUT_VAR::rnexdisp},
        {"dir", &INPUT_VAR::dir_mode},
    };
    for (const auto& e : kInts) {
        if (std::strcmp(e.key, key) == 0) {
            return &(v->*(e.field));
        }
    }
    return nullptr;
}

char* text_field(INPUT_VAR* v, const char* key, size_t* size) {
    struct {
        const char* key;
        char* field;
        size_t size;
    } const kTexts[] = {
        {"cmp", v->cmp, sizeof v->cmp},          {"qcd", v->qcd, sizeof v->qcd},
        {"obs", v->obs, sizeof v->obs},          {"map", v->map, sizeof v->map},
        {"color", v->color, sizeof v->color},    {"gis", v->gis, sizeof v->gis},
        {"zoom_x", v->zoom_x, sizeof v->zoom_x}, {"zoom_y", v->zoom_y, sizeof v->zoom_y},
    };
    for (const auto& e : kTexts) {
        if (std::strcmp(e.key, key) == 0) {
            *size = e.size;
            return e.field;
        }
    }
    return nullptr;
}

// Checks one key=value pair and stores it; false refuses the request.
bool store_pair(const char* key, const char* value, INPUT_VAR* v, char* tm_text) {
    if (*key == '\0' || !all_of(key, is_name_char)) {
        return false;
    }
    const KeyRule* rule = nullptr;
    for (const auto& r : kRules) {
        if (std::strcmp(r.key, key) == 0) {
            rule = &r;
            break;
        }
    }
    if (rule == nullptr) {
        return valid_other_value(value);
    }
    size_t len = std::strlen(value);
    switch (rule->kind) {
        case Kind::Integer:
            if (!valid_integer(value)) {
                return false;
            }
            *int_field(v, key) = std::atoi(value);
            return true;
        case Kind::Digits:
            if (len > rule->max_len || !all_of(value, is_digit)) {
                return false;
            }
            if (std::strcmp(key, "tm") == 0) {
                copy_text(tm_text, kTimeTextSize, value);
                return true;
            }
            break;
        case Kind::Product:
            if (!pv_is_known_product(value)) {
                return false;
            }
            break;
        case Kind::Name:
        case Kind::Letter:
            if (len > rule->max_len || !all_of(value, is_name_char)) {
                return false;
            }
            if (rule->kind == Kind::Letter) {
                v->auto_man = value[0];
                return true;
            }
            break;
    }
    size_t size = 0;
    char* field = text_field(v, key, &size);
    copy_text(field, size, value);
    return true;
}

}  // namespace

void pv_set_defaults(INPUT_VAR* v, char* tm_text) {
    std::memset(v, 0, sizeof *v);
    copy_text(v->map, sizeof v->map, "HR");
    v->zoom_level = 0;
    v->zoom_rate = 2;
    v->legend = 1;
    v->griddisp = 0;
    v->rnexdisp = 1;
    v->dir_mode = 0;
    copy_text(tm_text, kTimeTextSize, "0");
}

int pv_parse_query(const char* qs, INPUT_VAR* v, char* tm_text) {
    size_t qlen = std::strlen(qs);
    if (qlen > static_cast<size_t>(kMaxQueryLength)) {
        pv_refuse("the query is longer than %d characters", kMaxQueryLength);
        return kQueryRejected;
    }
    char line[kMaxQueryLength + 1];
    char pair[kMaxQueryLength + 1];
    char key[kMaxQueryLength + 1];
    std::memcpy(line, qs, qlen + 1);
    int pairs = 0;
    int result = kQueryOk;
    while (line[0] != '\0') {
        getword(pair, line, '&');
        if (pair[0] == '\0') {
            continue;
        }
        if (++pairs > kMaxQueryPairs) {
            pv_refuse("the query has more than %d pairs", kMaxQueryPairs);
            return kQueryRejected;
        }
        if (std::strlen(pair) > static_cast<size_t>(kMaxPairLength)) {
            pv_refuse("a query pair is longer than %d characters", kMaxPairLength);
            result = kQueryRejected;
            continue;
        }
        getword(key, pair, '=');
        // What is left in pair is the value.
        if (pair[0] == '\0') {
            continue;
        }
        // The remaining pairs are still read, so that the error image names the request.
        if (!store_pair(key, pair, v, tm_text)) {
            // The key is named only when it is a plain word: it comes from the client.
            const bool plain = std::strlen(key) <= 16 && all_of(key, is_name_char);
            pv_refuse("bad value for '%s'", plain ? key : "?");
            result = kQueryRejected;
        }
    }
    return result;
}

int pv_request_time(INPUT_VAR* v, const char* tm_text) {
    int seq = v->seq_now;
    if (std::strlen(tm_text) >= 10 && v->auto_man != 'a') {
        auto group = [&](size_t at, size_t n) {
            char buf[5] = {0};
            size_t len = std::strlen(tm_text);
            for (size_t k = 0; k < n && at + k < len; k++) {
                buf[k] = tm_text[at + k];
            }
            return std::atoi(buf);
        };
        int YY = group(0, 4), MM = group(4, 2), DD = group(6, 2), HH = group(8, 2);
        int MI = group(10, 2);
        // The time numbers are exact from 1901 to 2099 only.
        if (YY < 1901 || YY > 2099 || MM < 1 || MM > 12 || DD < 1 ||
            DD > pv_days_in_month(YY, MM) || HH > 23 || MI > 59) {
            return -1;
        }
        seq = time2seq(YY, MM, DD, HH, MI, 'm');
    }
    v->seq = seq - seq % 5;
    return 0;
}

int user_input() {
    char tm_text[kTimeTextSize];
    pv_clear_refusal();
    pv_set_defaults(&var, tm_text);
    var.grid = 0.5f;
    int YY, MM, DD, HH, MI, SS;
    get_time(&YY, &MM, &DD, &HH, &MI, &SS);
    var.seq_now = time2seq(YY, MM, DD, HH, MI, 'm');
    // The error image names a time even when the request is refused.
    var.seq = var.seq_now - var.seq_now % 5;

    const char* qs = std::getenv("QUERY_STRING");
    if (qs == nullptr) {
        pv_refuse("no query string");
        return -1;
    }
    if (pv_parse_query(qs, &var, tm_text) != kQueryOk) {
        return -1;
    }
    if (!pv_is_known_product(var.obs)) {
        pv_refuse(var.obs[0] == '\0' ? "no product named (obs)" : "unknown product %s", var.obs);
        return -1;
    }
    if (var.size < kMinImageSize || var.size > kMaxImageSize) {
        pv_refuse("image size must be %d to %d pixels (size)", kMinImageSize, kMaxImageSize);
        return -1;
    }
    if (grid_map_inf(var.map, &var.NX, &var.NY, &var.SX, &var.SY) != 0) {
        pv_refuse("unknown map window %s", var.map);
        return -1;
    }
    if (pv_request_time(&var, tm_text) != 0) {
        pv_refuse("not a real date and time: %s (tm is YYYYMMDDHHMM)", tm_text);
        return -1;
    }
    int YY0, MM0, DD0, HH0, MI0;
    seq2time(var.seq, &YY0, &MM0, &DD0, &HH0, &MI0, 'm', 'n');
    for (int k = 0; k < 10; k++) {
        if (k > 0) {
            var.seq -= 5;
        }
        if (rdr_sfc_pty_file() == 0) {
            return 0;
        }
    }
    pv_refuse("no data for %04d-%02d-%02d %02d:%02d or the 45 minutes before", YY0, MM0, DD0, HH0,
              MI0);
    return -1;
}
