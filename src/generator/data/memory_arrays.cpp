#include "generator/data/memory_arrays.h"

#include <algorithm>

#include "generator/data/data_writer.h"
#include "generator/text_output.h"

bool write_memory_arrays(builder_context& context, data_writer& writer, memory_arrays& out) {
  bool written = writer.write_gathered(out);
  for (size_t done = 0; written && done < out.text.size();) {
    int64_t piece = static_cast<int64_t>(std::min<size_t>(out.text.size() - done, size_t{1} << 30));
    written = write_bytes(context, context.h_dst_cpp, out.text.data() + done, piece);
    done += static_cast<size_t>(piece);
  }
  out.take_back({});
  return written;
}
