// TFormGuide3 and the headless walk of every wizard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/guide/card_guide.h"
#include "app/guide/guide_choice.h"
#include "app/guide/guide_texts.h"
#include "app/guide/guide_walk.h"
#include "app/guide/step_guide.h"
#include "tests/unit/app/support/build_config.h"

namespace upwend {
namespace {

using testing::Build;

TEST(CardGuideTest, InstallGrowsAboutTheCentreAndStartsWithDisagree) {
  CardGuideModel g(Guide3Texts(), nullptr, 1024, 768);
  EXPECT_EQ(g.page(), CardGuidePage::Splash);
  EXPECT_EQ(g.border(), GuideBorder::None);
  EXPECT_EQ(g.bounds().left, 272);
  EXPECT_EQ(g.bounds().top, 259);

  g.SpeedButton_InstallClick();
  EXPECT_EQ(g.page(), CardGuidePage::Licence);
  EXPECT_EQ(g.border(), GuideBorder::Dialog);
  EXPECT_EQ(g.caption(), Guide3Texts().installCaption);
  // (510 - 480) / 2 = 15, (395 - 250) / 2 = 72 (rounded toward zero)
  EXPECT_EQ(g.bounds().left, 257);
  EXPECT_EQ(g.bounds().top, 187);
  EXPECT_EQ(g.bounds().width, 510);
  EXPECT_EQ(g.bounds().height, 395);
  EXPECT_TRUE(g.disagree());
  EXPECT_FALSE(g.agree());
  EXPECT_FALSE(g.nextVisible());
  EXPECT_TRUE(g.nextPictureVisible());

  g.SpeedButton_NextClick();  // only the picture of a disabled Next is there
  EXPECT_EQ(g.page(), CardGuidePage::Licence);
  g.RadioButton_AgreeClick();
  EXPECT_TRUE(g.nextVisible());
  EXPECT_FALSE(g.nextPictureVisible());
  g.RadioButton_DisagreeClick();
  EXPECT_FALSE(g.nextVisible());
  EXPECT_TRUE(g.nextPictureVisible());
  g.RadioButton_AgreeClick();
  g.SpeedButton_NextClick();
  EXPECT_EQ(g.page(), CardGuidePage::Steps);
  EXPECT_EQ(g.caption(), Guide3Texts().firmwareCaption);
  EXPECT_EQ(g.bounds().left, 257) << "Next does not move the window";
}

TEST(CardGuideTest, StartWithoutADeviceShowsTheCardPageWhoseButtonQuits) {
  int scans = 0;
  CardGuideModel g(Guide3Texts(), [&] { return ++scans, false; }, 1024, 768);
  g.SpeedButton_InstallClick();
  g.RadioButton_AgreeClick();
  g.SpeedButton_NextClick();
  g.SpeedButton_StartClick();
  EXPECT_EQ(scans, 1);
  EXPECT_FALSE(g.closed());
  EXPECT_EQ(g.page(), CardGuidePage::CardNotFound);
  // Centred as if 321 x 173: 257 + (510 - 321) / 2, 187 + (395 - 173) / 2
  EXPECT_EQ(g.bounds().left, 351);
  EXPECT_EQ(g.bounds().top, 298);
  EXPECT_EQ(g.bounds().width, 300);
  EXPECT_EQ(g.bounds().height, 165);
  g.SpeedButton1Click();
  EXPECT_TRUE(g.closed());
  EXPECT_EQ(g.modalResult(), kGuideCancel);
}

TEST(CardGuideTest, StartWithADeviceFinishesAndEveryCancelQuitsWithoutAQuestion) {
  CardGuideModel found(Guide3Texts(), [] { return true; }, 800, 600);
  found.SpeedButton_InstallClick();
  found.RadioButton_AgreeClick();
  found.SpeedButton_NextClick();
  found.SpeedButton_StartClick();
  EXPECT_TRUE(found.closed());
  EXPECT_EQ(found.modalResult(), kGuideOk);

  CardGuideModel exit(Guide3Texts(), nullptr, 800, 600);
  exit.SpeedButton_ExitClick();
  EXPECT_EQ(exit.modalResult(), kGuideCancel);
  CardGuideModel cancel(Guide3Texts(), nullptr, 800, 600);
  cancel.SpeedButton_InstallClick();
  cancel.SpeedButton_CancelClick();
  EXPECT_EQ(cancel.modalResult(), kGuideCancel);
  CardGuideModel cancel1(Guide3Texts(), [] { return true; }, 800, 600);
  cancel1.SpeedButton_InstallClick();
  cancel1.RadioButton_AgreeClick();
  cancel1.SpeedButton_NextClick();
  cancel1.SpeedButton_Cancel1Click();
  EXPECT_EQ(cancel1.modalResult(), kGuideCancel);
}

std::vector<std::string> Walk(GuideWizard& wizard, bool finish, int& result) {
  std::vector<std::string> lines;
  result = WalkGuide(wizard, finish, [&](const std::string& line) { lines.push_back(line); });
  return lines;
}

TEST(GuideWalkTest, FinishingPrintsEveryPageAndAcceptsTheLicenceInUse) {
  for (int variant : {1, 3}) {
    auto guide = MakeGuide(GuideKind::Guide2, Build(3, variant), {});
    int result = 0;
    auto lines = Walk(*guide, true, result);
    EXPECT_EQ(result, kGuideOk);
    ASSERT_EQ(lines.size(), 4u);
    // Variant 1 keeps the window's own title; variant 3 names its product.
    EXPECT_EQ(lines[0] == "[guide] " + Guide2Texts().StaticText1, variant == 1) << lines[0];
    EXPECT_EQ(lines[1], "[guide] 使用許諾契約");
    EXPECT_EQ(lines[2], "[guide] 注意事項");
    EXPECT_EQ(lines[3], "[guide] 確認事項");
  }
}

TEST(GuideWalkTest, CancellingAsksAndQuitsFromTheFirstPage) {
  auto guide = MakeGuide(GuideKind::Guide1, Build(19), {});
  int result = 0;
  auto lines = Walk(*guide, false, result);
  EXPECT_EQ(result, kGuideCancel);
  EXPECT_EQ(lines, (std::vector<std::string>{"[guide] Welcome to the Mobile Update Pragram",
                                             "[Exit] Are you sure you want to exit?"}));
  auto notice = MakeGuide(GuideKind::Guide2, Build(28), {});
  lines = Walk(*notice, false, result);
  EXPECT_EQ(result, kGuideCancel);
  EXPECT_EQ(lines.size(), 1u) << "type 28 asks nothing";
}

TEST(GuideWalkTest, CardGuideEndsOnTheCardPageWithoutADevice) {
  GuideEnvironment env;
  env.portCheck = [] { return false; };
  auto guide = MakeGuide(GuideKind::Guide3, Build(41), std::move(env));
  int result = 0;
  auto lines = Walk(*guide, true, result);
  EXPECT_EQ(result, kGuideCancel);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "[guide] 操作步骤");
  EXPECT_EQ(lines[3], "[guide] 请检查上网卡是否已经插入电脑相应接口！");
}

}  // namespace
}  // namespace upwend
