// POSIX implementation of os/network.h: BSD sockets with poll() time-outs,
// glibc's resolver, /etc/resolv.conf, ICMP datagram or raw sockets, libcurl.
#include "os/network.h"

#include <arpa/inet.h>
#include <curl/curl.h>  // types and constants only: the library is opened at run time
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <type_traits>
#include <utility>
#include <vector>

namespace quelta::os {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::intptr_t kNoHandle = -1;

// Milliseconds left until `deadline`, never negative.
int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

Clock::time_point DeadlineIn(int timeoutMs) {
  return Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
}

bool ParseIPv4(const std::string& text, in_addr& out) {
  return !text.empty() && inet_pton(AF_INET, text.c_str(), &out) == 1;
}

std::string FormatIPv4(const in_addr& a) {
  const auto* b = reinterpret_cast<const unsigned char*>(&a.s_addr);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

// Waits for `events` on fd until the deadline; >0 ready, 0 timed out, <0 error.
int WaitFor(int fd, short events, Clock::time_point deadline, short* revents = nullptr) {
  for (;;) {
    pollfd p{fd, events, 0};
    int r = ::poll(&p, 1, MsLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (revents) *revents = p.revents;
    return r;
  }
}

void CloseFd(std::intptr_t& h) {
  if (h != kNoHandle) ::close(static_cast<int>(h));
  h = kNoHandle;
}

}  // namespace

// ---- Names ------------------------------------------------------------------

std::string ResolveIPv4(const std::string& name) {
  if (name.empty()) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) return {};
  std::string out;
  for (addrinfo* a = res; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
      out = FormatIPv4(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr);
      break;
    }
  }
  ::freeaddrinfo(res);
  return out;
}

std::string ResolveHostName(const std::string& address) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  if (!ParseIPv4(address, sa.sin_addr)) return {};
  char host[NI_MAXHOST];
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr,
                    0, NI_NAMEREQD) != 0)
    return {};
  return host;
}

std::string FirstDnsServer() {
  std::ifstream in("/etc/resolv.conf");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key, value;
    if (!(words >> key >> value) || key != "nameserver") continue;
    in_addr a{};
    if (ParseIPv4(value, a)) return FormatIPv4(a);
  }
  return {};
}

std::string ComputerName() {
  utsname u{};
  if (::uname(&u) != 0) return {};
  std::string name = u.nodename;
  name = name.substr(0, name.find('.'));
  return name.substr(0, 15);
}

std::string LocalHostName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0) return {};
  return buf;
}

// ---- UDP ----------------------------------------------------------------------

UdpSocket::UdpSocket() : handle_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
UdpSocket::~UdpSocket() { CloseFd(handle_); }
UdpSocket::UdpSocket(UdpSocket&& o) noexcept : handle_(std::exchange(o.handle_, kNoHandle)) {}
UdpSocket& UdpSocket::operator=(UdpSocket&& o) noexcept {
  if (this != &o) {
    CloseFd(handle_);
    handle_ = std::exchange(o.handle_, kNoHandle);
  }
  return *this;
}
bool UdpSocket::Valid() const { return handle_ != kNoHandle; }

IoStatus UdpSocket::SendTo(const std::string& address, std::uint16_t port, const std::string& data) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (!Valid() || !ParseIPv4(address, sa.sin_addr)) return IoStatus::kFailed;
  ssize_t n = ::sendto(static_cast<int>(handle_), data.data(), data.size(), MSG_NOSIGNAL,
                       reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return n == static_cast<ssize_t>(data.size()) ? IoStatus::kOk : IoStatus::kFailed;
}

IoStatus UdpSocket::ReceiveFrom(std::string& data, std::size_t capacity, int timeoutMs,
                                std::string& fromAddress, std::uint16_t& fromPort) {
  data.clear();
  if (!Valid()) return IoStatus::kFailed;
  const int fd = static_cast<int>(handle_);
  const auto deadline = DeadlineIn(timeoutMs);
  std::vector<char> buf(std::max<std::size_t>(capacity, 1));
  for (;;) {
    int r = WaitFor(fd, POLLIN, deadline);
    if (r == 0) return IoStatus::kTimedOut;
    if (r < 0) return IoStatus::kFailed;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = ::recvfrom(fd, buf.data(), capacity, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                           &fromLen);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED) continue;
      return IoStatus::kFailed;
    }
    data.assign(buf.data(), static_cast<std::size_t>(n));
    fromAddress = FormatIPv4(from.sin_addr);
    fromPort = ntohs(from.sin_port);
    return IoStatus::kOk;
  }
}

