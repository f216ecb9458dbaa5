// The example server on GNU libmicrohttpd: the same site, command line and
// answers as the others, from the same planner and connections
// (connection_hub.h).
//
//   vex_example_server_microhttpd [--host 127.0.0.1] [--port N] [--dev-root DIR] [--quiet]
//                                 [--fallback [PREFIX=]PATH]... [--error-page STATUS=PATH]...
//                                 [--header 'NAME: VALUE']...
//
// The library reads its requests from a socket of its own and cannot be
// given bytes otherwise, and 0.9.75 frames some requests otherwise than
// the kit: it reads "Content-Length:" followed by a folded " 48" as no
// length, and answers the request hidden in the body; and it answers a
// Content-Length it cannot read ("+48", "48, 49") with its status line and
// header block written twice. So the hub reads every head with the kit,
// and the library is handed each planned answer on a socket pair of its
// own: it reads a stand-in request (the method alone counts: HEAD has no
// body), calls the handler, which finds the plan, and writes the answer.
//
// For embedded files, each hub thread has a daemon of the library that it
// runs itself (MHD_run_from_select), with one socket pair that stays open:
// the hub writes a HEAD stand-in into it, runs the library, and reads back
// the head the library wrote, which it sends with the embedded body in one
// gather write that never waits. The daemon queues again the responses it
// has made (kept_responses), as most answers repeat a few heads; it writes
// their Date itself. The head it wrote for an answer is the one it would
// write again within the same second, so the hub sends that one again:
// the library writes each head at most once a second per thread, and the
// other answers cost no round trip through the pair (head_writer::write).
// In development mode the library's own threads write whole answers on a
// socket pair per answer, which a worker copies to the client. The handler
// answers on its second call, once the request is read: an answer queued
// on the first makes the library end the connection.
#include <microhttpd.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "connection_hub.h"

namespace {

// The answers being written by the library's threads, by the library's
// end of their socket pair.
std::mutex answers_mutex;
std::map<int, const planned_answer*> answers;
// The answer whose head this thread's own daemon is writing.
thread_local const planned_answer* current_answer = nullptr;

// A body the library must never read: the stand-in for a 304's.
ssize_t no_body(void*, uint64_t, char*, size_t) { return MHD_CONTENT_READER_END_WITH_ERROR; }

// The next bytes of a decoded body, into the library's buffer; one that
// cannot be given whole ends the answer short, as its length was promised.
ssize_t read_decoded(void* body, uint64_t, char* out, size_t capacity) {
  const size_t count = static_cast<pooled_body*>(body)->body().read(out, capacity);
  return count > 0 ? static_cast<ssize_t>(count) : MHD_CONTENT_READER_END_WITH_ERROR;
}

void drop_decoded(void* body) { delete static_cast<pooled_body*>(body); }

// The response of a plan; the library writes Content-Length from its size.
// The bytes outlive it: the worker waits for the library to be done.
// body_read is false for a HEAD stand-in, whose body the hub sends itself.
MHD_Response* make_response(const vex_http::response_plan& plan, bool body_read) {
  // A 304 has no body but keeps the length a 200 would carry; nor has the
  // answer to HEAD, which the library never reads, so a decoded body is
  // not begun for it.
  const bool decoded = plan.source == vex_http::body_source::decoded;
  if (plan.status == 304 || (decoded && (!plan.send_body || !body_read)))
    return MHD_create_response_from_callback(plan.content_length, 4096, &no_body, nullptr, nullptr);
  if (decoded) {
    auto* body = new pooled_body(plan);
    MHD_Response* response = MHD_create_response_from_callback(plan.body_length, decode_slot::chunk_size,
                                                               &read_decoded, body, &drop_decoded);
    if (!response) delete body;
    return response;
  }
  return MHD_create_response_from_buffer(plan.body_length, const_cast<char*>(plan.body), MHD_RESPMEM_PERSISTENT);
}

// Date is left to the library in a response kept to be queued again.
bool is_date(const char* name) { return std::strcmp(name, "Date") == 0; }

// The response of a plan with its headers; without Date when the library
// is to write its own (a response kept to be queued again).
MHD_Response* make_response_with_headers(const vex_http::response_plan& plan, bool body_read, bool with_date) {
  MHD_Response* response = make_response(plan, body_read);
  if (!response) return nullptr;
  vex_http::copy_headers(plan, false, [response, with_date](const char* name, std::string_view value) {
    if (with_date || !is_date(name)) MHD_add_response_header(response, name, std::string(value).c_str());
  });
  return response;
}

// Everything the head of plan's answer says but Date, into key (its memory
// is kept): what tells kept responses and heads apart.
void response_key(const vex_http::response_plan& plan, std::string& key) {
  key.clear();
  for (const uint64_t value : {uint64_t(plan.status), uint64_t(plan.body_length), uint64_t(plan.content_length),
                               uint64_t(plan.source), reinterpret_cast<uint64_t>(plan.body)})
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
  vex_http::copy_headers(plan, false, [&key](const char* name, std::string_view value) {
    if (!is_date(name)) key.append(name).append(": ").append(value).append("\r\n");
  });
}

/// The responses whose heads this thread's daemon has written, kept to be
/// queued again: a response of the library may be queued any number of
/// times, and most answers repeat one of a few (a file's 200 or 304 in one
/// coding), so the library need not be handed each header again. A
/// response is kept by everything its head says but Date, which the
/// library writes itself; one that differs from the kept one in its slot
/// takes the slot.
class kept_responses {
 public:
  kept_responses() = default;
  kept_responses(const kept_responses&) = delete;
  kept_responses& operator=(const kept_responses&) = delete;
  ~kept_responses() {
    for (const slot& each : slots_)
      if (each.response) MHD_destroy_response(each.response);
  }

