// The small value records that canvases and elements pass around. Values
// are logical pixels, signed 32-bit.
#pragma once

#include <cstdint>

// {x, y, width, height}: the form of every rectangle except invalidation.
struct sRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const sRect&) const = default;
};

// {left, top, right, bottom}, right and bottom exclusive: the form that
// invalidation and the window host take.
struct sEdges {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const sEdges&) const = default;
};

struct sPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const sPoint&) const = default;
};

struct sSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const sSize&) const = default;
};
