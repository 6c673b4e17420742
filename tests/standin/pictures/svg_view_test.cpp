// The viewport: recording the tool's wire drawing and rendering it as SVG.
#include "standin/pictures/svg_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "standin/host/wire_recorder.h"

namespace standin {
namespace {

// The tool's twelve calls for one pair, with the handle end H, anchor end A and handle vector V.
void drawPair(LWWireDrawAccess *a, const LWFVector h, const LWFVector anchor, const LWFVector v) {
  const LWFVector minusV = {0.0f - v[0], 0.0f - v[1], 0.0f - v[2]};
  a->moveTo(a->data, h, 0);
  a->lineTo(a->data, anchor, 0);
  a->moveTo(a->data, h, 1);
  a->lineTo(a->data, v, 101);
  a->moveTo(a->data, h, 1);
  a->lineTo(a->data, minusV, 101);
  a->moveTo(a->data, anchor, 1);
  a->lineTo(a->data, v, 101);
  a->moveTo(a->data, anchor, 1);
  a->lineTo(a->data, minusV, 101);
  a->moveTo(a->data, h, 0);
  a->circle(a->data, 0.5, 101);
}

int count(const std::string &text, const std::string &what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(WireRecorder, RecordsEveryCallExactlyAsReceived) {
  WireRecorder rec;
  LWWireDrawAccess *a = rec.access();
  ASSERT_EQ(a->data, &rec);
  const LWFVector p = {1.1f, -0.0f, 3e-38f};
  a->moveTo(a->data, p, 1);
  a->lineTo(a->data, p, 101);
  a->spline(a->data, p, 0);
  a->circle(a->data, 0.1, 101);
  ASSERT_EQ(rec.calls().size(), 4u);
  EXPECT_EQ(rec.calls()[0].op, WireOp::MoveTo);
  EXPECT_EQ(rec.calls()[0].mode, 1);
  EXPECT_EQ(rec.calls()[1].mode, 101);
  EXPECT_EQ(rec.calls()[2].op, WireOp::Spline);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rec.calls()[static_cast<std::size_t>(i)].point[0], 1.1f);
    EXPECT_TRUE(std::signbit(rec.calls()[static_cast<std::size_t>(i)].point[1]));  // -0.0 kept
    EXPECT_EQ(rec.calls()[static_cast<std::size_t>(i)].point[2], 3e-38f);
  }
  EXPECT_EQ(rec.calls()[3].op, WireOp::Circle);
  EXPECT_EQ(rec.calls()[3].radius, 0.1);
  rec.clear();
  EXPECT_TRUE(rec.calls().empty());
}

TEST(SvgView, PairIsDrawnWithSolidLineDashedMarksAndAHandleCircle) {
  WireRecorder rec;
  const LWFVector h = {2, 0, 0}, anchor = {-2, 0, 0}, v = {3, 0, 0};
  drawPair(rec.access(), h, anchor, v);
  const std::vector<ScenePoint> points = {{2, 0, 0, true}, {-2, 0, 0, true}, {0, 0, 5, false}};
  const std::string svg = renderSvg(points, rec.calls(), {ViewAxis::Top, 800, 600, 60, "pair"});
  EXPECT_EQ(count(svg, "<line class=\"wire\""), 1) << svg;         // the stretch line
  EXPECT_EQ(count(svg, "<line class=\"wire dashed\""), 4) << svg;  // the four mark strokes
  EXPECT_EQ(count(svg, "<circle class=\"handle\""), 1) << svg;
  EXPECT_EQ(count(svg, "class=\"selected\""), 2) << svg;
  EXPECT_EQ(count(svg, "class=\"point\""), 1) << svg;
  EXPECT_NE(svg.find("stroke-dasharray"), std::string::npos);
}

// Mode-101 offsets and radii keep their screen size whatever the mesh's size.
TEST(SvgView, RelativeMarksAndCirclesUseAFixedScreenScale) {
  for (float size : {0.001f, 1.0f, 1000.0f}) {
    WireRecorder rec;
    const LWFVector h = {size, 0, 0}, anchor = {-size, 0, 0}, v = {3, 0, 0};
    drawPair(rec.access(), h, anchor, v);
    const std::string svg = renderSvg({}, rec.calls(), {ViewAxis::Front, 800, 600, 60, ""});
    const std::regex circle("<circle class=\"handle\" cx=\"[-0-9.]+\" cy=\"[-0-9.]+\" r=\"([0-9.]+)\"");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(svg, m, circle)) << svg;
    EXPECT_EQ(m[1].str(), "5.00") << size;
    // Each dashed stroke is 3 units long in screen scale: 30 pixels along x.
    const std::regex dash("<line class=\"wire dashed\" x1=\"([-0-9.]+)\" y1=\"[-0-9.]+\" x2=\"([-0-9.]+)\"");
    int strokes = 0;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), dash); it != std::sregex_iterator(); ++it) {
      EXPECT_NEAR(std::abs(std::stod((*it)[2].str()) - std::stod((*it)[1].str())), 30.0, 0.011) << size;
      ++strokes;
    }
    EXPECT_EQ(strokes, 4);
  }
}

