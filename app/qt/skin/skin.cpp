#include "app/qt/skin/skin.h"

#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QMovie>

static void InitSkinResources() { Q_INIT_RESOURCE(skin); }

namespace upwend {

namespace {

QString Folder() {
  QByteArray dir = qgetenv("UPWEND_SKIN_DIR");
  if (!dir.isEmpty()) return QString::fromLocal8Bit(dir) + "/";
  static bool once = (InitSkinResources(), true);
  (void)once;
  return QStringLiteral(":/skin/");
}

int Scale() { return qApp && qApp->devicePixelRatio() > 1.0 ? 2 : 1; }

QString AtScale(const QString& name, int scale) {
  if (scale == 1) return name;
  int dot = name.lastIndexOf('.');
  return name.left(dot) + QStringLiteral("@%1x").arg(scale) + name.mid(dot);
}

[[noreturn]] void Fail(const QString& name, const QString& why) {
  throw SkinError(QStringLiteral("Skin picture %1 cannot be used: %2").arg(name, why).toStdString());
}

}  // namespace

QPixmap SkinPicture(const QString& name) {
  static QHash<QString, QPixmap> cache;
  const int scale = Scale();
  const QString file = AtScale(name, scale);
  auto it = cache.find(file);
  if (it != cache.end()) return *it;
  QImageReader reader(Folder() + file);
  QImage image = reader.read();
  if (image.isNull()) Fail(file, reader.errorString());
  QPixmap pixmap = QPixmap::fromImage(image);
  pixmap.setDevicePixelRatio(scale);
  cache.insert(file, pixmap);
  return pixmap;
}

QString SkinMoviePath(const QString& name) {
  const QString path = Folder() + AtScale(name, Scale());
  QMovie movie(path);
  if (!movie.isValid() || movie.frameCount() < 1) Fail(AtScale(name, Scale()), QStringLiteral("not a readable animation"));
  return path;
}

}  // namespace upwend
