// Layout, in native byte order (both ends are the same program): "HDFPRDT" and a version
// byte; sizeof(TransferHead) as u64; the head; then for each family in order, for each of its
// datasets, the dataset's what and, per slot, a present byte followed (when 1) by the slot's
// head and its rows, ysize rows of xsize values of the slot's memory type.
#include <cstdint>
#include <cstring>

#include "core_utilities.h"
#include "hdf5_output.h"
#include "internal/hand_over_reader.h"
#include "internal/hdf_product_input_transfer.h"
#include "internal/odim_product_to_std.h"

namespace {

constexpr unsigned char kMagic[8] = {'H', 'D', 'F', 'P', 'R', 'D', 'T', 1};
using product_families::kMaxFamilyCount;

// What the loader fills of an HDF_PRODUCT beyond its families.
struct TransferHead {
    int type;
    char conventions[17];
    HDF_TOP_WHAT what;
    HDF_POLAR_WHERE polar;
    HDF_IMAGE_WHERE image;
    double ni;
    char task[9];
    char system[9];
    char camethod[17];
    int maxField;
    int counts[kOdimFamilyCount];
};

struct TransferSlot {
    HDF_DATASET_WHAT what;
    char field[9];
    char cls[7];
    char version[5];
    int memType;
};

template <std::size_t N>
void terminate(char (&text)[N]) {
    text[N - 1] = '\0';
}

void terminateWhat(HDF_DATASET_WHAT& w) {
    terminate(w.m_szProduct);
    terminate(w.m_szStartDate);
    terminate(w.m_szStartTime);
    terminate(w.m_szEndDate);
    terminate(w.m_szEndTime);
    terminate(w.m_szQuantity);
}

std::size_t elementBytes(int iMemType) {
    return iMemType == RDR_EN_MEM_CHAR ? 1 : iMemType == RDR_EN_MEM_SHORT ? 2 : 4;
}

void* const* rowsOf(const HDF_PRODUCT_DATA& data) {
    switch (data.m_iMemType) {
        case RDR_EN_MEM_CHAR:
            return reinterpret_cast<void* const*>(data.m_ppData_c);
        case RDR_EN_MEM_SHORT:
            return reinterpret_cast<void* const*>(data.m_ppData_s);
        default:
            return reinterpret_cast<void* const*>(data.m_ppData_f);
    }
}

using ByteReader = HandOverReader;

bool headValid(const TransferHead& head) {
    if ((head.type != HDF_EN_PRODUCT_SITE && head.type != HDF_EN_PRODUCT_COMP) ||
        head.maxField < 1 || head.maxField > kHdfProductMaxFields || head.image.m_lXsize < 1 ||
        head.image.m_lYsize < 1 || head.image.m_lXsize > kHdfProductMaxSide ||
        head.image.m_lYsize > kHdfProductMaxSide ||
        head.image.m_lXsize * head.image.m_lYsize > kHdfProductMaxCells) {
        return false;
    }
    for (int n : head.counts) {
        if (n < 0 || n > kMaxFamilyCount) {
            return false;
        }
    }
    return true;
}

// Reads one slot's rows into a new matrix of its type; false when the bytes run out.
bool readRows(ByteReader& in, HDF_PRODUCT_DATA* pData, int iYdim, int iXdim) {
    void** rows = nullptr;
    switch (pData->m_iMemType) {
        case RDR_EN_MEM_CHAR:
            pData->m_ppData_c = fnMakeMatrix2D_C(iYdim, iXdim);
            rows = reinterpret_cast<void**>(pData->m_ppData_c);
            break;
        case RDR_EN_MEM_SHORT:
            pData->m_ppData_s = fnMakeMatrix2D_S(iYdim, iXdim);
            rows = reinterpret_cast<void**>(pData->m_ppData_s);
            break;
        default:
            pData->m_ppData_f = fnMakeMatrix2D_F(iYdim, iXdim);
            rows = reinterpret_cast<void**>(pData->m_ppData_f);
            break;
    }
    if (rows == nullptr) {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(iXdim) * elementBytes(pData->m_iMemType);
    for (int y = 0; y < iYdim; ++y) {
        if (!in.take(rows[y], rowBytes)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool writeHdfProductBytes(const HDF_PRODUCT& product, IsolatedOutput& output) {
    HDF_TOTAL_PRODUCT total = product.m_totalProduct;
    TransferHead head{};
    head.type = product.m_iHdfProductType;
    std::memcpy(head.conventions, product.m_szConventions, sizeof head.conventions);
    head.what = product.m_what;
    head.polar = product.m_where.m_polar_where;
    head.image = product.m_where.m_image_where;
    head.ni = product.m_how.m_radar_how.m_dNi;
    std::memcpy(head.task, product.m_how.m_general_how.m_szTask, sizeof head.task);
    std::memcpy(head.system, product.m_how.m_general_how.m_szSystem, sizeof head.system);
    std::memcpy(head.camethod, product.m_how.m_image_how.m_szCamethod, sizeof head.camethod);
    head.maxField = odimProductCounts(total, head.counts);
    const std::uint64_t headBytes = sizeof head;
    if (!output.write(kMagic, sizeof kMagic) || !output.write(&headBytes, sizeof headBytes) ||
        !output.write(&head, sizeof head)) {
        return false;
    }
    const std::size_t rowBytesBase = static_cast<std::size_t>(head.image.m_lXsize);
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        HDF_PRODUCT_DATASET** ppDset = *odimFamilyArray(total, f);
        for (int d = 0; d < head.counts[f]; ++d) {
            const HDF_PRODUCT_DATASET& dset = *ppDset[d];
            if (!output.write(&dset.m_what, sizeof dset.m_what)) {
                return false;
            }
            for (int k = 0; k < head.maxField; ++k) {
                const HDF_PRODUCT_DATA* pData =
                    k < dset.m_iMaxField ? dset.m_ppProductData[k] : nullptr;
                const unsigned char present = pData != nullptr && odimSlotHoldsRows(*pData);
                if (!output.write(&present, 1)) {
                    return false;
                }
                if (present == 0) {
                    continue;
                }
                TransferSlot slot{};
                slot.what = pData->m_what;
                std::memcpy(slot.field, pData->m_szFieldName, sizeof slot.field);
                std::memcpy(slot.cls, pData->m_szClass, sizeof slot.cls);
                std::memcpy(slot.version, pData->m_szVersion, sizeof slot.version);
                slot.memType = pData->m_iMemType;
                if (!output.write(&slot, sizeof slot)) {
                    return false;
                }
                void* const* rows = rowsOf(*pData);
                const std::size_t rowBytes = rowBytesBase * elementBytes(pData->m_iMemType);
                for (long y = 0; y < head.image.m_lYsize; ++y) {
                    if (!output.write(rows[y], rowBytes)) {
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

HDF_PRODUCT* readHdfProductBytes(const unsigned char* pBytes, std::size_t nBytes,
                                 std::string* pWhy) {
    ByteReader in(pBytes, nBytes);
    unsigned char magic[sizeof kMagic] = {};
    std::uint64_t headBytes = 0;
    TransferHead head{};
    if (!in.take(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0 ||
        !in.take(&headBytes, sizeof headBytes) || headBytes != sizeof head ||
        !in.take(&head, sizeof head)) {
        *pWhy = "not a product hand-over";
        return nullptr;
    }
    if (!headValid(head)) {
        *pWhy = "impossible grid size or counts";
        return nullptr;
    }
    HDF_PRODUCT* pProduct =
        fnInitHdfProduct(head.maxField, head.counts[0], head.counts[1], head.counts[2],
                         head.counts[3], head.counts[4], head.counts[5]);
    if (pProduct == nullptr) {
        *pWhy = "out of memory";
        return nullptr;
    }
    pProduct->m_iHdfProductType = head.type;
    std::memcpy(pProduct->m_szConventions, head.conventions, sizeof head.conventions);
    terminate(pProduct->m_szConventions);
    pProduct->m_what = head.what;
    HDF_TOP_WHAT& what = pProduct->m_what;
    terminate(what.m_szObject);
    terminate(what.m_szVersion);
    terminate(what.m_szDate);
    terminate(what.m_szTime);
    terminate(what.m_szSource);
    pProduct->m_where.m_polar_where = head.polar;
    pProduct->m_where.m_image_where = head.image;
    terminate(pProduct->m_where.m_image_where.m_szProjdef);
    HDF_HOW& how = pProduct->m_how;
    how.m_radar_how.m_dNi = head.ni;
    std::memcpy(how.m_general_how.m_szTask, head.task, sizeof head.task);
    std::memcpy(how.m_general_how.m_szSystem, head.system, sizeof head.system);
    std::memcpy(how.m_image_how.m_szCamethod, head.camethod, sizeof head.camethod);
    terminate(how.m_general_how.m_szTask);
    terminate(how.m_general_how.m_szSystem);
    terminate(how.m_image_how.m_szCamethod);

    const int iYdim = static_cast<int>(head.image.m_lYsize);
    const int iXdim = static_cast<int>(head.image.m_lXsize);
    for (int f = 0; f < kOdimFamilyCount; ++f) {
        HDF_PRODUCT_DATASET** ppDset = *odimFamilyArray(pProduct->m_totalProduct, f);
        for (int d = 0; d < head.counts[f]; ++d) {
            HDF_PRODUCT_DATASET& dset = *ppDset[d];
            if (!in.take(&dset.m_what, sizeof dset.m_what)) {
                *pWhy = "truncated";
                fnFreeHdfProduct(pProduct);
                return nullptr;
            }
            terminateWhat(dset.m_what);
            for (int k = 0; k < head.maxField; ++k) {
                unsigned char present = 0;
                TransferSlot slot{};
                if (!in.take(&present, 1) || present > 1 ||
                    (present == 1 && !in.take(&slot, sizeof slot))) {
                    *pWhy = "truncated";
                    fnFreeHdfProduct(pProduct);
                    return nullptr;
                }
                if (present == 0) {
                    continue;
                }
                if (slot.memType < RDR_EN_MEM_CHAR || slot.memType > RDR_EN_MEM_FLOAT) {
                    *pWhy = "unknown memory type " + std::to_string(slot.memType);
                    fnFreeHdfProduct(pProduct);
                    return nullptr;
                }
                HDF_PRODUCT_DATA* pData = dset.m_ppProductData[k];
                pData->m_what = slot.what;
                terminateWhat(pData->m_what);
                std::memcpy(pData->m_szFieldName, slot.field, sizeof slot.field);
                std::memcpy(pData->m_szClass, slot.cls, sizeof slot.cls);
                std::memcpy(pData->m_szVersion, slot.version, sizeof slot.version);
                terminate(pData->m_szFieldName);
                terminate(pData->m_szClass);
                terminate(pData->m_szVersion);
                pData->m_iMemType = slot.memType;
                if (!readRows(in, pData, iYdim, iXdim)) {
                    *pWhy = "truncated rows";
                    fnFreeHdfProduct(pProduct);
                    return nullptr;
                }
            }
        }
    }
    if (in.left() != 0) {
        *pWhy = std::to_string(in.left()) + " bytes too many";
        fnFreeHdfProduct(pProduct);
        return nullptr;
    }
    return pProduct;
}
