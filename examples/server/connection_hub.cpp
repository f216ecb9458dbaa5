#include "connection_hub.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

namespace {

// Descriptors kept for what is not a connection: the listener, epoll, the
// workers' own (a library's socket pair, a live file) and the standard streams.
constexpr size_t spare_descriptors = 64;
// The most descriptors the hub keeps a table for.
constexpr size_t table_limit = 65536;
constexpr auto sweep_interval = std::chrono::milliseconds(250);
// Requests answered on one connection before the others get a turn.
constexpr int answers_per_turn = 16;
// Bodies this large are sent from the program's own file (sendfile), when
// the data form put them in a read-only segment of it: the system takes
// them without a copy from memory into the socket. Whole pages cost it
// least, and the object form starts large arrays on a page of their own in
// ELF. Measured with wrk on loopback (server's processor time per answer):
// 64 KB from a page's start took 13 to 15 us, from 1,904 bytes into a page
// 26 to 29 us, and written from memory 15 or 31 us, depending on the run;
// 96 KB took 19 to 21, 30 and 34 to 36 us. Up to 32 KB, writing and
// sending from the file cost the same; from 120 KB, a body no longer goes
// out in one write, and writing took 32 to 43 us where sending from the
// file took 23 to 28 us, wherever the bytes start. A smaller body goes out
// in the one gather write with its head.
constexpr uint64_t page_size = 4096;
constexpr uint64_t from_file_pages = 64 * 1024;
constexpr uint64_t from_file_size = 120 * 1024;
// The input buffer of a connection keeps its memory between requests up to
// this size, so that ordinary requests allocate nothing; a larger one is
// given back.
constexpr size_t kept_input = 1024;
// Connections accepted before the hub reads from those it has: a burst
// must not push a client's fresh connection out before its request is read.
constexpr int accepts_per_turn = 32;

}  // namespace

bool send_fully(int socket, const char* data, size_t size, const char* more, size_t more_size,
                std::chrono::milliseconds timeout) {
  iovec parts[2] = {{const_cast<char*>(data), size}, {const_cast<char*>(more), more_size}};
  while (parts[0].iov_len + parts[1].iov_len > 0) {
    const int first = parts[0].iov_len == 0 ? 1 : 0;
    msghdr message{};
    message.msg_iov = parts + first;
    message.msg_iovlen = static_cast<size_t>(2 - first);
    const ssize_t sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno == EAGAIN) {
      pollfd wait{socket, POLLOUT, 0};
      if (::poll(&wait, 1, static_cast<int>(timeout.count())) <= 0) return false;
      continue;
    }
    if (sent <= 0) return false;
    size_t count = static_cast<size_t>(sent);
    for (iovec& part : parts) {
      const size_t taken = std::min(count, part.iov_len);
      part.iov_base = static_cast<char*>(part.iov_base) + taken;
      part.iov_len -= taken;
      count -= taken;
    }
  }
  return true;
}

int open_listener(const std::string& host, long port, int& bound_port, bool shared) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  bool ok = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            (!shared || ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) == 0) &&
            ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0;
  ::freeaddrinfo(found);
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  ok = ok && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (!ok) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  bound_port = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                                   : reinterpret_cast<sockaddr_in&>(address).sin_port);
  return fd;
}

void connection_hub::run(int listener) {
  listener_ = listener;
  start();
  epoll_event events[256];
  clock::time_point next_sweep = clock::now();
  for (;;) {
    const int wait = again_.empty() ? static_cast<int>(sweep_interval.count()) : 0;
    const int count = ::epoll_wait(epoll_, events, 256, wait);
    for (int i = 0; i < count; ++i) {
      const int fd = events[i].data.fd;
      if (fd == listener_) accept_all();
      else if (fd == wake_) take_returned();
      // A connection a worker has may still have been armed when it was handed over.
      else if (connection* c = by_fd_[static_cast<size_t>(fd)].get(); c && !c->busy) on_readable(*c);
    }
    answer_again();
    if (clock::now() >= next_sweep) {
      sweep();
      next_sweep = clock::now() + sweep_interval;
    }
  }
}

