#include "standin/server/playground_api.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>

#include "standin/host/failure.h"
#include "standin/media/png_file.h"

namespace standin {
namespace {

using nlohmann::json;

ApiReply jsonReply(int status, const json &body) {
  ApiReply reply;
  reply.status = status;
  // Invalid UTF-8 from a file (a name, a message box) is replaced rather than refused.
  reply.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
  return reply;
}

ApiReply sceneReply(const SceneAnswer &answer) {
  ApiReply reply;
  if (answer.form == AnswerForm::Binary) reply.contentType = kBinarySceneType;
  reply.body = answer.text();
  return reply;
}

ApiReply errorReply(int status, const std::string &message) {
  return jsonReply(status, {{"error", message}});
}

Failure badRequest(const std::string &message) { return Failure(FailureKind::BadInput, message); }

// The body as a command, and the version the page holds (-1: none).
std::pair<Command, std::int64_t> readBody(std::string_view action, std::string_view text) {
  json body = json::parse(text.empty() ? std::string_view("{}") : text, nullptr, false);
  if (body.is_discarded()) throw badRequest("the body is not valid JSON");
  if (!body.is_object()) throw badRequest("the body must be a JSON object");
  std::int64_t version = -1;
  if (const auto v = body.find("version"); v != body.end()) {
    if (!v->is_number_integer()) throw badRequest("'version' must be a whole number");
    version = v->get<std::int64_t>();
    body.erase(v);
  }
  if (action != "command") {
    if (body.contains("command"))
      throw badRequest("the route names the command: 'command' is not a field here");
    body["command"] = std::string(action);
  }
  return {commandFromJson(body), version};
}

// What the page may not ask for: file names, and positions beyond reason.
void checkFromPage(const Command &c) {
  const bool writes = c.op == CommandOp::About || c.op == CommandOp::Svg || c.op == CommandOp::Save;
  if (writes && !c.text.empty())
    throw badRequest("'file': the page names no file (Save writes the output given when the server started)");
  if (c.op == CommandOp::Open) {
    if (!c.contents)
      throw badRequest("'text' is required: the page sends the file's text (the server reads no file)");
    if (c.text.find_first_of("/\\") != std::string::npos)
      throw badRequest("'file' is the file's name alone, without a folder");
    if (c.contents->size() > kMaxOpenBytes)
      throw Failure(FailureKind::BadInput,
                    "the mesh file is larger than " + std::to_string(kMaxOpenBytes >> 20) + " MiB");
  }
  const bool positioned =
      (c.op == CommandOp::Press && !c.atPoint) || c.op == CommandOp::Drag || c.op == CommandOp::Keep;
  for (double v : c.position)
    if (positioned && std::abs(v) > kMaxCoordinate)
      throw badRequest("'position' is out of range (allowed -1e15 to 1e15)");
}

std::string base64(const std::string &bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t word = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size())
      word |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) word |= static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[(word >> 18) & 63];
    out += kDigits[(word >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(word >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[word & 63] : '=';
  }
  return out;
}

json aboutJson(const AboutPicture &about) {
  std::string error;
  const std::optional<std::string> png = encodePng(about.image, &error);
  return {{"serial", about.serial},
          {"texts", about.texts},
          {"picture", png ? json("data:image/png;base64," + base64(*png)) : json(nullptr)}};
}

json messagesJson(const std::vector<MessageBox> &boxes) {
  json out = json::array();
  for (const MessageBox &box : boxes)
    out.push_back({{"kind", messageKindName(box.kind)}, {"title", box.title}, {"text", box.text}});
  return out;
}

ApiReply aboutPng(const Session &s) {
  const auto &about = s.aboutPicture();
  if (!about) return errorReply(404, "the About panel has not been opened");
  std::string error;
  auto bytes = encodePng(about->image, &error);
  if (!bytes) return errorReply(500, error);
  ApiReply reply;
  reply.contentType = "image/png";
  reply.body = std::move(*bytes);
  return reply;
}

ApiReply download(Session &s) {
  s.syncObj();
  ApiReply reply;
  reply.contentType = "model/obj";
  reply.body = s.file().text();
  std::string name =
      std::filesystem::path(s.outputPath().empty() ? s.file().name() : s.outputPath()).filename().string();
  // Only plain characters go into the header; anything else becomes '_'.
  for (char &c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
  if (name.empty()) name = "mesh.obj";
  reply.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + name + "\"");
  return reply;
}

}  // namespace

ApiReply PlaygroundApi::get(std::string_view resource, AnswerForm form) {
  try {
    return answerGet(resource, form);
  } catch (...) {
    const Failure failure = caughtFailure();
    return errorReply(httpStatusOf(failure.kind()), failure.at(std::string(resource)).what());
  }
}

ApiReply PlaygroundApi::answerGet(std::string_view resource, AnswerForm form) {
  if (resource == "state") return sceneReply(tracker_.whole(session_, form));
  if (resource == "download") return download(session_);
  if (resource == "about.png") return aboutPng(session_);
  if (resource == "script") {
    ApiReply reply;
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = session_.log();
    return reply;
  }
  return errorReply(404, "no such resource: " + std::string(resource));
}

ApiReply PlaygroundApi::post(std::string_view action, std::string_view body, AnswerForm form) {
  try {
    return answerPost(action, body, form);
  } catch (...) {
    const Failure failure = caughtFailure();
    return errorReply(httpStatusOf(failure.kind()), failure.at(std::string(action)).what());
  }
}

ApiReply PlaygroundApi::answerPost(std::string_view action, std::string_view body, AnswerForm form) {
  const auto [command, version] = readBody(action, body);
  checkFromPage(command);
  const CommandAnswer answer = session_.run(command);
  const bool dragging = command.op == CommandOp::Drag && answer.failedBuilds.empty();
  // Another mesh: the whole scene, whatever the page held.
  SceneAnswer reply = tracker_.answer(session_, command.op == CommandOp::Open ? -1 : version, dragging, form);
  reply.header["messages"] = messagesJson(answer.boxes);
  reply.header["failedBuilds"] = answer.failedBuilds;
  reply.header["notes"] = answer.notes;
  if (answer.about) reply.header["about"] = aboutJson(*answer.about);
  return sceneReply(reply);
}

}  // namespace standin
