// The step wizards as their buttons and boxes drive them, and which build shows which wizard.
#include <gtest/gtest.h>

#include <vector>

#include "app/guide/guide_choice.h"
#include "app/guide/guide_texts.h"
#include "app/guide/step_guide.h"
#include "tests/unit/app/support/build_config.h"

namespace upwend {
namespace {

using testing::Build;

// A wizard whose quit question is answered by the test and recorded.
struct Guide {
  std::vector<QuitQuestion> asked;
  bool answerYes = false;
  std::unique_ptr<StepGuideModel> model;

  explicit Guide(const ProductConfig& config) {
    GuideEnvironment env;
    env.ask = [this](const QuitQuestion& q) {
      asked.push_back(q);
      return answerYes;
    };
    auto made = MakeGuide(GuideKindFor(config), config, std::move(env));
    model.reset(dynamic_cast<StepGuideModel*>(made.release()));
  }
  StepGuideModel* operator->() { return model.get(); }
};

TEST(StepGuideTest, NextFollowsTheLicenceBoxBothWaysAndTheBoxSurvivesBack) {
  Guide g(Build(19));
  ASSERT_TRUE(g.model);
  EXPECT_EQ(g->page(), StepGuidePage::Welcome);
  EXPECT_FALSE(g->ButtonBack().visible);
  EXPECT_FALSE(g->ButtonFinish().visible);

  g->ButtonNextClick();
  EXPECT_EQ(g->page(), StepGuidePage::Licence);
  EXPECT_EQ(g->step(), 1);
  EXPECT_TRUE(g->ButtonBack().visible);
  EXPECT_FALSE(g->ButtonNext().enabled);
  g->ButtonNextClick();  // disabled: nothing happens
  EXPECT_EQ(g->step(), 1);

  g->CheckBox1Click(true);
  EXPECT_TRUE(g->ButtonNext().enabled);
  g->CheckBox1Click(false);
  EXPECT_FALSE(g->ButtonNext().enabled);
  g->CheckBox1Click(true);

  g->ButtonNextClick();
  EXPECT_EQ(g->page(), StepGuidePage::Notes);
  g->ButtonBackClick();
  EXPECT_EQ(g->page(), StepGuidePage::Licence);
  EXPECT_EQ(g->step(), 1);
  EXPECT_TRUE(g->ButtonNext().enabled) << "the box is still ticked";

  g->ButtonBackClick();
  EXPECT_EQ(g->page(), StepGuidePage::Welcome);
  EXPECT_FALSE(g->ButtonBack().visible);
  g->ButtonNextClick();
  EXPECT_TRUE(g->CheckBox1());
  EXPECT_TRUE(g->ButtonNext().enabled);
}

TEST(StepGuideTest, VariantThreeLicenceIsDecidedByCheckBox2Alone) {
  Guide g(Build(3, 3));
  ASSERT_TRUE(g.model);
  EXPECT_EQ(g->kind(), GuideKind::Guide2);
  g->ButtonNextClick();
  g->CheckBox1Click(true);  // the hidden GroupBox3's box
  EXPECT_FALSE(g->ButtonNext().enabled);
  g->CheckBox2Click(true);
  EXPECT_TRUE(g->ButtonNext().enabled);
  g->ButtonNextClick();
  g->ButtonBackClick();
  EXPECT_TRUE(g->ButtonNext().enabled);
  g->CheckBox2Click(false);
  EXPECT_FALSE(g->ButtonNext().enabled);
  EXPECT_EQ(g->PageTitle(), "使用許諾契約");
}

TEST(StepGuideTest, ConfirmationShowsFinishAndBackRestoresNext) {
  Guide g(Build(2));
  g->ButtonNextClick();
  g->CheckBox1Click(true);
  g->ButtonNextClick();
  g->ButtonNextClick();
  EXPECT_EQ(g->page(), StepGuidePage::Confirmation);
  EXPECT_EQ(g->step(), 3);
  EXPECT_FALSE(g->ButtonNext().visible);
  EXPECT_TRUE(g->ButtonFinish().visible);

  g->ButtonBackClick();
  EXPECT_EQ(g->page(), StepGuidePage::Notes);
  EXPECT_EQ(g->step(), 2);
  EXPECT_TRUE(g->ButtonNext().visible);
  EXPECT_TRUE(g->ButtonNext().enabled);
  EXPECT_FALSE(g->ButtonFinish().visible);

  g->ButtonNextClick();
  g->ButtonFinishClick();
  EXPECT_TRUE(g.model->closed());
  EXPECT_EQ(g.model->modalResult(), kGuideOk);
  EXPECT_TRUE(g.asked.empty());
}

// Cancel and the title-bar close, answered No, leave every wizard where it was; answered Yes,
// the window closes with Cancel after one question only.
TEST(StepGuideTest, QuitQuestionInEveryLanguage) {
  struct Case {
    ProductConfig config;
    const char* text;
    const char* caption;
    bool owned;
  };
  const Case cases[] = {
      {Build(6), "Are you sure you want to exit?", "Exit", true},
      {Build(19), "Are you sure you want to exit?", "Exit", true},
      {Build(42), "Are you sure you want to exit?", "Exit", true},
      {Build(3, 1), "終了してもよろしいでしょうか？", "終了", false},
      {Build(3, 2), "終了してもよろしいでしょうか？", "終了", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config.projectType * 10 + c.config.variant);
    Guide g(c.config);
    g->ButtonNextClick();
    g->ButtonCancelClick();
    g.model->Close();
    ASSERT_EQ(g.asked.size(), 2u);
    EXPECT_EQ(g.asked[0].text, c.text);
    EXPECT_EQ(g.asked[0].caption, c.caption);
    EXPECT_EQ(g.asked[0].ownedByApplication, c.owned);
    EXPECT_FALSE(g->closed());
    EXPECT_FALSE(g->decided());
    EXPECT_EQ(g->page(), StepGuidePage::Licence);
    EXPECT_EQ(g->step(), 1);
    EXPECT_EQ(g->modalResult(), kGuideOpen);

    g.answerYes = true;
    g->ButtonCancelClick();
    EXPECT_TRUE(g->closed());
    EXPECT_EQ(g->modalResult(), kGuideCancel);
    EXPECT_EQ(g.asked.size(), 3u) << "closing after Yes must not ask again";
    g.model->Close();
    EXPECT_EQ(g.asked.size(), 3u);
  }
}

TEST(StepGuideTest, TitleBarCloseAnsweredYesQuits) {
  Guide g(Build(2));
  g.answerYes = true;
  g.model->Close();
  EXPECT_TRUE(g->closed());
  EXPECT_EQ(g->modalResult(), kGuideCancel);
  EXPECT_EQ(g.asked.size(), 1u);
}

TEST(StepGuideTest, ProjectType28IsOneStartNoticeWithOkAndCancelAndNoQuestion) {
  for (bool viaClose : {false, true}) {
    Guide g(Build(28));
    EXPECT_EQ(g->page(), StepGuidePage::StartNotice);
    EXPECT_EQ(g->step(), 0);
    EXPECT_FALSE(g->ButtonNext().visible);
    EXPECT_FALSE(g->ButtonBack().visible);
    EXPECT_TRUE(g->ButtonFinish().visible);
    EXPECT_EQ(g->texts().ButtonFinish, "OK");
    EXPECT_EQ(g->texts().startNotice.size(), 9u);
    g->ButtonBackClick();
    g->ButtonNextClick();
    EXPECT_EQ(g->page(), StepGuidePage::StartNotice);
    if (viaClose) {
      g.model->Close();
    } else {
      g->ButtonCancelClick();
    }
    EXPECT_TRUE(g->closed());
    EXPECT_TRUE(g->decided());
    EXPECT_EQ(g->modalResult(), kGuideCancel);
    EXPECT_TRUE(g.asked.empty());
  }
  Guide ok(Build(28));
  ok->ButtonFinishClick();
  EXPECT_EQ(ok->modalResult(), kGuideOk);
}

TEST(GuideChoiceTest, ProjectTypeChoosesTheWindow) {
  EXPECT_EQ(GuideKindFor(Build(2)), GuideKind::Guide);
  EXPECT_EQ(GuideKindFor(Build(6)), GuideKind::Guide);
  EXPECT_EQ(GuideKindFor(Build(19)), GuideKind::Guide1);
  EXPECT_EQ(GuideKindFor(Build(42)), GuideKind::Guide2);
  EXPECT_EQ(GuideKindFor(Build(28)), GuideKind::Guide2);
  for (int v : {1, 2, 3}) EXPECT_EQ(GuideKindFor(Build(3, v)), GuideKind::Guide2);
  EXPECT_EQ(GuideKindFor(Build(41)), GuideKind::Guide3);
  for (int none : {3, 27, 1013, -1, 0, 20}) EXPECT_EQ(GuideKindFor(Build(none)), GuideKind::None) << none;
  EXPECT_EQ(MakeGuide(GuideKind::None, Build(1013), {}), nullptr);
  EXPECT_EQ(GuideKindNamed("TFormGuide3"), GuideKind::Guide3);
  EXPECT_EQ(GuideKindNamed("TFormGuide4"), GuideKind::None);
}

TEST(GuideChoiceTest, StartUpSetsOnlyTheTextsOfItsBuild) {
  const StepGuideTexts own = Guide2Texts();
  Guide v1(Build(3, 1));
  EXPECT_NE(v1->caption(), kGuideDefaultCaption);
  EXPECT_EQ(v1->texts().StaticText1, own.StaticText1);
  EXPECT_EQ(v1->texts().StaticText5, own.StaticText5);

  Guide v2(Build(3, 2));
  EXPECT_NE(v2->texts().StaticText1, own.StaticText1);
  EXPECT_NE(v2->texts().StaticText7, own.StaticText7);
  EXPECT_NE(v2->texts().StaticText5, own.StaticText5);
  EXPECT_EQ(v2->texts().StaticText19, own.StaticText19) << "GroupBox8's header is the window's own";

  Guide pt2(Build(2));
  EXPECT_EQ(pt2->texts().StaticText2, GuideTexts().StaticText2) << "type 2 keeps the window's welcome body";
  Guide pt6(Build(6));
  EXPECT_NE(pt6->texts().StaticText2, GuideTexts().StaticText2);
  Guide pt19(Build(19));
  EXPECT_EQ(pt19->caption(), "Mobile Upgrade Guide");
  EXPECT_EQ(pt19->texts().licenceText.size(), 21u * 62u);
}

}  // namespace
}  // namespace upwend
