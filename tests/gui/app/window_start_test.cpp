// Starting the windowed program with bad input: no display, a broken skin; the headless program
// loading no Qt at all; the Windows font names resolving to the CJK font; the GIF writer.
#include <QFontInfo>
#include <QImageReader>
#include <QBuffer>
#include <QMovie>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/qt/skingen/gif_writer.h"
#include "qt_application.h"
#include "sim_process.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

// The program, with its folders in a fresh home of its own (tests run side by side).
std::string Upwend(const std::string& home = "run") {
  return "env UPWEND_HOME=" + testing::FreshDir(home + "-home") + " " + std::getenv("UPWEND_BUILD_DIR") + "/app/console/upwend";
}

TEST(WindowStartTest, WithoutADisplayItSaysToUseHeadlessAndExitsTwo) {
  std::string out;
  int code = testing::RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 " + Upwend("nodisplay"), out);
  EXPECT_EQ(code, 2) << out;
  EXPECT_NE(out.find("--headless"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

TEST(WindowStartTest, HeadlessLoadsNoQtPluginAndNeedsNoDisplay) {
  std::string out;
  int code = testing::RunCommand(
      "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM QT_DEBUG_PLUGINS=1 timeout 60 " + Upwend("headless") +
          " --headless --print-summary --devices sim:" + testing::FreshDir("nobus"),
      out);
  EXPECT_EQ(code, 0) << out;
  EXPECT_EQ(out.find("qt."), std::string::npos) << out;
  EXPECT_EQ(out.find("plugin"), std::string::npos) << out;
}

// A skin folder with every picture, one of them spoiled by `spoil`.
std::string SkinWith(const std::string& name, const std::string& picture, const std::function<void(const fs::path&)>& spoil) {
  fs::path dir = testing::FreshDir(name);
  fs::copy(std::string(std::getenv("UPWEND_BUILD_DIR")) + "/app/qt/skin", dir, fs::copy_options::recursive);
  spoil(dir / picture);
  return dir.string();
}

TEST(WindowStartTest, AMissingOrCorruptSkinPictureIsAStartUpErrorNamingIt) {
  for (const auto& [what, spoil] : std::vector<std::pair<std::string, std::function<void(const fs::path&)>>>{
           {"missing", [](const fs::path& p) { fs::remove(p); }},
           {"corrupt", [](const fs::path& p) { std::ofstream(p, std::ios::trunc) << "not a picture"; }}}) {
    std::string skin = SkinWith("skin-" + what, "finish_2.jpg", spoil);
    std::string out;
    int code = testing::RunCommand("QT_QPA_PLATFORM=offscreen UPWEND_DIALOG_ANSWER=ok UPWEND_SKIN_DIR=" + skin +
                                       " timeout 30 " + Upwend(what) + " --devices sim:" + testing::FreshDir("bus-" + what),
                                   out);
    EXPECT_EQ(code, 1) << what << ": " << out;
    EXPECT_NE(out.find("finish_2.jpg"), std::string::npos) << what << ": " << out;
  }
}

TEST(WindowStartTest, TheWindowsFontNamesResolveToTheCjkFont) {
  for (const char* family : {"MS PGothic", "MS Gothic", "MS Sans Serif"}) {
    QFontInfo info{QFont(family)};
    EXPECT_TRUE(info.family().startsWith("Noto Sans")) << family << " -> " << info.family().toStdString();
  }
}

TEST(WindowStartTest, TheGifWriterRoundTripsThroughQtBeyondAFullCodeTable) {
  skin::GifAnimation a;
  a.width = 160;
  a.height = 120;
  for (int i = 0; i < 256; ++i) a.palette.push_back(static_cast<uint32_t>(i * 0x010101));
  std::mt19937 random(7);
  for (int f = 0; f < 3; ++f) {
    skin::GifFrame frame;
    // Noise fills the 4096-code table several times over; stripes make long runs.
    for (int i = 0; i < a.width * a.height; ++i)
      frame.pixels.push_back(static_cast<uint8_t>(f == 1 ? (i / 37) % 256 : random() % 256));
    a.frames.push_back(frame);
  }
  std::vector<uint8_t> bytes = skin::EncodeGif(a);
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer, "gif");
  for (int f = 0; f < 3; ++f) {
    QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << "frame " << f << ": " << reader.errorString().toStdString();
    int wrong = 0;
    for (int i = 0; i < a.width * a.height; ++i) {
      int expected = a.frames[static_cast<size_t>(f)].pixels[static_cast<size_t>(i)];
      wrong += qRed(image.pixel(i % a.width, i / a.width)) != expected;
    }
    EXPECT_EQ(wrong, 0) << "frame " << f;
  }
}

TEST(WindowStartTest, TheBusyAnimationIsAnAnimatedGif) {
  QMovie movie(QString::fromStdString(std::string(std::getenv("UPWEND_BUILD_DIR")) + "/app/qt/skin/busy.gif"));
  ASSERT_TRUE(movie.isValid());
  EXPECT_EQ(movie.frameCount(), 12);
  movie.jumpToFrame(0);
  EXPECT_EQ(movie.currentImage().size(), QSize(24, 24));
}

}  // namespace
}  // namespace upwend
