// HDF_RADAR to STD_RADAR: the ODIM conversion shared with the BUFR reader, with the HDF5
// column of the field table.
#include "core_utilities.h"
#include "hdf_radar.h"
#include "info_tables.h"
#include "internal/odim_volume_to_std.h"

namespace {

constexpr const char* kSyncUp = "fnHdfSyncUpStd";

}  // namespace

STD_RADAR* fnHdfSyncUpStd(HDF_RADAR* pHdf) {
    if (pHdf == nullptr) {
        return nullptr;
    }
    int nDataset = 0;
    int nData = 0;
    int nRay = 0;
    int nBin = 0;
    if (fnGetMaxCountHdfRadar(pHdf, &nDataset, &nData, &nRay, &nBin) != 1 || nDataset <= 0 ||
        nData <= 0 || nRay <= 0 || nBin <= 0) {
        rdrError(kSyncUp, "fnGetMaxCountHdfRadar error");
        return nullptr;
    }
    const OdimVolumeParts parts{&pHdf->m_what, &pHdf->m_where, &pHdf->m_how, pHdf->m_iMaxDataset,
                                pHdf->m_ppDataset};
    return odimVolumeToStd(parts, fnGetHdfFieldInfo, kSyncUp);
}