TEST(SvgView, ViewsMapModelAxesToTheScreen) {
  // One point up the view's "up" axis, one to its "right": the right one must have the larger x, the up one
  // the smaller y (SVG's y grows downwards).
  struct Case {
    ViewAxis view;
    ScenePoint right, up;
  };
  const Case cases[] = {{ViewAxis::Top, {1, 0, 0}, {0, 0, 1}},
                        {ViewAxis::Front, {1, 0, 0}, {0, 1, 0}},
                        {ViewAxis::Side, {0, 0, 1}, {0, 1, 0}}};
  const std::regex pointRe("class=\"point\" cx=\"([-0-9.]+)\" cy=\"([-0-9.]+)\"");
  for (const Case &c : cases) {
    const std::string svg = renderSvg({{0, 0, 0}, c.right, c.up}, {}, {c.view, 800, 600, 60, ""});
    std::vector<std::pair<double, double>> xy;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), pointRe); it != std::sregex_iterator(); ++it)
      xy.emplace_back(std::stod((*it)[1].str()), std::stod((*it)[2].str()));
    ASSERT_EQ(xy.size(), 3u) << viewAxisName(c.view);
    EXPECT_GT(xy[1].first, xy[0].first) << viewAxisName(c.view);
    EXPECT_DOUBLE_EQ(xy[1].second, xy[0].second) << viewAxisName(c.view);
    EXPECT_LT(xy[2].second, xy[0].second) << viewAxisName(c.view);
    EXPECT_DOUBLE_EQ(xy[2].first, xy[0].first) << viewAxisName(c.view);
  }
}

TEST(SvgView, DegenerateInputStillGivesAValidPicture) {
  WireRecorder rec;
  const LWFVector p = {1, 1, 1}, nan = {NAN, 0, 0};
  rec.access()->moveTo(rec.access()->data, p, 0);
  rec.access()->lineTo(rec.access()->data, p, 0);  // zero-length, single spot
  rec.access()->lineTo(rec.access()->data, nan, 0);
  const std::string svg = renderSvg({{1, 1, 1, true}}, rec.calls(), {}, {{0, 5}, {-1, 0}});
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  EXPECT_EQ(count(svg, "<line class=\"wire\""), 1);
  EXPECT_EQ(count(svg, "class=\"edge\""), 0);  // edges naming missing points are skipped
  EXPECT_NE(svg.rfind("</svg>"), std::string::npos);
}

// A mesh of 90,000 points on a grid with its 179,400 edges and one pair in
// a corner. Seen whole, the points and edges are too many to draw one by
// one: they are density layers, the pair and its labels are drawn as ever,
// and the picture stays small. Zoomed to the pair, only what falls in the
// view is drawn, one by one.
TEST(SvgView, ABigMeshIsDrawnAsDensityAndOnlyWhatFallsInTheView) {
  constexpr int kSide = 300;
  std::vector<ScenePoint> points;
  std::vector<std::pair<int, int>> edges;
  for (int row = 0; row < kSide; ++row) {
    for (int column = 0; column < kSide; ++column) {
      const int index = row * kSide + column;
      points.push_back({column * 0.1, row * 0.1, 0});
      if (column > 0) edges.emplace_back(index - 1, index);
      if (row > 0) edges.emplace_back(index - kSide, index);
    }
  }
  points[kSide].selected = points[0].selected = true;  // handle (0, 0.1), anchor (0, 0)
  points[kSide].moved = true, points[kSide].fromY = 0.1, points[kSide].y = 0.15;
  WireRecorder rec;
  const LWFVector h = {0, 0.15f, 0}, anchor = {0, 0, 0}, v = {0, 3, 0};
  drawPair(rec.access(), h, anchor, v);

  const std::string whole = renderSvg(points, rec.calls(), {ViewAxis::Front, 800, 600, 60, ""}, edges);
  EXPECT_LT(whole.size(), 500000u);
  EXPECT_EQ(count(whole, "<circle class=\"point\""), 0);
  EXPECT_EQ(count(whole, "<line class=\"edge\""), 0);
  EXPECT_GT(count(whole, "class=\"density point shade"), 0);
  EXPECT_GT(count(whole, "class=\"density edge shade"), 0);
  EXPECT_EQ(count(whole, "<circle class=\"selected\""), 2);
  EXPECT_EQ(count(whole, "<text class=\"label\""), 2);
  EXPECT_EQ(count(whole, "<circle class=\"handle\""), 1);
  EXPECT_NE(whole.find("points, darker where more"), std::string::npos);

  SvgOptions zoomed{ViewAxis::Front, 800, 600, 60, ""};
  zoomed.zoom = ViewZoom::Selection;
  const std::string near = renderSvg(points, rec.calls(), zoomed, edges);
  EXPECT_EQ(near.find("density"), std::string::npos);
  const std::regex dot("<circle class=\"(point|selected)\" cx=\"([-0-9.]+)\" cy=\"([-0-9.]+)\"");
  int dots = 0;
  for (auto it = std::sregex_iterator(near.begin(), near.end(), dot); it != std::sregex_iterator(); ++it) {
    const double x = std::stod((*it)[2].str()), y = std::stod((*it)[3].str());
    EXPECT_TRUE(x > -10 && x < 810 && y > -10 && y < 610) << x << " " << y;
    ++dots;
  }
  // The view, 0.15 high, shows the pair's column and its two neighbours' a little to each side.
  EXPECT_GT(dots, 2);
  EXPECT_LT(dots, 40);
}

