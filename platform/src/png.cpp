// PNG files through the stb single-file libraries, compiled here once.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include "platform/canvas.h"

namespace platform {

namespace {

std::vector<unsigned char> rgb_of(const Canvas& canvas) {
  const std::vector<uint32_t> pixels = canvas.pixels();
  std::vector<unsigned char> rgb(pixels.size() * 3);
  for (size_t i = 0; i < pixels.size(); ++i) {
    rgb[3 * i] = pixels[i] >> 16 & 0xff;
    rgb[3 * i + 1] = pixels[i] >> 8 & 0xff;
    rgb[3 * i + 2] = pixels[i] & 0xff;
  }
  return rgb;
}

void append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  const auto* bytes = static_cast<const unsigned char*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

bool write_png(const std::string& path, const Canvas& canvas) {
  const std::vector<unsigned char> rgb = rgb_of(canvas);
  return stbi_write_png(path.c_str(), canvas.width(), canvas.height(), 3, rgb.data(),
                        canvas.width() * 3) != 0;
}

std::vector<unsigned char> encode_png(const Canvas& canvas) {
  const std::vector<unsigned char> rgb = rgb_of(canvas);
  std::vector<unsigned char> png;
  stbi_write_png_to_func(&append, &png, canvas.width(), canvas.height(), 3, rgb.data(),
                         canvas.width() * 3);
  return png;
}

std::optional<Image> read_png(const std::string& path) {
  int width = 0, height = 0, channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &width, &height, &channels, 3);
  if (!data) return std::nullopt;
  Image image{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
  for (size_t i = 0; i < image.pixels.size(); ++i)
    image.pixels[i] =
        uint32_t{data[3 * i]} << 16 | uint32_t{data[3 * i + 1]} << 8 | data[3 * i + 2];
  stbi_image_free(data);
  return image;
}

}  // namespace platform