// The table, the cap from the descriptor limit (this hub's share of it),
// epoll and the workers (none when every answer is sent here).
void connection_hub::start() {
  rlimit files{};
  ::getrlimit(RLIMIT_NOFILE, &files);
  const size_t descriptors = std::min<size_t>(files.rlim_cur, table_limit);
  max_connections_ = descriptors > 2 * spare_descriptors ? descriptors - spare_descriptors : descriptors / 2;
  max_connections_ = std::max<size_t>(1, max_connections_ / limits_.hubs);
  by_fd_.resize(descriptors);
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  for (const int fd : {listener_, wake_}) {
    epoll_event event{EPOLLIN, {}};
    event.data.fd = fd;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
  }
  here_ = sender_.writes_heads() && !site_.reads_live_files();
  for (unsigned i = 0; i < (here_ ? 0 : limits_.workers); ++i) std::thread([this] { work(); }).detach();
}

void connection_hub::accept_all() {
  for (int turn = 0; turn < accepts_per_turn && accepting_; ++turn) {
    if (open_ >= max_connections_ && !make_room()) return pause_accepting();
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      admit(fd);
      continue;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    // Out of descriptors or memory: free one, or wait, rather than spin.
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      if (make_room()) continue;
      return pause_accepting();
    }
    return;  // EAGAIN: none waiting
  }
}

void connection_hub::pause_accepting() {
  accepting_ = false;
  resume_accepting_ = clock::now() + limits_.accept_pause;
  epoll_event event{0, {}};
  event.data.fd = listener_;
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, listener_, &event);
}

void connection_hub::resume_accepting() {
  accepting_ = true;
  epoll_event event{EPOLLIN, {}};
  event.data.fd = listener_;
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, listener_, &event);
}

// Closes the connection idle longest; false when none is idle.
bool connection_hub::make_room() {
  if (!idle_first_) return false;
  close(*idle_first_);
  return true;
}

void connection_hub::admit(int fd) {
  if (static_cast<size_t>(fd) >= by_fd_.size()) {
    ::close(fd);
    return;
  }
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  auto c = std::make_unique<connection>();
  c->fd = fd;
  c->deadline = clock::now() + limits_.idle_timeout;
  mark_idle(*c);
  c->armed = reading_events();
  epoll_event event{c->armed, {}};
  event.data.fd = fd;
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
  connection& admitted = *c;
  by_fd_[static_cast<size_t>(fd)] = std::move(c);
  ++open_;
  read_head(admitted);  // a client's first request often comes with its connection
}

void connection_hub::on_readable(connection& c) {
  if (c.state == connection::sending) return answer_here(c);  // the socket takes more
  if (c.state == connection::lingering) return drain(c);
  if (c.state == connection::discarding) return drop_body(c);
  read_head(c);
}

// Reads and drops what a closing connection's peer still sends, until it stops.
void connection_hub::drain(connection& c) {
  char scratch[16384];
  for (int reads = 0; reads < 4; ++reads) {
    const ssize_t count = ::recv(c.fd, scratch, sizeof scratch, 0);
    if (count < 0 && errno == EAGAIN) return watch(c);
    if (count <= 0) return close(c);
  }
  watch(c);
}

// Reads and drops the body that the last answer left.
void connection_hub::drop_body(connection& c) {
  char scratch[16384];
  const ssize_t count = ::recv(c.fd, scratch, static_cast<size_t>(std::min<uint64_t>(c.discard, sizeof scratch)), 0);
  if (count < 0 && errno == EAGAIN) return watch(c);
  if (count <= 0) return close(c);
  c.discard -= static_cast<uint64_t>(count);
  if (c.discard > 0) return watch(c);
  c.state = connection::reading;
  read_head(c);
}

// Reads bytes of the next head, and hands the connection to a worker once
// the kit has read the head whole or refused it.
void connection_hub::read_head(connection& c) {
  char scratch[vex_http::request_head_limit + 1];  // one byte past the limit shows a head too long
  const ssize_t count = ::recv(c.fd, scratch, sizeof scratch - c.input.size(), 0);
  if (count < 0 && errno == EAGAIN) return watch(c);
  if (count < 0 || (count == 0 && c.input.empty())) return close(c);
  if (count == 0) {
    c.peer_done = true;  // answer what came whole, then close
    if (vex_http::read_request_head(c.input).status == vex_http::request_head::incomplete) return close(c);
    return answers_here() ? answer_here(c) : dispatch(c);
  }
  if (c.input.empty()) {
    unmark_idle(c);
    c.deadline = clock::now() + limits_.request_deadline;
  }
  c.input.append(scratch, static_cast<size_t>(count));
  head_bytes_ += static_cast<size_t>(count);
  const int fd = c.fd;
  if (head_bytes_ > limits_.head_budget / limits_.hubs) give_up_oldest_head();
  if (!by_fd_[static_cast<size_t>(fd)]) return;  // given up itself
  if (vex_http::read_request_head(c.input).status == vex_http::request_head::incomplete) return watch(c);
  answers_here() ? answer_here(c) : dispatch(c);
}

