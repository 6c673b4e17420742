#include "prefixed_stream.h"

namespace cli {

LinePrefixBuffer::int_type LinePrefixBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (lineStart_) target_ << prefix_;
  const char ch = traits_type::to_char_type(c);
  target_.put(ch);
  lineStart_ = ch == '\n';
  return target_ ? c : traits_type::eof();
}

int LinePrefixBuffer::sync() {
  target_.flush();
  return target_ ? 0 : -1;
}

}  // namespace cli
