// Renders one viewport as an SVG picture: the mesh's points (selected ones highlighted and numbered in
// selection order, so pairs 2i / 2i+1 can be read off), optional mesh edges, and the tool's recorded wire
// drawing.
//
// Views (right-handed screen, +up is up on the picture):
//   Top   looks down -Y: screen right = +X, screen up = +Z.
//   Front looks along +Z: screen right = +X, screen up = +Y.
//   Side  looks along -X: screen right = +Z, screen up = +Y.
//
// Scale: absolute positions (mesh points, moveTo and mode-0 lineTo) are fitted, with one uniform scale, into
// the picture less a margin. Coordinate mode 101 (offsets from the pen, and circle radii) is drawn in a fixed
// screen scale, kRelativePixelsPerUnit pixels per unit whatever the mesh's size: the tool's handle vector of
// length 3 shows as 30 pixels, and its 0.5 circle as a 5-pixel radius. Line style 1 is drawn dashed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "standin/host/wire_recorder.h"

namespace standin {

enum class ViewAxis { Top, Front, Side };

// Parses "top", "front", "side"; false for anything else.
bool parseViewAxis(const std::string &name, ViewAxis &out);
const char *viewAxisName(ViewAxis view);

struct ScenePoint {
  double x = 0, y = 0, z = 0;
  bool selected = false;
};

struct SvgOptions {
  ViewAxis view = ViewAxis::Top;
  int width = 800, height = 600;
  int margin = 60;
  std::string title;  // drawn in the top-left corner when not empty
};

inline constexpr double kRelativePixelsPerUnit = 10.0;

std::string renderSvg(const std::vector<ScenePoint> &points, const std::vector<WireCall> &calls,
                      const SvgOptions &options, const std::vector<std::pair<int, int>> &edges = {});

}  // namespace standin
