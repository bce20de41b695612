// Win32 implementation of os/network.h: Winsock (started and cleaned up per
// call or per socket), IP Helper, the ICMP API and WinINet.
#include "os/network.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <mstcpip.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace quelta::os {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::intptr_t kNoHandle = -1;

// One counted Winsock start-up for the lifetime of the object.
class WinsockScope {
 public:
  WinsockScope() {
    WSADATA d;
    ok_ = ::WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }
  ~WinsockScope() {
    if (ok_) ::WSACleanup();
  }
  WinsockScope(const WinsockScope&) = delete;
  WinsockScope& operator=(const WinsockScope&) = delete;
  bool Ok() const { return ok_; }

 private:
  bool ok_;
};

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

Clock::time_point DeadlineIn(int timeoutMs) {
  return Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
}

// Strict dotted-quad IPv4 (inet_addr also takes "1.2.3" and hex forms).
bool ParseIPv4(const std::string& text, in_addr& out) {
  unsigned parts[4];
  int n = 0;
  std::size_t i = 0;
  while (n < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    unsigned v = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      v = v * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits > 3 || v > 255) return false;
    parts[n++] = v;
    if (n < 4) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
  }
  if (i != text.size()) return false;
  auto* b = reinterpret_cast<unsigned char*>(&out.s_addr);
  for (int k = 0; k < 4; ++k) b[k] = static_cast<unsigned char>(parts[k]);
  return true;
}

std::string FormatIPv4(const void* fourBytes) {
  const auto* b = static_cast<const unsigned char*>(fourBytes);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

// Waits until the socket is readable (or writable) or the deadline passes:
// >0 ready, 0 timed out, <0 error. `failed` tells a failed connect.
int WaitFor(SOCKET s, bool write, Clock::time_point deadline, bool* failed = nullptr) {
  fd_set rw, ex;
  FD_ZERO(&rw);
  FD_ZERO(&ex);
  FD_SET(s, &rw);
  FD_SET(s, &ex);
  int ms = MsLeft(deadline);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  int r = ::select(0, write ? nullptr : &rw, write ? &rw : nullptr, &ex, &tv);
  if (failed) *failed = r > 0 && FD_ISSET(s, &ex);
  return r == SOCKET_ERROR ? -1 : r;
}

SOCKET Sock(std::intptr_t h) { return static_cast<SOCKET>(h); }

// A socket handle together with the Winsock start-up it holds.
void CloseSocket(std::intptr_t& h) {
  if (h != kNoHandle) {
    ::closesocket(Sock(h));
    ::WSACleanup();
  }
  h = kNoHandle;
}

std::intptr_t OpenSocket(int type, int protocol) {
  WSADATA d;
  if (::WSAStartup(MAKEWORD(2, 2), &d) != 0) return kNoHandle;
  SOCKET s = ::socket(AF_INET, type, protocol);
  if (s == INVALID_SOCKET) {
    ::WSACleanup();
    return kNoHandle;
  }
  return static_cast<std::intptr_t>(s);
}

}  // namespace

// ---- Names ------------------------------------------------------------------

std::string ResolveIPv4(const std::string& name) {
  if (name.empty()) return {};
  WinsockScope ws;
  if (!ws.Ok()) return {};
  const hostent* h = ::gethostbyname(name.c_str());
  if (h == nullptr || h->h_addrtype != AF_INET || h->h_length != 4 || h->h_addr_list == nullptr ||
      h->h_addr_list[0] == nullptr)
    return {};
  return FormatIPv4(h->h_addr_list[0]);
}

std::string ResolveHostName(const std::string& address) {
  in_addr a{};
  if (!ParseIPv4(address, a)) return {};
  WinsockScope ws;
  if (!ws.Ok()) return {};
  const hostent* h = ::gethostbyaddr(reinterpret_cast<const char*>(&a), 4, AF_INET);
  if (h == nullptr || h->h_name == nullptr) return {};
  return h->h_name;
}

