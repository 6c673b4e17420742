#include "standin/pictures/svg_view.h"

#include <algorithm>
#include <cstdint>
#include <functional>
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
};

struct Canvas {
  const ViewFit &fit;
  std::string body;
  Drawn drawn;
};

// Where moved points were: their edges (an edge with a moved end) and the points themselves, faintly.
void drawGhosts(Canvas &canvas, const std::vector<ScenePoint> &points,
                const std::vector<std::pair<int, int>> &edges) {
  const ViewFit &fit = canvas.fit;
  auto valid = [&](int i) { return i >= 0 && static_cast<std::size_t>(i) < points.size(); };
  for (const auto &[a, b] : edges) {
    if (!valid(a) || !valid(b)) continue;
    const ScenePoint &pa = points[static_cast<std::size_t>(a)], &pb = points[static_cast<std::size_t>(b)];
    if (!pa.moved && !pb.moved) continue;
    const Plane from = fit.screen(projectBefore(fit.view, pa)), to = fit.screen(projectBefore(fit.view, pb));
    if (finite(from) && finite(to)) canvas.body += line("ghost-edge", from, to);
  }
  for (const ScenePoint &p : points) {
    const Plane s = fit.screen(projectBefore(fit.view, p));
    if (!p.moved || !finite(s)) continue;
    canvas.body += circle("ghost", s, "3.5");
    canvas.drawn.ghosts = true;
  }
}

void drawEdges(Canvas &canvas, const std::vector<ScenePoint> &points,
               const std::vector<std::pair<int, int>> &edges) {
  for (const auto &[a, b] : edges) {
    if (a < 0 || b < 0 || static_cast<std::size_t>(a) >= points.size() ||
        static_cast<std::size_t>(b) >= points.size())
      continue;
    const ScenePoint &pa = points[static_cast<std::size_t>(a)], &pb = points[static_cast<std::size_t>(b)];
    const Plane from = canvas.fit.screen(pa.x, pa.y, pa.z), to = canvas.fit.screen(pb.x, pb.y, pb.z);
    if (!finite(from) || !finite(to)) continue;
    canvas.body += line("edge", from, to);
    canvas.drawn.edges = true;
  }
}

// The unselected points first, so that one that coincides with a selected
// point in the view does not hide it; each group in mesh order.
void drawPoints(Canvas &canvas, const std::vector<ScenePoint> &points) {
  for (const bool selected : {false, true}) {
    for (const ScenePoint &p : points) {
      const Plane s = canvas.fit.screen(p.x, p.y, p.z);
      if (p.selected != selected || !finite(s)) continue;
      canvas.body += selected ? circle("selected", s, "3") : circle("point", s, "2.5");
      (selected ? canvas.drawn.selected : canvas.drawn.points) = true;
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

// The tool's recorded drawing, with a pen in screen coordinates; then a
// square on the far end of each solid model-space line drawn from a point
// that has a circle (from a handle end to its anchor end).
void drawWire(Canvas &canvas, const std::vector<WireCall> &calls) {
  const ViewFit &fit = canvas.fit;
  Plane pen = fit.screen({fit.centreU, fit.centreV});
  bool dashed = false;
  std::vector<std::pair<Plane, Plane>> lines;  // solid, in model space
  ScreenSet circled;
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
        if (finite(pen) && finite(to)) {
          canvas.body += line(dashed ? "wire dashed" : "wire", pen, to);
          (dashed ? canvas.drawn.dashed : canvas.drawn.wire) = true;
          if (!dashed && !relative) lines.emplace_back(pen, to);
        }
        pen = to;
        break;
      }
      case WireOp::Circle: {
        const double r =
            std::abs(c.radius) * (c.mode == LWCSYS_RELATIVE ? kRelativePixelsPerUnit : fit.scale);
        if (!finite(pen) || !std::isfinite(r)) break;
        canvas.body += circle(dashed ? "handle dashed" : "handle", pen, num(r));
        canvas.drawn.handles = true;
        circled.insert(ScreenKey{pen.u, pen.v});
        break;
      }
    }
  }
  ScreenSet marked;
  for (const auto &[from, to] : lines) {
    if (circled.count(ScreenKey{from.u, from.v}) == 0 || (from.u == to.u && from.v == to.v) ||
        !marked.insert(ScreenKey{to.u, to.v}).second)
      continue;
    canvas.body += square("anchor", to, 5);
    canvas.drawn.anchors = true;
  }
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

std::string header(const ViewFit &fit, double legendHeight) {
  const double height = fit.height + legendHeight;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(fit.width) + "\" height=\"" +
                    num(height) + "\" viewBox=\"0 0 " + num(fit.width) + " " + num(height) + "\">\n";
  svg +=
      "<style>\n"
      "  .edge { stroke: #9a9a9a; stroke-width: 1; }\n"
      "  .ghost-edge { stroke: #f8f8f8; stroke-width: 1; stroke-dasharray: 3 2; }\n"
      "  .ghost { stroke: #f8f8f8; stroke-width: 1.2; fill: none; }\n"
      "  .wire { stroke: #1060d0; stroke-width: 1.5; fill: none; }\n"
      "  .dashed { stroke-dasharray: 5 3; }\n"
      "  .handle { stroke: #e07000; stroke-width: 2; fill: none; }\n"
      "  .anchor { stroke: #1060d0; stroke-width: 1.5; fill: none; }\n"
      "  .point { fill: #404040; }\n"
      "  .selected { fill: #e07000; }\n"
      "  .rule { stroke: #a0a0a0; stroke-width: 1; }\n"
      "  .scale { stroke: #202020; stroke-width: 1.5; }\n"
      "  text { font-family: sans-serif; font-size: 11px; fill: #202020; }\n"
      "  text.label { paint-order: stroke; stroke: #d8d8d8; stroke-width: 3px; }\n"
      "</style>\n";
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
  std::string svg = header(fit, legend.height);
  svg += "<g clip-path=\"url(#view)\">\n" + canvas.body + "</g>\n";
  svg += text("title", {8, 16}, titleOf(options));
  svg += legend.svg;
  svg += "</svg>\n";
  return svg;
}

}  // namespace standin
