// The wizards' texts. Those in the Japanese and Chinese windows that do not name a product are
// the windows' fixed wording; product and operator names are this tool's generic products.
#include "app/guide/guide_texts.h"
#include "engine/worker/project_rules.h"

#include <string>

namespace upwend {

namespace {

constexpr const char* kLicenceHeadingJa = "使用許諾契約";
constexpr const char* kLicenceBoxJa = "使用許諾契約に同意します。";
constexpr const char* kConfirmHeadingJa = "確認事項";

std::string LicenceHeaderJa(const std::string& product, const char* action) {
  return product + "を" + action + "するには、以下の使用許諾契約に同意していただく必要があります。" +
         "同意いただける場合は、下のチェックボックスをオンにして「次へ」をクリックしてください。";
}

std::string WelcomeBody2(const std::string& product) {
  return "本プログラムは" + product + "のファームウェアを更新します。" +
         "更新を実行する場合は「次へ」を、実行せずに終了する場合は「キャンセル」をクリックしてください。";
}

std::string SecondNote(const std::string& product) {
  return "本プログラムを実行すると、" + product + "の設定はすべてお買い上げ時の状態に戻ります。";
}

std::string HyphenBox() {
  std::string box;
  for (int line = 0; line < 21; ++line) box += std::string(61, '-') + "\n";
  return box;
}

}  // namespace

StepGuideTexts GuideTexts() {
  StepGuideTexts t;
  t.fontName = "MS Gothic";
  t.charset = 128;
  t.bold = true;
  t.ButtonBack = "<  戻る";
  t.ButtonNext = "次 >";
  t.ButtonCancel = "キャンセル";
  t.ButtonFinish = "完了";
  t.StaticText1 = "データカード ソフトウェアのインストール";
  t.StaticText2 = "本プログラムはデータカードのソフトウェアをパソコンにインストールします。"
                  "インストールする場合は「次へ」を、インストールせずに終了する場合は「キャンセル」をクリックしてください。";
  t.Image1 = "wizard_banner";
  t.StaticText6 = kLicenceHeadingJa;
  t.StaticText7 = LicenceHeaderJa("データカード", "アップデートツールで更新");
  t.CheckBox1 = kLicenceBoxJa;
  t.licencePicture = "wizard_licence";
  t.StaticText8 = "他の注意事項";
  t.StaticText9 = "バージョンアップを実行する前に全てのアプリケーションを終了させてください。";
  t.StaticText10 = kConfirmHeadingJa;
  t.cautions = {
      "★ PCがバージョンアップ中にスタンバイ、スリープ、サスペンド状態に移行しないように設定してください。",
      "★ PCをバージョンアップ中にスクリーンセーバーが起動しないように設定してください。",
      "★ バージョンアップ中にPCが電源OFFにならないようにしてください。（ACアダプタを使用してください。）",
      "★ バージョンアップ中にデータカードを取り外さないでください。",
  };
  return t;
}

StepGuideTexts Guide1Texts() {
  StepGuideTexts t;
  t.fontName = "MS Sans Serif";
  t.ButtonBack = "<    Back";
  t.ButtonNext = "Next    >";
  t.ButtonCancel = "Cancel";
  t.ButtonFinish = "Finish";
  t.StaticText1 = "Welcome to the Mobile Update Pragram";
  t.StaticText2 =
      "This setup program will install Mobile Update Pragram on your computer.Click Exit if you do not want to "
      "install this application.Click Next to continue the installation. ";
  t.Image1 = "wizard1_banner";
  t.StaticText6 = "Escape Clause";
  t.StaticText7 = "Please read the following Escape Clause.You must accept the Clause to continue.";
  t.licenceText = HyphenBox();
  t.CheckBox1 = "I agree with the above terms and conditions";
  t.StaticText8 = "Other Notes";
  t.StaticText9 = "Close \"PC VX utility\" then press next button";
  t.StaticText10 = "Notification";
  t.cautions = {
      "★ While updating,the PC must not enter the stand by,sleep or suspend mode.",
      "★ While updating,the PC must not run the screen saver.",
      "★ While updating,the PC must not be power OFF(must update with AC adapter).",
      "★ While updating,don't leave the data card from PC.",
  };
  return t;
}

StepGuideTexts Guide2Texts() {
  const std::string product = "UW-R31 ホームルーター";
  StepGuideTexts t;
  t.fontName = "MS PGothic";
  t.charset = 128;
  t.ButtonBack = "<  戻る";
  t.ButtonNext = "次へ >";
  t.ButtonCancel = "キャンセル";
  t.ButtonFinish = "次へ   >";
  t.StaticText1 = product + " ファームウェア更新";
  t.StaticText2 = WelcomeBody2(product);
  t.Image1 = "wizard2_banner";
  t.StaticText6 = kLicenceHeadingJa;
  t.StaticText7 = LicenceHeaderJa(product, "ファームウェア更新");
  t.CheckBox1 = kLicenceBoxJa;
  t.licencePicture = "wizard2_licence";
  t.StaticText18 = kLicenceHeadingJa;
  t.StaticText19 = LicenceHeaderJa("本製品", "ファームウェア更新");
  t.CheckBox2 = kLicenceBoxJa;
  t.Image3 = "wizard2_licence_alt";
  t.StaticText8 = "注意事項";
  t.StaticText9 = "ファームウェア更新を実行する前に全てのアプリケーションを終了させてください。";
  t.StaticText5 = SecondNote(product);
  t.StaticText10 = kConfirmHeadingJa;
  t.cautions = {
      "■ ファームウェア更新中にスタンバイ、スリープ、サスペンド状態に移行しないように設定してください。",
      "■ ファームウェア更新中にスクリーンセーバーが起動しないように設定してください。",
      "■ ファームウェア更新中に電源OFFにならないようにしてください。（ACアダプタを使用してください。）",
      "■ ファームウェア更新中にデータカードを取り外さないでください。",
  };
  t.Image4 = "wizard2_notice";
  t.startNotice = {
      "アップデートが完了するまで数分かかります。",
      "他のアプリケーションを全て終了してからアップデートを開始してください。",
      "またアップデートが完了するまで以下のことは絶対に行わないでください。",
      "-アップデート-ユーティリティの終了",
      "-他のアプリケーションの起動や、その他PCの操作",
      "-機器をコンピュータから抜く",
      "-コンピュータの電源を切る",
      "アップデート作業は全てお客様の責任においての実施となります。",
      "上記に同意していただける場合は”OK”ボタンをクリックしてアップデートを開始してください。",
  };
  return t;
}

CardGuideTexts Guide3Texts() {
  const std::string op = "Upwend 通信";
  CardGuideTexts t;
  t.fontName = "宋体";
  t.fixedFontName = "新宋体";
  t.splashTitle = op + " 上网卡升级";
  t.installCaption = op + " 上网卡软件版本升级";
  t.firmwareCaption = op + " 上网卡固件升级";
  t.welcomeLine = "欢迎使用 " + op + " 上网卡升级包";
  t.readingHint = "请阅读下面的许可协议，拉动滚动块看协议的余下部分。";
  t.Memo1 =
      op + " 上网卡升级包许可协议\r\n\r\n"
      "1、本升级包仅用于升级 " + op + " 提供的上网卡固件，请勿用于其他设备。\r\n"
      "2、升级前请备份重要数据。升级程序会保存并恢复上网卡的识别信息和校准数据，"
      "但因断电、拔出上网卡等原因中断升级造成的损失，由用户自行承担。\r\n"
      "3、升级包及其中的固件版权归 " + op + " 所有，未经许可不得复制、修改或传播。\r\n"
      "4、使用本升级包即表示您同意以上全部条款。";
  t.Label1 = "我同意，我接受以上协议的所有条款。";
  t.Label2 = "我不同意，我不接受以上协议的条款。";
  t.Label5 = "操作步骤";
  t.Label6 = "拔出UIM卡-->上网卡插入电脑相应接口-->开始升级";
  t.Label7 = "提醒";
  t.Memo2 = {
      "",
      " 升级上网卡固件版本过程中，请注意以下几点：",
      "",
      " 1、请确保升级前UIM卡已经从网卡中取出；",
      "",
      " 2、请确保升级过程中上网卡已经插入电脑相应接口；",
      "",
      " 3、请确保电脑其他应用程序已经关闭；",
      "",
      " 4、升级过程中，请确保电脑不要关机、休眠、注销切换用户",
      "    或者重启电脑。",
  };
  t.Label8 = "请检查上网卡是否已经插入电脑相应接口！";
  return t;
}

GuideProductTexts ProductTextsFor(int projectType, int variant) {
  auto variantTexts = [](const std::string& product) {
    return GuideProductTexts{product + " ファームウェア更新ツール V1.0", product + " ファームウェア更新",
                             WelcomeBody2(product), LicenceHeaderJa(product, "ファームウェア更新"), SecondNote(product)};
  };
  if (project::IsTitledDataCard(projectType)) {
    return {"UW-D20 アップデートツール V1.1", "UW-D20 データカード ソフトウェアのインストール", "",
              LicenceHeaderJa("UW-D20 データカード", "アップデートツールで更新"), ""};
  }
  if (project::IsTitledMobileDevice(projectType)) {
    return {"UW-D60 アップデートツール V1.1", "UW-D60 データカード ソフトウェアのインストール",
              "本プログラムは UW-D60 データカードのソフトウェアをパソコンにインストールします。"
              "インストールする場合は「次へ」を、インストールせずに終了する場合は「キャンセル」をクリックしてください。",
              LicenceHeaderJa("UW-D60 データカード", "アップデートツールで更新"), ""};
  }
  if (project::HasCustomerVariants(projectType)) {
    if (variant == 1) return {"UW-R31 ホームルーター ファームウェア更新ツール V1.0", "", "", "", ""};
    if (variant == 2) return variantTexts("UW-R32 ホームルーター");
    if (variant == 3) return variantTexts("UW-R33 モバイルルーター");
    return {};
  }
  if (project::IsOperatorProduct(projectType)) return variantTexts("UW-L42 データカード");
  if (project::IsJapaneseRetailProduct(projectType)) return {"UW-S28 ソフトウェアアップデートツール", "", "", "", ""};
  return {};
}

}  // namespace upwend
