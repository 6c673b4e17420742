// Pictures that explain themselves: the viewport's SVG read back with a real
// XML parser. Labels name mesh points, labels never cover one another, moved
// points show where they were, the ends of each pair are told apart, a legend
// names what is drawn, --zoom selection frames the selection alone, and the
// pictures of one run share one frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "standin/host/wire_recorder.h"
#include "standin/pictures/svg_view.h"
#include "tests/standin/cli/program_run.h"
#include "tests/standin/pictures/svg_document.h"

namespace {

using program_test::describe;
using program_test::ProgramTest;
using standin::ScenePoint;
using standin::SvgOptions;
using standin::ViewAxis;
using standin::ViewZoom;
using svg_test::Element;

struct Screen {
  double x, y;
};

// The points' dots in mesh order: the picture draws the unselected ones, then
// the selected ones, each in mesh order (legend keys left out).
std::vector<Screen> dots(const svg_test::Document &doc, const std::vector<bool> &selected) {
  std::vector<Screen> unselectedDots, selectedDots;
  for (const Element &e : doc.all("circle"))
    if (!e.hasClass("key") && (e.hasClass("point") || e.hasClass("selected")))
      (e.hasClass("selected") ? selectedDots : unselectedDots).push_back({e.number("cx"), e.number("cy")});
  std::vector<Screen> out;
  std::size_t nextSelected = 0, nextUnselected = 0;
  for (bool s : selected) {
    const std::vector<Screen> &from = s ? selectedDots : unselectedDots;
    std::size_t &next = s ? nextSelected : nextUnselected;
    if (next < from.size()) out.push_back(from[next++]);
  }
  EXPECT_EQ(nextSelected, selectedDots.size());
  EXPECT_EQ(nextUnselected, unselectedDots.size());
  return out;
}

std::vector<bool> selectionOf(const std::vector<ScenePoint> &points) {
  std::vector<bool> out;
  for (const ScenePoint &p : points) out.push_back(p.selected);
  return out;
}

std::vector<std::string> labelTexts(const svg_test::Document &doc) {
  std::vector<std::string> out;
  for (const Element &e : doc.all("text", "label")) out.push_back(e.text);
  return out;
}

std::vector<std::string> legendTexts(const svg_test::Document &doc) {
  std::vector<std::string> out;
  for (const Element &e : doc.all("text", "key")) out.push_back(e.text);
  return out;
}

bool mentions(const std::vector<std::string> &texts, const std::string &word) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const std::string &t) { return t.find(word) != std::string::npos; });
}

svg_test::Document render(const std::vector<ScenePoint> &points, const std::vector<standin::WireCall> &calls,
                          const SvgOptions &options, const std::vector<std::pair<int, int>> &edges = {}) {
  svg_test::Document doc = svg_test::parse(standin::renderSvg(points, calls, options, edges));
  EXPECT_TRUE(doc.wellFormed);
  EXPECT_EQ(doc.rootName, "svg");
  EXPECT_EQ(doc.rootNamespace, "http://www.w3.org/2000/svg");
  return doc;
}

SvgOptions front(ViewZoom zoom = ViewZoom::Mesh) {
  SvgOptions o;
  o.view = ViewAxis::Front;
  o.zoom = zoom;
  return o;
}

// The tool's twelve calls for one pair: the stretch line from the handle end
// to the anchor end, four dashed marks, the circle around the handle end.
std::vector<standin::WireCall> pairDrawing(std::array<float, 3> h, std::array<float, 3> a) {
  standin::WireRecorder rec;
  LWWireDrawAccess *w = rec.access();
  const float v[3] = {0, 3, 0}, minusV[3] = {0, -3, 0};
  w->moveTo(w->data, h.data(), 0);
  w->lineTo(w->data, a.data(), 0);
  for (const auto *end : {&h, &a}) {
    w->moveTo(w->data, end->data(), 1);
    w->lineTo(w->data, v, 101);
    w->moveTo(w->data, end->data(), 1);
    w->lineTo(w->data, minusV, 101);
  }
  w->moveTo(w->data, h.data(), 0);
  w->circle(w->data, 0.5, 101);
  return rec.calls();
}

TEST(SvgPicture, LabelsAreMeshIndicesNotPlacesInTheSelection) {
  std::vector<ScenePoint> points;
  for (int i = 0; i < 8; ++i) points.push_back({double(i), double(i % 3), 0, i == 3 || i == 6 || i == 7});
  const auto doc = render(points, {}, front());
  EXPECT_EQ(labelTexts(doc), (std::vector<std::string>{"3", "6", "7"}));
}