void connection_hub::dispatch(connection& c) {
  head_bytes_ -= c.input.size();
  c.busy = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_.push_back(&c);
  }
  ready_signal_.notify_one();
}

void connection_hub::watch(connection& c) { arm(c, reading_events()); }

// Waits for events on the connection. A hub that hands connections to its
// workers arms each wait once, so that the hub does not read a connection
// a worker has; one that answers on its own thread leaves the connection
// armed, and changes nothing while the events stay the same.
void connection_hub::arm(connection& c, uint32_t events) {
  if (answers_here() && c.armed == events) return;
  c.armed = events;
  epoll_event event{events, {}};
  event.data.fd = c.fd;
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &event);
}

void connection_hub::close(connection& c) {
  unmark_idle(c);
  head_bytes_ -= c.input.size();
  const int fd = c.fd;
  ::close(fd);
  by_fd_[static_cast<size_t>(fd)].reset();
  --open_;
  if (!accepting_) resume_accepting();
}

void connection_hub::mark_idle(connection& c) {
  c.is_idle = true;
  c.idle_before = idle_last_;
  c.idle_after = nullptr;
  (idle_last_ ? idle_last_->idle_after : idle_first_) = &c;
  idle_last_ = &c;
}

void connection_hub::unmark_idle(connection& c) {
  if (!c.is_idle) return;
  (c.idle_before ? c.idle_before->idle_after : idle_first_) = c.idle_after;
  (c.idle_after ? c.idle_after->idle_before : idle_last_) = c.idle_before;
  c.idle_before = c.idle_after = nullptr;
  c.is_idle = false;
}

// Ends the connections past their deadline, and resumes a paused accept.
void connection_hub::sweep() {
  const clock::time_point now = clock::now();
  if (!accepting_ && now >= resume_accepting_) resume_accepting();
  for (const std::unique_ptr<connection>& c : by_fd_)
    if (c && !c->busy && now >= c->deadline) close(*c);
}

// The buffers of unfinished heads are over their budget: the head begun
// longest ago is given up.
void connection_hub::give_up_oldest_head() {
  connection* oldest = nullptr;
  for (const std::unique_ptr<connection>& c : by_fd_)
    if (c && !c->busy && c->state == connection::reading && !c->input.empty() &&
        (!oldest || c->deadline < oldest->deadline))
      oldest = c.get();
  if (oldest) close(*oldest);
}

// Takes back the connections the workers are done with.
void connection_hub::take_returned() {
  uint64_t count = 0;
  if (::read(wake_, &count, sizeof count) < 0) return;
  std::vector<connection*> returned;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    returned.swap(returned_);
  }
  for (connection* c : returned) {
    c->busy = false;
    head_bytes_ += c->input.size();
    resume(*c);
  }
}

// A connection whose answers are sent: it ends, lingers, waits idle for its
// next request or for the rest of one, or has its next turn.
void connection_hub::resume(connection& c) {
  if (c.state == connection::closing || (c.peer_done && c.state != connection::lingering)) {
    close(c);
  } else if (c.state == connection::lingering) {
    c.deadline = clock::now() + limits_.linger_time;
    watch(c);
  } else if (c.state == connection::reading && c.input.empty()) {
    c.deadline = clock::now() + limits_.idle_timeout;
    mark_idle(c);
    watch(c);
  } else if (c.state == connection::reading &&
             vex_http::read_request_head(c.input).status != vex_http::request_head::incomplete) {
    // Its turn ended with heads still waiting.
    if (answers_here()) again_.push_back(c.fd);
    else dispatch(c);
  } else {
    c.deadline = clock::now() + limits_.request_deadline;
    watch(c);
  }
}

void connection_hub::work() {
  for (;;) {
    connection* c = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_signal_.wait(lock, [this] { return !ready_.empty(); });
      c = ready_.front();
      ready_.pop_front();
    }
    serve(*c);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      returned_.push_back(c);
    }
    const uint64_t one = 1;
    if (::write(wake_, &one, sizeof one) < 0) continue;
  }
}

// Answers the requests whose heads have come whole, in order.
void connection_hub::serve(connection& c) {
  for (int round = 0; round < answers_per_turn && c.state == connection::reading; ++round) {
    const vex_http::request_head head = vex_http::read_request_head(c.input);
    if (head.status == vex_http::request_head::incomplete) return;
    answer_one(c, head);
  }
}

