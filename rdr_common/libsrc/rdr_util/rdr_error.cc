#include <cstdio>

#include "core_utilities.h"

void rdrError(const char* szFunction, const char* szMessage) {
    std::fprintf(stderr, "%s : %s\n", szFunction != nullptr ? szFunction : "",
                 szMessage != nullptr ? szMessage : "");
}
