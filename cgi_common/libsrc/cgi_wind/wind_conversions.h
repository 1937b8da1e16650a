// Wind conversions of the site display library: radians to degrees and (u, v) components to
// the direction the wind blows from and its speed.
#ifndef CGI_WIND_CONVERSIONS_H
#define CGI_WIND_CONVERSIONS_H

// r x 180 / 3.141592.
float fnR_To_D(float r);

// Direction the wind blows from, degrees (0 or 360 north, 90 east), of a wind blowing
// towards +u (east) and +v (north). Calm air (0, 0) answers 270.
float fnUV_To_d(float u, float v);

// Speed sqrt(u^2 + v^2).
float fnUV_To_S(float u, float v);

#endif