  /// A response for plan's head, kept or made; null when the library makes none.
  MHD_Response* find(const vex_http::response_plan& plan) {
    response_key(plan, key_);
    slot& kept = slots_[std::hash<std::string_view>{}(key_) % slot_count];
    if (kept.response && kept.key == key_) return kept.response;
    if (kept.response) MHD_destroy_response(kept.response);
    kept.response = make_response_with_headers(plan, false, false);
    kept.key = key_;
    return kept.response;
  }

 private:
  static constexpr size_t slot_count = 64;
  struct slot {
    std::string key;
    MHD_Response* response = nullptr;
  };
  slot slots_[slot_count];
  std::string key_;  // of the plan asked for; its memory is kept
};

MHD_Result answer_request(void*, MHD_Connection* connection, const char*, const char*, const char*, const char*,
                          size_t*, void** request_state) {
  // The first call has the header block only: an answer queued then would
  // make the library end the connection, as it cannot tell what of the
  // request is left unread.
  static int header_block_seen;
  if (!*request_state) {
    *request_state = &header_block_seen;
    return MHD_YES;
  }
  if (current_answer) {  // this thread's daemon writes the head only
    thread_local kept_responses kept;
    MHD_Response* response = kept.find(current_answer->plan);
    return response ? MHD_queue_response(connection, static_cast<unsigned>(current_answer->plan.status), response)
                    : MHD_NO;
  }
  const planned_answer* planned = nullptr;
  {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    std::lock_guard<std::mutex> lock(answers_mutex);
    const auto found = answers.find(info->connect_fd);
    if (found != answers.end()) planned = found->second;
  }
  if (!planned) return MHD_NO;
  MHD_Response* response = make_response_with_headers(planned->plan, true, true);
  if (!response) return MHD_NO;
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(planned->plan.status), response);
  MHD_destroy_response(response);
  return queued;
}

// Puts the kit's word on closing in a header block in place of the library's.
void say_close(std::string& head, bool close) {
  static constexpr std::string_view line = "\r\nConnection: close";
  const size_t at = head.find(line);
  if (at != std::string::npos) head.erase(at, line.size());
  if (close) head.insert(head.size() - 4, line);
}

