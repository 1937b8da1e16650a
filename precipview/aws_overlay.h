// Automatic-weather-station overlay: station list, 15 minutes of observations, zoom and
// drawing of dots, wind barbs and labels.
#ifndef PRECIPVIEW_AWS_OVERLAY_H
#define PRECIPVIEW_AWS_OVERLAY_H

#include <gd.h>

// Builds the station list and draws the overlay on im.
int aws_disp(gdImagePtr im, int color_lvl[]);

// Fills stn_data from the three station files for the hour of seq. Returns the number of
// stations; -2 when the first or second file cannot be opened, -3 for the third.
int aws_info_get(int seq);

// Reads the 15 minutes of observations up to seq + 5 for the first num_stn stations.
int aws_rain_data_get(int seq, int aws_mode, int num_stn);

// Applies the zoom path to the station positions and counts those inside the window.
int aws_zooming();

#endif
