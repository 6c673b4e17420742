# cmake -DINPUT=logo.ppm -DOUTPUT=logo_pixels.cpp -P EmbedLogo.cmake
#
# Reads a binary PPM (P6) of exactly 200 x 42 pixels with maxval 255 and writes a C++ file defining
# ep::logoPixels (declared in panels/logo.h). Any other image stops the build with a message saying why.
cmake_minimum_required(VERSION 3.25)

set(expected_width 200)
set(expected_height 42)
math(EXPR expected_bytes "${expected_width} * ${expected_height} * 3")

if(NOT EXISTS "${INPUT}")
  message(FATAL_ERROR "logo: ${INPUT} does not exist")
endif()
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR file_bytes "${hex_length} / 2")

# The header: magic, width, height, maxval, separated by whitespace (comments from '#' to the end of the
# line allowed), then exactly one whitespace byte before the pixels.
set(tokens "")
set(token "")
set(in_comment FALSE)
set(pos 0)
list(LENGTH tokens count)
while(count LESS 4)
  if(pos GREATER_EQUAL file_bytes)
    message(FATAL_ERROR "logo: ${INPUT} ends inside its PPM header")
  endif()
  math(EXPR offset "${pos} * 2")
  string(SUBSTRING "${hex}" ${offset} 2 byte)
  math(EXPR pos "${pos} + 1")
  if(in_comment)
    if(byte STREQUAL "0a" OR byte STREQUAL "0d")
      set(in_comment FALSE)
    endif()
    continue()
  endif()
  if(byte MATCHES "^(09|0a|0b|0c|0d|20)$")
    if(NOT token STREQUAL "")
      list(APPEND tokens "${token}")
      set(token "")
      list(LENGTH tokens count)
    endif()
  elseif(byte STREQUAL "23" AND token STREQUAL "")
    set(in_comment TRUE)
  else()
    math(EXPR code "0x${byte}")
    if(code LESS 33 OR code GREATER 126)
      message(FATAL_ERROR "logo: ${INPUT} has a non-text byte (0x${byte}) in its PPM header")
    endif()
    string(ASCII ${code} char)
    string(APPEND token "${char}")
    string(LENGTH "${token}" token_length)
    if(token_length GREATER 16)
      message(FATAL_ERROR "logo: ${INPUT} has a malformed PPM header")
    endif()
  endif()
endwhile()

list(GET tokens 0 magic)
list(GET tokens 1 width)
list(GET tokens 2 height)
list(GET tokens 3 maxval)
if(NOT magic STREQUAL "P6")
  message(FATAL_ERROR "logo: ${INPUT} is not a binary PPM (magic '${magic}', expected 'P6')")
endif()
if(NOT width STREQUAL "${expected_width}" OR NOT height STREQUAL "${expected_height}")
  message(FATAL_ERROR
    "logo: ${INPUT} is ${width} x ${height} pixels; the logo must be ${expected_width} x ${expected_height}")
endif()
if(NOT maxval STREQUAL "255")
  message(FATAL_ERROR "logo: ${INPUT} has maxval ${maxval}; the logo needs 255 (one byte per channel)")
endif()

math(EXPR pixel_bytes "${file_bytes} - ${pos}")
if(NOT pixel_bytes EQUAL expected_bytes)
  message(FATAL_ERROR
    "logo: ${INPUT} holds ${pixel_bytes} bytes of pixels after its header; expected ${expected_bytes}")
endif()

math(EXPR offset "${pos} * 2")
string(SUBSTRING "${hex}" ${offset} -1 pixels)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," pixels "${pixels}")
string(REPEAT "0x..," 20 twenty_bytes)
string(REGEX REPLACE "(${twenty_bytes})" "\\1\n    " pixels "${pixels}")

file(WRITE "${OUTPUT}" "// Generated from panels/logo.ppm by cmake/EmbedLogo.cmake. Do not edit.
#include \"panels/logo.h\"

namespace ep {

const unsigned char logoPixels[kLogoWidth * kLogoHeight * 3] = {
    ${pixels}
};

}  // namespace ep
")
