// The ODIM volume file: an HDF_RADAR written through libhdf5 into a temporary file that
// replaces the target only once complete (common/atomic_file.h).
#include <hdf5.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "core_utilities.h"
#include "hdf5_output.h"
#include "internal/hdf5_access.h"

namespace {

constexpr const char* kWrite = "fnWriteHdfRadar";
// The longest target name, as the temporary name "<target>.tmp" of 1023 characters allows.
constexpr std::size_t kMaxFileName = 1023 - 4;

void reportError(const std::string& message) {
    rdrError(kWrite, message.c_str());
}

bool writeTopWhat(hid_t root, const HDF_RADAR* pHdf) {
    h5::Group what = h5::createGroup(root, "what");
    const HDF_TOP_WHAT& w = pHdf->m_what;
    return what && h5::writeString(what.get(), "object", w.m_szObject) &&
           h5::writeString(what.get(), "version", w.m_szVersion) &&
           h5::writeString(what.get(), "date", w.m_szDate) &&
           h5::writeString(what.get(), "time", w.m_szTime) &&
           h5::writeString(what.get(), "source", w.m_szSource);
}

bool writeTopWhere(hid_t root, const HDF_RADAR* pHdf) {
    h5::Group where = h5::createGroup(root, "where");
    const HDF_POLAR_WHERE& p = pHdf->m_where.m_polar_where;
    return where && h5::writeDouble(where.get(), "lon", p.m_dLon) &&
           h5::writeDouble(where.get(), "lat", p.m_dLat) &&
           h5::writeDouble(where.get(), "height", p.m_dHeightM);
}

bool writeTopHow(hid_t root, const HDF_RADAR* pHdf) {
    h5::Group how = h5::createGroup(root, "how");
    const HDF_RADAR_HOW& r = pHdf->m_how.m_radar_how;
    return how && h5::writeString(how.get(), "task", pHdf->m_how.m_general_how.m_szTask) &&
           h5::writeDouble(how.get(), "pulsewidth", r.m_dPulseWidth) &&
           h5::writeDouble(how.get(), "beamwH", r.m_dBeamwH) &&
           h5::writeDouble(how.get(), "beamwV", r.m_dBeamwV) &&
           h5::writeDouble(how.get(), "RXbandwidth", r.m_dRXbandWidth) &&
           h5::writeDouble(how.get(), "wavelength", r.m_dWaveLength);
}

bool writeDatasetHow(hid_t dataset, const HDF_DATASET* pDataset) {
    h5::Group how = h5::createGroup(dataset, "how");
    const HDF_RADAR_HOW& r = pDataset->m_how.m_radar_how;
    if (!how || !h5::writeDouble(how.get(), "NI", r.m_dNi) ||
        !h5::writeDouble(how.get(), "radconstH", r.m_dRadconstH) ||
        !h5::writeDouble(how.get(), "antgainH", r.m_dAntgainH)) {
        return false;
    }
    const HDF_RAY_HOW* rh = pDataset->m_pRayHow;
    if (rh == nullptr || rh->m_nRays != pDataset->m_where.m_polar_where.m_nRays) {
        return true;
    }
    const std::size_t n = static_cast<std::size_t>(rh->m_nRays);
    const std::pair<const char*, const double*> arrays[] = {
        {"startazA", rh->m_pStartazA}, {"stopazA", rh->m_pStopazA},   {"startazT", rh->m_pStartazT},
        {"stopazT", rh->m_pStopazT},   {"elangles", rh->m_pElangles},
    };
    for (const auto& [name, values] : arrays) {
        if (values != nullptr && !h5::writeDoubleArray(how.get(), name, values, n)) {
            return false;
        }
    }
    return true;
}

// The float matrix as 16-bit integers, truncated toward zero and kept inside the type, in
// one buffer for every data item: fresh pages cost more than the conversion.
const short* toShorts(float** ppRows, long nRows, long nCols) {
    static std::vector<short> buffer;
    buffer.resize(static_cast<std::size_t>(nRows * nCols));
    for (long r = 0; r < nRows; ++r) {
        const float* in = ppRows[r];
        short* row = buffer.data() + r * nCols;
        for (long c = 0; c < nCols; ++c) {
            const float v = in[c];
            row[c] = std::isnan(v) ? static_cast<short>(32767)
                                   : static_cast<short>(std::clamp(v, -32768.0f, 32767.0f));
        }
    }
    return buffer.data();
}

bool writeData(hid_t dataset, int number, const HDF_DATA* pData, const HDF_POLAR_WHERE& where) {
    const std::string name = "data" + std::to_string(number);
    h5::Group data = h5::createGroup(dataset, name.c_str());
    if (!data) {
        return false;
    }
    h5::Group what = h5::createGroup(data.get(), "what");
    const HDF_DATASET_WHAT& w = pData->m_what;
    if (!what || !h5::writeString(what.get(), "quantity", w.m_szQuantity) ||
        !h5::writeDouble(what.get(), "gain", w.m_dGain) ||
        !h5::writeDouble(what.get(), "offset", w.m_dOffset) ||
        !h5::writeDouble(what.get(), "nodata", w.m_dNodata) ||
        !h5::writeDouble(what.get(), "undetect", w.m_dUndetect)) {
        return false;
    }
    const short* values = toShorts(pData->m_ppData, where.m_nRays, where.m_nBins);
    return h5::writeImage(data.get(), "data", H5T_STD_I16LE, H5T_NATIVE_SHORT, values,
                          static_cast<hsize_t>(where.m_nRays), static_cast<hsize_t>(where.m_nBins));
}

bool writeDataset(hid_t root, int number, const HDF_DATASET* pDataset) {
    const std::string name = "dataset" + std::to_string(number);
    h5::Group dataset = h5::createGroup(root, name.c_str());
    if (!dataset) {
        return false;
    }
    const HDF_DATASET_WHAT& w = pDataset->m_what;
    const HDF_POLAR_WHERE& p = pDataset->m_where.m_polar_where;
    h5::Group what = h5::createGroup(dataset.get(), "what");
    if (!what || !h5::writeString(what.get(), "product", w.m_szProduct) ||
        !h5::writeString(what.get(), "startdate", w.m_szStartDate) ||
        !h5::writeString(what.get(), "starttime", w.m_szStartTime) ||
        !h5::writeString(what.get(), "enddate", w.m_szEndDate) ||
        !h5::writeString(what.get(), "endtime", w.m_szEndTime)) {
        return false;
    }
    h5::Group where = h5::createGroup(dataset.get(), "where");
    if (!where || !h5::writeDouble(where.get(), "elangle", p.m_dElangle) ||
        !h5::writeLong(where.get(), "nbins", p.m_nBins) ||
        !h5::writeDouble(where.get(), "rstart", p.m_dRstart) ||
        !h5::writeDouble(where.get(), "rscale", p.m_dRScale) ||
        !h5::writeLong(where.get(), "nrays", p.m_nRays) ||
        !h5::writeLong(where.get(), "a1gate", p.m_lA1gate) ||
        !writeDatasetHow(dataset.get(), pDataset)) {
        return false;
    }
    int written = 0;
    for (int d = 0; d < pDataset->m_iMaxData; ++d) {
        const HDF_DATA* pData = pDataset->m_ppData[d];
        if (pData != nullptr && pData->m_ppData != nullptr &&
            !writeData(dataset.get(), ++written, pData, p)) {
            return false;
        }
    }
    return true;
}

// Datasets the file can hold: data items, and a shape the matrices have.
bool hasData(const HDF_DATASET* pDataset) {
    if (pDataset == nullptr || pDataset->m_ppData == nullptr) {
        return false;
    }
    const HDF_POLAR_WHERE& p = pDataset->m_where.m_polar_where;
    if (p.m_nRays < 1 || p.m_nBins < 1) {
        return false;
    }
    for (int d = 0; d < pDataset->m_iMaxData; ++d) {
        if (pDataset->m_ppData[d] != nullptr && pDataset->m_ppData[d]->m_ppData != nullptr) {
            return true;
        }
    }
    return false;
}

// The whole file; false with the documented message of the step that failed.
bool writeVolume(hid_t h5file, const HDF_RADAR& hdf, std::string* pWhy) {
    h5::Group root(H5Gopen2(h5file, "/", H5P_DEFAULT));
    if (!root) {
        *pWhy = "ROOT Group H5Gopen1 fail";
        return false;
    }
    if (!h5::writeString(root.get(), "Conventions", hdf.m_szConventions)) {
        *pWhy = "cannot write the Conventions attribute";
        return false;
    }
    if (!writeTopWhat(root.get(), &hdf)) {
        *pWhy = "fnSaveHdfTopWhat fail";
        return false;
    }
    if (!writeTopWhere(root.get(), &hdf)) {
        *pWhy = "fnSaveHdfTopWhere fail";
        return false;
    }
    if (!writeTopHow(root.get(), &hdf)) {
        *pWhy = "fnSaveHdfTopHow fail";
        return false;
    }
    int written = 0;
    for (int d = 0; d < hdf.m_iMaxDataset; ++d) {
        const HDF_DATASET* pDataset = hdf.m_ppDataset[d];
        if (hasData(pDataset) && !writeDataset(root.get(), ++written, pDataset)) {
            *pWhy = "fnSaveHdfDataset fail";
            return false;
        }
    }
    return true;
}

}  // namespace

