// The answers compview sends on standard output: a composite image of a map window, the
// value at one point as text, or the refusal of a request (the no-data image, or a text
// error for a point request). Every answer is a CGI answer with CRLF headers.
#ifndef COMPVIEW_COMP_ANSWER_H
#define COMPVIEW_COMP_ANSWER_H

#include "comp_data_file.h"
#include "comp_request.h"

// Sends the refusal of a request: the no-data image of the request's size saying that
// nothing can be shown and why, or for text requests "error: " and the reason as text. The
// reason (plain words, nothing private) also goes to standard error for the server's log.
void cvAnswerRefusal(const CvRequest& req, bool text, const char* reason);

// Draws the request's image from path (the file of time t) and sends it. False, with a
// reason (kCvReasonSize bytes), when nothing has been sent.
bool cvAnswerImage(const CvRequest& req, const CvTime& t, const char* path, char* reason);

// Reads the request's grid from path and sends the value at the request's point ("-" where
// there is none). False, with a reason, when nothing has been sent.
bool cvAnswerPoint(const CvRequest& req, const char* path, char* reason);

#endif
