#include "app/shell/about_content.h"

#include "app/config/configuration.h"
#include "app/shell/variant_texts.h"
#include "engine/worker/project_rules.h"

namespace upwend {

namespace {

void Japanese(LabelState& label, const std::string& text) {
  label.text = text;
  label.fontName = kJapaneseFont;
  label.charset = kShiftJisCharset;
  label.pointSize = 10;
}

std::string FromFirstV(const std::string& title) {
  size_t v = title.find('V');
  return v == std::string::npos ? std::string() : title.substr(v);
}

void ByProjectType(AboutContent& a, const ProductConfig& c, const AboutInputs& in) {
  const int pt = c.projectType;
  if (project::IsTitledBuild(pt)) {
    a.Label_title.visible = false;
    if (in.applicationTitle.find('V') != std::string::npos) {
      a.Label_Version.text = FromFirstV(in.applicationTitle);
      a.Label_Version.visible = true;
    }
    a.DescriptionLabel.visible = false;
    a.Label2.text = kMakerCopyrightLine;
    a.SettingLable.visible = false;
  } else if (project::IsOperatorBuild(pt, c.VariantSet())) {
    a.Label_title.visible = false;
    a.Label_Version.text = FromFirstV(in.applicationTitle);
    a.Label_ablout_title_japannese.text = kVariantAboutHeading;
    a.Label_ablout_title_japannese.visible = true;
    a.Label_Version_japanese.text = kVariantAboutVersion;
    a.Label_Version_japanese.visible = true;
    a.DescriptionLabel.visible = false;
    a.Label2.visible = false;
    a.Label5.text = kMakerCopyrightLine;
    a.Label5.visible = true;
    a.SettingLable.visible = false;
    a.DateLabel.visible = false;
  } else {
    a.Label_title.visible = true;
    a.DescriptionLabel.visible = true;
    a.Label_Version.visible = false;
  }
}

void FinalTouches(AboutContent& a, const ProductConfig& c, const AboutInputs& in) {
  const int pt = c.projectType;
  if (project::UsesJapaneseLayout(pt)) {
    const bool retail = project::IsJapaneseRetailProduct(pt);
    Japanese(a.Label_title, "バージョン情報");
    Japanese(a.DescriptionLabel, retail ? VariantProductTitle(c) : in.mainTitleLabel);
    Japanese(a.Label2, kCustomerCopyrightLine);
    Japanese(a.DateLabel, retail ? "Version 2.0.0(3.0.1)" : "Version 1.0.0");
    if (retail) {
      Japanese(a.SettingLable, "Win Utility(2.1.0)");
      Japanese(a.SettingLable1, "Mac Utility(2.0.0)");
      a.SettingLable1.visible = true;
    } else {
      a.SettingLable.visible = false;
    }
  } else if (!c.aboutDescription.empty()) {
    a.DescriptionLabel.text = c.aboutDescription;
    a.Label2.text = c.aboutCopyright;
    a.DateLabel.text = c.aboutVersion;
    a.SettingLable.visible = false;
  } else if (c.language == "Japanese") {
    Japanese(a.Label_title, "アップデートツールについて");
    Japanese(a.DescriptionLabel, "アップデートツールについて");
    Japanese(a.Label2, kShortCopyrightMark);
    Japanese(a.DateLabel, kJapaneseToolTitle);
    a.SettingLable.visible = false;
  }
}

}  // namespace

void ApplyAboutShow(AboutContent& a, const ProductConfig& c, const AboutInputs& in) {
  a.DescriptionLabel.text = in.caption;
  a.SettingLable.text = in.settings;
  ByProjectType(a, c, in);
  FinalTouches(a, c, in);
}

}  // namespace upwend