// Points that coincide in the view (a bar's front and back corners seen from
// the front) and points a few pixels apart: every label keeps its own place,
// none covers another, and each stays beside its point.
TEST(SvgPicture, LabelsOfCoincidentAndNearPointsNeverCoverOneAnother) {
  std::vector<ScenePoint> points;
  for (int z = 0; z < 5; ++z) points.push_back({0, 0, double(z), true});  // one spot in the front view
  points.push_back({0.002, 0.001, 0, true});                              // a pixel or two beside it
  points.push_back({10, 10, 0, true});
  points.push_back({1000, 1000, 0, false});  // unselected: no label
  const auto doc = render(points, {}, front());
  const auto labels = doc.all("text", "label");
  ASSERT_EQ(labels.size(), 7u);
  const std::vector<Screen> at = dots(doc, selectionOf(points));
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const double x = labels[i].number("x"), y = labels[i].number("y");
    const Screen p = at[std::stoul(labels[i].text)];
    EXPECT_LT(std::hypot(x - p.x, y - p.y), 80) << labels[i].text << " strays from its point";
    for (std::size_t j = 0; j < i; ++j) {
      const double dx = std::abs(x - labels[j].number("x")), dy = std::abs(y - labels[j].number("y"));
      // Glyphs of 11-pixel text: a label is under 12 pixels high and about 7 wide a character.
      const double width = 7.0 * double(std::max(labels[i].text.size(), labels[j].text.size()));
      EXPECT_TRUE(dy >= 11.5 || dx >= width)
          << labels[i].text << " and " << labels[j].text << " overlap: dx " << dx << ", dy " << dy;
    }
  }
}

TEST(SvgPicture, ZoomSelectionFramesTheSelectionAlone) {
  const std::vector<ScenePoint> points = {
      {0, 0, 0, true}, {1, 1, 0, true}, {100, 0, 0, false}, {-50, 30, 0, false}, {0.5, -20, 0, false}};
  SvgOptions options = front(ViewZoom::Selection);
  // The selection fills the view less its margin (the height, 600 - 2 x 60, is the tighter side), and
  // the points around it fall outside the view, so they are not drawn at all.
  std::vector<Screen> at = dots(render(points, {}, options), selectionOf(points));
  ASSERT_EQ(at.size(), 2u);
  EXPECT_NEAR(at[0].y - at[1].y, 480, 0.01);
  EXPECT_NEAR(at[1].x - at[0].x, 480, 0.01);
  // The default frames the whole mesh: everything inside.
  at = dots(render(points, {}, front()), selectionOf(points));
  for (std::size_t i = 0; i < at.size(); ++i)
    EXPECT_TRUE(at[i].x >= 60 && at[i].x <= 740 && at[i].y >= 60 && at[i].y <= 540) << i;
  // A selection's ghost belongs to it: the frame covers where it was too.
  std::vector<ScenePoint> moved = points;
  moved[1].moved = true, moved[1].fromX = 1, moved[1].fromY = 3;
  at = dots(render(moved, {}, options), selectionOf(moved));
  EXPECT_NEAR(at[0].y - at[1].y, 480.0 / 3, 0.01);
}

TEST(SvgPicture, MovedPointsLeaveAGhostWhereTheyWereAndTheLegendSaysSo) {
  std::vector<ScenePoint> points = {{0, 0, 0, true}, {0, 2, 0, true}, {1, 0, 0, false}};
  const std::vector<std::pair<int, int>> edges = {{0, 1}, {0, 2}};
  auto doc = render(points, {}, front(), edges);
  EXPECT_TRUE(doc.all("circle", "ghost").empty());
  EXPECT_FALSE(mentions(legendTexts(doc), "ghost"));

  points[1].moved = true, points[1].fromY = 1;  // it was half way up
  doc = render(points, {}, front(), edges);
  const std::vector<Screen> at = dots(doc, selectionOf(points));
  std::vector<Element> ghosts;
  for (const Element &e : doc.all("circle", "ghost"))
    if (!e.hasClass("key")) ghosts.push_back(e);
  ASSERT_EQ(ghosts.size(), 1u);
  EXPECT_DOUBLE_EQ(ghosts[0].number("cx"), at[1].x);
  EXPECT_NEAR(ghosts[0].number("cy"), (at[0].y + at[1].y) / 2, 0.01);
  // The edge with the moved end has a ghost; the edge of two unmoved points has none.
  std::size_t ghostEdges = 0;
  for (const Element &e : doc.all("line", "ghost-edge")) ghostEdges += e.hasClass("key") ? 0 : 1;
  EXPECT_EQ(ghostEdges, 1u);
  EXPECT_TRUE(mentions(legendTexts(doc), "ghost"));
}

