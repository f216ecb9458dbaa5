#include "generator/extras/compression_queue.h"

#include <new>

compression_queue::compression_queue(unsigned workers, const compression_plan& plan) : plan_(plan) {
  if (workers <= 1) return;
  threads_.reset(new platform::thread[workers]);
  for (unsigned i = 0; i < workers && threads_[i].start(&compression_queue::work, this); ++i) ++started_;
}

compression_queue::~compression_queue() {
  {
    platform::mutex_lock held(lock_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (unsigned i = 0; i < started_; ++i) threads_[i].join();
}

void compress_job(const compression_plan& plan, compression_job& job) {
  uint64_t start = platform::thread_processor_time();
  try {
    compress_variants(plan, job.bytes.data(), job.size, job.variants);
  } catch (const std::bad_alloc&) {
    // A worker must not end the process: the caller reports it.
    job.variants = variant_set{};
    job.out_of_memory = true;
  }
  job.nanoseconds = platform::thread_processor_time() - start;
  bool coded = false;
  for (const std::vector<uint8_t>& variant : job.variants.bytes) coded = coded || !variant.empty();
  if (coded || !job.kept_unless_coded) std::vector<uint8_t>().swap(job.bytes);
}

void compression_queue::add(compression_job* job) {
  if (started_ == 0) {
    compress_job(plan_, *job);
    job->done = true;
    return;
  }
  {
    platform::mutex_lock held(lock_);
    pending_.push_back(job);
  }
  queued_.notify_all();
}

void compression_queue::wait(compression_job* job) {
  if (started_ == 0) return;
  platform::mutex_lock held(lock_);
  while (!job->done) finished_.wait(lock_);
}

void compression_queue::work(void* self) { static_cast<compression_queue*>(self)->run_worker(); }

void compression_queue::run_worker() {
  lock_.lock();
  for (;;) {
    while (!stopping_ && pending_.empty()) queued_.wait(lock_);
    if (pending_.empty()) break;  // stopping, and nothing left to do
    compression_job* job = pending_.front();
    pending_.pop_front();
    lock_.unlock();
    compress_job(plan_, *job);
    lock_.lock();
    job->done = true;
    finished_.notify_all();
  }
  lock_.unlock();
}