// ---- TCP ----------------------------------------------------------------------

TcpConnection::TcpConnection() : handle_(kNoHandle) {}
TcpConnection::~TcpConnection() { Close(); }
TcpConnection::TcpConnection(TcpConnection&& o) noexcept : handle_(std::exchange(o.handle_, kNoHandle)) {}
TcpConnection& TcpConnection::operator=(TcpConnection&& o) noexcept {
  if (this != &o) {
    Close();
    handle_ = std::exchange(o.handle_, kNoHandle);
  }
  return *this;
}
bool TcpConnection::IsOpen() const { return handle_ != kNoHandle; }
void TcpConnection::Close() { CloseFd(handle_); }

IoStatus TcpConnection::Connect(const std::string& address, std::uint16_t port, int timeoutMs) {
  Close();
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (!ParseIPv4(address, sa.sin_addr)) return IoStatus::kFailed;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return IoStatus::kFailed;
  std::intptr_t h = fd;
  const auto deadline = DeadlineIn(timeoutMs);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    if (errno == ECONNREFUSED) {
      CloseFd(h);
      return IoStatus::kRefused;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
      CloseFd(h);
      return IoStatus::kFailed;
    }
    int r = WaitFor(fd, POLLOUT, deadline);
    if (r <= 0) {
      CloseFd(h);
      return r == 0 ? IoStatus::kTimedOut : IoStatus::kFailed;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (err != 0) {
      CloseFd(h);
      return err == ECONNREFUSED ? IoStatus::kRefused
             : err == ETIMEDOUT  ? IoStatus::kTimedOut
                                 : IoStatus::kFailed;
    }
  }
  handle_ = h;
  return IoStatus::kOk;
}

IoStatus TcpConnection::SendAll(const std::string& data, int timeoutMs) {
  if (!IsOpen()) return IoStatus::kFailed;
  const int fd = static_cast<int>(handle_);
  const auto deadline = DeadlineIn(timeoutMs);
  std::size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
      return errno == EPIPE || errno == ECONNRESET ? IoStatus::kClosed : IoStatus::kFailed;
    int r = WaitFor(fd, POLLOUT, deadline);
    if (r == 0) return IoStatus::kTimedOut;
    if (r < 0) return IoStatus::kFailed;
  }
  return IoStatus::kOk;
}

IoStatus TcpConnection::Receive(std::string& out, std::size_t maxBytes, int timeoutMs) {
  if (!IsOpen()) return IoStatus::kFailed;
  if (maxBytes == 0) return IoStatus::kOk;
  const int fd = static_cast<int>(handle_);
  const auto deadline = DeadlineIn(timeoutMs);
  char buf[4096];
  for (;;) {
    ssize_t n = ::recv(fd, buf, std::min(sizeof buf, maxBytes), MSG_DONTWAIT);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
      return IoStatus::kOk;
    }
    if (n == 0) return IoStatus::kClosed;
    if (errno == ECONNRESET) return IoStatus::kClosed;
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return IoStatus::kFailed;
    int r = WaitFor(fd, POLLIN, deadline);
    if (r == 0) return IoStatus::kTimedOut;
    if (r < 0) return IoStatus::kFailed;
  }
}

// ---- ICMP echo ----------------------------------------------------------------