int fnWriteHdfRadar(HDF_RADAR* pHdf, const char* szFileName) {
    if (pHdf == nullptr || szFileName == nullptr || pHdf->m_ppDataset == nullptr) {
        reportError("no volume or no file name");
        return 0;
    }
    if (std::strlen(szFileName) > kMaxFileName) {
        reportError("a file name of " + std::to_string(std::strlen(szFileName)) +
                    " characters is longer than " + std::to_string(kMaxFileName));
        return 0;
    }
    AtomicFile file;
    if (!file.open(szFileName)) {
        reportError("cannot create " + std::string(szFileName) + " (" + file.error() + ")");
        return 0;
    }
    if (file.inPlace()) {
        // libhdf5 seeks and rewrites its superblock: a device or a FIFO cannot hold the file.
        reportError(std::string(szFileName) + " is not a regular file");
        return 0;
    }
    // libhdf5 writes in a child process: after a failed close (a full disk) it would crash
    // the caller when the program ends.
    std::string why;
    if (!h5::writeFileIsolated(
            file.path(),
            [pHdf](hid_t h5file, std::string* pWhy) { return writeVolume(h5file, *pHdf, pWhy); },
            &why)) {
        reportError("cannot write " + std::string(szFileName) + " (" + why + ")");
        return 0;
    }
    if (!file.commit()) {
        reportError("cannot write " + std::string(szFileName) + " (" + file.error() + ")");
        return 0;
    }
    return 1;
}
