// Pixel math of the tooltip's picture: the soft shadow and the blend with the screen behind.
// Pixels are 32-bit 0x00RRGGBB words, rows top-down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tooltip {

// The grey the shadow multiplies with: 255 * (100 - darkness) / 100, darkness capped at 100.
uint8_t ShadowGrey(uint32_t darkness);

// Softens a coverage mask (0 outside, 255 inside) with a box of `blurX` x `blurY` pixels;
// values outside the mask count as 0. A size below 2 leaves that direction unchanged.
void BlurMask(std::vector<uint8_t>& mask, int32_t width, int32_t height, int32_t blurX,
              int32_t blurY);

// Darkens each pixel by its coverage: full coverage multiplies it by grey / 255.
void ApplyShadow(uint32_t* pixels, const std::vector<uint8_t>& mask, int32_t width, int32_t height,
                 uint8_t grey);

// out = picture * (100 - t) / 100 + behind * t / 100 per channel (t clamped to 0..100).
void Blend(const uint32_t* picture, const uint32_t* behind, uint32_t* out, size_t count,
           int transparency);

}  // namespace tooltip
