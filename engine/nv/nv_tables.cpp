#include "engine/nv/nv_tables.h"

#include <array>

namespace upwend {

namespace {

#define KNOWN(id, name) NvTableEntry{id, #name, true},
#define UNCONFIRMED(id, name) NvTableEntry{id, #name, false},

constexpr NvTableEntry kCdma[] = {
    KNOWN(6503, NV_VXT_APP_UIT87_I) KNOWN(6504, NV_VXT_APP_UIT89_I)
    KNOWN(1738, NV_C0_BC0_RX_CAL_CHAN_I) KNOWN(1739, NV_C0_BC0_LNA_1_OFFSET_VS_FREQ_I)
    KNOWN(1740, NV_C0_BC0_LNA_2_OFFSET_VS_FREQ_I) KNOWN(1741, NV_C0_BC0_LNA_3_OFFSET_VS_FREQ_I)
    KNOWN(1742, NV_C0_BC0_LNA_4_OFFSET_VS_FREQ_I) KNOWN(1743, NV_C0_BC0_LNA_1_OFFSET_I)
    KNOWN(1744, NV_C0_BC0_LNA_2_OFFSET_I) KNOWN(1745, NV_C0_BC0_LNA_3_OFFSET_I)
    KNOWN(1746, NV_C0_BC0_LNA_4_OFFSET_I) KNOWN(1749, NV_C0_BC0_VGA_GAIN_OFFSET_I)
    KNOWN(1750, NV_C0_BC0_VGA_GAIN_OFFSET_VS_FREQ_I) KNOWN(4795, NV_BC0_TX_PDM_0_I)
    KNOWN(4796, NV_BC0_TX_PDM_1_I) KNOWN(4831, NV_BC0_TX_LIN_0_I)
    KNOWN(4832, NV_BC0_TX_LIN_1_I) KNOWN(4997, NV_BC0_TX_PWR_COMP0_I)
    KNOWN(4998, NV_BC0_TX_PWR_COMP1_I) KNOWN(1724, NV_BC0_TX_LIM_VS_FREQ_I)
    KNOWN(1731, NV_BC0_HDET_OFF_I) KNOWN(1732, NV_BC0_HDET_SPN_I)
    KNOWN(1733, NV_BC0_EXP_HDET_VS_AGC_I) KNOWN(1737, NV_C0_BC0_TX_CAL_CHAN_I)
    KNOWN(5722, NV_BC0_EXP_HDET_VS_AGC_V2_I) KNOWN(5738, NV_BC0_HDET_OFF_V2_I)
    KNOWN(5754, NV_BC0_HDET_SPN_V2_I)
    // Id 1749 appears twice in the product's list, the second time under a band class 1 name.
    KNOWN(1749, NV_C0_BC1_RX_CAL_CHAN_I) KNOWN(1650, NV_C0_BC1_LNA_1_OFFSET_VS_FREQ_I)
    KNOWN(1651, NV_C0_BC1_LNA_2_OFFSET_VS_FREQ_I) KNOWN(1652, NV_C0_BC1_LNA_3_OFFSET_VS_FREQ_I)
    KNOWN(1653, NV_C0_BC1_LNA_4_OFFSET_VS_FREQ_I) KNOWN(1654, NV_C0_BC1_LNA_1_OFFSET_I)
    KNOWN(1655, NV_C0_BC1_LNA_2_OFFSET_I) KNOWN(1666, NV_C0_BC1_LNA_3_OFFSET_I)
    KNOWN(1667, NV_C0_BC1_LNA_4_OFFSET_I) KNOWN(1670, NV_C0_BC1_VGA_GAIN_OFFSET_I)
    KNOWN(1671, NV_C0_BC1_VGA_GAIN_OFFSET_VS_FREQ_I) KNOWN(4799, NV_BC1_TX_PDM_0_I)
    KNOWN(4800, NV_BC1_TX_PDM_1_I) KNOWN(4835, NV_BC1_TX_LIN_0_I)
    KNOWN(4836, NV_BC1_TX_LIN_1_I) KNOWN(5002, NV_BC1_TX_PWR_COMP0_I)
    KNOWN(5001, NV_BC1_TX_PWR_COMP1_I) KNOWN(1635, NV_BC1_TX_LIM_VS_FREQ_I)
    KNOWN(1642, NV_BC1_HDET_OFF_I) KNOWN(1643, NV_BC1_HDET_SPN_I)
    KNOWN(1644, NV_BC1_EXP_HDET_VS_AGC_I) KNOWN(1648, NV_C0_BC1_TX_CAL_CHAN_I)
    KNOWN(5723, NV_BC1_EXP_HDET_VS_AGC_V2_I) KNOWN(5739, NV_BC1_HDET_OFF_V2_I)
    KNOWN(5755, NV_BC1_HDET_SPN_V2_I)
};

constexpr NvTableEntry kCdmaSubscription[] = {
    KNOWN(1943, NV_MEID_I) KNOWN(0, NV_ESN_I) KNOWN(176, NV_IMSI_MCC_I) KNOWN(177, NV_IMSI_11_12_I)
    KNOWN(33, NV_MIN2_I) KNOWN(32, NV_MIN1_I) KNOWN(178, NV_DIR_NUMBER_I) KNOWN(5, NV_SLOT_CYCLE_INDEX_I)
    KNOWN(579, NV_HDR_AN_AUTH_NAI_I) KNOWN(1194, NV_HDR_AN_AUTH_USER_ID_LONG_I)
    KNOWN(580, NV_HDR_AN_AUTH_PASSWORD_I) KNOWN(1192, NV_HDR_AN_AUTH_PASSWORD_LONG_I)
};

constexpr NvTableEntry kLte[] = {
#include "engine/nv/tables/lte_table.inc"
};

constexpr NvTableEntry kGsmWcdma[] = {
#include "engine/nv/tables/gsm_wcdma_table.inc"
};

constexpr NvTableEntry kAlternative[] = {
#include "engine/nv/tables/alternative_table.inc"
};

#undef KNOWN
#undef UNCONFIRMED

constexpr int kRfCalibration[] = {
    540,   571,   1864,  2892,  3691,  4212,  4953,  4954,  5459,  5461,  5463,  5464,  6735,  6736,  20309, 20310,
    20790, 20794, 20795, 20825, 20826, 20837, 20838, 20840, 20883, 20884, 20364, 20365, 22982, 23112, 23113, 23172,
    23173, 24964, 24965, 24966, 24967, 24972, 24973, 24974, 24975, 24226, 24228, 24230, 24233, 24241, 24242, 24244,
    24252, 24255, 24256, 24257, 27779, 27781, 27786, 27794, 27795, 27797, 28329, 28331, 28333, 28334,
};

static_assert(std::size(kCdma) == 52);
static_assert(std::size(kCdmaSubscription) == 12);
static_assert(std::size(kLte) == 272);
static_assert(std::size(kGsmWcdma) == 805);
static_assert(std::size(kAlternative) == 349);
static_assert(std::size(kRfCalibration) == 62);

}  // namespace

std::span<const NvTableEntry> NvCdmaTable() { return kCdma; }
std::span<const NvTableEntry> NvCdmaSubscriptionTable() { return kCdmaSubscription; }
std::span<const NvTableEntry> NvLteTable() { return kLte; }
std::span<const NvTableEntry> NvGsmWcdmaTable() { return kGsmWcdma; }
std::span<const NvTableEntry> NvAlternativeTable() { return kAlternative; }
std::span<const int> NvRfCalibrationList() { return kRfCalibration; }

const char* NvItemName(int id) {
  for (auto table : {NvCdmaTable(), NvCdmaSubscriptionTable(), NvLteTable(), NvGsmWcdmaTable(), NvAlternativeTable()}) {
    for (const NvTableEntry& e : table) {
      if (e.id == id) return e.name;
    }
  }
  return "";
}

}  // namespace upwend
