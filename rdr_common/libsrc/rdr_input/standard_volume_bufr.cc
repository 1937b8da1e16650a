// BUFR_RADAR lifecycle and its conversion to STD_RADAR: the volume records are the ODIM
// ones, so these are the ODIM functions with the BUFR column of the field table.
#include "bufr_radar.h"
#include "core_utilities.h"
#include "info_tables.h"
#include "internal/odim_volume_to_std.h"

namespace {

constexpr const char* kSyncUp = "fnBufrSyncUpStd";

}  // namespace

BUFR_RADAR* fnInitBufrRadar(int iMaxSweep, int iMaxField, int iUnused1, int iUnused2) {
    return fnInitHdfRadar(iMaxSweep, iMaxField, iUnused1, iUnused2);
}

void fnFreeBufrRadar(BUFR_RADAR* pBufr) {
    fnFreeHdfRadar(pBufr);
}

int fnGetMaxCountBufrRadar(BUFR_RADAR* pBufr, int* pMaxDataset, int* pMaxData, int* pMaxRay,
                           int* pMaxBin) {
    return fnGetMaxCountHdfRadar(pBufr, pMaxDataset, pMaxData, pMaxRay, pMaxBin);
}

STD_RADAR* fnBufrSyncUpStd(BUFR_RADAR* pBufr) {
    if (pBufr == nullptr) {
        return nullptr;
    }
    int nDataset = 0;
    int nData = 0;
    int nRay = 0;
    int nBin = 0;
    if (fnGetMaxCountBufrRadar(pBufr, &nDataset, &nData, &nRay, &nBin) != 1 || nDataset <= 0 ||
        nData <= 0 || nRay <= 0 || nBin <= 0) {
        rdrError(kSyncUp, "fnGetMaxCountBufrRadar error");
        return nullptr;
    }
    const OdimVolumeParts parts{&pBufr->m_what, &pBufr->m_where, &pBufr->m_how,
                                pBufr->m_iMaxDataset, pBufr->m_ppDataset};
    return odimVolumeToStd(parts, fnGetBufrFieldInfo, kSyncUp);
}
