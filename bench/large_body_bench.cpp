// How a server best sends an answer whose body is embedded: the head and
// the body in one gather write (writev) from memory, or the head with
// MSG_MORE and then the body straight from the program's own file
// (sendfile), as nginx sends files from disk. The answers go over a
// loopback connection whose other end a thread reads and drops, as a
// client does.
//
//   vex_large_body_bench [--benchmark_... options]
//
// Bodies of 1 KB, 16 KB, 64 KB and 200 KB, embedded in the incbin form
// (a read-only segment of the program's file). The counter sender_us is the
// processor time of the sending thread per answer, the system's work
// included, and with_reader_us that of the reader too (the client's side
// of a loopback connection, which the machine pays for as well); the time
// columns include waiting for the reader.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "vex_resource_builder/program_file.h"
#include "vex_resource_builder/response_head.h"
#include "vex_resource_builder/response_plan.h"
#include "vex_resources.h"

namespace {

vex_http::site site_with_table() {
  vex_http::site site{vex_res_arrays, vex_res_arrays_length, vex_res_extras::all, vex_res_extras::all_length};
  site.paths = &vex_res_paths::table;
  return site;
}
const vex_http::site site = site_with_table();

double seconds_of(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

/// A loopback connection whose far end a thread reads and drops.
class drained_connection {
 public:
  drained_connection() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      std::abort();
    sender_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(sender_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
    reader_ = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    const int on = 1;
    ::setsockopt(sender_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    drain_ = std::thread([this] {
      static char sink[1 << 16];
      while (::recv(reader_, sink, sizeof sink, 0) > 0) continue;
    });
  }
  ~drained_connection() {
    ::shutdown(sender_, SHUT_RDWR);
    ::close(sender_);
    drain_.join();
    ::close(reader_);
  }
  int socket() const { return sender_; }

 private:
  int sender_ = -1;
  int reader_ = -1;
  std::thread drain_;
};

bool write_all(int socket, iovec* parts, int count) {
  while (count > 0) {
    ssize_t sent = ::writev(socket, parts, count);
    if (sent < 0) return false;
    while (count > 0 && static_cast<size_t>(sent) >= parts->iov_len) {
      sent -= static_cast<ssize_t>(parts->iov_len);
      ++parts;
      --count;
    }
    if (count > 0) {
      parts->iov_base = static_cast<char*>(parts->iov_base) + sent;
      parts->iov_len -= static_cast<size_t>(sent);
    }
  }
  return true;
}

bool send_from_file(int socket, const vex_http::program_file& program, uint64_t offset, uint64_t size) {
  while (size > 0) {
    const int64_t sent = vex_http::send_program_bytes(socket, program, offset, size);
    if (sent <= 0) return false;
    offset += static_cast<uint64_t>(sent);
    size -= static_cast<uint64_t>(sent);
  }
  return true;
}

/// The embedded file of about kilobytes KB (the tree's file names say its size).
const vex_resource* file_of(int kilobytes) {
  const std::string path = "/body" + std::to_string(kilobytes) + ".bin";
  return vex_res_find_in(vex_res_arrays, vex_res_arrays_length, path.c_str());
}

void send_answers(benchmark::State& state, bool from_file) {
  static vex_http::program_file program;
  static const bool opened = program.open();
  const vex_resource* file = file_of(static_cast<int>(state.range(0)));
  uint64_t offset = 0;
  if (!file || (from_file && !(opened && program.locate(file->data, file->size, offset)))) {
    state.SkipWithError("the body is not in a read-only segment of the program's file");
    return;
  }
  drained_connection connection;
  vex_http::response_plan plan;
  vex_http::plan_request(plan, "GET", file->path_root_a, {}, site);
  char head[vex_http::head_capacity];
  const size_t head_length = vex_http::write_head(plan, "", head, sizeof head);
  const double start = seconds_of(CLOCK_THREAD_CPUTIME_ID);
  const double process_start = seconds_of(CLOCK_PROCESS_CPUTIME_ID);
  for (auto _ : state) {
    bool sent = false;
    if (from_file) {
      sent = ::send(connection.socket(), head, head_length, MSG_MORE) == static_cast<ssize_t>(head_length) &&
             send_from_file(connection.socket(), program, offset, plan.body_length);
    } else {
      iovec parts[2] = {{head, head_length}, {const_cast<char*>(plan.body), plan.body_length}};
      sent = write_all(connection.socket(), parts, 2);
    }
    if (!sent) {
      state.SkipWithError("the connection failed");
      break;
    }
  }
  const double answers = static_cast<double>(state.iterations());
  state.counters["sender_us"] = (seconds_of(CLOCK_THREAD_CPUTIME_ID) - start) * 1e6 / answers;
  state.counters["with_reader_us"] = (seconds_of(CLOCK_PROCESS_CPUTIME_ID) - process_start) * 1e6 / answers;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plan.body_length));
}

}  // namespace

int main(int argc, char** argv) {
  vex_res::sort_all();
  for (const bool from_file : {false, true})
    benchmark::RegisterBenchmark(from_file ? "sendfile_after_head" : "writev_head_and_body", send_answers, from_file)
        ->Arg(1)->Arg(16)->Arg(64)->Arg(200)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
