// The drawing scenes that pin the Linux layer's pixels to real GDI's: each
// draws onto a fresh, black canvas with the Win32 calls that modules make.
// platform_goldens draws them with real GDI (the Windows build under Wine) and
// writes golden/<name>.png; the golden test draws them again and compares.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace platform::scenes {

struct Scene {
  std::string name;  // file name of the golden, without ".png"
  int width;
  int height;
  std::function<void(HDC)> draw;
};

const std::vector<Scene>& all();

}  // namespace platform::scenes
