// The request: query parsing with validation, defaults, time and the data-file search.
#ifndef PRECIPVIEW_REQUEST_H
#define PRECIPVIEW_REQUEST_H

#include "precipview_state.h"

// Bounds of the query. Anything beyond them is refused, not cut.
constexpr int kMaxQueryLength = 1024;
constexpr int kMaxPairLength = 31;
constexpr int kMaxQueryPairs = 64;
constexpr int kMinImageSize = 100;
constexpr int kMaxImageSize = 3000;
constexpr int kTimeTextSize = 16;

// Result of pv_parse_query.
constexpr int kQueryOk = 0;
constexpr int kQueryRejected = -2;

// Puts the documented defaults into v and "0" into tm_text.
void pv_set_defaults(INPUT_VAR* v, char* tm_text);

// Reads the pairs of qs into v and tm_text (kTimeTextSize bytes). Every value is checked
// before it is stored; a bad pair is not stored and refuses the whole request
// (kQueryRejected), while the good pairs are kept for the error image.
int pv_parse_query(const char* qs, INPUT_VAR* v, char* tm_text);

// Sets v->seq from tm_text (or the current time v->seq_now), rounded down to 5 minutes.
// Returns -1 for a requested date that does not exist, leaving v->seq as it was.
int pv_request_time(INPUT_VAR* v, const char* tm_text);

// Parses QUERY_STRING into var, sets the time and searches the data file (ten tries, five
// minutes apart). 0 when a file was found; -1 for a missing or refused query, an unknown map
// window, an impossible date, or no file.
int user_input();

#endif
