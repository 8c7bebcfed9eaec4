#pragma once
// The frame of a guide window: a dialog border and caption bar around the client area. The
// wizards give outer sizes, so the client area is the size less the frame.
namespace upwend {

constexpr int kGuideFrameWidth = 6;
constexpr int kGuideFrameHeight = 29;

constexpr int GuideClientWidth(int outer) { return outer - kGuideFrameWidth; }
constexpr int GuideClientHeight(int outer) { return outer - kGuideFrameHeight; }

}  // namespace upwend
