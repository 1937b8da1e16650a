#include "bln_file.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "owned_handle.h"

namespace {

using FileCloser = rdr::ReleaseWith<rdr::closeStdio>;
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Type words longer than this are cut; the rest of the word is skipped.
constexpr int kTypeWordLen = 31;

bool readTypeWord(FILE* fp, char (&szWord)[kTypeWordLen + 1]) {
    if (std::fscanf(fp, " %31s", szWord) != 1) {
        return false;
    }
    int c;
    while ((c = std::getc(fp)) != EOF && !std::isspace(c)) {
    }
    return true;
}

// Base-10 value of the type word, as atoi would give it but without overflow.
int typeCode(const char* szWord) {
    long lValue = std::strtol(szWord, nullptr, 10);
    if (lValue > INT_MAX) {
        return INT_MAX;
    }
    if (lValue < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(lValue);
}

void putLe32(std::vector<unsigned char>& bytes, uint32_t uValue) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<unsigned char>(uValue >> (8 * i)));
    }
}

void putFloat(std::vector<unsigned char>& bytes, float fValue) {
    uint32_t uBits;
    std::memcpy(&uBits, &fValue, sizeof uBits);
    putLe32(bytes, uBits);
}

// Collects one run and writes it; the buffers live across polylines.
class RunWriter {
  public:
    explicit RunWriter(FILE* out) : out_(out) {}

    void start(float fX, float fY) {
        xs_.clear();
        ys_.clear();
        add(fX, fY);
    }
    void add(float fX, float fY) {
        xs_.push_back(fX);
        ys_.push_back(fY);
    }
    // Writes the run when it holds a line (two points or more) and empties it.
    void finish(int iType) {
        if (xs_.size() > 1 && xs_.size() <= INT32_MAX) {
            bytes_.clear();
            putLe32(bytes_, static_cast<uint32_t>(xs_.size()));
            putLe32(bytes_, static_cast<uint32_t>(iType));
            for (size_t i = 0; i < xs_.size(); ++i) {
                putFloat(bytes_, xs_[i]);
                putFloat(bytes_, ys_[i]);
            }
            std::fwrite(bytes_.data(), 1, bytes_.size(), out_);
        }
        xs_.clear();
        ys_.clear();
    }

  private:
    FILE* out_;
    std::vector<float> xs_;
    std::vector<float> ys_;
    std::vector<unsigned char> bytes_;
};

}  // namespace

void CrossPoint(float* pfCx, float* pfCy, float x1, float y1, float x2, float y2, int iWidth,
                int iHeight) {
    const float fWidth = static_cast<float>(iWidth);
    const float fHeight = static_cast<float>(iHeight);
    float fCx = 0.0f;
    float fCy = -1.0f;
    if (x1 < 0.0f || x2 < 0.0f) {
        fCy = -x1 * (y2 - y1) / (x2 - x1) + y1;
        fCx = 0.0f;
    } else if (x1 > fWidth || x2 > fWidth) {
        fCy = (fWidth - x1) * (y2 - y1) / (x2 - x1) + y1;
        fCx = fWidth;
    }
    if (!(fCy >= 0.0f && fCy <= fHeight)) {
        if (y1 < 0.0f || y2 < 0.0f) {
            fCx = -y1 * (x2 - x1) / (y2 - y1) + x1;
            fCy = 0.0f;
        } else if (y1 > fHeight || y2 > fHeight) {
            fCx = (fHeight - y1) * (x2 - x1) / (y2 - y1) + x1;
            fCy = fHeight;
        }
    }
    *pfCx = fCx;
    *pfCy = fCy;
}

int bln_file(FILE* out, int iMapIndex, const char* szMapPath, int iWidth, int iHeight,
             BLN_AZED_MAP* pMap) {
    if (out == nullptr || szMapPath == nullptr || pMap == nullptr) {
        return -1;
    }
    FilePtr map(std::fopen(szMapPath, "r"));
    if (!map) {
        return -1;
    }
    const float fWidth = static_cast<float>(iWidth);
    const float fHeight = static_cast<float>(iHeight);
    auto inBox = [&](float fX, float fY) {
        return fX >= 0.0f && fX <= fWidth && fY >= 0.0f && fY <= fHeight;
    };

    RunWriter run(out);
    bool bMore = true;
    while (bMore) {
        int iCount = 0;
        char szWord[kTypeWordLen + 1];
        if (std::fscanf(map.get(), "%d", &iCount) != 1 || iCount <= 0 ||
            !readTypeWord(map.get(), szWord)) {
            break;
        }
        const int iType = (iMapIndex == kBlnRiverMap) ? 3 : typeCode(szWord);
        const bool bSkipPoints = (iMapIndex == kBlnFineMap && iType == kBlnFineType);

        // The previous point is the last one projected; a point the projection cannot
        // place breaks the line, and the next placed point starts afresh.
        float fPrevX = 0.0f;
        float fPrevY = 0.0f;
        bool bHavePrev = false;
        bool bInside = false;
        for (int i = 0; i < iCount; ++i) {
            float fLon;
            float fLat;
            if (std::fscanf(map.get(), "%f %f", &fLon, &fLat) != 2) {
                bMore = false;  // truncated file: keep what was read, then stop
                break;
            }
            if (bSkipPoints && i > 0) {
                continue;
            }
            float fX;
            float fY;
            if (!fnBlnAzedForward(fLon, fLat, &fX, &fY, pMap)) {
                if (bInside) {
                    run.finish(iType);
                }
                bInside = false;
                bHavePrev = false;
                continue;
            }
            const bool bIn = inBox(fX, fY);
            if (bIn && bInside) {
                run.add(fX, fY);
            } else if (bIn) {
                if (bHavePrev) {
                    float fCx;
                    float fCy;
                    CrossPoint(&fCx, &fCy, fPrevX, fPrevY, fX, fY, iWidth, iHeight);
                    run.start(fCx, fCy);
                    run.add(fX, fY);
                } else {
                    run.start(fX, fY);
                }
                bInside = true;
            } else if (bInside) {
                float fCx;
                float fCy;
                CrossPoint(&fCx, &fCy, fPrevX, fPrevY, fX, fY, iWidth, iHeight);
                run.add(fCx, fCy);
                run.finish(iType);
                bInside = false;
            }
            fPrevX = fX;
            fPrevY = fY;
            bHavePrev = true;
        }
        run.finish(iType);
    }
    return 0;
}
