#include "standin/pictures/svg_view.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "standin/host/number_text.h"

namespace standin {

namespace {

struct Plane {
  double u = 0, v = 0;
};

Plane project(ViewAxis view, double x, double y, double z) {
  switch (view) {
    case ViewAxis::Top:
      return {x, z};
    case ViewAxis::Front:
      return {x, y};
    case ViewAxis::Side:
      return {z, y};
  }
  return {x, y};
}

Plane project(ViewAxis view, const std::array<float, 3> &p) { return project(view, p[0], p[1], p[2]); }
Plane projectNow(ViewAxis view, const ScenePoint &p) { return project(view, p.x, p.y, p.z); }
Plane projectBefore(ViewAxis view, const ScenePoint &p) {
  return p.moved ? project(view, p.fromX, p.fromY, p.fromZ) : projectNow(view, p);
}

bool finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }
bool finite(Plane p) { return finite(p.u, p.v); }

// Screen coordinates with two decimals.
std::string num(double v) { return formatFixed(v, 2); }

std::string escaped(const std::string &text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool absolute(const WireCall &c) {
  return c.op == WireOp::MoveTo ||
         ((c.op == WireOp::LineTo || c.op == WireOp::Spline) && c.mode != LWCSYS_RELATIVE);
}

// The screen's right and up axes of a view, for the title.
const char *axesOf(ViewAxis view) {
  switch (view) {
    case ViewAxis::Top:
      return "x right, z up";
    case ViewAxis::Front:
      return "x right, y up";
    case ViewAxis::Side:
      return "z right, y up";
  }
  return "";
}

}  // namespace

bool parseViewAxis(const std::string &name, ViewAxis &out) {
  if (name == "top")
    out = ViewAxis::Top;
  else if (name == "front")
    out = ViewAxis::Front;
  else if (name == "side")
    out = ViewAxis::Side;
  else
    return false;
  return true;
}

const char *viewAxisName(ViewAxis view) {
  switch (view) {
    case ViewAxis::Top:
      return "top";
    case ViewAxis::Front:
      return "front";
    case ViewAxis::Side:
      return "side";
  }
  return "?";
}

bool parseViewZoom(const std::string &name, ViewZoom &out) {
  if (name == "mesh")
    out = ViewZoom::Mesh;
  else if (name == "selection")
    out = ViewZoom::Selection;
  else
    return false;
  return true;
}

const char *viewZoomName(ViewZoom zoom) { return zoom == ViewZoom::Selection ? "selection" : "mesh"; }

void ViewFrame::include(double u, double v) {
  if (!finite(u, v)) return;
  minU = std::min(minU, u), maxU = std::max(maxU, u);
  minV = std::min(minV, v), maxV = std::max(maxV, v);
}

void ViewFrame::include(const ViewFrame &other) {
  if (other.empty()) return;
  include(other.minU, other.minV);
  include(other.maxU, other.maxV);
}

ViewFrame frameOf(const std::vector<ScenePoint> &points, const std::vector<WireCall> &calls,
                  const SvgOptions &options) {
  ViewFrame frame;
  auto includePoint = [&](const ScenePoint &p) {
    const Plane now = projectNow(options.view, p), before = projectBefore(options.view, p);
    frame.include(now.u, now.v);
    frame.include(before.u, before.v);
  };
  if (options.zoom == ViewZoom::Selection) {
    for (const ScenePoint &p : points)
      if (p.selected) includePoint(p);
    if (!frame.empty()) return frame;
  }
  for (const ScenePoint &p : points) includePoint(p);
  for (const WireCall &c : calls) {
    if (!absolute(c)) continue;
    const Plane p = project(options.view, c.point);
    frame.include(p.u, p.v);
  }
  return frame;
}

namespace {

// Where the model's absolute geometry lands in the picture: one uniform scale
// about the centre of the frame.
struct ViewFit {
  ViewAxis view = ViewAxis::Top;
  double width = 0, height = 0;
  double scale = 50.0;  // pixels per unit when the frame is a single spot
  double centreU = 0, centreV = 0;

