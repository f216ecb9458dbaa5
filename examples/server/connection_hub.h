#pragma once
// The connections of the example servers, the same for the three of them.
// One thread accepts connections and reads their requests; a request
// whose head the kit has read whole is planned by a worker thread and sent
// through the server's HTTP library (answer_sender). The libraries never
// see a client's bytes: each frames requests its own way, so the kit's
// one strict rule (request_head.h) decides where every request ends, and
// the kit's rule for bodies (request_fields::after_answer) whether the
// connection goes on.
//
// Bounds, so that a hostile client cannot starve the others:
// - a head (request line 8 KiB, whole head 16 KiB: 414 and 431 beyond)
//   and the body dropped after it must come within request_deadline of
//   their first byte (slowloris); an idle connection is closed after
//   idle_timeout; a request is not read while its connection is answered,
//   so one connection holds at most one head's buffer;
// - chunked bodies are never read (the answer ends the connection), so
//   there are no chunk extensions or trailers to bound;
// - open connections are capped below the descriptor limit; at the cap,
//   and when accept runs out of descriptors, the connection idle longest
//   is closed to make room, and without an idle one accepting pauses;
// - the buffers of unfinished heads share a budget: past it, the head
//   begun longest ago is given up;
// - every close that may leave input unread shuts the sending side and
//   reads for at most linger_time before it closes (lingering close).
#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "example_site.h"
#include "vex_resource_builder/request_head.h"

/// The bounds of the hub; the defaults are the servers' own.
struct hub_limits {
  std::chrono::milliseconds request_deadline{10000};  ///< a head and its dropped body, from the first byte
  std::chrono::milliseconds idle_timeout{30000};      ///< between requests
  std::chrono::milliseconds linger_time{2000};        ///< reading after the sending side is shut
  std::chrono::milliseconds send_timeout{10000};      ///< for each part of an answer to be taken (send_fully)
  std::chrono::milliseconds accept_pause{100};        ///< when no descriptor or slot can be freed
  size_t head_budget = 8 << 20;                       ///< bytes of all unfinished heads together
  unsigned workers = 16;                              ///< threads answering
};

/// Sends size bytes of data and then more_size bytes of more on a
/// non-blocking socket, waiting at most timeout for each part of them to
/// be taken; false when the peer is gone or too slow.
bool send_fully(int socket, const char* data, size_t size, const char* more, size_t more_size,
                std::chrono::milliseconds timeout);

/// A socket listening on host (a numeric address) and port (0: any free
/// one) with the system's largest backlog, and the port it took; -1 when
/// it cannot listen.
int open_listener(const std::string& host, long port, int& bound_port);

/// One planned answer, for a library to send.
struct planned_answer {
  const vex_http::response_plan& plan;
  std::string_view method;  ///< HEAD: the body is left out
  int version;              ///< of the request: 10 or 11
  bool close;               ///< the connection ends after it: say Connection: close
  std::chrono::milliseconds send_timeout;  ///< for send_fully
};

/// What a server gives the hub: one answer sent through its library.
class answer_sender {
 public:
  virtual ~answer_sender() = default;
  /// Sends answer on socket (non-blocking: see send_fully); false when
  /// the peer is gone, and the connection is closed.
  virtual bool send(int socket, const planned_answer& answer) = 0;
};

/// The accepting, reading and answering of every connection of a listening socket.
class connection_hub {
 public:
  using clock = std::chrono::steady_clock;

  connection_hub(const example_site& site, answer_sender& sender, bool quiet, hub_limits limits = {})
      : site_(site), sender_(sender), quiet_(quiet), limits_(limits) {}

  /// Serves the connections of listener until the process ends.
  [[noreturn]] void run(int listener);

 private:
  struct connection {
    int fd;
    enum state_type { reading, discarding, lingering, closing } state = reading;
    std::string input;          // the unread bytes, a head at most
    uint64_t discard = 0;       // body bytes still to drop
    clock::time_point deadline;
    bool busy = false;          // a worker has it
    bool peer_done = false;     // the peer sends no more
    std::list<connection*>::iterator idle;  // its place among the idle, or idle_.end()
  };

  void start();
  void accept_all();
  void pause_accepting();
  void resume_accepting();
  bool make_room();
  void admit(int fd);
  void on_readable(connection& c);
  void drain(connection& c);
  void drop_body(connection& c);
  void read_head(connection& c);
  void dispatch(connection& c);
  void watch(connection& c);
  void close(connection& c);
  void mark_idle(connection& c);
  void unmark_idle(connection& c);
  void sweep();
  void give_up_oldest_head();
  void take_returned();
  void work();
  void serve(connection& c);
  void answer_one(connection& c, const vex_http::request_head& head);

  const example_site& site_;
  answer_sender& sender_;
  const bool quiet_;
  const hub_limits limits_;
  int listener_ = -1;
  int epoll_ = -1;
  int wake_ = -1;  // an eventfd: the workers have returned connections
  size_t max_connections_ = 0;
  size_t open_ = 0;
  size_t head_bytes_ = 0;  // held by the reading connections' buffers
  bool accepting_ = true;
  clock::time_point resume_accepting_;
  std::vector<std::unique_ptr<connection>> by_fd_;
  std::list<connection*> idle_;  // oldest first
  std::mutex mutex_;
  std::condition_variable ready_signal_;
  std::deque<connection*> ready_;     // for the workers
  std::vector<connection*> returned_;  // from the workers
};

/// A server's whole run: the command line, the site, the listening socket
/// and its first line, then the hub answering through sender; the exit
/// status when it cannot start.
int run_server(int argc, char** argv, const char* program, answer_sender& sender);
