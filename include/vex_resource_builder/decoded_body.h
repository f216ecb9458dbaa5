#pragma once
// The body of a plan whose source is body_source::decoded, a chunk at a
// time, for an adapter that hands its library a body to pull from (a
// content provider, a callback, a body writer):
//
//   vex_http::decoded_body body(reader, plan);
//   while (size_t count = body.read(buffer, sizeof buffer)) send(buffer, count);
//   if (body.failed()) ...;  // end the connection: the answer cannot be whole
#include <cstddef>
#include <cstdint>

#include "vex_resource_builder/identity_reader.h"
#include "vex_resource_builder/response_plan.h"

namespace vex_http {

class decoded_body {
 public:
  /// Starts on the body plan says to decode, with reader, which the body
  /// uses until its last byte is read or it is dropped.
  decoded_body(identity_reader& reader, const response_plan& plan) : reader_(&reader), left_(plan.body_length) {
    if (plan.source != body_source::decoded || reader.open(plan.stored, plan.stored_offset) != read_status::ok)
      failed_ = true;
  }

  /// The next bytes of the body, at most capacity, into out: 0 once the
  /// plan's body_length bytes were given, and 0 when the stored bytes fail
  /// before that (failed() says so; the connection must then be ended, as
  /// its Content-Length cannot be kept).
  size_t read(char* out, size_t capacity) {
    if (failed_ || left_ == 0) return 0;
    const size_t count = reader_->read(out, left_ < capacity ? static_cast<size_t>(left_) : capacity);
    if (count == 0) failed_ = true;  // the file ended before the body did, or failed
    left_ -= count;
    return count;
  }

  /// True when the body cannot be given whole.
  bool failed() const { return failed_; }

  /// Bytes of the body not yet read.
  uint64_t left() const { return left_; }

  /// Why it failed, for a log.
  const char* failure() const {
    return reader_->status() == read_status::ok ? "the stored bytes end early" : read_status_text(reader_->status());
  }

 private:
  identity_reader* reader_;
  uint64_t left_;
  bool failed_ = false;
};

}  // namespace vex_http
