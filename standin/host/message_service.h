// The host's "Info Messages 2" service: every box the module shows is
// recorded, in order, and (unless turned off for tests) printed to stderr as
// "Error: <title>: <text>", "Warning: ..." or "Info: ...".
//
// The C table's functions have no user-data pointer; they reach the service
// through HostGlobals::current() (see host_globals.h). Texts are copied during
// the call, as the interface requires.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "host/host_abi.h"

namespace standin {

enum class MessageKind { Info, Error, Warning };

struct MessageBox {
  MessageKind kind;
  std::string title;
  std::string text;
  bool operator==(const MessageBox &) const = default;
};

const char *messageKindName(MessageKind kind);  // "Info", "Error", "Warning"

class MessageService {
 public:
  MessageService();

  // The record handed to the module; lives as long as this service.
  LWMessageFuncs *funcs() { return &funcs_; }

  void show(MessageKind kind, const char *title, const char *text);

  const std::vector<MessageBox> &boxes() const { return boxes_; }
  void clear() { boxes_.clear(); }

  // Printing: on by default, to std::cerr. A null stream turns it off.
  void setEcho(std::ostream *out) { out_ = out; }

 private:
  LWMessageFuncs funcs_;
  std::vector<MessageBox> boxes_;
  std::ostream *out_;
};

}  // namespace standin
