// TVorezUzeAboutForm: the default layout with the texts handed over, the custom description,
// and dragging by the background.
#include <QApplication>
#include <QLabel>
#include <gtest/gtest.h>

#include "app/config/configuration.h"
#include "app/qt/skin/picture_label.h"
#include "dialogs/about_form.h"
#include "qt_application.h"

namespace upwend {
namespace {

using testing::SendMouse;

QString Text(QWidget& form, const char* name) { return form.findChild<QLabel*>(name)->text(); }
bool Shown(QWidget& form, const char* name) { return !form.findChild<QLabel*>(name)->isHidden(); }

TEST(AboutFormTest, TheDefaultLayoutShowsTheHandedOverTextsAndTheBuildDate) {
  ProductConfig config;
  config.projectType = 1013;
  TVorezUzeAboutForm about;
  about.ShowAbout(config, AboutInputs{"Upwend_QCOMM", ".", "Upwend_QCOMM", "Upwend_QCOMM"}, nullptr);
  EXPECT_EQ(Text(about, "Label_title"), "About");
  EXPECT_EQ(Text(about, "DescriptionLabel"), "Upwend_QCOMM");
  EXPECT_EQ(Text(about, "DateLabel"), "Oct  8 2019");
  EXPECT_EQ(Text(about, "SettingLable"), ".");
  EXPECT_TRUE(Shown(about, "SettingLable"));
  EXPECT_FALSE(Text(about, "Label2").isEmpty());
  // Closing hides it; the next About click shows it again with the texts handed over then.
  SendMouse(about.Image_AboutClose, QEvent::MouseButtonPress);
  SendMouse(about.Image_AboutClose, QEvent::MouseButtonRelease);
  EXPECT_FALSE(about.isVisible());
  about.ShowAbout(config, AboutInputs{"Other", "bBackup", "Other", "Other"}, nullptr);
  EXPECT_TRUE(about.isVisible());
  EXPECT_EQ(Text(about, "DescriptionLabel"), "Other");
}

TEST(AboutFormTest, ACustomDescriptionReplacesCopyrightAndDateEvenWithEmptyValues) {
  ProductConfig config;
  config.projectType = 1013;
  config.aboutDescription = "Firmware update tool";
  TVorezUzeAboutForm about;
  about.ShowAbout(config, AboutInputs{"Upwend_QCOMM", "bBackup", "", ""}, nullptr);
  EXPECT_EQ(Text(about, "DescriptionLabel"), "Firmware update tool");
  EXPECT_EQ(Text(about, "Label2"), "");
  EXPECT_EQ(Text(about, "DateLabel"), "");
  EXPECT_FALSE(Shown(about, "SettingLable"));
}

TEST(AboutFormTest, DraggingMovesByTheCursorsDisplacementAndReleaseEndsIt) {
  ProductConfig config;
  TVorezUzeAboutForm about;
  about.ShowAbout(config, AboutInputs{}, nullptr);
  about.move(200, 150);
  const QPoint start = about.pos();
  SendMouse(about.Image1, QEvent::MouseButtonPress, {10, 10}, {500, 500});
  SendMouse(about.Image1, QEvent::MouseMove, {10, 10}, {900, 430});  // one fast move
  EXPECT_EQ(about.pos(), start + QPoint(400, -70));
  SendMouse(about.Image1, QEvent::MouseButtonRelease, {10, 10}, {900, 430});
  SendMouse(about.Image1, QEvent::MouseMove, {10, 10}, {100, 100});
  EXPECT_EQ(about.pos(), start + QPoint(400, -70));
}

}  // namespace
}  // namespace upwend