std::string FirstDnsServer() {
  std::vector<unsigned char> buf(1024);
  ULONG size = static_cast<ULONG>(buf.size());
  DWORD rc = ::GetNetworkParams(reinterpret_cast<FIXED_INFO*>(buf.data()), &size);
  if (rc == ERROR_BUFFER_OVERFLOW) {
    buf.resize(size);
    rc = ::GetNetworkParams(reinterpret_cast<FIXED_INFO*>(buf.data()), &size);
  }
  if (rc != ERROR_SUCCESS) return {};
  const auto* info = reinterpret_cast<const FIXED_INFO*>(buf.data());
  const char* s = info->DnsServerList.IpAddress.String;
  return std::string(s, strnlen(s, sizeof info->DnsServerList.IpAddress.String));
}

std::string ComputerName() {
  char buf[16] = {};
  DWORD size = sizeof buf;
  if (!::GetComputerNameA(buf, &size)) return {};
  return std::string(buf, size);
}

std::string LocalHostName() {
  WinsockScope ws;
  if (!ws.Ok()) return {};
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0) return {};
  return buf;
}

// ---- UDP ----------------------------------------------------------------------

UdpSocket::UdpSocket() : handle_(OpenSocket(SOCK_DGRAM, IPPROTO_UDP)) {
  if (handle_ != kNoHandle) {
    // Otherwise an ICMP "port unreachable" for an earlier datagram makes the
    // next receive fail with WSAECONNRESET.
    BOOL off = FALSE;
    DWORD got = 0;
    ::WSAIoctl(Sock(handle_), SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &got, nullptr, nullptr);
  }
}
UdpSocket::~UdpSocket() { CloseSocket(handle_); }
UdpSocket::UdpSocket(UdpSocket&& o) noexcept : handle_(std::exchange(o.handle_, kNoHandle)) {}
UdpSocket& UdpSocket::operator=(UdpSocket&& o) noexcept {
  if (this != &o) {
    CloseSocket(handle_);
    handle_ = std::exchange(o.handle_, kNoHandle);
  }
  return *this;
}
bool UdpSocket::Valid() const { return handle_ != kNoHandle; }

IoStatus UdpSocket::SendTo(const std::string& address, std::uint16_t port, const std::string& data) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (!Valid() || !ParseIPv4(address, sa.sin_addr) || data.size() > 65507) return IoStatus::kFailed;
  int n = ::sendto(Sock(handle_), data.data(), static_cast<int>(data.size()), 0,
                   reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return n == static_cast<int>(data.size()) ? IoStatus::kOk : IoStatus::kFailed;
}

IoStatus UdpSocket::ReceiveFrom(std::string& data, std::size_t capacity, int timeoutMs,
                                std::string& fromAddress, std::uint16_t& fromPort) {
  data.clear();
  if (!Valid()) return IoStatus::kFailed;
  const auto deadline = DeadlineIn(timeoutMs);
  capacity = std::min<std::size_t>(std::max<std::size_t>(capacity, 1), 65536);
  std::vector<char> buf(capacity);
  for (;;) {
    int r = WaitFor(Sock(handle_), false, deadline);
    if (r == 0) return IoStatus::kTimedOut;
    if (r < 0) return IoStatus::kFailed;
    sockaddr_in from{};
    int fromLen = sizeof from;
    int n = ::recvfrom(Sock(handle_), buf.data(), static_cast<int>(capacity), 0,
                       reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n == SOCKET_ERROR) {
      int err = ::WSAGetLastError();
      if (err == WSAEMSGSIZE) {
        n = static_cast<int>(capacity);  // the datagram's first bytes are in buf
      } else if (err == WSAECONNRESET || err == WSAEWOULDBLOCK || err == WSAEINTR) {
        if (MsLeft(deadline) == 0) return IoStatus::kTimedOut;
        continue;
      } else {
        return IoStatus::kFailed;
      }
    }
    data.assign(buf.data(), static_cast<std::size_t>(n));
    fromAddress = FormatIPv4(&from.sin_addr);
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
void TcpConnection::Close() { CloseSocket(handle_); }

IoStatus TcpConnection::Connect(const std::string& address, std::uint16_t port, int timeoutMs) {
  Close();
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (!ParseIPv4(address, sa.sin_addr)) return IoStatus::kFailed;
  std::intptr_t h = OpenSocket(SOCK_STREAM, IPPROTO_TCP);
  if (h == kNoHandle) return IoStatus::kFailed;
  SOCKET s = Sock(h);
  u_long nonBlocking = 1;
  ::ioctlsocket(s, FIONBIO, &nonBlocking);
  const auto deadline = DeadlineIn(timeoutMs);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
    int err = ::WSAGetLastError();
    if (err == WSAECONNREFUSED) {
      CloseSocket(h);
      return IoStatus::kRefused;
    }
    if (err != WSAEWOULDBLOCK && err != WSAEINPROGRESS) {
      CloseSocket(h);
      return IoStatus::kFailed;
    }
    bool failed = false;
    int r = WaitFor(s, true, deadline, &failed);
    if (r <= 0 || failed) {
      int soErr = 0;
      int len = sizeof soErr;
      if (failed) ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &len);
      CloseSocket(h);
      if (r == 0) return IoStatus::kTimedOut;
      return soErr == WSAECONNREFUSED ? IoStatus::kRefused
             : soErr == WSAETIMEDOUT  ? IoStatus::kTimedOut
                                      : IoStatus::kFailed;
    }
  }
  handle_ = h;
  return IoStatus::kOk;
}

