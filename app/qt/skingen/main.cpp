// upwend-skingen OUTDIR: draws every picture of the skin into OUTDIR, each at its size and at
// twice its size ("name@2x.ext", for HiDPI screens), the busy animation as a GIF, and skin.qrc
// listing them. The output depends only on this program and the installed fonts.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

#include "gif_writer.h"
#include "pictures.h"

namespace {

using namespace upwend::skin;

std::string AtScale(const std::string& file, int scale) {
  if (scale == 1) return file;
  size_t dot = file.rfind('.');
  return file.substr(0, dot) + "@" + std::to_string(scale) + "x" + file.substr(dot);
}

// The spinner's frames in one palette: index 0 transparent, then the brand colour blended over
// white in 63 steps, since GIF has no partial transparency.
GifAnimation Quantise(const SpinnerFrames& spinner, int scale) {
  GifAnimation a;
  a.width = spinner.size * scale;
  a.height = spinner.size * scale;
  a.transparentZero = true;
  a.delayCentiseconds = 8;
  a.palette.push_back(0xFFFFFF);
  const QColor brand = palette::kBrand;
  constexpr int kSteps = 63;
  for (int i = 1; i <= kSteps; ++i) {
    double t = i / static_cast<double>(kSteps);
    auto mix = [t](int c) { return static_cast<uint32_t>(255 + (c - 255) * t + 0.5); };
    a.palette.push_back(mix(brand.red()) << 16 | mix(brand.green()) << 8 | mix(brand.blue()));
  }
  for (const QImage& img : spinner.frames) {
    GifFrame f;
    for (int y = 0; y < img.height(); ++y) {
      for (int x = 0; x < img.width(); ++x) {
        int alpha = qAlpha(img.pixel(x, y));
        f.pixels.push_back(static_cast<uint8_t>(alpha < 20 ? 0 : std::max(1, alpha * kSteps / 255)));
      }
    }
    a.frames.push_back(std::move(f));
  }
  return a;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: upwend-skingen OUTDIR\n");
    return 2;
  }
  QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(".")) {
    std::fprintf(stderr, "upwend-skingen: cannot create %s\n", argv[1]);
    return 1;
  }
  std::vector<Picture> pictures;
  AddMainWindowPictures(pictures);
  AddDialogPictures(pictures);
  AddGuidePictures(pictures);
  QStringList files;
  for (const Picture& pic : pictures) {
    for (int scale : {1, 2}) {
      QString name = QString::fromStdString(AtScale(pic.file, scale));
      QImage image = Draw(pic.width, pic.height, scale, name.endsWith(".png"), pic.paint);
      // JPEG faces are written at a fixed quality so the output never varies between builds.
      if (!image.save(out.filePath(name), nullptr, name.endsWith(".jpg") ? 92 : -1)) {
        std::fprintf(stderr, "upwend-skingen: cannot write %s\n", qPrintable(out.filePath(name)));
        return 1;
      }
      files << name;
    }
  }
  for (int scale : {1, 2}) {
    std::vector<uint8_t> gif = EncodeGif(Quantise(DrawSpinner(24, 12, scale), scale));
    QString name = QString::fromStdString(AtScale("busy.gif", scale));
    if (!WriteFile(out.filePath(name), QByteArray(reinterpret_cast<const char*>(gif.data()), static_cast<int>(gif.size())))) {
      std::fprintf(stderr, "upwend-skingen: cannot write %s\n", qPrintable(name));
      return 1;
    }
    files << name;
  }
  QByteArray qrc = "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/skin\">\n";
  for (const QString& f : files) qrc += "  <file>" + f.toUtf8() + "</file>\n";
  qrc += "</qresource>\n</RCC>\n";
  if (!WriteFile(out.filePath("skin.qrc"), qrc)) return 1;
  return 0;
}