  Plane screen(Plane p) const {
    return {width / 2 + (p.u - centreU) * scale, height / 2 - (p.v - centreV) * scale};
  }
  Plane screen(double x, double y, double z) const { return screen(project(view, x, y, z)); }
};

ViewFit fitView(const ViewFrame &givenFrame, const SvgOptions &options) {
  ViewFit fit;
  fit.view = options.view;
  fit.width = std::max(options.width, 1);
  fit.height = std::max(options.height, 1);
  const double margin = std::clamp<double>(options.margin, 0, std::min(fit.width, fit.height) / 2 - 1);
  ViewFrame frame = givenFrame;
  if (frame.empty()) frame.include(0, 0);
  const double spanU = frame.maxU - frame.minU, spanV = frame.maxV - frame.minV;
  const double roomU = fit.width - 2 * margin, roomV = fit.height - 2 * margin;
  if (spanU > 1e-12 || spanV > 1e-12) {
    fit.scale = std::min(spanU > 1e-12 ? roomU / spanU : INFINITY, spanV > 1e-12 ? roomV / spanV : INFINITY);
  }
  fit.centreU = (frame.minU + frame.maxU) / 2, fit.centreV = (frame.minV + frame.maxV) / 2;
  return fit;
}

std::string line(const char *cssClass, Plane from, Plane to) {
  return std::string("<line class=\"") + cssClass + "\" x1=\"" + num(from.u) + "\" y1=\"" + num(from.v) +
         "\" x2=\"" + num(to.u) + "\" y2=\"" + num(to.v) + "\"/>\n";
}

std::string circle(const char *cssClass, Plane centre, const std::string &radius) {
  return std::string("<circle class=\"") + cssClass + "\" cx=\"" + num(centre.u) + "\" cy=\"" +
         num(centre.v) + "\" r=\"" + radius + "\"/>\n";
}

std::string square(const char *cssClass, Plane centre, double half) {
  return std::string("<rect class=\"") + cssClass + "\" x=\"" + num(centre.u - half) + "\" y=\"" +
         num(centre.v - half) + "\" width=\"" + num(2 * half) + "\" height=\"" + num(2 * half) + "\"/>\n";
}

std::string text(const char *cssClass, Plane at, const std::string &content) {
  return std::string("<text class=\"") + cssClass + "\" x=\"" + num(at.u) + "\" y=\"" + num(at.v) + "\">" +
         escaped(content) + "</text>\n";
}

// What a picture drew, for its legend.
struct Drawn {
  bool edges = false, ghosts = false, points = false, selected = false;
  bool wire = false, dashed = false, handles = false, anchors = false;
  // Layers drawn as density, where there were too many to draw one by one.
  bool edgeDensity = false, ghostDensity = false, pointDensity = false, selectedDensity = false;
  bool wireDensity = false, handleDensity = false;
  bool density() const {
    return edgeDensity || ghostDensity || pointDensity || selectedDensity || wireDensity || handleDensity;
  }
};

// The most points (of one kind: unselected, selected, ghosts, handle ends)
// and lines (mesh edges, ghost edges, the tool's lines) a picture draws one
// by one within its view; past that many, that kind is drawn as a density
// layer. A picture of any mesh so stays a few megabytes at most.
constexpr std::size_t kMostPoints = 4000;
constexpr std::size_t kMostLines = 8000;
// How far outside the view something may be and still show (a circle's
// radius, a square's half side).
constexpr double kReach = 8;

// How many things fall on each spot of the view: squares of kCell pixels,
// each drawn in one of six shades by a doubling scale of its count (1, 2-3,
// 4-7, ... 32 or more), so that one picture's shades compare with another's.
class DensityLayer {
 public:
  DensityLayer(double width, double height)
      : columns_(static_cast<std::size_t>(std::ceil(width / kCell))),
        rows_(static_cast<std::size_t>(std::ceil(height / kCell))),
        counts_(columns_ * rows_, 0) {}

  void add(Plane s) {
    if (!finite(s) || s.u < 0 || s.v < 0) return;
    const auto column = static_cast<std::size_t>(s.u / kCell), row = static_cast<std::size_t>(s.v / kCell);
    if (column < columns_ && row < rows_) ++counts_[row * columns_ + column];
  }

