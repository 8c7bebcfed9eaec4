#pragma once
// What the About box shows: its labels' texts, fonts and visibility for the product's variant,
// worked out from the two texts the main window hands over (caption and settings summary).
#include <string>

#include "app/shell/window_state.h"

namespace upwend {

struct ProductConfig;

inline constexpr const char* kBuildDate = "Oct  8 2019";

struct AboutContent {
  LabelState Label_title{"About", true, true, "Arial", 0, 0, true};
  LabelState Label_ablout_title_japannese{"", false, true, "MS PGothic", 0, 0, true};
  LabelState DescriptionLabel{"", true, true, "Arial"};
  LabelState Label_Version{"", false, true, "MS Gothic", 0, 0, true};
  LabelState Label_Version_japanese{"", false, true, "MS PGothic"};
  LabelState Label2{"Copyright (C) 2019 Upwend Project", true, true, "Arial"};
  LabelState Label5{"", false, true, "MS PGothic"};
  LabelState DateLabel{kBuildDate, true, true, "Arial"};
  LabelState SettingLable{"", true, true, "Arial", 0, 7};
  LabelState SettingLable1{"", false, true, "Arial"};
};

struct AboutInputs {
  std::string caption;           // the main window's Caption value
  std::string settings;          // the settings summary
  std::string applicationTitle;  // the application's title (variants end it with a version)
  std::string mainTitleLabel;    // the main window's title label text
};

// Applies the show-time steps to `content` (the box as it was: visibility set by an earlier show
// stays unless a step changes it).
void ApplyAboutShow(AboutContent& content, const ProductConfig& config, const AboutInputs& inputs);

}  // namespace upwend
