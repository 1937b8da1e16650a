#include "section_image_command.h"

#include <cstdio>

#include "section_images.h"
#include "volume_choice.h"

bool isSectionProduct(const std::string& product) {
    return product == "RHI" || product == "TH";
}

int drawSectionImages(STD_RADAR* pStd, const SectionImageRequest& r) {
    const char* szInput = r.input.c_str();
    std::string field = r.field;
    if (field.empty()) {
        field = defaultField(pStd);
        if (field.empty()) {
            std::fprintf(stderr,
                         "rdr: %s: no reflectivity moment to draw by default (it has: %s) "
                         "[name one with --field]\n",
                         szInput, momentNames(pStd).c_str());
            return 1;
        }
    } else if (field != "RN" && !fnStdRadarHasMoment(pStd, field.c_str())) {
        std::fprintf(stderr, "rdr: %s: no moment %s (it has: %s) [name one with --field]\n",
                     szInput, field.c_str(), momentNames(pStd).c_str());
        return 1;
    }
    int failures = 0;
    for (size_t k = 0; k < r.products.size(); ++k) {
        const std::string& product = r.products[k];
        if (const std::string why = sectionRefusal(pStd, product); !why.empty()) {
            std::fprintf(stderr, "rdr: %s: %s [rdr info shows its scan mode]\n", szInput,
                         why.c_str());
            ++failures;
            continue;
        }
        const bool toStdout = r.outputs[k] == "-";
        const std::string out = toStdout ? "/dev/stdout" : r.outputs[k];
        SECTION_IMAGE_OPTION option{};
        option.m_iImgType = r.types[k];
        option.m_iImgWidth = r.width;
        option.m_iImgHeight = r.height;
        option.m_fMaxRangeKm = r.rangeKm;
        option.m_fMaxHeightKm = r.maxHeightKm;
        const char* szSite = r.site.empty() ? nullptr : r.site.c_str();
        int ok = 0;
        if (product == "RHI") {
            const int sweep = r.sweep >= 0 ? r.sweep : 0;
            if (sweep >= pStd->m_iMaxSweep) {
                std::fprintf(stderr,
                             "rdr: %s: no sweep %d (the volume has %d) [rdr info lists them]\n",
                             szInput, sweep, pStd->m_iMaxSweep);
                ++failures;
                continue;
            }
            ok = fnMakeRhiImage(pStd, sweep, field.c_str(), szSite, option, out.c_str());
        } else {
            ok = fnMakeTimeHeightImage(pStd, field.c_str(), szSite, option, out.c_str());
        }
        if (ok != 1) {
            std::fprintf(stderr, "rdr: %s: the %s image was not written (see above)\n", szInput,
                         product.c_str());
            ++failures;
            continue;
        }
        if (!toStdout) {
            std::printf("%s\n", out.c_str());
        }
    }
    return failures == 0 ? 0 : 1;
}