namespace {

std::uint16_t IcmpChecksum(const unsigned char* p, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
  if (n & 1) sum += static_cast<std::uint32_t>(p[n - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

// The IP Helper status for an ICMP error type/code that answered a request.
std::int32_t StatusOfIcmpError(int type, int code) {
  if (type == ICMP_DEST_UNREACH) {
    switch (code) {
      case ICMP_NET_UNREACH: return 11002;
      case ICMP_PROT_UNREACH: return 11004;
      case ICMP_PORT_UNREACH: return 11005;
      default: return kEchoDestinationHostUnreachable;
    }
  }
  if (type == ICMP_TIME_EXCEEDED) return 11013;
  if (type == ICMP_PARAMETERPROB) return 11015;
  return kEchoGeneralFailure;
}

std::uint16_t ReadBe16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

// One echo over an open ICMP socket. `raw`: the socket delivers IP headers
// and sees every ICMP packet; otherwise it is a ping (datagram) socket whose
// identifier the kernel sets and whose errors arrive on the error queue.
std::int32_t EchoOver(int fd, bool raw, const in_addr& to, const std::string& data, int timeoutMs,
                      EchoReply& reply) {
  static std::mt19937 rng{std::random_device{}()};
  static std::mutex rngMutex;
  std::uint16_t id, seq;
  {
    std::lock_guard<std::mutex> lock(rngMutex);
    id = static_cast<std::uint16_t>(rng());
    seq = static_cast<std::uint16_t>(rng());
  }
  std::vector<unsigned char> pkt(8 + data.size());
  pkt[0] = ICMP_ECHO;
  pkt[4] = static_cast<unsigned char>(id >> 8);
  pkt[5] = static_cast<unsigned char>(id);
  pkt[6] = static_cast<unsigned char>(seq >> 8);
  pkt[7] = static_cast<unsigned char>(seq);
  std::memcpy(pkt.data() + 8, data.data(), data.size());
  std::uint16_t sum = IcmpChecksum(pkt.data(), pkt.size());
  pkt[2] = static_cast<unsigned char>(sum >> 8);
  pkt[3] = static_cast<unsigned char>(sum);

  int on = 1;
  if (!raw) {
    ::setsockopt(fd, SOL_IP, IP_RECVTTL, &on, sizeof on);
    ::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr = to;
  const auto start = Clock::now();
  const auto deadline = DeadlineIn(timeoutMs);
  if (::sendto(fd, pkt.data(), pkt.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) < 0)
    return errno == ENETUNREACH ? 11002 : errno == EHOSTUNREACH ? kEchoDestinationHostUnreachable
                                                                : kEchoGeneralFailure;
  if (!raw) {  // the kernel put its own identifier into the request
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0) id = ntohs(local.sin_port);
  }

  std::vector<unsigned char> buf(65536 + 512);
  for (;;) {
    short revents = 0;
    int r = WaitFor(fd, POLLIN, deadline, &revents);
    if (r == 0) return kEchoTimedOut;
    if (r < 0) return kEchoGeneralFailure;

    sockaddr_in from{};
    char control[512];
    iovec iov{buf.data(), buf.size()};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;

    if (!raw && (revents & POLLERR)) {  // an ICMP error for our request
      ssize_t n = ::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
      if (n < 0) continue;
      for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR) continue;
        sock_extended_err ee;
        std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
        if (ee.ee_origin != SO_EE_ORIGIN_ICMP) continue;
        sockaddr_in offender;
        std::memcpy(&offender, SO_EE_OFFENDER(reinterpret_cast<sock_extended_err*>(CMSG_DATA(c))),
                    sizeof offender);
        reply.address = FormatIPv4(offender.sin_addr);
        return StatusOfIcmpError(ee.ee_type, ee.ee_code);
      }
      continue;
    }

    ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return kEchoGeneralFailure;
    }
    const unsigned char* icmp = buf.data();
    std::size_t len = static_cast<std::size_t>(n);
    int ttl = 0;
    if (raw) {
      if (len < 20) continue;
      std::size_t ihl = static_cast<std::size_t>(buf[0] & 0x0F) * 4;
      if (ihl < 20 || len < ihl) continue;
      ttl = buf[8];
      icmp += ihl;
      len -= ihl;
    } else {
      for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_TTL) std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
      }
    }
    if (len < 8) continue;
    const int type = icmp[0];
    if (type == ICMP_ECHOREPLY) {
      if (ReadBe16(icmp + 4) != id || ReadBe16(icmp + 6) != seq) continue;
      if (raw && from.sin_addr.s_addr != to.s_addr) continue;
      reply.roundTripMs = static_cast<std::uint32_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
      reply.address = FormatIPv4(from.sin_addr);
      reply.timeToLive = ttl;
      reply.data.assign(reinterpret_cast<const char*>(icmp + 8), len - 8);
      return kEchoSuccess;
    }
    // Raw sockets see ICMP errors directly: they quote our request's IP
    // header and its first 8 bytes (type, code, checksum, id, sequence).
    if (raw && (type == ICMP_DEST_UNREACH || type == ICMP_TIME_EXCEEDED || type == ICMP_PARAMETERPROB) &&
        len >= 8 + 20 + 8) {
      const unsigned char* inner = icmp + 8;
      std::size_t innerIhl = static_cast<std::size_t>(inner[0] & 0x0F) * 4;
      if (innerIhl < 20 || len < 8 + innerIhl + 8 || inner[9] != IPPROTO_ICMP) continue;
      const unsigned char* quoted = inner + innerIhl;
      if (quoted[0] != ICMP_ECHO || ReadBe16(quoted + 4) != id || ReadBe16(quoted + 6) != seq) continue;
      reply.address = FormatIPv4(from.sin_addr);
      return StatusOfIcmpError(type, icmp[1]);
    }
  }
}

}  // namespace