  // Every cell the line crosses, once, sampled at half cells.
  void addLine(Plane from, Plane to) {
    if (!clip(from, to)) return;
    const double length = std::hypot(to.u - from.u, to.v - from.v);
    const auto steps = static_cast<std::size_t>(std::ceil(length / (kCell / 2)));
    std::size_t last = counts_.size();
    for (std::size_t i = 0; i <= steps; ++i) {
      const double t = steps == 0 ? 0 : static_cast<double>(i) / static_cast<double>(steps);
      const Plane s{from.u + (to.u - from.u) * t, from.v + (to.v - from.v) * t};
      const auto column = std::min(columns_ - 1, static_cast<std::size_t>(std::max(0.0, s.u) / kCell));
      const auto row = std::min(rows_ - 1, static_cast<std::size_t>(std::max(0.0, s.v) / kCell));
      const std::size_t cell = row * columns_ + column;
      if (cell != last) ++counts_[cell];
      last = cell;
    }
  }

  // One path a shade, each row's runs of cells of that shade in it.
  std::string svg(const char *kind) const {
    std::string paths[kShades];
    for (std::size_t row = 0; row < rows_; ++row) {
      for (std::size_t column = 0; column < columns_;) {
        const int shade = shadeOf(counts_[row * columns_ + column]);
        std::size_t end = column + 1;
        while (end < columns_ && shadeOf(counts_[row * columns_ + end]) == shade) ++end;
        if (shade > 0) {
          paths[shade - 1] +=
              "M" + std::to_string(column * kCellPixels) + " " + std::to_string(row * kCellPixels) + "h" +
              std::to_string((end - column) * kCellPixels) + "v" + std::to_string(kCellPixels) + "h-" +
              std::to_string((end - column) * kCellPixels) + "z";
        }
        column = end;
      }
    }
    std::string out;
    for (int shade = 1; shade <= kShades; ++shade) {
      if (paths[shade - 1].empty()) continue;
      out += std::string("<path class=\"density ") + kind + " shade" + std::to_string(shade) + "\" d=\"" +
             paths[shade - 1] + "\"/>\n";
    }
    return out;
  }

  static constexpr int kShades = 6;

 private:
  static constexpr std::size_t kCellPixels = 4;
  static constexpr double kCell = static_cast<double>(kCellPixels);

  static int shadeOf(std::uint32_t count) {
    int shade = 0;
    for (; count > 0 && shade < kShades; count >>= 1) ++shade;
    return shade;
  }

  // Cuts the line to the view (Liang-Barsky); false when it misses it.
  bool clip(Plane &from, Plane &to) const {
    if (!finite(from) || !finite(to)) return false;
    const double du = to.u - from.u, dv = to.v - from.v;
    double t0 = 0, t1 = 1;
    const double p[4] = {-du, du, -dv, dv};
    const double q[4] = {from.u, static_cast<double>(columns_) * kCell - from.u, from.v,
                         static_cast<double>(rows_) * kCell - from.v};
    for (int i = 0; i < 4; ++i) {
      if (p[i] == 0) {
        if (q[i] < 0) return false;
        continue;
      }
      const double t = q[i] / p[i];
      if (p[i] < 0) t0 = std::max(t0, t);
      if (p[i] > 0) t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
    const Plane start = from;
    from = {start.u + du * t0, start.v + dv * t0};
    to = {start.u + du * t1, start.v + dv * t1};
    return true;
  }

  std::size_t columns_, rows_;
  std::vector<std::uint32_t> counts_;
};

struct Canvas {
  const ViewFit &fit;
  std::string body;
  Drawn drawn;
  bool labels = true;  // the selected points are drawn one by one, so they can be labelled

