// The UF_RADAR tree: what the loader and the writer's sync-down build is valid, and each
// missing or over-counted part makes it invalid before anyone walks into it.
#include <gtest/gtest.h>

#include "internal/uf_radar_tree.h"
#include "uf_fixture.h"
#include "uf_radar.h"

using uffix::UfRadarPtr;

namespace {

TEST(UfRadarTree, ABuiltTreeIsValidUntilAPartIsMissingOrOverCounted) {
    UfRadarPtr uf(fnInitUf());
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(fnValidUf(uf.get()), 1);
    ASSERT_TRUE(ufEnsureSweepSlots(uf.get(), 3));
    ASSERT_TRUE(ufEnsureSweepSlots(uf.get(), 2));  // slots are only ever added
    EXPECT_EQ(uf->m_iMaxSweep, 3);

    const int bins[] = {0, 7};
    UF_RAY* ray = ufAllocRay(2, bins);
    ASSERT_NE(ray, nullptr);
    UF_SWEEP* sweep = uf->m_ppSweep[1];
    sweep->m_ppRay[sweep->m_iCurRay++] = ray;
    sweep->m_iMaxRay = sweep->m_iCurRay;
    ASSERT_EQ(ray->m_iMaxField, 2);
    EXPECT_EQ(ray->m_ppField[0]->m_iMaxBin, 1);  // a buffer even for a field without bins
    EXPECT_EQ(ray->m_ppField[1]->m_iMaxBin, 7);
    ray->m_iCurField = 2;
    ray->m_ppField[1]->m_iCurBin = 7;
    EXPECT_EQ(fnValidUf(uf.get()), 1);

    UF_FIELD* field = ray->m_ppField[1];
    short* bins7 = field->m_pData;
    field->m_pData = nullptr;
    EXPECT_EQ(fnValidUf(uf.get()), 0) << "a field without its buffer";
    field->m_pData = bins7;
    field->m_iCurBin = 8;
    EXPECT_EQ(fnValidUf(uf.get()), 0) << "more bins than the buffer holds";
    field->m_iCurBin = 7;
    ray->m_iCurField = 3;
    EXPECT_EQ(fnValidUf(uf.get()), 0) << "more fields than slots";
    ray->m_iCurField = 2;
    sweep->m_iMaxRay = 2;
    EXPECT_EQ(fnValidUf(uf.get()), 0) << "an empty ray slot below the count";
    sweep->m_iMaxRay = 1;
    uf->m_iCurSweep = 4;
    EXPECT_EQ(fnValidUf(uf.get()), 0) << "more sweeps than slots";
    uf->m_iCurSweep = 0;
    EXPECT_EQ(fnValidUf(uf.get()), 1);
    EXPECT_EQ(fnValidUf(nullptr), 0);
}

TEST(UfRadarTree, RaysBeyondTheFieldLimitAreNotAllocated) {
    int bins[UF_MAX_FIELD + 1] = {};
    EXPECT_EQ(ufAllocRay(-1, bins), nullptr);
    EXPECT_EQ(ufAllocRay(UF_MAX_FIELD + 1, bins), nullptr);
    // A ray without fields still has its (empty) arrays, as fnValidUf wants.
    UfRadarPtr uf(fnInitUf());
    ASSERT_TRUE(ufEnsureSweepSlots(uf.get(), 1));
    UF_RAY* ray = ufAllocRay(0, nullptr);
    ASSERT_NE(ray, nullptr);
    uf->m_ppSweep[0]->m_ppRay[0] = ray;
    uf->m_ppSweep[0]->m_iMaxRay = uf->m_ppSweep[0]->m_iCurRay = 1;
    EXPECT_EQ(fnValidUf(uf.get()), 1);
    fnFreeUfRadar(nullptr);
}

}  // namespace
