// Splitting of the query string into words.
#ifndef PRECIPVIEW_CGI_WORDS_H
#define PRECIPVIEW_CGI_WORDS_H

// Copies line up to the first stop character (or its end) into word, then moves the rest of
// line, after the stop character, to its start. word needs room for strlen(line) + 1 bytes.
void getword(char* word, char* line, char stop);

#endif