  bool inView(Plane s) const {
    return finite(s) && s.u >= -kReach && s.u <= fit.width + kReach && s.v >= -kReach &&
           s.v <= fit.height + kReach;
  }
  // Whether a line may cross the view (its box overlaps it).
  bool inView(Plane a, Plane b) const {
    return finite(a) && finite(b) && std::max(a.u, b.u) >= -kReach &&
           std::min(a.u, b.u) <= fit.width + kReach && std::max(a.v, b.v) >= -kReach &&
           std::min(a.v, b.v) <= fit.height + kReach;
  }
  DensityLayer density() const { return DensityLayer(fit.width, fit.height); }
};

// The edges between points both valid, with their ends on the screen.
template <typename Visit>
void forEachEdge(const Canvas &canvas, const std::vector<ScenePoint> &points,
                 const std::vector<std::pair<int, int>> &edges, bool before, Visit &&visit) {
  const ViewFit &fit = canvas.fit;
  for (const auto &[a, b] : edges) {
    if (a < 0 || b < 0 || static_cast<std::size_t>(a) >= points.size() ||
        static_cast<std::size_t>(b) >= points.size())
      continue;
    const ScenePoint &pa = points[static_cast<std::size_t>(a)], &pb = points[static_cast<std::size_t>(b)];
    if (before && !pa.moved && !pb.moved) continue;
    const Plane from = fit.screen(before ? projectBefore(fit.view, pa) : projectNow(fit.view, pa));
    const Plane to = fit.screen(before ? projectBefore(fit.view, pb) : projectNow(fit.view, pb));
    if (canvas.inView(from, to)) visit(from, to);
  }
}

// Lines drawn one by one with `cssClass`, or as a density layer of `kind`
// past kMostLines of them. Returns whether they were a density layer.
template <typename ForEach>
bool drawLines(Canvas &canvas, const char *cssClass, const char *kind, ForEach &&forEach) {
  std::size_t count = 0;
  forEach([&](Plane, Plane) { ++count; });
  if (count <= kMostLines) {
    forEach([&](Plane from, Plane to) { canvas.body += line(cssClass, from, to); });
    return false;
  }
  DensityLayer layer = canvas.density();
  forEach([&](Plane from, Plane to) { layer.addLine(from, to); });
  canvas.body += layer.svg(kind);
  return true;
}

// Points drawn one by one, or as a density layer past kMostPoints of them.
template <typename ForEach, typename Draw>
bool drawDots(Canvas &canvas, const char *kind, ForEach &&forEach, Draw &&draw) {
  std::size_t count = 0;
  forEach([&](Plane) { ++count; });
  if (count <= kMostPoints) {
    forEach(draw);
    return false;
  }
  DensityLayer layer = canvas.density();
  forEach([&](Plane s) { layer.add(s); });
  canvas.body += layer.svg(kind);
  return true;
}

// Where moved points were: their edges (an edge with a moved end) and the points themselves, faintly.
void drawGhosts(Canvas &canvas, const std::vector<ScenePoint> &points,
                const std::vector<std::pair<int, int>> &edges) {
  const bool edgeDensity = drawLines(canvas, "ghost-edge", "ghost",
                                     [&](auto &&visit) { forEachEdge(canvas, points, edges, true, visit); });
  const auto forEachGhost = [&](auto &&visit) {
    for (const ScenePoint &p : points) {
      const Plane s = canvas.fit.screen(projectBefore(canvas.fit.view, p));
      if (p.moved && canvas.inView(s)) visit(s);
    }
  };
  bool any = false;
  const bool dotDensity = drawDots(canvas, "ghost", forEachGhost, [&](Plane s) {
    canvas.body += circle("ghost", s, "3.5");
    any = true;
  });
  canvas.drawn.ghosts = any;
  canvas.drawn.ghostDensity = edgeDensity || dotDensity;
}

void drawEdges(Canvas &canvas, const std::vector<ScenePoint> &points,
               const std::vector<std::pair<int, int>> &edges) {
  bool any = false;
  const bool density = drawLines(canvas, "edge", "edge", [&](auto &&visit) {
    forEachEdge(canvas, points, edges, false, [&](Plane from, Plane to) {
      any = true;
      visit(from, to);
    });
  });
  (density ? canvas.drawn.edgeDensity : canvas.drawn.edges) = any;
}

// The unselected points first, so that one that coincides with a selected
// point in the view does not hide it; each group in mesh order.
void drawPoints(Canvas &canvas, const std::vector<ScenePoint> &points) {
  for (const bool selected : {false, true}) {
    const auto forEachPoint = [&](auto &&visit) {
      for (const ScenePoint &p : points) {
        const Plane s = canvas.fit.screen(p.x, p.y, p.z);
        if (p.selected == selected && canvas.inView(s)) visit(s);
      }
    };
    bool any = false;
    const bool density = drawDots(canvas, selected ? "selected" : "point", forEachPoint, [&](Plane s) {
      canvas.body += selected ? circle("selected", s, "3") : circle("point", s, "2.5");
      any = true;
    });
    if (selected) {
      canvas.drawn.selected = any;
      canvas.drawn.selectedDensity = density;
      canvas.labels = !density;
    } else {
      canvas.drawn.points = any;
      canvas.drawn.pointDensity = density;
    }
  }
}

// Screen positions compared exactly: the wire drawing hands every end and
// circle centre through the same float position and the same transform.
struct ScreenKey {
  double u, v;
  bool operator==(const ScreenKey &o) const { return u == o.u && v == o.v; }
};
struct ScreenKeyHash {
  std::size_t operator()(const ScreenKey &k) const {
    // + 0.0 makes -0.0 hash as 0.0, which it equals.
    return std::hash<double>()(k.u + 0.0) * 31u + std::hash<double>()(k.v + 0.0);
  }
};
using ScreenSet = std::unordered_set<ScreenKey, ScreenKeyHash>;

// The tool's recorded drawing, walked with a pen in screen coordinates: each
// line (solid or dashed, in model space or relative to the pen) and each
// circle, as it lands on the screen.
struct WireLine {
  Plane from, to;
  bool dashed, relative;
};
template <typename OnLine, typename OnCircle>
void walkWire(const ViewFit &fit, const std::vector<WireCall> &calls, OnLine &&onLine, OnCircle &&onCircle) {
  Plane pen = fit.screen({fit.centreU, fit.centreV});
  bool dashed = false;
  for (const WireCall &c : calls) {
    switch (c.op) {
      case WireOp::MoveTo:
        pen = fit.screen(project(fit.view, c.point));
        dashed = c.mode == LWWIRE_DASH;
        break;
      case WireOp::LineTo:
      case WireOp::Spline: {
        const bool relative = c.mode == LWCSYS_RELATIVE;
        const Plane d = project(fit.view, c.point);
        const Plane to =
            relative ? Plane{pen.u + d.u * kRelativePixelsPerUnit, pen.v - d.v * kRelativePixelsPerUnit}
                     : fit.screen(d);
        if (finite(pen) && finite(to)) onLine(WireLine{pen, to, dashed, relative});
        pen = to;
        break;
      }
      case WireOp::Circle: {
        const double r =
            std::abs(c.radius) * (c.mode == LWCSYS_RELATIVE ? kRelativePixelsPerUnit : fit.scale);
        if (finite(pen) && std::isfinite(r)) onCircle(pen, r, dashed);
        break;
      }
    }
  }
}

// A square on the far end of each solid model-space line drawn from a point
// that has a circle (from a handle end to its anchor end), also where the
// two ends meet in the view (a pair seen end-on).
void drawAnchors(Canvas &canvas, const std::vector<WireCall> &calls) {
  ScreenSet circled;
  walkWire(
      canvas.fit, calls, [](const WireLine &) {},
      [&](Plane pen, double, bool) {
        circled.insert(ScreenKey{pen.u, pen.v});
      });
  std::vector<Plane> anchors;
  ScreenSet marked;
  walkWire(
      canvas.fit, calls,
      [&](const WireLine &l) {
        if (l.dashed || l.relative || circled.count(ScreenKey{l.from.u, l.from.v}) == 0 ||
            !marked.insert(ScreenKey{l.to.u, l.to.v}).second)
          return;
        canvas.drawn.anchors = true;
        if (canvas.inView(l.to)) anchors.push_back(l.to);
      },
      [](Plane, double, bool) {});
  // Past kMostPoints in view the handles' density shows the ends.
  if (anchors.size() > kMostPoints) return;
  for (const Plane &at : anchors) canvas.body += square("anchor", at, 5);
}

// The tool's recorded drawing in its order: lines, and circles on the
// handle ends, one by one or, past kMostLines lines or kMostPoints circles
// in the view, as density layers; then the anchor ends.
void drawWire(Canvas &canvas, const std::vector<WireCall> &calls) {
  const auto circleInView = [&](Plane pen, double r) {
    return canvas.inView(Plane{pen.u - r, pen.v - r}, Plane{pen.u + r, pen.v + r});
  };
  std::size_t lines = 0, circles = 0;
  walkWire(
      canvas.fit, calls, [&](const WireLine &l) { lines += canvas.inView(l.from, l.to) ? 1 : 0; },
      [&](Plane pen, double r, bool) { circles += circleInView(pen, r) ? 1 : 0; });
  std::optional<DensityLayer> lineLayer, circleLayer;
  if (lines > kMostLines) lineLayer.emplace(canvas.density());
  if (circles > kMostPoints) circleLayer.emplace(canvas.density());
  walkWire(
      canvas.fit, calls,
      [&](const WireLine &l) {
        if (!canvas.inView(l.from, l.to)) return;
        if (lineLayer) return lineLayer->addLine(l.from, l.to);
        canvas.body += line(l.dashed ? "wire dashed" : "wire", l.from, l.to);
        (l.dashed ? canvas.drawn.dashed : canvas.drawn.wire) = true;
      },
      [&](Plane pen, double r, bool dashed) {
        if (!circleInView(pen, r)) return;
        if (circleLayer) return circleLayer->add(pen);
        canvas.body += circle(dashed ? "handle dashed" : "handle", pen, num(r));
        canvas.drawn.handles = true;
      });
  if (lineLayer) canvas.body += lineLayer->svg("wire");
  if (circleLayer) canvas.body += circleLayer->svg("handle");
  canvas.drawn.wireDensity = lineLayer.has_value();
  canvas.drawn.handleDensity = circleLayer.has_value();
  drawAnchors(canvas, calls);
}

// Places labels so that none covers another: each is tried beside its point
// in a fixed order of places (up-right, stacked upwards, then down-right,
// stacked downwards, then the same on the left) and takes the first free one.
class LabelLayout {
 public:
  // The baseline's start of a label of `chars` characters for the point at `s`.
  Plane place(Plane s, std::size_t chars) {
    const double width = 6.5 * static_cast<double>(chars) + 2;
    Plane chosen{s.u + kGap, s.v - kGap};
    for (int attempt = 0; attempt < 16; ++attempt) {
      const int row = attempt % 4;
      const bool below = (attempt / 4) % 2 == 1, left = attempt >= 8;
      const Plane at{left ? s.u - kGap - width : s.u + kGap,
                     below ? s.v + kGap + kHeight + row * kHeight : s.v - kGap - row * kHeight};
      if (free(at, width)) {
        chosen = at;
        break;
      }
    }
    occupy(chosen, width);
    return chosen;
  }

