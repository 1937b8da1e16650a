// The strikes of the web test's fixture tree and what each product makes of them, with the
// window's end at 2013-07-15 12:30 KST. Shared by the tree writer and the image checker.
#ifndef LGTVIEW_TESTS_LV_FIXTURE_H
#define LGTVIEW_TESTS_LV_FIXTURE_H

namespace lv_fixture {

constexpr const char* kEnd = "201307151230";

struct Strike {
    int id;
    const char* time;
    float lon, lat, impact;
    char type;
    bool inVyq;  // also in the agency-layout file
    // Colour level expected on the map: LGTTIME intv=10, LGTINTN intv=60, LGTAREA intv=1;
    // -1 where the strike is not drawn.
    int timeLevel, intnLevel, areaLevel;
};

// D repeats A's identifier elsewhere: the NX1 reader drops it. E is an hour old, F a day.
constexpr Strike kStrikes[] = {
    {11, "201307151230", 127.0f, 37.5f, 45.0f, 'G', true, 5, 3, 5},
    {12, "201307151205", 128.0f, 36.0f, -12.0f, 'G', true, 3, 1, 5},
    {13, "201307151135", 126.5f, 35.5f, 85.0f, 'C', true, 0, 5, 5},
    {11, "201307151229", 127.6f, 36.8f, 30.0f, 'G', false, -1, -1, -1},
    {14, "201307151130", 129.0f, 35.2f, 20.0f, 'G', true, -1, -1, 5},
    {15, "201307141300", 126.8f, 36.5f, -5.0f, 'G', true, -1, -1, 0},
};

// The area statistics of the end's day (fixture tree): Gyeonggi 7 strikes, Gangwon 3,
// Chungbuk none, so LGTAREA's table has a heading and two rows.

}  // namespace lv_fixture

#endif
