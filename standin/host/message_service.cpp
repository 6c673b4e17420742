#include "standin/host/message_service.h"

#include <iostream>

#include "standin/host/host_globals.h"

namespace standin {

namespace {

void showOnCurrentHost(MessageKind kind, const char *title, const char *text) {
  if (HostGlobals *host = HostGlobals::current()) host->messages().show(kind, title, text);
}

void messageInfo(const char *title, const char *text) { showOnCurrentHost(MessageKind::Info, title, text); }
void messageError(const char *title, const char *text) { showOnCurrentHost(MessageKind::Error, title, text); }
void messageWarning(const char *title, const char *text) {
  showOnCurrentHost(MessageKind::Warning, title, text);
}

}  // namespace

const char *messageKindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::Info:
      return "Info";
    case MessageKind::Error:
      return "Error";
    case MessageKind::Warning:
      return "Warning";
  }
  return "?";
}

MessageService::MessageService() : funcs_{&messageInfo, &messageError, &messageWarning}, out_(&std::cerr) {}

void MessageService::show(MessageKind kind, const char *title, const char *text) {
  MessageBox box{kind, title != nullptr ? title : "", text != nullptr ? text : ""};
  HostGlobals *host = HostGlobals::current();
  if (host != nullptr && host->tracer().on())
    host->tracer()(std::string("message.") +
                   (kind == MessageKind::Info    ? "info"
                    : kind == MessageKind::Error ? "error"
                                                 : "warning") +
                   "(" + traceText(title) + ", " + traceText(text) + ")");
  if (out_ != nullptr && host != nullptr) host->monitors().breakDisplayLine();
  if (out_ != nullptr) *out_ << messageKindName(kind) << ": " << box.title << ": " << box.text << std::endl;
  boxes_.push_back(std::move(box));
}

}  // namespace standin
