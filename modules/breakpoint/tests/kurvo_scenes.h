// The Kurvo panels whose pixels are pinned to real GDI: each scene sets up
// an instance in the stand-in host (pins, panel size, gestures) and paints
// it on a fresh, black canvas. kurvo_goldens draws them through the Windows
// build under Wine (real GDI) into golden/<name>.png (scripts/make-goldens);
// the native scene test draws them through the Linux layer and demands the
// same pixels.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kurvo_fixture.h"

namespace kurvo_test {

struct Scene {
  std::string name;  // file name of the golden, without ".png"
  std::function<void(KurvoHost&)> setup;
};

const std::vector<Scene>& scenes();

// The instance of a scene, set up and ready to paint.
std::unique_ptr<KurvoHost> make_scene(const Scene& scene);

}  // namespace kurvo_test
