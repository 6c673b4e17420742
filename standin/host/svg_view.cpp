#include "standin/host/svg_view.h"

#include <algorithm>
#include <cmath>

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

bool finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

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

namespace {

// Where the model's absolute geometry lands in the picture: one uniform scale
// about the centre of everything drawn.
struct ViewFit {
  ViewAxis view = ViewAxis::Top;
  double width = 0, height = 0;
  double scale = 50.0;  // pixels per unit when everything sits on one spot
  double centreU = 0, centreV = 0;

  Plane screen(Plane p) const {
    return {width / 2 + (p.u - centreU) * scale, height / 2 - (p.v - centreV) * scale};
  }
  Plane screen(double x, double y, double z) const { return screen(project(view, x, y, z)); }
};

ViewFit fitView(const std::vector<ScenePoint> &points, const std::vector<WireCall> &calls,
                const SvgOptions &options) {
  ViewFit fit;
  fit.view = options.view;
  fit.width = std::max(options.width, 1);
  fit.height = std::max(options.height, 1);
  const double margin = std::clamp<double>(options.margin, 0, std::min(fit.width, fit.height) / 2 - 1);

  double minU = INFINITY, maxU = -INFINITY, minV = INFINITY, maxV = -INFINITY;
  auto include = [&](Plane p) {
    if (!finite(p.u, p.v)) return;
    minU = std::min(minU, p.u), maxU = std::max(maxU, p.u);
    minV = std::min(minV, p.v), maxV = std::max(maxV, p.v);
  };
  for (const ScenePoint &p : points) include(project(fit.view, p.x, p.y, p.z));
  for (const WireCall &c : calls)
    if (absolute(c)) include(project(fit.view, c.point));
  if (minU > maxU) minU = maxU = minV = maxV = 0;
  const double spanU = maxU - minU, spanV = maxV - minV;
  const double roomU = fit.width - 2 * margin, roomV = fit.height - 2 * margin;
  if (spanU > 1e-12 || spanV > 1e-12) {
    fit.scale = std::min(spanU > 1e-12 ? roomU / spanU : INFINITY, spanV > 1e-12 ? roomV / spanV : INFINITY);
  }
  fit.centreU = (minU + maxU) / 2, fit.centreV = (minV + maxV) / 2;
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

std::string header(const ViewFit &fit, const SvgOptions &options) {
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(fit.width) + "\" height=\"" +
                    num(fit.height) + "\" viewBox=\"0 0 " + num(fit.width) + " " + num(fit.height) + "\">\n";
  svg +=
      "<style>\n"
      "  .edge { stroke: #9a9a9a; stroke-width: 1; }\n"
      "  .wire { stroke: #1060d0; stroke-width: 1.5; fill: none; }\n"
      "  .dashed { stroke-dasharray: 5 3; }\n"
      "  .handle { stroke: #e07000; stroke-width: 1.5; fill: none; }\n"
      "  .point { fill: #404040; }\n"
      "  .selected { fill: #e07000; }\n"
      "  text { font-family: sans-serif; font-size: 11px; fill: #202020; }\n"
      "</style>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#d8d8d8\"/>\n";
  svg += "<text x=\"8\" y=\"16\">" + escaped(options.title.empty() ? "" : options.title + " - ") +
         viewAxisName(fit.view) + " view</text>\n";
  return svg;
}

void drawEdges(std::string &svg, const ViewFit &fit, const std::vector<ScenePoint> &points,
               const std::vector<std::pair<int, int>> &edges) {
  for (const auto &[a, b] : edges) {
    if (a < 0 || b < 0 || static_cast<std::size_t>(a) >= points.size() ||
        static_cast<std::size_t>(b) >= points.size())
      continue;
    const ScenePoint &pa = points[static_cast<std::size_t>(a)], &pb = points[static_cast<std::size_t>(b)];
    const Plane from = fit.screen(pa.x, pa.y, pa.z), to = fit.screen(pb.x, pb.y, pb.z);
    if (finite(from.u, from.v) && finite(to.u, to.v)) svg += line("edge", from, to);
  }
}

// Selected points are numbered in selection order, so pairs 2i / 2i+1 can be read off.
void drawPoints(std::string &svg, const ViewFit &fit, const std::vector<ScenePoint> &points) {
  int selectedIndex = 0;
  for (const ScenePoint &p : points) {
    const Plane s = fit.screen(p.x, p.y, p.z);
    if (!finite(s.u, s.v)) continue;
    if (!p.selected) {
      svg += circle("point", s, "3");
      continue;
    }
    svg += circle("selected", s, "4");
    svg += "<text x=\"" + num(s.u + 6) + "\" y=\"" + num(s.v - 6) + "\">" + std::to_string(selectedIndex++) +
           "</text>\n";
  }
}

// The tool's recorded drawing, with a pen in screen coordinates.
void drawWire(std::string &svg, const ViewFit &fit, const std::vector<WireCall> &calls) {
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
        Plane to;
        if (c.mode == LWCSYS_RELATIVE) {
          const Plane d = project(fit.view, c.point);
          to = {pen.u + d.u * kRelativePixelsPerUnit, pen.v - d.v * kRelativePixelsPerUnit};
        } else {
          to = fit.screen(project(fit.view, c.point));
        }
        if (finite(pen.u, pen.v) && finite(to.u, to.v)) svg += line(dashed ? "wire dashed" : "wire", pen, to);
        pen = to;
        break;
      }
      case WireOp::Circle: {
        const double r =
            std::abs(c.radius) * (c.mode == LWCSYS_RELATIVE ? kRelativePixelsPerUnit : fit.scale);
        if (finite(pen.u, pen.v) && std::isfinite(r))
          svg += circle(dashed ? "handle dashed" : "handle", pen, num(r));
        break;
      }
    }
  }
}

}  // namespace

std::string renderSvg(const std::vector<ScenePoint> &points, const std::vector<WireCall> &calls,
                      const SvgOptions &options, const std::vector<std::pair<int, int>> &edges) {
  const ViewFit fit = fitView(points, calls, options);
  std::string svg = header(fit, options);
  drawEdges(svg, fit, points, edges);
  drawPoints(svg, fit, points);
  drawWire(svg, fit, calls);
  svg += "</svg>\n";
  return svg;
}

}  // namespace standin
