// network: the operating system's network facilities the plug-in uses: the
// system resolver, the configured DNS server and computer name, UDP and TCP
// sockets with time-outs, one ICMP echo request and one bounded HTTP GET.
// Exactly one implementation is linked: os/win32/network.cpp (Winsock,
// IP Helper, ICMP, WinINet) or os/posix/network.cpp (BSD sockets, glibc's
// resolver, /etc/resolv.conf, ICMP sockets, libcurl).
//
// General promises:
// - Nothing here throws; every failure is a return value as each contract
//   says. Nothing here logs.
// - Addresses are IPv4 in dotted decimal text ("192.0.2.1").
// - Every time-out is in milliseconds; a negative time-out counts as 0.
//   A call given a time-out returns within about that time.
// - Every function and every object may be used from any thread; one
//   socket object is used by one thread at a time. No function keeps hidden
//   mutable state (Windows: Winsock is started and cleaned up by each call
//   or socket object, so the counts always balance).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quelta::os {

// ---- Names ------------------------------------------------------------------

// The first IPv4 address the system resolver gives for `name` (a host name,
// or an address in dotted form), or "" when the name does not resolve.
// Blocks for as long as the system resolver takes: callers that need a
// bound run it on a worker thread. Windows: gethostbyname. POSIX:
// getaddrinfo restricted to IPv4.
std::string ResolveIPv4(const std::string& name);

// The host name the system resolver gives for the dotted IPv4 address
// `address` (the official name of the reverse look-up), or "" when there is
// none or `address` is not an IPv4 address. Blocks like ResolveIPv4.
// Windows: gethostbyaddr. POSIX: getnameinfo with NI_NAMEREQD.
std::string ResolveHostName(const std::string& address);

// The address of the first IPv4 DNS server configured on the machine, or ""
// when none can be read. Windows: GetNetworkParams (IP Helper), the first
// entry of its DNS server list. POSIX: the first "nameserver" line of
// /etc/resolv.conf that holds an IPv4 address.
std::string FirstDnsServer();

// The computer's name (Windows: GetComputerNameA into 16 characters; POSIX:
// the node name of uname, at most 15 characters), or "" on failure.
std::string ComputerName();

// The network stack's name of the local host (gethostname), or "".
std::string LocalHostName();

// ---- Sockets ----------------------------------------------------------------

enum class IoStatus {
  kOk,        // done
  kTimedOut,  // nothing within the time-out
  kRefused,   // the peer refused the connection
  kClosed,    // the peer closed the connection (end of stream)
  kFailed,    // anything else: no socket, bad address, network error
};

// One IPv4 UDP socket bound to an ephemeral port. Move-only; closed by the
// destructor.
class UdpSocket {
 public:
  UdpSocket();  // opens the socket; Valid() tells whether that worked
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool Valid() const;
  // Sends `data` as one datagram. kFailed for an invalid socket or address.
  IoStatus SendTo(const std::string& address, std::uint16_t port, const std::string& data);
  // Waits at most timeoutMs for one datagram and puts at most `capacity`
  // of its bytes into `data` (the rest of a longer datagram is dropped),
  // its sender into fromAddress/fromPort. kTimedOut when none came.
  IoStatus ReceiveFrom(std::string& data, std::size_t capacity, int timeoutMs,
                       std::string& fromAddress, std::uint16_t& fromPort);

 private:
  std::intptr_t handle_;
};

// One IPv4 TCP client connection. Move-only; closed by Close() or the
// destructor.
class TcpConnection {
 public:
  TcpConnection();
  ~TcpConnection();
  TcpConnection(TcpConnection&& other) noexcept;
  TcpConnection& operator=(TcpConnection&& other) noexcept;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // Connects to address:port, waiting at most timeoutMs. kRefused when the
  // peer refused, kTimedOut when it did not answer in time. Closes any
  // connection this object held before.
  IoStatus Connect(const std::string& address, std::uint16_t port, int timeoutMs);
  bool IsOpen() const;
  // Sends all of `data`, waiting at most timeoutMs in all.
  IoStatus SendAll(const std::string& data, int timeoutMs);
  // Waits at most timeoutMs for bytes and appends the ones that arrived, at
  // most maxBytes, to `out` (kOk with at least one byte). kClosed at the end
  // of the stream.
  IoStatus Receive(std::string& out, std::size_t maxBytes, int timeoutMs);
  void Close();

 private:
  std::intptr_t handle_;
};

// ---- ICMP echo ----------------------------------------------------------------

// Statuses of SendEcho: the IP Helper's IP_STATUS values where one applies.
constexpr std::int32_t kEchoSuccess = 0;
constexpr std::int32_t kEchoNoHandle = -1;  // no ICMP handle/socket could be opened
constexpr std::int32_t kEchoDestinationHostUnreachable = 11003;
constexpr std::int32_t kEchoTimedOut = 11010;
constexpr std::int32_t kEchoBadDestination = 11018;
constexpr std::int32_t kEchoGeneralFailure = 11050;

struct EchoReply {
  std::string address;             // the replying address, dotted
  int timeToLive = 0;              // TTL of the reply's IP header
  std::string data;                // the reply's data bytes
  std::uint32_t roundTripMs = 0;
};

// Sends one ICMP echo request carrying `data` (at most 65500 bytes) to the
// IPv4 address `address` without IP options and waits at most timeoutMs for
// its reply. Returns kEchoSuccess with `reply` filled when the echo reply
// came back; the reply's own non-success status (for example
// kEchoDestinationHostUnreachable) when an ICMP error answered it;
// kEchoTimedOut when nothing came; kEchoBadDestination when `address` is not
// an IPv4 address; kEchoNoHandle when the system allows no ICMP at all.
// Windows: IcmpCreateFile, IcmpSendEcho, IcmpCloseHandle. POSIX: an ICMP
// datagram socket where the kernel allows it (net.ipv4.ping_group_range),
// else a raw socket (needs CAP_NET_RAW); both give the same results.
std::int32_t SendEcho(const std::string& address, const std::string& data, int timeoutMs,
                      EchoReply& reply);

// ---- HTTP ---------------------------------------------------------------------

enum class HttpStatus {
  kOk,        // the whole body is in `body`
  kFailed,    // no connection, time-out, transfer error or HTTP status >= 400
  kTooLarge,  // the body was longer than maxBytes; `body` is emptied
};

// One HTTP (or HTTPS) GET of `url` with `agent` as the User-Agent, the
// system's proxy settings, redirects followed, at most timeoutMs for the
// whole transfer. Reads the body in blocks and stops as soon as it would
// pass maxBytes, so a hostile server cannot make it hold more. Windows:
// WinINet (InternetOpenA, InternetConnectA, HttpOpenRequestA with the
// time-outs set on the request itself, HttpSendRequestA, InternetReadFile
// in 1024-byte blocks). POSIX: libcurl.
HttpStatus HttpGet(const std::string& url, const std::string& agent, std::size_t maxBytes,
                   int timeoutMs, std::string& body);

}  // namespace quelta::os