// Plans the answer to one head, and says what its request leaves of the connection.
vex_http::connection_step connection_hub::plan_one(const vex_http::request_head& head, vex_http::response_plan& plan,
                                                   live_file& live) const {
  vex_http::connection_step step{true, 0};
  if (head.status == vex_http::request_head::refused) {
    site_.refuse(plan, "", head.refusal, live);
  } else {
    vex_http::request_fields fields(head.version);
    vex_http::add_field_lines(head, fields);
    site_.answer(plan, head.method, head.target, fields.headers(), live);
    step = fields.after_answer();
  }
  step.close = step.close || plan.close_connection;
  if (!quiet_) log_answer(head.method, head.target, plan.status, coding_of(plan));
  return step;
}

// Plans and sends the answer to one head through the library.
void connection_hub::answer_one(connection& c, const vex_http::request_head& head) {
  live_file live;
  vex_http::response_plan plan;
  const vex_http::connection_step step = plan_one(head, plan, live);
  const bool sent = sender_.send(c.fd, {plan, head.method, head.version, step.close, limits_.send_timeout});
  after_answer(c, head.length, step, sent);
}

// Takes an answered head, and the body to drop, off the connection; or
// ends it, as the request or a failed send says.
void connection_hub::after_answer(connection& c, size_t request_length, vex_http::connection_step step, bool sent) {
  if (!sent) {
    c.state = connection::closing;
  } else if (step.close) {
    ::shutdown(c.fd, SHUT_WR);
    c.state = connection::lingering;
    std::string().swap(c.input);
  } else {
    c.input.erase(0, request_length);
    const size_t dropped = static_cast<size_t>(std::min<uint64_t>(step.discard, c.input.size()));
    c.input.erase(0, dropped);
    c.discard = step.discard - dropped;
    if (c.discard > 0) c.state = connection::discarding;
    if (c.input.empty() && c.input.capacity() > kept_input) std::string().swap(c.input);
  }
}

// Answers the heads that came whole, on this thread and in order, as long
// as the socket takes the answers at once; an answer it does not take
// waits for it to drain (state sending).
void connection_hub::answer_here(connection& c) {
  unmark_idle(c);
  for (int round = 0; round < answers_per_turn;) {
    if (c.state == connection::sending) {
      const sent result = send_some(c);
      if (result == sent::waiting) {
        c.deadline = clock::now() + limits_.send_timeout;
        return arm(c, EPOLLOUT);
      }
      finish_sending(c, result == sent::whole);
      ++round;
      continue;
    }
    if (c.state != connection::reading) break;
    const vex_http::request_head head = vex_http::read_request_head(c.input);
    if (head.status == vex_http::request_head::incomplete) break;
    start_sending(c, head);
  }
  resume(c);
}

// Plans the answer to head and has the library write its head; the answer
// is then the connection's to send.
void connection_hub::start_sending(connection& c, const vex_http::request_head& head) {
  live_file live;  // no live file is read on this thread
  vex_http::response_plan plan;
  const vex_http::connection_step step = plan_one(head, plan, live);
  outgoing& out = c.out;
  out.head.clear();
  out.head_sent = 0;
  out.body = plan.body;
  out.body_left = plan.send_body ? plan.body_length : 0;
  out.request_length = head.length;
  out.step = step;
  out.chunk_left = 0;
  if (plan.source == vex_http::body_source::decoded && out.body_left > 0) out.decoded.emplace(plan);
  out.from_file = !out.decoded && out.body_left >= from_file_pages && program_ &&
                  program_->locate(out.body, out.body_left, out.file_offset) &&
                  (out.body_left >= from_file_size || out.file_offset % page_size == 0);
  c.state = connection::sending;
  if (!sender_.write_head({plan, head.method, head.version, step.close, limits_.send_timeout}, out.head))
    finish_sending(c, false);
}

// Sends what the socket takes of the connection's answer.
connection_hub::sent connection_hub::send_some(connection& c) {
  outgoing& out = c.out;
  if (out.from_file) return send_from_file(c);
  while (out.head_sent < out.head.size() || out.body_left > 0) {
    if (out.decoded && out.body_left > 0 && out.chunk_left == 0 && !decode_next(out)) return sent::failed;
    const uint64_t body_now = out.decoded ? out.chunk_left : out.body_left;
    iovec parts[2];
    size_t count = 0;
    if (out.head_sent < out.head.size()) parts[count++] = {out.head.data() + out.head_sent, out.head.size() - out.head_sent};
    if (body_now > 0) parts[count++] = {const_cast<char*>(out.body), static_cast<size_t>(body_now)};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = count;
    const ssize_t written = ::sendmsg(c.fd, &message, MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EAGAIN) return sent::waiting;
    if (written <= 0) return sent::failed;
    size_t taken = static_cast<size_t>(written);
    const size_t from_head = std::min(taken, out.head.size() - out.head_sent);
    out.head_sent += from_head;
    taken -= from_head;
    out.body += taken;
    out.body_left -= taken;
    if (out.decoded) out.chunk_left -= taken;
  }
  return sent::whole;
}

