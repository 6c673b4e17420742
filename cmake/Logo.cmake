# Turns the logo image panels/logo.ppm into the C++ array ep::logoPixels at build time. Only CMake runs
# (cmake -P), so the same works in cross builds. Defines EP_LOGO_SOURCE, the generated file to compile.
set(EP_LOGO_IMAGE ${CMAKE_CURRENT_SOURCE_DIR}/panels/logo.ppm)
set(EP_LOGO_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/generated/logo_pixels.cpp)
add_custom_command(
  OUTPUT ${EP_LOGO_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${EP_LOGO_IMAGE} -DOUTPUT=${EP_LOGO_SOURCE}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/EmbedLogo.cmake
  DEPENDS ${EP_LOGO_IMAGE} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/EmbedLogo.cmake
  COMMENT "Embedding the logo from panels/logo.ppm"
  VERBATIM)