// A pair seen end-on (the front view looks along its z) has its anchor on
// its handle: the square is drawn there and the legend names it.
TEST(SvgView, APairSeenEndOnStillShowsItsAnchorEnd) {
  WireRecorder rec;
  const LWFVector h = {0, 0, 2}, anchor = {0, 0, 0}, v = {0, 0, 3};
  drawPair(rec.access(), h, anchor, v);
  const std::vector<ScenePoint> points = {{0, 0, 2, true}, {0, 0, 0, true}, {1, 1, 0, false}};
  const std::string svg = renderSvg(points, rec.calls(), {ViewAxis::Front, 800, 600, 60, ""});
  EXPECT_EQ(count(svg, "<rect class=\"anchor\""), 1) << svg;
  EXPECT_NE(svg.find("anchor end: the other end"), std::string::npos);
}

// The ghost of a moved point stands out from the light background: a
// contrast of 3 to 1 at least, as for any graphic that carries meaning.
TEST(SvgView, GhostsAreVisibleOnTheBackground) {
  std::vector<ScenePoint> points = {{0, 0, 0, true}, {0, 2, 0, true}};
  points[1].moved = true, points[1].fromY = 1;
  const std::string svg = renderSvg(points, {}, {ViewAxis::Front, 800, 600, 60, ""}, {{0, 1}});
  const auto luminance = [](const std::string &hex) {
    double sum = 0;
    const double weights[3] = {0.2126, 0.7152, 0.0722};
    for (int i = 0; i < 3; ++i) {
      const double c = std::stoi(hex.substr(1 + 2 * static_cast<std::size_t>(i), 2), nullptr, 16) / 255.0;
      sum += weights[i] * (c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return sum;
  };
  std::smatch background, ghost, ghostEdge;
  ASSERT_TRUE(std::regex_search(svg, background,
                                std::regex("<rect width=\"100%\" height=\"100%\" fill=\"(#[0-9a-f]{6})\"")));
  ASSERT_TRUE(std::regex_search(svg, ghost, std::regex("\\.ghost \\{ stroke: (#[0-9a-f]{6})")));
  ASSERT_TRUE(std::regex_search(svg, ghostEdge, std::regex("\\.ghost-edge \\{ stroke: (#[0-9a-f]{6})")));
  for (const std::string &colour : {ghost[1].str(), ghostEdge[1].str()}) {
    const double a = luminance(background[1].str()) + 0.05, b = luminance(colour) + 0.05;
    EXPECT_GE(std::max(a, b) / std::min(a, b), 3.0) << colour;
  }
}

TEST(SvgView, ParsesViewNames) {
  ViewAxis v = ViewAxis::Top;
  EXPECT_TRUE(parseViewAxis("side", v));
  EXPECT_EQ(v, ViewAxis::Side);
  EXPECT_TRUE(parseViewAxis("front", v));
  EXPECT_EQ(v, ViewAxis::Front);
  EXPECT_FALSE(parseViewAxis("Back", v));
  EXPECT_EQ(v, ViewAxis::Front);
}

}  // namespace
}  // namespace standin
