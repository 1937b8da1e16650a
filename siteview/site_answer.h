// The answers siteview sends on standard output: a site image of a product grid, a
// cross-section image, or the no-data image with the reason of a refusal. Every answer is a
// CGI answer with CRLF headers ("Content-type: image/png").
#ifndef SITEVIEW_SITE_ANSWER_H
#define SITEVIEW_SITE_ANSWER_H

#include "site_product.h"
#include "site_request.h"
#include "site_volume_file.h"

// Size of every siteview image: the echo area of kSvGridCells pixels square plus the legend
// on the right and the bottom strip.
int svImageWidth();
int svImageHeight();

// Cross-section image: the section's samples across, its levels up.
constexpr int kSvCrossLevels = 300;
constexpr float kSvCrossLevelKm = 0.05f;

// Sends the no-data image saying that nothing can be shown and why (reason: plain words,
// nothing private), and writes the reason to standard error for the server's log.
void svAnswerRefusal(const char* reason);

// Draws the product grid of the request as a site image and sends it. False, with a reason,
// when the image cannot be drawn (nothing has been sent then).
bool svAnswerPlanView(const SvRequest& req, const SvVolume& volume, const float* grid,
                      const SvVolumeTime& time, char* reason);

// Fills the cross-section of the request from the volume, draws and sends it. False, with a
// reason, when the line cannot be placed inside the window or the image cannot be drawn
// (nothing has been sent then).
bool svAnswerCrossSection(const SvRequest& req, SvVolume& volume, const SvVolumeTime& time,
                          char* reason);

#endif
