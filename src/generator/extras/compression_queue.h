#pragma once
// Compression of many files at once: jobs go to worker threads in the order
// they are added, and the caller waits for each in the order it chooses.
// The workers only compress; everything that touches a file or the console
// stays on the calling thread, so a run's output and the order of its file
// operations are the same whatever the number of workers.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "generator/extras/compression.h"
#include "platform/threads.h"

/// One file's compression: the bytes in, the variants out.
struct compression_job {
  std::vector<uint8_t> bytes;  ///< freed once compressed, unless kept_unless_coded
  uint64_t size = 0;
  /// The bytes are what the program holds when no variant is kept (-z):
  /// they stay then.
  bool kept_unless_coded = false;
  variant_set variants;
  uint64_t nanoseconds = 0;    ///< processor time spent compressing it
  bool out_of_memory = false;  ///< compressing it needed more memory than there was
  bool done = false;
};

class compression_queue {
 public:
  /// workers: how many threads compress; with 1 (or when no thread can be
  /// started) the calling thread compresses each job as it is added. Every
  /// job is compressed as plan says.
  compression_queue(unsigned workers, const compression_plan& plan);
  ~compression_queue();
  compression_queue(const compression_queue&) = delete;
  compression_queue& operator=(const compression_queue&) = delete;

  /// Queues the job (or compresses it at once without workers). The job
  /// must stay alive until wait has returned for it.
  void add(compression_job* job);
  /// Returns once the job is compressed.
  void wait(compression_job* job);
  /// The threads that compress (0 when the caller does).
  unsigned threads() const { return started_; }

 private:
  static void work(void* self);
  void run_worker();

  platform::mutex lock_;
  platform::condition queued_;
  platform::condition finished_;
  std::deque<compression_job*> pending_;  // not yet taken by a worker, oldest first
  const compression_plan plan_;
  bool stopping_ = false;
  std::unique_ptr<platform::thread[]> threads_;
  unsigned started_ = 0;
};

/// Compresses the job's bytes into its variants as plan says and frees
/// them (unless kept); without the memory for it, leaves no variants and
/// sets out_of_memory.
void compress_job(const compression_plan& plan, compression_job& job);
