// The session's outputs: files written whole (or held until the run ends),
// the SVG pictures of the viewport as one series, the About panel's picture,
// printed points and the mesh.
#include <cstring>
#include <filesystem>
#include <iostream>

#include "standin/host/number_text.h"
#include "standin/session/atomic_file.h"
#include "standin/session/obj_normals.h"
#include "standin/session/output_set.h"
#include "standin/session/selection.h"
#include "standin/session/session.h"

namespace standin {
namespace {

// A position as `points` prints it, for reading (the mesh file has it exact).
std::string positionText(const Position &p) {
  return formatReadable(p[0]) + " " + formatReadable(p[1]) + " " + formatReadable(p[2]);
}

}  // namespace

void Session::writeOutput(const std::string &path, std::string contents, const ProgressReport &progress) {
  if (holding_) {
    held_.push_back(HeldOutput{path, std::move(contents), 0, false});
    return;
  }
  writeNow(path, contents, progress);
}

// Each output is staged (or, alone, put in place at once) only once it is
// known not to replace a file the session reads.
void Session::writeNow(const std::string &path, const std::string &contents, const ProgressReport &progress) {
  refuseReadFile(path);
  if (outputSet_ != nullptr) return outputSet_->add(path, path, contents, progress);
  OutputSet set(setup_.wrote);
  set.add(path, path, contents, progress);
  set.commit();
}

void Session::refuseReadFile(const std::string &path) const {
  if (setup_.outputReplacesMesh && path == setup_.outputPath) return;
  if (writesIntoStream(path)) return;
  if (const std::string *what = setup_.inputs.replacedBy(path))
    throw Failure(FailureKind::Refused, "cannot write '" + path + "': it is " + *what +
                                            " this session reads, which no output replaces");
}

void Session::writeAsOneSet(const std::function<void()> &write) {
  if (outputSet_ != nullptr) return write();
  OutputSet set(setup_.wrote);
  outputSet_ = &set;
  try {
    write();
  } catch (...) {
    outputSet_ = nullptr;
    throw;
  }
  outputSet_ = nullptr;
  set.commit();
}

void Session::writeHeldOutputs() {
  holding_ = false;
  writeAsOneSet([this] {
    writePictures();
    std::vector<HeldOutput> held;
    held.swap(held_);
    for (const HeldOutput &output : held) {
      if (output.isPicture)
        writePicture(output.picture);
      else
        writeNow(output.path, output.contents);
    }
  });
}

void Session::writePictures() {
  writeAsOneSet([this] {
    for (std::size_t i = 0; i < pictures_.size(); ++i)
      if (!pictures_[i].held && !pictures_[i].written) writePicture(i);
  });
}

// Draws a picture in the frame it shares with every picture of its view and
// zoom, and writes it. The union of what each of them shows is known only
// once the last is taken, so a picture is kept until then.
void Session::writePicture(std::size_t index) {
  Picture &picture = pictures_[index];
  if (picture.written) return;
  SvgOptions options = picture.options;
  options.frame = ViewFrame{};
  for (const Picture &other : pictures_)
    if (other.options.view == options.view && other.options.zoom == options.zoom)
      options.frame->include(other.frame);
  picture.written = true;
  if (pictureEdges_.empty())
    for (const auto &[a, b] : edges()) pictureEdges_.emplace_back(static_cast<int>(a), static_cast<int>(b));
  writeNow(picture.path, renderSvg(scenePoints(picture), picture.calls, options, pictureEdges_));
  // Its frame stays for the pictures drawn after it; its points go.
  picture.selected = {};
  picture.moved = {};
  picture.calls = {};
}

// The points as the picture saw them: where the file has them, but for the
// moved ones, which also leave a ghost there.
std::vector<ScenePoint> Session::scenePoints(const Picture &picture) const {
  std::vector<ScenePoint> points(picture.selected.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Position p = obj_.filePosition(i);
    points[i] = ScenePoint{p[0], p[1], p[2], picture.selected[i]};
  }
  for (const auto &[index, now] : picture.moved) {
    ScenePoint &point = points[index];
    point.moved = true;
    point.fromX = point.x, point.fromY = point.y, point.fromZ = point.z;
    point.x = now[0], point.y = now[1], point.z = now[2];
  }
  return points;
}

void Session::writeSvg(const std::string &file, ViewAxis view, ViewZoom zoom) {
  Picture picture;
  picture.path = resolveOutput(file);
  // Refresh the viewport: the host asks the tool to draw its overlay now.
  recorder_.clear();
  if (live() && tool_->table().draw != nullptr) {
    tool_->table().draw(tool_->binding().instance, recorder_.access());
    globals_.tracer()("draw() for the viewport: " + std::to_string(recorder_.calls().size()) + " calls");
  }
  picture.calls = recorder_.calls();
  picture.selected.resize(mesh_.size());
  for (std::size_t i = 0; i < mesh_.size(); ++i) {
    picture.selected[i] = mesh_.selected(i);
    if (mesh_.position(i) != obj_.filePosition(i)) picture.moved.emplace_back(i, mesh_.position(i));
  }
  edges();
  picture.options.view = view;
  picture.options.zoom = zoom;
  picture.options.title = "Elastic_Pull on " + std::filesystem::path(obj_.name()).filename().string();
  picture.frame = frameOf(scenePoints(picture), picture.calls, picture.options);
  picture.held = holding_;
  pictures_.push_back(std::move(picture));
  if (holding_) held_.push_back(HeldOutput{pictures_.back().path, {}, pictures_.size() - 1, true});
}

// Presses About: the panel paints its picture, which the answer carries and
// `file`, unless empty, gets as a PNG.
void Session::pressAbout(const std::string &file) {
  if (!file.empty() && !setup_.encodePicture)
    throw Failure(FailureKind::BadInput, "this build of the program cannot write pictures");
  const std::string path = file.empty() ? std::string() : resolveOutput(file);
  AboutPicture picture;
  const std::string text = panel("About").pressAbout([&](const ThumbnailCanvas &canvas) {
    picture.image = canvas.image();
    for (const CanvasCall &call : canvas.calls())
      if (call.op == CanvasOp::Text) picture.texts.push_back(call.text);
  });
  picture.serial = about_ ? about_->serial + 1 : 1;
  if (!path.empty()) writeOutput(path, setup_.encodePicture(picture.image));
  about_ = std::move(picture);
  if (!setup_.quiet && !quiet_)
    out() << "About panel: " << text << (path.empty() ? "" : " (picture: " + path + ")") << "\n";
}

void Session::syncObj() {
  try {
    obj_.syncFromMesh();
  } catch (const Failure &error) {
    throw Failure(FailureKind::ToolFailed,
                  std::string("the tool's result has a NaN or an infinity: ") + error.what());
  }
}

void Session::printPoints(const std::string &selection) {
  std::vector<std::size_t> indices;
  if (selection.empty()) {
    for (std::size_t i = 0; i < mesh_.size(); ++i)
      if (mesh_.selected(i)) indices.push_back(i);
  } else {
    indices = parseSelection(selection, mesh_.size());
  }
  for (std::size_t i : indices) out() << "point " << i << ": " << positionText(mesh_.position(i)) << "\n";
}

// Making the text and writing it each make half of the progress shown.
void Session::writeMesh(const std::string &path, const std::string &shown) {
  if (opened_ && setup_.outputReplacesMesh && path == setup_.outputPath) {
    throw Failure(FailureKind::Refused, "the mesh was opened in the session, and " + shown +
                                            " is the mesh it replaced (--in-place): it is not written over "
                                            "with another mesh (download it, or start with -o OUT.obj)");
  }
  syncObj();
  const std::uint64_t size = obj_.textSize();
  ProgressDisplay *display = holding_ ? nullptr : setup_.progress;
  withProgress(display, "Writing " + shown, 2 * size, [&](const ProgressReport &report) {
    std::string text = obj_.text(report);
    writeOutput(path, std::move(text),
                [&](std::uint64_t done, std::uint64_t) { report(size + done, 2 * size); });
  });
  if (const std::string stale = staleNormalsWarning(obj_); !stale.empty())
    err() << "warning: " << shown << ": " << stale << "\n";
}

// `save FILE` writes that file; `save` alone the session's own output.
void Session::save(const std::string &file) {
  if (!file.empty()) return writeMesh(resolveOutput(file), file);
  if (setup_.outputPath.empty())
    throw Failure(FailureKind::Refused, "save: there is no output file: give -o OUT.obj to save");
  const std::size_t saving = done_.empty() ? 0 : done_.back().id;
  try {
    writeMesh(setup_.outputPath, setup_.outputPath);
  } catch (const Failure &failure) {
    // In place, only not yet flushed to the disk: saved all the same.
    if (failure.kind() == FailureKind::NotDurable) savedId_ = saving;
    throw;
  }
  savedId_ = saving;
}

}  // namespace standin