 private:
  static constexpr double kGap = 6, kHeight = 12, kCell = 24;
  struct Box {
    double left, top, right, bottom;
  };

  static Box boxAt(Plane at, double width) { return {at.u, at.v - kHeight + 2, at.u + width, at.v + 2}; }
  static std::int64_t cellKey(std::int64_t cu, std::int64_t cv) { return cu * 1000003 + cv; }
  template <typename F>
  static void forCells(const Box &b, F &&f) {
    for (auto cu = static_cast<std::int64_t>(std::floor(b.left / kCell));
         cu <= static_cast<std::int64_t>(std::floor(b.right / kCell)); ++cu)
      for (auto cv = static_cast<std::int64_t>(std::floor(b.top / kCell));
           cv <= static_cast<std::int64_t>(std::floor(b.bottom / kCell)); ++cv)
        f(cellKey(cu, cv));
  }

  bool free(Plane at, double width) const {
    const Box b = boxAt(at, width);
    bool clear = true;
    forCells(b, [&](std::int64_t key) {
      const auto it = cells_.find(key);
      if (it == cells_.end()) return;
      for (const Box &o : it->second)
        if (b.left < o.right && o.left < b.right && b.top < o.bottom && o.top < b.bottom) clear = false;
    });
    return clear;
  }

