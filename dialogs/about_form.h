#pragma once
// TVorezUzeAboutForm: the modeless About box. It stays on top, is dragged by its background
// and is hidden (not destroyed) by its close picture; each show re-applies the variant's layout
// to the texts handed over last.
#include <QWidget>

#include "app/shell/about_content.h"

class QLabel;

namespace upwend {

class PictureLabel;
struct ProductConfig;

class TVorezUzeAboutForm : public QWidget {
public:
  explicit TVorezUzeAboutForm(QWidget* parent = nullptr);

  // Stores the texts, applies the show-time layout and shows the box centred on `owner`.
  void ShowAbout(const ProductConfig& config, const AboutInputs& inputs, QWidget* owner);
  const AboutContent& content() const { return content_; }

  PictureLabel* Image1 = nullptr;
  PictureLabel* Image_AboutClose = nullptr;  // shows Image_AboutClose0 or, pressed, Image_AboutClose1

private:
  void Render();

  AboutContent content_;
  QLabel* Label_title = nullptr;
  QLabel* Label_ablout_title_japannese = nullptr;
  QLabel* DescriptionLabel = nullptr;
  QLabel* Label_Version = nullptr;
  QLabel* Label_Version_japanese = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* DateLabel = nullptr;
  QLabel* SettingLable = nullptr;
  QLabel* SettingLable1 = nullptr;
  bool dragging_ = false;
  QPoint dragCursor_;
  QPoint dragWindow_;
};

}  // namespace upwend
