// The one exception type of the stand-in host. It never crosses the C
// interface: only host-side code (loader, session, program) throws it, and
// the program turns it into a one-line message and a non-zero exit.
#pragma once

#include <stdexcept>
#include <string>

namespace standin {

enum class HostErrorKind {
  NoSuchFile,         // the module path names nothing
  NotLoadable,        // the file exists but the system loader refused it
  NoDescriptor,       // loaded, but exports no _mod_descrip
  WrongSync,          // _mod_descrip's first word is not 0x04121994
  WrongVersion,       // descriptor version is not 3
  NoServer,           // no server of the asked class (and name)
  ActivationVersion,  // activation answered 1: interface version not supported
  ActivationGlobal,   // activation answered 2: a global service is missing
  ActivationFailed,   // activation answered 3: the server could not start
  ActivationOther,    // activation answered a code outside 0..3
};

class HostError : public std::runtime_error {
 public:
  HostError(HostErrorKind kind, const std::string &message) : std::runtime_error(message), kind_(kind) {}
  HostErrorKind kind() const { return kind_; }

 private:
  HostErrorKind kind_;
};

}  // namespace standin
