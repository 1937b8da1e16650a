// The pattern of compview's fixture tree: every composite holds blocks of 120 km of one value
// each, so that a probe at a block's centre is clear of the 0.11 % between the composite's
// own grid and the display projection, of the interpolation and of the re-placement. The
// top-left block lies outside the composite (or, in the float composite, outside its
// in-bound mask) and the block right of it is missing.
#ifndef COMPVIEW_TESTS_CV_PATTERN_H
#define COMPVIEW_TESTS_CV_PATTERN_H

namespace cvtest {

constexpr const char* kTime = "202607151530";  // every file's time, KST
constexpr const char* kRoundTime = "202607151500";
constexpr double kBlockKm = 120.0;

// Block (column i, row j, counted from the composite's left-upper corner): a reflectivity
// for the byte composite, a rain rate for the others.
inline int blockStep(int i, int j) {
    return (i + 2 * j) % 7;
}
inline double blockDbz(int i, int j) {
    return 17.0 + 6.0 * blockStep(i, j);  // 17 to 53 dBZ
}
inline double blockRain(int i, int j) {
    constexpr double kRain[7] = {0.3, 1.3, 3.5, 7.5, 17.0, 35.0, 75.0};
    return kRain[blockStep(i, j)];
}
inline bool blockOutside(int i, int j) {
    return i == 0 && j == 0;
}
inline bool blockMissing(int i, int j) {
    return i == 1 && j == 0;
}

// Forecast grids move the pattern one block east per hour (blocks entering from the west
// repeat the pattern of the blocks they replace), and the blocks of the weakest step hold
// no rain, so that the echo has edges for the outlines of the guide view.
inline int forecastStep(int i, int j, int hours) {
    return blockStep(i + 7 - hours % 7, j);
}
inline bool forecastDry(int i, int j, int hours) {
    return forecastStep(i, j, hours) == 0;
}
inline double forecastBlockRain(int i, int j, int hours) {
    return blockRain(i + 7 - hours % 7, j);
}

// The MAPLE reader fills the matrix from row 149 down to row 1171: the first block row stays
// missing.
constexpr int kMapleFirstRow = 149;

// The block of a composite cell of cellKm at (row, column).
inline void blockOf(int row, int column, double cellKm, int* i, int* j) {
    *i = static_cast<int>((column + 0.5) * cellKm / kBlockKm);
    *j = static_cast<int>((row + 0.5) * cellKm / kBlockKm);
}

}  // namespace cvtest

#endif
