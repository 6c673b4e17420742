// The About panel's logo: 200 columns by 42 rows of red, green, blue bytes, row after row with no padding.
// The pixels are generated at build time from panels/logo.ppm (see cmake/Logo.cmake).
#pragma once

namespace ep {

inline constexpr int kLogoWidth = 200, kLogoHeight = 42;

extern const unsigned char logoPixels[kLogoWidth * kLogoHeight * 3];

}  // namespace ep