std::int32_t SendEcho(const std::string& address, const std::string& data, int timeoutMs,
                      EchoReply& reply) {
  reply = EchoReply{};
  in_addr to{};
  if (!ParseIPv4(address, to)) return kEchoBadDestination;
  const std::string payload = data.substr(0, 65500);
  bool raw = false;
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) {
    fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    raw = true;
  }
  if (fd < 0) return kEchoNoHandle;
  std::int32_t status = EchoOver(fd, raw, to, payload, timeoutMs, reply);
  ::close(fd);
  return status;
}

// ---- HTTP ---------------------------------------------------------------------

namespace {

struct BodySink {
  std::string* body;
  std::size_t maxBytes;
  bool tooLarge = false;
};

size_t WriteBody(char* ptr, size_t size, size_t nmemb, void* user) {
  auto* sink = static_cast<BodySink*>(user);
  const std::size_t n = size * nmemb;
  if (n > sink->maxBytes - sink->body->size()) {
    sink->tooLarge = true;
    return 0;  // makes libcurl stop the transfer
  }
  sink->body->append(ptr, n);
  return n;
}


// libcurl is opened at the first download, not linked: it brings some thirty
// libraries with it, and loading them would cost every short run (a score
// of one message) several milliseconds for a call that runs rarely.
struct Curl {
  CURLcode (*globalInit)(long) = nullptr;
  CURL* (*easyInit)() = nullptr;
  CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easyPerform)(CURL*) = nullptr;
  void (*easyCleanup)(CURL*) = nullptr;
};

// The library's calls, or null when it cannot be opened or initialised.
const Curl* LoadCurl() {
  static Curl curl;
  static bool ready = false;
  static std::once_flag once;
  std::call_once(once, [] {
    void* lib = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);  // kept open for the process
    if (lib == nullptr) return;
    auto bind = [lib](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(lib, name));
      return fn != nullptr;
    };
    ready = bind(curl.globalInit, "curl_global_init") && bind(curl.easyInit, "curl_easy_init") &&
            bind(curl.easySetopt, "curl_easy_setopt") && bind(curl.easyPerform, "curl_easy_perform") &&
            bind(curl.easyCleanup, "curl_easy_cleanup") &&
            curl.globalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  });
  return ready ? &curl : nullptr;
}

}  // namespace

HttpStatus HttpGet(const std::string& url, const std::string& agent, std::size_t maxBytes,
                   int timeoutMs, std::string& body) {
  body.clear();
  const Curl* curl = LoadCurl();
  if (curl == nullptr) return HttpStatus::kFailed;
  CURL* c = curl->easyInit();
  if (c == nullptr) return HttpStatus::kFailed;
  BodySink sink{&body, maxBytes};
  const long ms = std::max(timeoutMs, 1);  // 0 would mean "no limit" to libcurl
  const auto set = curl->easySetopt;
  set(c, CURLOPT_URL, url.c_str());
  set(c, CURLOPT_USERAGENT, agent.c_str());
  set(c, CURLOPT_PROTOCOLS_STR, "http,https");
  set(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(c, CURLOPT_FOLLOWLOCATION, 1L);
  set(c, CURLOPT_MAXREDIRS, 10L);
  set(c, CURLOPT_FAILONERROR, 1L);
  set(c, CURLOPT_NOSIGNAL, 1L);
  set(c, CURLOPT_CONNECTTIMEOUT_MS, ms);
  set(c, CURLOPT_TIMEOUT_MS, ms);
  set(c, CURLOPT_BUFFERSIZE, 1024L);
  set(c, CURLOPT_WRITEFUNCTION, WriteBody);
  set(c, CURLOPT_WRITEDATA, &sink);
  const CURLcode rc = curl->easyPerform(c);
  curl->easyCleanup(c);
  if (sink.tooLarge) {
    body.clear();
    return HttpStatus::kTooLarge;
  }
  if (rc != CURLE_OK) {
    body.clear();
    return HttpStatus::kFailed;
  }
  return HttpStatus::kOk;
}

}  // namespace quelta::os