IoStatus TcpConnection::SendAll(const std::string& data, int timeoutMs) {
  if (!IsOpen()) return IoStatus::kFailed;
  SOCKET s = Sock(handle_);
  const auto deadline = DeadlineIn(timeoutMs);
  std::size_t sent = 0;
  while (sent < data.size()) {
    int chunk = static_cast<int>(std::min<std::size_t>(data.size() - sent, 1 << 20));
    int n = ::send(s, data.data() + sent, chunk, 0);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    int err = ::WSAGetLastError();
    if (err != WSAEWOULDBLOCK && err != WSAEINTR)
      return err == WSAECONNRESET || err == WSAECONNABORTED ? IoStatus::kClosed : IoStatus::kFailed;
    int r = WaitFor(s, true, deadline);
    if (r == 0) return IoStatus::kTimedOut;
    if (r < 0) return IoStatus::kFailed;
  }
  return IoStatus::kOk;
}

IoStatus TcpConnection::Receive(std::string& out, std::size_t maxBytes, int timeoutMs) {
  if (!IsOpen()) return IoStatus::kFailed;
  if (maxBytes == 0) return IoStatus::kOk;
  SOCKET s = Sock(handle_);
  const auto deadline = DeadlineIn(timeoutMs);
  char buf[4096];
  for (;;) {
    int n = ::recv(s, buf, static_cast<int>(std::min(sizeof buf, maxBytes)), 0);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
      return IoStatus::kOk;
    }
    if (n == 0) return IoStatus::kClosed;
    int err = ::WSAGetLastError();
    if (err == WSAECONNRESET || err == WSAECONNABORTED) return IoStatus::kClosed;
    if (err != WSAEWOULDBLOCK && err != WSAEINTR) return IoStatus::kFailed;
    int r = WaitFor(s, false, deadline);
    if (r == 0) return IoStatus::kTimedOut;
    if (r < 0) return IoStatus::kFailed;
  }
}

// ---- ICMP echo ----------------------------------------------------------------