// The next chunk of a decoded body; false when the stored bytes fail, and
// the answer cannot keep the length it promised.
bool connection_hub::decode_next(outgoing& out) {
  const std::string_view chunk = out.decoded->next();
  if (chunk.empty()) {
    std::fprintf(stderr, "decoding an answer failed: %s\n", out.decoded->body().failure());
    return false;
  }
  out.body = chunk.data();
  out.chunk_left = chunk.size();
  return true;
}

// Sends what the socket takes of the head, saying that the body follows,
// then of the body from the program's file.
connection_hub::sent connection_hub::send_from_file(connection& c) {
  outgoing& out = c.out;
  while (out.head_sent < out.head.size()) {
    const ssize_t written =
        ::send(c.fd, out.head.data() + out.head_sent, out.head.size() - out.head_sent, MSG_NOSIGNAL | MSG_MORE);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EAGAIN) return sent::waiting;
    if (written <= 0) return sent::failed;
    out.head_sent += static_cast<size_t>(written);
  }
  while (out.body_left > 0) {
    const int64_t written = vex_http::send_program_bytes(c.fd, *program_, out.file_offset, out.body_left);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EAGAIN) return sent::waiting;
    if (written <= 0) return sent::failed;
    out.file_offset += static_cast<uint64_t>(written);
    out.body_left -= static_cast<uint64_t>(written);
  }
  return sent::whole;
}

// The connection's answer is sent, or could not be: the connection goes on
// as its request says. Its input stays counted among the heads read.
void connection_hub::finish_sending(connection& c, bool whole) {
  c.out.decoded.reset();  // its reader goes back to the pool
  const size_t before = c.input.size();
  c.state = connection::reading;
  after_answer(c, c.out.request_length, c.out.step, whole);
  head_bytes_ -= before - c.input.size();
}

// The connections answered here whose turn ended with heads waiting.
void connection_hub::answer_again() {
  answering_.swap(again_);
  for (const int fd : answering_)
    if (connection* c = by_fd_[static_cast<size_t>(fd)].get(); c && !c->busy && c->state == connection::reading)
      answer_here(*c);
  answering_.clear();
}

// The listening sockets of the hubs, all on one port: the first takes the
// port asked for, or a free one, and the others share it (SO_REUSEPORT, so
// that the system spreads the connections). Empty when it cannot listen.
std::vector<int> open_listeners(const server_options& options, unsigned count, int& port) {
  std::vector<int> listeners;
  long asked = options.port;
  for (unsigned i = 0; i < count; ++i) {
    const int listener = open_listener(options.host, asked, port, count > 1);
    if (listener < 0) {
      for (const int each : listeners) ::close(each);
      return {};
    }
    listeners.push_back(listener);
    asked = port;
  }
  return listeners;
}

int run_server(int argc, char** argv, const char* program, answer_sender& sender) {
  // A peer that is gone fails a write; it does not end the server.
  std::signal(SIGPIPE, SIG_IGN);
  static example_site site;
  const server_options options = parse_options(argc, argv, program);
  if (!site.start(options, program)) return 1;
  // Where every answer is sent on a hub's own thread, one hub per core
  // shares the work; else one hub hands answers to its workers.
  hub_limits limits;
  if (sender.writes_heads() && !site.reads_live_files()) limits.hubs = std::max(1u, std::thread::hardware_concurrency());
  int port = 0;
  const std::vector<int> listeners = open_listeners(options, limits.hubs, port);
  if (listeners.empty()) {
    std::fprintf(stderr, "%s: cannot listen on %s port %ld\n", program, options.host.c_str(), options.port);
    return 1;
  }
  print_listening(options.host, port);
  static vex_http::program_file own_file;
  const vex_http::program_file* large_bodies = own_file.open() ? &own_file : nullptr;
  for (size_t i = 1; i < listeners.size(); ++i)
    std::thread([&, listener = listeners[i]] {
      connection_hub(site, sender, options.quiet, limits, large_bodies).run(listener);
    }).detach();
  connection_hub(site, sender, options.quiet, limits, large_bodies).run(listeners[0]);
}
