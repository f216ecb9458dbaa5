#pragma once
// A fixed block of memory that a decoder allocates from instead of the
// heap, so that what it holds never grows past the block: first fit, with
// freed blocks merged into their free neighbours. It serves a handful of
// allocations at a time (zlib's two, brotli's seven or so), so a walk over
// them all costs nothing worth counting.
#include <cstddef>
#include <cstdint>

namespace vex_http {

class decoder_arena {
 public:
  /// Every allocation starts at this alignment, the most any decoder asks.
  static constexpr size_t alignment = 16;

  /// An arena over size bytes at memory, which must be aligned to alignment.
  decoder_arena(void* memory, size_t size)
      : base_(static_cast<unsigned char*>(memory)), end_(base_ + size - size % alignment), top_(base_) {}

  decoder_arena(const decoder_arena&) = delete;
  decoder_arena& operator=(const decoder_arena&) = delete;

  /// size bytes, or null when they do not fit.
  void* allocate(size_t size) {
    if (size > static_cast<size_t>(end_ - base_)) return nullptr;
    const size_t need = (size + alignment - 1) / alignment * alignment;
    for (unsigned char* at = base_; at < top_; at += header_of(at)->size) {
      block* each = header_of(at);
      if (!each->free || each->size - header_size < need) continue;
      split(each, need);
      each->free = false;
      return at + header_size;
    }
    if (static_cast<size_t>(end_ - top_) < header_size + need) return nullptr;
    *header_of(top_) = {header_size + need, false};
    top_ += header_size + need;
    if (static_cast<size_t>(top_ - base_) > high_water_) high_water_ = static_cast<size_t>(top_ - base_);
    return top_ - need;
  }

  /// Gives back what allocate returned; null is ignored.
  void release(void* address) {
    if (!address) return;
    header_of(static_cast<unsigned char*>(address) - header_size)->free = true;
    unsigned char* last_free = nullptr;
    for (unsigned char* at = base_; at < top_;) {
      block* each = header_of(at);
      unsigned char* next = at + each->size;
      if (each->free && next < top_ && header_of(next)->free) {
        each->size += header_of(next)->size;  // merge, and look at the same block again
        continue;
      }
      last_free = each->free && next == top_ ? at : nullptr;
      at = next;
    }
    if (last_free) top_ = last_free;
  }

  /// Forgets every allocation at once.
  void reset() { top_ = base_; }

  /// The most bytes of the block in use at once, headers included, since
  /// the arena was made or clear_high_water was called.
  size_t high_water() const { return high_water_; }
  void clear_high_water() { high_water_ = static_cast<size_t>(top_ - base_); }

  /// The block itself, for a decoder that lays out its own (zstd).
  unsigned char* memory() const { return base_; }
  size_t size() const { return static_cast<size_t>(end_ - base_); }

  /// Records that a decoder which lays out the block itself used size bytes.
  void note_use(size_t size) {
    if (size > high_water_) high_water_ = size;
  }

 private:
  struct block {
    size_t size;  // header included
    bool free;
  };
  static constexpr size_t header_size = (sizeof(block) + alignment - 1) / alignment * alignment;

  static block* header_of(unsigned char* at) { return static_cast<block*>(static_cast<void*>(at)); }

  // Leaves need bytes in a free block and makes the rest a free block of its own.
  static void split(block* each, size_t need) {
    const size_t rest = each->size - header_size - need;
    if (rest < 2 * header_size) return;
    each->size = header_size + need;
    *header_of(static_cast<unsigned char*>(static_cast<void*>(each)) + each->size) = {rest, true};
  }

  unsigned char* base_;
  unsigned char* end_;
  unsigned char* top_;
  size_t high_water_ = 0;
};

}  // namespace vex_http
