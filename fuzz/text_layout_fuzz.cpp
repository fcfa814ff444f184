// Text layout and scaled pictures on the memory canvas with arbitrary
// arguments: texts come from language packs and documents, boxes and
// destinations from layouts that may be degenerate. Besides running clean
// under the sanitizers:
//  a. the words of the splitter, joined, are the text without its blanks
//     (every character above U+0020, in order);
//  b. laying the same text out twice gives the same size;
//  c. a line drawn in a box starts at most one pixel left of the box (the
//     right alignment's gap) and ends inside it.
//
// Input: 2 bytes width, 2 bytes x, 1 byte alignment, 1 byte spacing in
// tenths, 2 bytes each of destination width and height and picture size,
// then the text as UTF-16LE units.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gui/mem_canvas.h"

namespace {

int16_t S16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHead = 12;
  if (size < kHead) return 0;
  const int32_t width = S16(data) % 400, x = S16(data + 2) % 100;
  const int32_t alignment = data[4] % 5;
  const double spacing = (data[5] % 30) / 10.0;
  const int32_t destW = S16(data + 6) % 2000, destH = S16(data + 8) % 2000;
  const int32_t pictureSide = 1 + (data[10] % 40), destX = static_cast<int8_t>(data[11]) * 8;

  std::u16string text;
  for (size_t i = kHead; i + 1 < size && text.size() < 2000; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit != 0) text.push_back(unit);
  }

  cMemCanvas canvas(96, 64);

  // a. The splitter keeps every visible character in order.
  tLayoutTokens tokens(512);
  SplitTextForLayout(&canvas, text.c_str(), tokens);
  std::u16string joined, visible;
  for (auto* n = tokens.First(); n != nullptr; n = tLayoutTokens::Next(n))
    if (n->value.kind == sLayoutToken::kWord) joined += n->value.text.text;
  for (char16_t c : text)
    if (c > 0x20) visible.push_back(c);
  if (joined != visible) std::abort();

  // b. Layout is a function of its arguments.
  sSize first{-1, -1}, second{-2, -2};
  const bool ok1 = canvas.DrawTextWrapped(x, 3, width, 40, alignment, text.c_str(), &first, data[4] & 8, spacing);
  const bool ok2 = canvas.DrawTextWrapped(x, 3, width, 40, alignment, text.c_str(), &second, false, spacing);
  if (ok1 != ok2 || (ok1 && !(first == second))) std::abort();

  // c. One line in a box.
  int32_t drawn = -1;
  const int32_t left = data[5] % 8, right = data[4] % 8;
  const int32_t at = canvas.DrawTextLine(x, 0, width, 20, alignment, false, left, right, text.c_str(), -1, &drawn,
                                         true);
  if (at != -1 && (at < x - 1 || at + drawn > x + width)) std::abort();

  // Scaled pictures at any destination, degenerate ones included.
  cPicture picture;
  picture.Fill(0x80FF8040u, pictureSide, pictureSide + 1);
  canvas.DrawPictureScaled({&picture, destW, destH, destX, S16(data + 2) % 200, data[4] & 1});
  const sPoint point{destX, destX / 2};
  const sSize blendSize{destW % 300, destH % 300};
  canvas.DrawPictureBlended(&point, &picture, &blendSize);
  return 0;
}