// The circle marks the handle end; the other end of the pair line gets the
// anchor's square. Swapping the ends (Invert Handle) swaps the marks.
TEST(SvgPicture, HandleAndAnchorEndsAreMarkedAndNamedInTheLegend) {
  const std::vector<ScenePoint> points = {{0, 2, 0, true}, {0, 0, 0, true}};
  for (bool inverted : {false, true}) {
    const std::array<float, 3> top = {0, 2, 0}, bottom = {0, 0, 0};
    const auto doc = render(points, inverted ? pairDrawing(bottom, top) : pairDrawing(top, bottom), front());
    const std::vector<Screen> at = dots(doc, selectionOf(points));
    const Screen handle = at[inverted ? 1 : 0], anchor = at[inverted ? 0 : 1];
    std::vector<Element> circles, squares;
    for (const Element &e : doc.all("circle", "handle")) circles.push_back(e);
    for (const Element &e : doc.all("rect", "anchor")) squares.push_back(e);
    // One of each in the picture, one of each in the legend.
    ASSERT_EQ(circles.size(), 2u);
    ASSERT_EQ(squares.size(), 2u);
    EXPECT_DOUBLE_EQ(circles[0].number("cx"), handle.x);
    EXPECT_DOUBLE_EQ(circles[0].number("cy"), handle.y);
    EXPECT_DOUBLE_EQ(squares[0].number("x") + squares[0].number("width") / 2, anchor.x);
    EXPECT_DOUBLE_EQ(squares[0].number("y") + squares[0].number("height") / 2, anchor.y);
    const auto legend = legendTexts(doc);
    for (const char *word : {"handle end", "anchor end", "pair line", "selected point, its mesh index"})
      EXPECT_TRUE(mentions(legend, word)) << word;
    EXPECT_FALSE(mentions(legend, "mesh edge"));  // none drawn
  }
  // A second pair whose handle end lies, in the front view, on the first pair's anchor end (behind it):
  // that spot is both, and each pair's anchor gets its square.
  const std::vector<ScenePoint> four = {{0, 2, 0, true}, {0, 0, 0, true}, {0, 0, 1, true}, {0, -2, 1, true}};
  std::vector<standin::WireCall> calls = pairDrawing({0, 2, 0}, {0, 0, 0});
  const std::vector<standin::WireCall> second = pairDrawing({0, 0, 1}, {0, -2, 1});
  calls.insert(calls.end(), second.begin(), second.end());
  const auto doc = render(four, calls, front());
  const std::vector<Screen> at = dots(doc, selectionOf(four));
  std::set<std::pair<double, double>> squares;
  for (const Element &e : doc.all("rect", "anchor"))
    if (!e.hasClass("key"))
      squares.insert({e.number("x") + e.number("width") / 2, e.number("y") + e.number("height") / 2});
  EXPECT_EQ(squares, (std::set<std::pair<double, double>>{{at[1].x, at[1].y}, {at[3].x, at[3].y}}));
}

TEST(SvgPicture, AGivenFrameGivesPicturesOfDifferentContentOneScale) {
  const std::vector<ScenePoint> before = {{0, 0, 0, true}, {0, 1, 0, true}};
  std::vector<ScenePoint> after = before;
  after[0].y = -1, after[1].y = 4;
  SvgOptions options = front();
  standin::ViewFrame frame = standin::frameOf(before, {}, options);
  frame.include(standin::frameOf(after, {}, options));
  options.frame = frame;
  const std::vector<Screen> a = dots(render(before, {}, options), selectionOf(before)),
                            b = dots(render(after, {}, options), selectionOf(after));
  const double pixelsPerUnit = a[0].y - a[1].y;
  EXPECT_NEAR(pixelsPerUnit, 480.0 / 5, 0.01);
  EXPECT_NEAR(b[0].y - b[1].y, 5 * pixelsPerUnit, 0.01);
  EXPECT_NEAR(b[0].y - a[0].y, pixelsPerUnit, 0.01);  // one unit lower, on the same screen
  EXPECT_DOUBLE_EQ(a[0].x, b[0].x);
}

// --- through the program ----------------------------------------------------

