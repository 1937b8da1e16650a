// Calendar time <-> time sequence numbers (days, hours or minutes since 1900-01-01 00:00).
// Every year divisible by 4 is a leap year, so the numbers are exact from 1901 to 2099.
#ifndef PRECIPVIEW_TIME_SEQ_H
#define PRECIPVIEW_TIME_SEQ_H

// Current local time; the year is the full year.
int get_time(int* YY, int* MM, int* DD, int* HH, int* MI, int* SS);

// mode 'm' minutes, 'h' hours, anything else days.
int time2seq(int YY, int MM, int DD, int HH, int MI, char mode);

// Inverse of time2seq; mode2 'y' gives 00:00 as 24:00 of the previous day.
int seq2time(int seq, int* YY, int* MM, int* DD, int* HH, int* MI, char mode, char mode2);

// Days in the month by the same leap rule; 0 for a month outside 1..12.
int pv_days_in_month(int YY, int MM);

#endif
