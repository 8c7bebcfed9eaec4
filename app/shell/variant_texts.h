#pragma once
// The texts of this tool's generic product and of its customer variants that name a product, an
// operator or the maker: product titles, the cautions of the guided layout, the variants' boxes
// and the About box lines. A product build may replace them; these are our own words.
#include <string>
#include <vector>

namespace upwend {

struct ProductConfig;

inline constexpr const char* kJapaneseFont = "MS PGothic";
inline constexpr const char* kJapaneseFixedFont = "MS Gothic";
inline constexpr int kShiftJisCharset = 128;

// The product title the variant shows in its title label and the application title; empty for
// a product without a variant.
std::string VariantProductTitle(const ProductConfig& config);
// The seven numbered cautions of the guided layout.
const std::vector<std::string>& GuidedCautions();
// The guided layout's step 0 line that asks the user to connect the device (it names the product).
std::string ConnectDeviceLine(const ProductConfig& config);
// The title of the confirmation box before Start (27 and 28) and of their close question.
std::string ConfirmBoxTitle(const ProductConfig& config);
// The folder below the programs folder in which types 27 and 28 keep their run logs.
std::string VariantProgramFolderName(const ProductConfig& config);
// The operator's customer centre that the failure advice of 42 and 3 with a variant names.
inline constexpr const char* kOperatorCentre = "the UW96 customer centre.";
// The variants' no-device message of the 20-second timer (42 and 3 with a variant).
inline constexpr const char* kNoDeviceJapanese =
    "データ通信端末が見つかりません。端末をパソコンに接続してから、もう一度起動してください。";
// The Japanese warnings for the start and end of an update (42 and 3 with a variant).
inline constexpr const char* kWarningStartJapanese = "アップデート中は端末を取り外さないでください。";
inline constexpr const char* kWarningEndJapanese = "アップデートが終わりました。「終了」を押してください。";
// Project type 41's captions.
inline constexpr const char* kCompletedCaptionChinese = "上网卡软件升级已完成";
inline constexpr const char* kFailedCaptionChinese = "上网卡固件升级失败";
inline constexpr const char* kCompactNotice1 = "正在升级上网卡软件，请勿拔出上网卡。";
inline constexpr const char* kCompactNotice2 = "升级过程中请勿关闭本程序或让电脑休眠。";

// Lines of the About box.
inline constexpr const char* kMakerCopyrightLine = "Copyright (C) 2019 Upwend Devices";
inline constexpr const char* kCustomerCopyrightLine = "Copyright (C) 2019 Upwend Mobile";
inline constexpr const char* kShortCopyrightMark = "(C) Upwend";
inline constexpr const char* kJapaneseToolTitle = "UW96 ファームウェア更新ツール V1.0";
// 42 and 3 with a variant: the heading and the version line of the About box.
inline constexpr const char* kVariantAboutHeading = "UW96 アップデートツール情報";
inline constexpr const char* kVariantAboutVersion = "UW96 ファームウェアアップデートツール V1.0";

}  // namespace upwend