constexpr const char *kBars =
    "v 0 2 0\nv 0 0 0\nv 1 2 0\nv 1 0 0\nv 0 2 1\nv 0 0 1\n"
    "v 5 1 0\nv 5 0 0\nv 6 1 0\nv 6 0 0\n"
    "f 1 2 4 3\nf 5 6 2 1\nf 7 8 10 9\n";
const std::vector<bool> kSelected6To9 = {false, false, false, false, false, false, true, true, true, true};

class SvgProgram : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    put("bars.obj", kBars);
  }
  svg_test::Document picture(const std::string &name) const {
    svg_test::Document doc = svg_test::parse(file(name));
    EXPECT_TRUE(doc.wellFormed) << name;
    return doc;
  }
};

TEST_F(SvgProgram, TheProgramsPictureLabelsMeshIndicesAndZoomsToTheSelection) {
  auto r = run({"bars.obj", "--select", "6-9", "--factor", "2", "--svg", "all.svg", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  auto doc = picture("all.svg");
  EXPECT_EQ(labelTexts(doc), (std::vector<std::string>{"6", "7", "8", "9"}));
  EXPECT_TRUE(mentions(legendTexts(doc), "ghost"));  // the stretched bar was lower in the file

  r = run({"bars.obj", "--select", "6-9", "--factor", "2", "--svg", "zoom.svg", "--zoom", "selection", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  // Only the selected points 6-9 are drawn: the bar, 1 wide and 2 high now, fills the view's height, and
  // the other points are out of the view.
  std::vector<Screen> at = dots(picture("zoom.svg"), kSelected6To9);
  ASSERT_EQ(at.size(), 4u);
  EXPECT_NEAR(at[1].x - at[0].x, 0, 0.01);
  EXPECT_NEAR(at[2].x - at[0].x, 240, 0.01);
  EXPECT_NEAR(at[1].y - at[0].y, 480, 0.01);

  r = run({"bars.obj", "--select", "6-9", "--factor", "2", "--zoom", "selection", "-q"});
  EXPECT_EQ(r.exitCode, 2) << describe(r);
  EXPECT_NE(r.err.find("--svg"), std::string::npos) << r.err;
}

// Three pictures of one session: the bar before, after Factor 3 and after
// Factor 0.5. All are drawn in one frame, the union of what each shows, so
// the anchor corner that never moves is at one spot in all three, and the
// tallest state fits.
TEST_F(SvgProgram, ThePicturesOfOneRunShareOneFrame) {
  put("steps.script",
      "select 6-9\npick\nsvg 1.svg front\nfactor 3\nsvg 2.svg front\nfactor 0.5\nsvg 3.svg front zoom "
      "selection\n"
      "svg 4.svg front\n");
  const auto r = run({"bars.obj", "--script", "steps.script", "-q"});
  ASSERT_EQ(r.exitCode, 0) << describe(r);
  std::vector<std::vector<Screen>> steps;
  for (const char *name : {"1.svg", "2.svg", "4.svg"}) steps.push_back(dots(picture(name), kSelected6To9));
  std::set<std::string> scaleBars;
  for (const char *name : {"1.svg", "2.svg", "4.svg"})
    for (const Element &e : picture(name).all("line", "scale")) scaleBars.insert(e["x1"] + " " + e["x2"]);
  EXPECT_EQ(scaleBars.size(), 3u) << "one bar and its two end ticks, the same in every picture";
  for (const auto &points : steps) {
    ASSERT_EQ(points.size(), 10u);
    EXPECT_DOUBLE_EQ(points[7].x, steps[0][7].x);  // point 7, the anchor at (5, 0, 0)
    EXPECT_DOUBLE_EQ(points[7].y, steps[0][7].y);
    for (const Screen &p : points) EXPECT_TRUE(p.x >= 0 && p.x <= 800 && p.y >= 0 && p.y <= 600);
  }
  // The same length is the same number of pixels: the bar was 1 high, 3 after Factor 3, 0.5 after 0.5.
  const double unit = steps[0][7].y - steps[0][6].y;
  EXPECT_NEAR(steps[1][7].y - steps[1][6].y, 3 * unit, 0.02);
  EXPECT_NEAR(steps[2][7].y - steps[2][6].y, 0.5 * unit, 0.02);
  // The zoomed picture has its own frame: the selection now and in the file, from y 0 to 1.
  const std::vector<Screen> zoomed = dots(picture("3.svg"), kSelected6To9);
  ASSERT_EQ(zoomed.size(), 4u);  // points 6-9 alone are in its view
  EXPECT_NEAR(zoomed[1].y - zoomed[0].y, 0.5 * 480, 0.02);
}

}  // namespace
