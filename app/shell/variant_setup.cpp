#include "app/shell/variant_setup.h"

#include "app/config/configuration.h"
#include "app/shell/variant_texts.h"
#include "app/shell/window_state.h"
#include "engine/worker/project_rules.h"

namespace upwend {

namespace {

constexpr const char* kJapaneseWarning2728 =
    "アップデート中は、他のアプリケーションを終了し電源アダプタを接続した状態で絶対にPCをサスペンド又は、シャットダウンしないで"
    "下さい。起動しなくなったり故障になる可能性があります。";
constexpr const char* kJapaneseWarningLayout = "ファームウェア更新中に取り外さないでください。";

LabelState Japanese(const std::string& text, int pointSize = 0, bool wrap = false) {
  return LabelState{text, true, true, kJapaneseFont, kShiftJisCharset, pointSize, false, wrap};
}

}  // namespace

bool UsesStartSetB(const ProductConfig& c) {
  return project::UsesStartSetB(c.projectType, c.VariantSet()) || c.language == "Japanese";
}

void ApplyVariantSetup(WindowState& st, const ProductConfig& c) {
  const int pt = c.projectType;
  st.startSetB = UsesStartSetB(c);
  st.Label12.text = c.caption;
  st.cautions = GuidedCautions();
  if (project::UsesJapaneseLayout(pt)) {
    st.Label_title = Japanese(VariantProductTitle(c));
    st.Label_about1 = Japanese("バ", 10);
    st.Label_about = Japanese("ージョン情報");
    st.Label_warning.visible = false;
    st.Image_warning.visible = false;
    st.Label_warning_japanese = Japanese(kJapaneseWarning2728, 9, true);
    st.startPicturesInView = true;
    st.Label12.text = VariantProductTitle(c);
  } else if (c.language == "Japanese") {
    st.Label_title = Japanese(VariantProductTitle(c));
    st.Label_about1.visible = false;
    st.Label_about = Japanese("アップデートツールについて");
    st.Image_warning.visible = false;
    st.Label_warning = Japanese(kJapaneseWarningLayout, 9, true);
    st.startPicture = StartPicture::Disabled;
    st.Label12.text = VariantProductTitle(c);
  } else if (project::IsTitledBuild(pt)) {
    st.Label_title.visible = false;
    st.Label_about1.visible = false;
    st.Label_about.visible = false;
    st.Label_warning.visible = false;
    st.Image_warning.visible = false;
    st.applicationTitle = VariantProductTitle(c);
    st.Label12.text = st.applicationTitle;
  } else if (project::IsOperatorBuild(pt, c.VariantSet())) {
    st.Label_title.visible = false;
    st.Label_about1.visible = false;
    st.Label_about.visible = false;
    st.Label_about_japanese = Japanese("バージョン情報");
    st.Label_warning_start = Japanese(kWarningStartJapanese, 9, true);
    st.Label_warning_start.visible = false;  // shown while an update runs
    st.Label_warning_end = Japanese(kWarningEndJapanese, 9, true);
    st.Label_warning_end.visible = false;
    st.Label_warning.visible = false;
    st.Image_warning.visible = false;
    st.applicationTitle = VariantProductTitle(c);
    st.Label12.text = st.applicationTitle;
  } else if (project::UsesCompactWindow(pt)) {
    // The compact window shows only the progress panel with its gauge and two notices.
    st.compactLayout = true;
  }
  if (st.applicationTitle.empty()) st.applicationTitle = c.caption;
}

}  // namespace upwend
