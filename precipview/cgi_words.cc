#include "cgi_words.h"

#include <cstring>

void getword(char* word, char* line, char stop) {
    size_t n = 0;
    while (line[n] != '\0' && line[n] != stop) {
        word[n] = line[n];
        n++;
    }
    word[n] = '\0';
    size_t from = line[n] == stop ? n + 1 : n;
    std::memmove(line, line + from, std::strlen(line + from) + 1);
}