std::int32_t SendEcho(const std::string& address, const std::string& data, int timeoutMs,
                      EchoReply& reply) {
  reply = EchoReply{};
  in_addr to{};
  if (!ParseIPv4(address, to)) return kEchoBadDestination;
  const std::string payload = data.substr(0, 65500);
  HANDLE icmp = ::IcmpCreateFile();
  if (icmp == INVALID_HANDLE_VALUE) return kEchoNoHandle;
  // Room for the reply record, the echoed data, an ICMP error's quoted
  // header and IP options.
  std::vector<unsigned char> buf(std::max<std::size_t>(65532, sizeof(ICMP_ECHO_REPLY) + payload.size() + 8 + 40 + 8));
  DWORD count = ::IcmpSendEcho(icmp, to.s_addr, const_cast<char*>(payload.data()),
                               static_cast<WORD>(payload.size()), nullptr, buf.data(),
                               static_cast<DWORD>(buf.size()), static_cast<DWORD>(std::max(timeoutMs, 0)));
  std::int32_t status;
  if (count == 0) {
    DWORD err = ::GetLastError();
    status = err != 0 ? static_cast<std::int32_t>(err) : kEchoGeneralFailure;
  } else {
    const auto* r = reinterpret_cast<const ICMP_ECHO_REPLY*>(buf.data());
    status = static_cast<std::int32_t>(r->Status);
    reply.address = FormatIPv4(&r->Address);
    if (status == IP_SUCCESS) {
      reply.roundTripMs = r->RoundTripTime;
      reply.timeToLive = r->Options.Ttl;
      if (r->Data != nullptr && r->DataSize > 0) {
        const auto* d = static_cast<const unsigned char*>(r->Data);
        // The data lies inside our buffer; never read past it.
        if (d >= buf.data() && d + r->DataSize <= buf.data() + buf.size())
          reply.data.assign(reinterpret_cast<const char*>(d), r->DataSize);
      }
    }
  }
  ::IcmpCloseHandle(icmp);
  return status;
}

// ---- HTTP ---------------------------------------------------------------------

namespace {

struct InternetHandle {
  HINTERNET h = nullptr;
  ~InternetHandle() {
    if (h != nullptr) ::InternetCloseHandle(h);
  }
};

bool IsHttpUrl(const std::string& url) {
  auto starts = [&](const char* p) { return _strnicmp(url.c_str(), p, std::strlen(p)) == 0; };
  return starts("http://") || starts("https://");
}

}  // namespace

HttpStatus HttpGet(const std::string& url, const std::string& agent, std::size_t maxBytes,
                   int timeoutMs, std::string& body) {
  body.clear();
  if (!IsHttpUrl(url)) return HttpStatus::kFailed;
  const auto deadline = DeadlineIn(timeoutMs);
  char host[256] = {}, path[2048] = {}, extra[2048] = {};
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof path;
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = sizeof extra;
  if (!::InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return HttpStatus::kFailed;
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  // The time-outs are set on every handle: some WinINet implementations
  // take them only from the request handle.
  DWORD ms = static_cast<DWORD>(std::max(timeoutMs, 1));
  const auto limit = [&](HINTERNET h) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
      ::InternetSetOptionA(h, option, &ms, sizeof ms);
  };
  InternetHandle inet, connection, request;
  inet.h = ::InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (inet.h == nullptr) return HttpStatus::kFailed;
  limit(inet.h);
  connection.h = ::InternetConnectA(inet.h, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  if (connection.h == nullptr) return HttpStatus::kFailed;
  limit(connection.h);
  const std::string object = std::string(path[0] != 0 ? path : "/") + extra;
  const char* accept[] = {"*/*", nullptr};
  request.h = ::HttpOpenRequestA(connection.h, "GET", object.c_str(), nullptr, nullptr, accept,
                                 INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                     INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
                                     (secure ? INTERNET_FLAG_SECURE : 0),
                                 0);
  if (request.h == nullptr) return HttpStatus::kFailed;
  limit(request.h);
  if (!::HttpSendRequestA(request.h, nullptr, 0, nullptr, 0)) return HttpStatus::kFailed;
  DWORD code = 0, len = sizeof code;
  if (::HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &len, nullptr) &&
      code >= 400)
    return HttpStatus::kFailed;
  char block[1024];
  for (;;) {
    DWORD got = 0;
    if (!::InternetReadFile(request.h, block, sizeof block, &got)) {
      body.clear();
      return HttpStatus::kFailed;
    }
    if (got == 0) break;
    if (got > maxBytes - body.size()) {
      body.clear();
      return HttpStatus::kTooLarge;
    }
    body.append(block, got);
    if (MsLeft(deadline) == 0) {
      body.clear();
      return HttpStatus::kFailed;
    }
  }
  return HttpStatus::kOk;
}

}  // namespace quelta::os
