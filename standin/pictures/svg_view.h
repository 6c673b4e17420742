// Renders one viewport as an SVG picture that explains itself: the mesh's edges and points, the selected
// points labelled with their mesh indices, where moved points were before (a ghost), the tool's recorded wire
// drawing, and under the view a legend of what is drawn with a scale bar.
//
// Views (right-handed screen, +up is up on the picture):
//   Top   looks down -Y: screen right = +X, screen up = +Z.
//   Front looks along +Z: screen right = +X, screen up = +Y.
//   Side  looks along -X: screen right = +Z, screen up = +Y.
//
// Scale: the view's frame (by default every point, its ghost and the wire drawing's absolute positions; with
// ViewZoom::Selection the selected points and their ghosts only) is fitted, with one uniform scale, into the
// view less a margin. A caller that renders several pictures to be compared gives them one frame
// (SvgOptions::frame) and so one scale and position. Coordinate mode 101 (offsets from the pen, and circle
// radii) is drawn in a fixed screen scale, kRelativePixelsPerUnit pixels per unit whatever the mesh's size:
// the tool's handle vector of length 3 shows as 30 pixels, and its 0.5 circle as a 5-pixel radius. Line
// style 1 is drawn dashed.
//
// Ends of the pairs: the wire drawing's circles mark handle ends; the far end of a solid line drawn in model
// coordinates from a point with a circle (the tool draws each pair's line from its handle end) is marked
// with a square as an anchor end.
//
// Labels: each selected point is labelled with its index in the mesh. Labels that would cover one another
// (points that coincide in the view, or lie close) are moved apart, stacked beside their point.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "standin/host/wire_recorder.h"

namespace standin {

enum class ViewAxis { Top, Front, Side };
enum class ViewZoom { Mesh, Selection };

// Parses "top", "front", "side"; false for anything else.
bool parseViewAxis(const std::string &name, ViewAxis &out);
const char *viewAxisName(ViewAxis view);
// Parses "mesh", "selection"; false for anything else.
bool parseViewZoom(const std::string &name, ViewZoom &out);
const char *viewZoomName(ViewZoom zoom);

// One mesh point; a picture's points are the mesh's in mesh order, so a
// point's label is its position in the list.
struct ScenePoint {
  double x = 0, y = 0, z = 0;
  bool selected = false;
  bool moved = false;  // it was elsewhere before: the ghost is drawn at (fromX, fromY, fromZ)
  double fromX = 0, fromY = 0, fromZ = 0;
};

// A box in the view's plane, in model units: u to the screen's right, v up.
struct ViewFrame {
  double minU = INFINITY, maxU = -INFINITY, minV = INFINITY, maxV = -INFINITY;

  bool empty() const { return minU > maxU; }
  void include(double u, double v);  // not finite: ignored
  void include(const ViewFrame &other);
};

struct SvgOptions {
  ViewAxis view = ViewAxis::Top;
  int width = 800, height = 600;  // the view; the legend is added below it
  int margin = 60;
  std::string title;  // drawn in the top-left corner when not empty
  ViewZoom zoom = ViewZoom::Mesh;
  // The part of the model to show; none: frameOf() the picture's own content.
  std::optional<ViewFrame> frame = std::nullopt;
};

inline constexpr double kRelativePixelsPerUnit = 10.0;

// What a picture of these points and calls shows with `options` (its view and zoom; `options.frame` is not
// read). With ViewZoom::Selection and no point selected, the whole picture's content.
ViewFrame frameOf(const std::vector<ScenePoint> &points, const std::vector<WireCall> &calls,
                  const SvgOptions &options);

std::string renderSvg(const std::vector<ScenePoint> &points, const std::vector<WireCall> &calls,
                      const SvgOptions &options, const std::vector<std::pair<int, int>> &edges = {});

}  // namespace standin