  void occupy(Plane at, double width) {
    const Box b = boxAt(at, width);
    forCells(b, [&](std::int64_t key) { cells_[key].push_back(b); });
  }

  std::unordered_map<std::int64_t, std::vector<Box>> cells_;
};

constexpr double kOutside = 100;

// Every selected point's mesh index, beside it.
void drawLabels(Canvas &canvas, const std::vector<ScenePoint> &points) {
  if (!canvas.labels) return;  // too many to label
  LabelLayout layout;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const ScenePoint &p = points[i];
    const Plane s = canvas.fit.screen(p.x, p.y, p.z);
    if (!p.selected || !finite(s)) continue;
    // A label outside the view (zoomed to a selection elsewhere) is not drawn.
    if (s.u < -kOutside || s.u > canvas.fit.width + kOutside || s.v < -kOutside ||
        s.v > canvas.fit.height + kOutside)
      continue;
    const std::string label = std::to_string(i);
    canvas.body += text("label", layout.place(s, label.size()), label);
  }
}

// A round length for the scale bar: 1, 2 or 5 times a power of ten, drawn
// between 40 and 160 pixels where the scale allows.
double scaleBarLength(double pixelsPerUnit) {
  if (!(pixelsPerUnit > 0) || !std::isfinite(pixelsPerUnit)) return 0;
  const double power = std::pow(10.0, std::floor(std::log10(60.0 / pixelsPerUnit)));
  for (double step : {1.0, 2.0, 5.0, 10.0})
    if (step * power * pixelsPerUnit >= 40) return step * power;
  return 10 * power;
}

constexpr double kLegendRow = 18, kLegendPad = 12, kLegendColumns = 3;

// A density layer's key: its six shades side by side.
std::string densityKey(const char *kind, Plane at) {
  std::string key;
  for (int shade = 1; shade <= DensityLayer::kShades; ++shade) {
    key += std::string("<path class=\"key density ") + kind + " shade" + std::to_string(shade) + "\" d=\"M" +
           num(at.u + (shade - 1) * 4) + " " + num(at.v - 4) + "h4v8h-4z\"/>\n";
  }
  return key;
}

// The legend below the view: one entry for each kind of thing the picture
// drew, three to a row, then the scale bar.
struct Legend {
  std::string svg;
  double height = 0;
};

Legend drawLegend(const Drawn &drawn, const ViewFit &fit) {
  struct Entry {
    bool shown;
    const char *text;
    std::string (*glyph)(Plane at);
  };
  const Entry entries[] = {
      {drawn.edges, "mesh edge",
       [](Plane a) {
         return line("key edge", {a.u, a.v}, {a.u + 22, a.v});
       }},
      {drawn.points, "point",
       [](Plane a) {
         return circle("key point", {a.u + 11, a.v}, "2.5");
       }},
      {drawn.selected, "selected point, its mesh index",
       [](Plane a) {
         return circle("key selected", {a.u + 11, a.v}, "3");
       }},
      {drawn.wire, "pair line (the tool's overlay)",
       [](Plane a) {
         return line("key wire", {a.u, a.v}, {a.u + 22, a.v});
       }},
      {drawn.dashed, "end marks along the pair",
       [](Plane a) {
         return line("key wire dashed", {a.u, a.v}, {a.u + 22, a.v});
       }},
      {drawn.handles, "handle end: the end you drag",
       [](Plane a) {
         return circle("key handle", {a.u + 11, a.v}, "5.00");
       }},
      {drawn.anchors, "anchor end: the other end",
       [](Plane a) {
         return square("key anchor", {a.u + 11, a.v}, 5);
       }},
      {drawn.ghosts, "ghost: where the file has it",
       [](Plane a) {
         return line("key ghost-edge", {a.u, a.v}, {a.u + 22, a.v}) +
                circle("key ghost", {a.u + 11, a.v}, "3.5");
       }},
      {drawn.edgeDensity, "mesh edges, darker where more", [](Plane a) { return densityKey("edge", a); }},
      {drawn.pointDensity, "points, darker where more", [](Plane a) { return densityKey("point", a); }},
      {drawn.selectedDensity, "selected points, by density",
       [](Plane a) { return densityKey("selected", a); }},
      {drawn.wireDensity, "the tool's lines, by density", [](Plane a) { return densityKey("wire", a); }},
      {drawn.handleDensity, "handle ends, by density", [](Plane a) { return densityKey("handle", a); }},
      {drawn.ghostDensity, "ghosts, by density", [](Plane a) { return densityKey("ghost", a); }},
  };
  Legend legend;
  const double top = fit.height, column = (fit.width - 2 * kLegendPad) / kLegendColumns;
  legend.svg = "<g class=\"legend\">\n" + line("key rule", {0, top}, {fit.width, top});
  int shown = 0;
  for (const Entry &e : entries) {
    if (!e.shown) continue;
    const double x = kLegendPad + column * (shown % 3), y = top + 8 + kLegendRow * (shown / 3) + 9;
    legend.svg += e.glyph({x, y}) + text("key", {x + 30, y + 4}, e.text);
    ++shown;
  }
  const double rows = std::ceil(shown / kLegendColumns);
  const double barY = top + 8 + kLegendRow * rows + 9, length = scaleBarLength(fit.scale);
  if (length > 0) {
    const double pixels = length * fit.scale;
    legend.svg += line("key scale", {kLegendPad, barY}, {kLegendPad + pixels, barY});
    legend.svg += line("key scale", {kLegendPad, barY - 4}, {kLegendPad, barY + 4});
    legend.svg += line("key scale", {kLegendPad + pixels, barY - 4}, {kLegendPad + pixels, barY + 4});
    legend.svg += text("key", {kLegendPad + pixels + 8, barY + 4},
                       formatNumber(length) + (length == 1 ? " unit" : " units") + " of the model");
  }
  legend.svg += "</g>\n";
  legend.height = 8 + kLegendRow * (rows + 1) + 6;
  return legend;
}

// Fills of the density layers and their shades: each kind in the colour of
// what it aggregates, each shade a doubling of the count.
constexpr const char *kDensityStyle =
    "  .density.edge { fill: #8a8a8a; }\n"
    "  .density.point { fill: #404040; }\n"
    "  .density.selected, .density.handle { fill: #e07000; }\n"
    "  .density.wire { fill: #1060d0; }\n"
    "  .density.ghost { fill: #7a3fb0; }\n"
    "  .shade1 { fill-opacity: 0.15; } .shade2 { fill-opacity: 0.3; } .shade3 { fill-opacity: 0.45; }\n"
    "  .shade4 { fill-opacity: 0.6; } .shade5 { fill-opacity: 0.8; } .shade6 { fill-opacity: 1; }\n";

std::string header(const ViewFit &fit, double legendHeight, bool density) {
  const double height = fit.height + legendHeight;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(fit.width) + "\" height=\"" +
                    num(height) + "\" viewBox=\"0 0 " + num(fit.width) + " " + num(height) + "\">\n";
  svg +=
      "<style>\n"
      "  .edge { stroke: #9a9a9a; stroke-width: 1; }\n"
      "  .ghost-edge { stroke: #7a3fb0; stroke-width: 1; stroke-dasharray: 3 2; }\n"
      "  .ghost { stroke: #7a3fb0; stroke-width: 1.2; fill: none; }\n"
      "  .wire { stroke: #1060d0; stroke-width: 1.5; fill: none; }\n"
      "  .dashed { stroke-dasharray: 5 3; }\n"
      "  .handle { stroke: #e07000; stroke-width: 2; fill: none; }\n"
      "  .anchor { stroke: #1060d0; stroke-width: 1.5; fill: none; }\n"
      "  .point { fill: #404040; }\n"
      "  .selected { fill: #e07000; }\n"
      "  .rule { stroke: #a0a0a0; stroke-width: 1; }\n"
      "  .scale { stroke: #202020; stroke-width: 1.5; }\n"
      "  text { font-family: sans-serif; font-size: 11px; fill: #202020; }\n"
      "  text.label { paint-order: stroke; stroke: #d8d8d8; stroke-width: 3px; }\n";
  if (density) svg += kDensityStyle;
  svg += "</style>\n";
  svg += "<defs><clipPath id=\"view\"><rect width=\"" + num(fit.width) + "\" height=\"" + num(fit.height) +
         "\"/></clipPath></defs>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#d8d8d8\"/>\n";
  return svg;
}

std::string titleOf(const SvgOptions &options) {
  std::string title = options.title.empty() ? "" : options.title + " - ";
  title += std::string(viewAxisName(options.view)) + " view (" + axesOf(options.view) + ")";
  if (options.zoom == ViewZoom::Selection) title += ", zoomed to the selection";
  return title;
}

}  // namespace

std::string renderSvg(const std::vector<ScenePoint> &points, const std::vector<WireCall> &calls,
                      const SvgOptions &options, const std::vector<std::pair<int, int>> &edges) {
  const ViewFit fit = fitView(options.frame ? *options.frame : frameOf(points, calls, options), options);
  Canvas canvas{fit, {}, {}};
  drawGhosts(canvas, points, edges);
  drawEdges(canvas, points, edges);
  drawPoints(canvas, points);
  drawWire(canvas, calls);
  drawLabels(canvas, points);
  const Legend legend = drawLegend(canvas.drawn, fit);
  std::string svg = header(fit, legend.height, canvas.drawn.density());
  svg += "<g clip-path=\"url(#view)\">\n" + canvas.body + "</g>\n";
  svg += text("title", {8, 16}, titleOf(options));
  svg += legend.svg;
  svg += "</svg>\n";
  return svg;
}

}  // namespace standin
