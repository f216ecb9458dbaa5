#pragma once
// The connections of the example servers, the same for the three of them.
// One thread accepts connections and reads their requests. A request whose
// head the kit has read whole is planned and answered on that thread when
// the server's HTTP library writes the head of an answer for the hub to
// send (answer_sender::write_head): the head and the embedded body go out
// in one gather write that never waits, and what the socket does not take
// at once is sent as it drains. Otherwise (the library sends its answers
// itself, or development mode reads live files) a worker thread plans the
// answer and sends it through the library. The libraries never see a
// client's bytes: each frames requests its own way, so the kit's one
// strict rule (request_head.h) decides where every request ends, and the
// kit's rule for bodies (request_fields::after_answer) whether the
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
//   reads for at most linger_time before it closes (lingering close);
// - an answer the socket does not take must progress within send_timeout.
#include <sys/epoll.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "example_site.h"
#include "vex_resource_builder/program_file.h"
#include "vex_resource_builder/request_head.h"

/// The bounds of the hub; the defaults are the servers' own.
struct hub_limits {
  std::chrono::milliseconds request_deadline{10000};  ///< a head and its dropped body, from the first byte
  std::chrono::milliseconds idle_timeout{30000};      ///< between requests
  std::chrono::milliseconds linger_time{2000};        ///< reading after the sending side is shut
  std::chrono::milliseconds send_timeout{10000};      ///< for each part of an answer to be taken (send_fully)
  std::chrono::milliseconds accept_pause{100};        ///< when no descriptor or slot can be freed
  size_t head_budget = 8 << 20;                       ///< bytes of all unfinished heads together
  unsigned workers = 16;                              ///< threads answering, where answers are not sent by the hub
  unsigned hubs = 1;  ///< hubs sharing the port, each with this share of the connections and the head budget
};

/// Sends size bytes of data and then more_size bytes of more on a
/// non-blocking socket, waiting at most timeout for each part of them to
/// be taken; false when the peer is gone or too slow.
bool send_fully(int socket, const char* data, size_t size, const char* more, size_t more_size,
                std::chrono::milliseconds timeout);

/// A socket listening on host (a numeric address) and port (0: any free
/// one) with the system's largest backlog, and the port it took; -1 when
/// it cannot listen. shared lets other sockets listen on the same port
/// (SO_REUSEPORT).
int open_listener(const std::string& host, long port, int& bound_port, bool shared = false);

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
  /// Writes the head of answer (status line, header lines, blank line)
  /// into head, for the hub to send with the plan's body; false when the
  /// library only sends whole answers itself (send).
  virtual bool write_head(const planned_answer& answer, std::string& head) {
    (void)answer;
    (void)head;
    return false;
  }
  /// True when write_head writes heads.
  virtual bool writes_heads() const { return false; }
};

/// The accepting, reading and answering of every connection of a listening socket.
class connection_hub {
 public:
  using clock = std::chrono::steady_clock;

  /// program, when open, is where large embedded bodies are sent from.
  connection_hub(const example_site& site, answer_sender& sender, bool quiet, hub_limits limits = {},
                 const vex_http::program_file* program = nullptr)
      : site_(site), sender_(sender), quiet_(quiet), limits_(limits), program_(program) {}

  /// Serves the connections of listener until the process ends.
  [[noreturn]] void run(int listener);

 private:
  // An answer the hub sends itself: its head, its body, and what the
  // request it answers says of the connection.
  struct outgoing {
    std::string head;      // kept between answers, to reuse its memory
    size_t head_sent = 0;
    const char* body = nullptr;
    uint64_t body_left = 0;
    bool from_file = false;     // the body is sent from the program's own file
    uint64_t file_offset = 0;   // where the rest of it lies there
    // The body of a file held compressed only, decoded a chunk at a time as
    // the socket drains; body then points into its chunk, with chunk_left
    // bytes of it unsent.
    std::optional<pooled_body> decoded;
    size_t chunk_left = 0;
    size_t request_length = 0;  // of the answered head, taken off the input once sent
    vex_http::connection_step step{false, 0};
  };

  struct connection {
    int fd;
    enum state_type { reading, discarding, sending, lingering, closing } state = reading;
    std::string input;          // the unread bytes, a head at most
    uint64_t discard = 0;       // body bytes still to drop
    clock::time_point deadline;
    bool busy = false;          // a worker has it
    bool peer_done = false;     // the peer sends no more
    // Its place among the idle, oldest first (linked through the
    // connections, so that a request allocates nothing); both null and not
    // idle_first_ when it is not idle.
    connection* idle_before = nullptr;
    connection* idle_after = nullptr;
    bool is_idle = false;
    uint32_t armed = 0;  // the events epoll waits for
    outgoing out;
  };

  enum class sent { whole, waiting, failed };

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
  void arm(connection& c, uint32_t events);
  uint32_t reading_events() const { return answers_here() ? EPOLLIN : EPOLLIN | EPOLLONESHOT; }
  void close(connection& c);
  void mark_idle(connection& c);
  void unmark_idle(connection& c);
  void sweep();
  void give_up_oldest_head();
  void take_returned();
  void resume(connection& c);
  void work();
  void serve(connection& c);
  void answer_one(connection& c, const vex_http::request_head& head);
  vex_http::connection_step plan_one(const vex_http::request_head& head, vex_http::response_plan& plan,
                                     live_file& live) const;
  void after_answer(connection& c, size_t request_length, vex_http::connection_step step, bool sent);
  bool answers_here() const { return here_; }
  void answer_here(connection& c);
  void start_sending(connection& c, const vex_http::request_head& head);
  sent send_some(connection& c);
  sent send_from_file(connection& c);
  static bool decode_next(outgoing& out);
  void finish_sending(connection& c, bool whole);
  void answer_again();

  const example_site& site_;
  answer_sender& sender_;
  const bool quiet_;
  const hub_limits limits_;
  const vex_http::program_file* program_;
  bool here_ = false;  // the library writes heads and no live file is read: answers on the hub's thread
  int listener_ = -1;
  int epoll_ = -1;
  int wake_ = -1;  // an eventfd: the workers have returned connections
  size_t max_connections_ = 0;
  size_t open_ = 0;
  size_t head_bytes_ = 0;  // held by the reading connections' buffers
  bool accepting_ = true;
  clock::time_point resume_accepting_;
  std::vector<std::unique_ptr<connection>> by_fd_;
  connection* idle_first_ = nullptr;  // the idle, oldest first
  connection* idle_last_ = nullptr;
  std::vector<int> again_;  // connections answered here whose turn ended with heads waiting
  std::vector<int> answering_;  // those of the last turn, being answered
  std::mutex mutex_;
  std::condition_variable ready_signal_;
  std::deque<connection*> ready_;     // for the workers
  std::vector<connection*> returned_;  // from the workers
};

/// A server's whole run: the command line, the site, the listening sockets
/// and the first line, then the hubs answering through sender (one per core
/// when the library writes heads, else one); the exit status when it
/// cannot start.
int run_server(int argc, char** argv, const char* program, answer_sender& sender);