/// A daemon of the library run by the thread that owns it, and a socket
/// pair, kept open, on which it answers stand-in requests.
class head_writer {
 public:
  head_writer() = default;
  head_writer(const head_writer&) = delete;
  head_writer& operator=(const head_writer&) = delete;
  ~head_writer() { shut(); }

  /// The head the library writes for answer; false when it writes none.
  /// A head the library wrote for the same answer within the same second
  /// (as its Date says) is the head it would write again, and is reused.
  bool write(const planned_answer& answer, std::string& head) {
    response_key(answer.plan, key_);
    kept_head& kept = heads_[std::hash<std::string_view>{}(key_) % head_slots];
    // Read before the library writes its Date, which is then this second
    // or the next: a head is never reused in a second after its Date's.
    const std::time_t now = std::time(nullptr);
    if (kept.second == now && kept.key == key_) {
      head = kept.head;
    } else if (ask_library(answer, head)) {
      kept.key = key_;
      kept.head = head;
      kept.second = now;
    } else {
      return false;
    }
    say_close(head, answer.close);
    return true;
  }

 private:
  bool ask_library(const planned_answer& answer, std::string& head) {
    // A pair the library has closed is opened again, once.
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (!daemon_ && !open()) return false;
      if (ask(answer, head)) return true;
      shut();
    }
    return false;
  }

  // The pair, and a daemon told of the library's end of it. The hub tells
  // the library that end is ready (MHD_run_from_select), which spares it
  // a system call to ask; an end numbered past what a select set holds
  // makes the library wait for it with epoll (MHD_run).
  bool open() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair_) != 0) {
      pair_[0] = pair_[1] = -1;
      return false;
    }
    polled_ = pair_[1] >= FD_SETSIZE;
    daemon_ = MHD_start_daemon(MHD_USE_NO_LISTEN_SOCKET | MHD_USE_TURBO | (polled_ ? MHD_USE_EPOLL : 0), 0, nullptr,
                               nullptr, &answer_request, nullptr, MHD_OPTION_END);
    const sockaddr_un address{AF_UNIX, {}};
    if (!daemon_ ||
        MHD_add_connection(daemon_, pair_[1], reinterpret_cast<const sockaddr*>(&address), sizeof address) != MHD_YES) {
      if (!daemon_) ::close(pair_[1]);  // else the library closed it, as it does when it fails
      pair_[1] = -1;
      shut();
      return false;
    }
    return true;
  }

  // One turn of the library on its end of the pair, which is ready.
  void run() {
    if (polled_) {
      MHD_run(daemon_);
      return;
    }
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(pair_[1], &readable);
    FD_SET(pair_[1], &writable);
    MHD_run_from_select(daemon_, &readable, &writable, &failed);
  }

  // Writes a HEAD stand-in and runs the library until the head it writes
  // has come whole; false when it does not.
  bool ask(const planned_answer& answer, std::string& head) {
    static constexpr std::string_view request = "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n";
    if (::send(pair_[0], request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
      return false;
    current_answer = &answer;
    head.clear();
    bool open = true;
    // The library reads, answers and writes within a few of its turns.
    for (int turn = 0; open && turn < 64 && head.find("\r\n\r\n") == std::string::npos; ++turn) {
      run();
      char buffer[4096];
      const ssize_t count = ::recv(pair_[0], buffer, sizeof buffer, MSG_DONTWAIT);
      if (count > 0) head.append(buffer, static_cast<size_t>(count));
      else open = count < 0 && errno == EAGAIN;
    }
    current_answer = nullptr;
    const size_t end = head.find("\r\n\r\n");
    return end != std::string::npos && end + 4 == head.size();
  }

  void shut() {
    if (pair_[0] >= 0) ::close(pair_[0]);
    if (daemon_) MHD_stop_daemon(daemon_);  // closes the library's end
    pair_[0] = pair_[1] = -1;
    daemon_ = nullptr;
  }

  MHD_Daemon* daemon_ = nullptr;
  int pair_[2] = {-1, -1};
  bool polled_ = false;
  static constexpr size_t head_slots = 64;
  struct kept_head {
    std::string key;
    std::string head;  // as the library wrote it
    std::time_t second = -1;
  };
  kept_head heads_[head_slots];
  std::string key_;  // of the answer asked for; its memory is kept
};

/// The library's daemon, as a writer of planned answers.
class microhttpd_sender final : public answer_sender {
 public:
  /// Starts the library's threads; false when it cannot.
  bool start() {
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    daemon_ = MHD_start_daemon(MHD_USE_POLL_INTERNAL_THREAD | MHD_USE_NO_LISTEN_SOCKET | MHD_USE_ITC,
                               0, nullptr, nullptr, &answer_request, nullptr, MHD_OPTION_THREAD_POOL_SIZE, threads,
                               MHD_OPTION_END);
    return daemon_ != nullptr;
  }

  bool send(int socket, const planned_answer& planned) override {
    int pair[2];
    if (!open_pair(pair, planned.send_timeout)) return false;
    {
      std::lock_guard<std::mutex> lock(answers_mutex);
      answers[pair[1]] = &planned;
    }
    // The answer ends where its body does.
    const std::string_view request =
        planned.method == "HEAD" ? "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n" : "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    const sockaddr_un address{AF_UNIX, {}};
    const bool asked = ::write(pair[0], request.data(), request.size()) == static_cast<ssize_t>(request.size()) &&
                       MHD_add_connection(daemon_, pair[1], reinterpret_cast<const sockaddr*>(&address),
                                          sizeof address) == MHD_YES;
    const uint64_t body = planned.plan.send_body ? planned.plan.body_length : 0;
    const bool sent = asked && copy_answer(pair[0], socket, body, planned.close, planned.send_timeout);
    ::close(pair[0]);
    std::lock_guard<std::mutex> lock(answers_mutex);
    const auto found = answers.find(pair[1]);
    if (found != answers.end() && found->second == &planned) answers.erase(found);
    return sent;
  }

  bool writes_heads() const override { return true; }

  bool write_head(const planned_answer& answer, std::string& head) override {
    thread_local head_writer writer;
    return writer.write(answer, head);
  }

 private:
  // A socket pair; with the descriptors used up (the library closes its
  // ends a moment after the answers), it waits for one, up to timeout.
  static bool open_pair(int (&pair)[2], std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
      if ((errno != EMFILE && errno != ENFILE) || std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  // Copies the answer the library writes, its header block and then body
  // bytes; false when it stops short, or the client is gone. The library
  // says Connection: close of its socket pair, where the connection to
  // the client has the kit's word.
  static bool copy_answer(int from, int to, uint64_t body, bool close, std::chrono::milliseconds timeout) {
    std::string head;  // until its end is found
    uint64_t left = body;
    char buffer[65536];
    while (head.empty() || head.back() != '\n' || left > 0) {
      pollfd wait{from, POLLIN, 0};
      if (::poll(&wait, 1, static_cast<int>(timeout.count())) <= 0) return false;
      const ssize_t count = ::read(from, buffer, sizeof buffer);
      if (count <= 0) return false;
      std::string_view read(buffer, static_cast<size_t>(count));
      if (head.empty() || head.back() != '\n') {
        const size_t before = head.size();
        head.append(read);
        const size_t end = head.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        head.resize(end + 4);
        read.remove_prefix(head.size() - before);
        say_close(head, close);
        if (!send_fully(to, head.data(), head.size(), nullptr, 0, timeout)) return false;
      }
      left -= std::min<uint64_t>(left, read.size());
      if (!send_fully(to, read.data(), read.size(), nullptr, 0, timeout)) return false;
    }
    return true;
  }

  MHD_Daemon* daemon_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  microhttpd_sender sender;
  if (!sender.start()) {
    std::fprintf(stderr, "vex_example_server_microhttpd: cannot start the library's daemon\n");
    return 1;
  }
  return run_server(argc, argv, "vex_example_server_microhttpd", sender);
}
