#include "standin/svg_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

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

std::string num(double v) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

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

std::string renderSvg(const std::vector<ScenePoint> &points, const std::vector<WireCall> &calls,
                      const SvgOptions &options, const std::vector<std::pair<int, int>> &edges) {
  const ViewAxis view = options.view;
  const double width = std::max(options.width, 1), height = std::max(options.height, 1);
  const double margin = std::clamp<double>(options.margin, 0, std::min(width, height) / 2 - 1);

  // Fit the absolute geometry.
  double minU = INFINITY, maxU = -INFINITY, minV = INFINITY, maxV = -INFINITY;
  auto include = [&](Plane p) {
    if (!finite(p.u, p.v)) return;
    minU = std::min(minU, p.u), maxU = std::max(maxU, p.u);
    minV = std::min(minV, p.v), maxV = std::max(maxV, p.v);
  };
  for (const ScenePoint &p : points) include(project(view, p.x, p.y, p.z));
  for (const WireCall &c : calls)
    if (absolute(c)) include(project(view, c.point));
  if (minU > maxU) minU = maxU = minV = maxV = 0;
  const double spanU = maxU - minU, spanV = maxV - minV;
  const double roomU = width - 2 * margin, roomV = height - 2 * margin;
  double scale = 50.0;  // pixels per unit when everything sits on one spot
  if (spanU > 1e-12 || spanV > 1e-12) {
    scale = std::min(spanU > 1e-12 ? roomU / spanU : INFINITY, spanV > 1e-12 ? roomV / spanV : INFINITY);
  }
  const double centreU = (minU + maxU) / 2, centreV = (minV + maxV) / 2;
  auto screen = [&](Plane p) -> Plane {
    return {width / 2 + (p.u - centreU) * scale, height / 2 - (p.v - centreV) * scale};
  };

  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" +
                    num(height) + "\" viewBox=\"0 0 " + num(width) + " " + num(height) + "\">\n";
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
         viewAxisName(view) + " view</text>\n";

  for (const auto &[a, b] : edges) {
    if (a < 0 || b < 0 || static_cast<std::size_t>(a) >= points.size() ||
        static_cast<std::size_t>(b) >= points.size())
      continue;
    const ScenePoint &pa = points[static_cast<std::size_t>(a)], &pb = points[static_cast<std::size_t>(b)];
    const Plane s = screen(project(view, pa.x, pa.y, pa.z)), e = screen(project(view, pb.x, pb.y, pb.z));
    if (!finite(s.u, s.v) || !finite(e.u, e.v)) continue;
    svg += "<line class=\"edge\" x1=\"" + num(s.u) + "\" y1=\"" + num(s.v) + "\" x2=\"" + num(e.u) +
           "\" y2=\"" + num(e.v) + "\"/>\n";
  }

  int selectedIndex = 0;
  for (const ScenePoint &p : points) {
    const Plane s = screen(project(view, p.x, p.y, p.z));
    if (!finite(s.u, s.v)) continue;
    if (p.selected) {
      svg += "<circle class=\"selected\" cx=\"" + num(s.u) + "\" cy=\"" + num(s.v) + "\" r=\"4\"/>\n";
      svg += "<text x=\"" + num(s.u + 6) + "\" y=\"" + num(s.v - 6) + "\">" +
             std::to_string(selectedIndex++) + "</text>\n";
    } else {
      svg += "<circle class=\"point\" cx=\"" + num(s.u) + "\" cy=\"" + num(s.v) + "\" r=\"3\"/>\n";
    }
  }

  // The wire drawing, with a pen in screen coordinates.
  Plane pen = screen({centreU, centreV});
  bool dashed = false;
  for (const WireCall &c : calls) {
    switch (c.op) {
      case WireOp::MoveTo:
        pen = screen(project(view, c.point));
        dashed = c.mode == LWWIRE_DASH;
        break;
      case WireOp::LineTo:
      case WireOp::Spline: {
        Plane to;
        if (c.mode == LWCSYS_RELATIVE) {
          const Plane d = project(view, c.point);
          to = {pen.u + d.u * kRelativePixelsPerUnit, pen.v - d.v * kRelativePixelsPerUnit};
        } else {
          to = screen(project(view, c.point));
        }
        if (finite(pen.u, pen.v) && finite(to.u, to.v)) {
          svg += std::string("<line class=\"wire") + (dashed ? " dashed" : "") + "\" x1=\"" + num(pen.u) +
                 "\" y1=\"" + num(pen.v) + "\" x2=\"" + num(to.u) + "\" y2=\"" + num(to.v) + "\"/>\n";
        }
        pen = to;
        break;
      }
      case WireOp::Circle: {
        const double r = std::abs(c.radius) * (c.mode == LWCSYS_RELATIVE ? kRelativePixelsPerUnit : scale);
        if (finite(pen.u, pen.v) && std::isfinite(r)) {
          svg += std::string("<circle class=\"handle") + (dashed ? " dashed" : "") + "\" cx=\"" + num(pen.u) +
                 "\" cy=\"" + num(pen.v) + "\" r=\"" + num(r) + "\"/>\n";
        }
        break;
      }
    }
  }
  svg += "</svg>\n";
  return svg;
}

bool writeSvg(const std::string &path, const std::string &svg) {
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  out << svg;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace standin
