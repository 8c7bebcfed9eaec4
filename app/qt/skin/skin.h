#pragma once
// The skin's pictures, drawn by upwend-skingen at build time and compiled into the program (or
// read from UPWEND_SKIN_DIR when set). On a HiDPI screen the twice-size picture is taken. A
// missing or unreadable picture is a start-up error that names it.
#include <QPixmap>
#include <QString>

#include <stdexcept>
#include <string>

namespace upwend {

class SkinError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The picture `name` ("main_background.jpg"); throws SkinError when it cannot be read.
QPixmap SkinPicture(const QString& name);
// A readable path of the animation `name` ("busy.gif") for QMovie; throws SkinError when it
// cannot be read as an animation.
QString SkinMoviePath(const QString& name);

}  // namespace upwend
