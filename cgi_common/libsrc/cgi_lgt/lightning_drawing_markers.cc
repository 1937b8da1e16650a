// Strike markers of the lightning maps.
#include "lightning_drawing.h"

void fnImageFillArc(gdImagePtr pImg, int nX, int nY, int nWidth, int nHeight, int nColor) {
    if (pImg == nullptr) {
        return;
    }
    // The whole 0 to 360 degree arc: gd's ellipse fill draws the same shape by scan lines,
    // without the arc's polygon of one vertex per degree (a day's cloud strikes are many).
    gdImageFilledEllipse(pImg, nX, nY, nWidth, nHeight, nColor);
}

void fnImagePlus(gdImagePtr pImg, int nX, int nY, int nColor) {
    if (pImg == nullptr) {
        return;
    }
    gdImageLine(pImg, nX - 3, nY, nX + 3, nY, nColor);
    gdImageLine(pImg, nX, nY - 3, nX, nY + 3, nColor);
}

void fnImageCircle(gdImagePtr pImg, int nX, int nY, int nColor) {
    if (pImg == nullptr) {
        return;
    }
    gdImageLine(pImg, nX - 3, nY - 1, nX - 3, nY + 1, nColor);
    gdImageLine(pImg, nX + 3, nY - 1, nX + 3, nY + 1, nColor);
    gdImageLine(pImg, nX - 1, nY - 3, nX + 1, nY - 3, nColor);
    gdImageLine(pImg, nX - 1, nY + 3, nX + 1, nY + 3, nColor);
    gdImageSetPixel(pImg, nX - 2, nY - 2, nColor);
    gdImageSetPixel(pImg, nX + 2, nY - 2, nColor);
    gdImageSetPixel(pImg, nX - 2, nY + 2, nColor);
    gdImageSetPixel(pImg, nX + 2, nY + 2, nColor);
}
