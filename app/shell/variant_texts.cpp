#include "app/shell/variant_texts.h"

#include "app/config/configuration.h"
#include "engine/worker/project_rules.h"

namespace upwend {

std::string VariantProductTitle(const ProductConfig& c) {
  const int pt = c.projectType;
  if (project::IsTitledDataCard(pt)) return "UW96 Mobile Router Update Tool V1.1";
  if (project::IsTitledMobileDevice(pt)) return "UW96 Data Card Update Tool V1.1";
  if (project::UsesJapaneseLayout(pt)) {
    return project::IsJapaneseRetailProduct(pt) ? "UW96 ポケットWi-Fi アップデートツール" : "UW96 LTE ルーター アップデートツール";
  }
  if (project::IsOperatorProduct(pt)) return "UW96 データ通信端末 アップデートツール V1.0";
  if (project::HasCustomerVariants(pt)) {
    if (c.variant == 1) return "UW96-A データ通信端末 アップデートツール V1.0";
    if (c.variant == 2) return "UW96-B データ通信端末 アップデートツール V1.0";
    if (c.variant == 3) return "UW96-C データ通信端末 アップデートツール V1.0";
  }
  if (c.language == "Japanese") return "UW96 ファームウェア更新ツール";
  return {};
}

const std::vector<std::string>& GuidedCautions() {
  static const std::vector<std::string> cautions = {
      "1. アップデート中はUSBケーブルを抜かないでください。",
      "2. パソコンの電源アダプタを接続してください。",
      "3. 他のアプリケーションをすべて終了してください。",
      "4. アップデート中はパソコンをスリープさせないでください。",
      "5. 端末の電池を十分に充電してください。",
      "6. アップデートには数分かかります。",
      "7. 完了の画面が出るまで端末を操作しないでください。",
  };
  return cautions;
}

std::string ConnectDeviceLine(const ProductConfig& c) {
  std::string product = VariantProductTitle(c);
  if (product.empty()) product = c.caption.empty() ? "UW96" : c.caption;
  return "「" + product + "」の端末をパソコンのUSBポートに接続してください。";
}

std::string VariantProgramFolderName(const ProductConfig& c) {
  return project::IsJapaneseRetailProduct(c.projectType) ? "UW96 Pocket WiFi Update" : "UW96 LTE Router Update";
}

std::string ConfirmBoxTitle(const ProductConfig& c) {
  if (project::IsJapaneseRetailProduct(c.projectType)) return VariantProductTitle(c);
  return "UW96 Update";
}

}  // namespace upwend
