#pragma once
// The table of the skin's still pictures: file name (".jpg" for opaque faces, ".png" where
// transparency is needed), size in logical pixels, and how it is drawn.
#include <string>
#include <vector>

#include "paint.h"

namespace upwend::skin {

struct Picture {
  std::string file;
  int width = 0;
  int height = 0;
  Painter paint;
};

void AddMainWindowPictures(std::vector<Picture>& out);
void AddDialogPictures(std::vector<Picture>& out);
void AddGuidePictures(std::vector<Picture>& out);

// The busy animation: `frames` frames of a spinner `size` pixels square, at `scale`.
struct SpinnerFrames {
  int size = 0;
  std::vector<QImage> frames;
};
SpinnerFrames DrawSpinner(int size, int frames, int scale);

}  // namespace upwend::skin
