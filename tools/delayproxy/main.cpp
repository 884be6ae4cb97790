// kovdelayproxy --target HOST:PORT|SOCKET [--port N] [--delay-ms D] [--lifetime S] [--record FILE]
// A TCP proxy for the benchmarks that puts a database server at a network's distance:
// it listens on 127.0.0.1 (port N, or one the system picks), connects every client it
// accepts to the target (a loopback host and port, or the path of a Unix socket), and
// holds every chunk it forwards D milliseconds (0 by default, fractions allowed) in each
// direction before passing it on, in the order it came. User space only: one thread, one
// poll loop, no change to the machine's network.
//
// It prints "listening 127.0.0.1 PORT" on standard output once it accepts, and ends on
// SIGTERM or SIGINT, or after S seconds when --lifetime is given, with a line on
// standard error counting the connections and the chunks forwarded each way. With
// --record every byte it forwards, both ways, is appended to FILE as it is read (what a
// machine on the network between client and server would see). It never
// listens on, nor connects to, anything but the loopback interface or a local socket.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadSize = 64 * 1024;
// Bytes held in one direction of one connection before the proxy stops reading from the
// sender until they have gone out.
constexpr std::size_t kQueueLimit = 8 * 1024 * 1024;
constexpr std::size_t kMaxLinks = 512;
constexpr int kConnectTimeoutMs = 5000;

volatile sig_atomic_t g_stop = 0;
int g_record = -1; // --record: the file that gets every byte forwarded
void onSignal(int) { g_stop = 1; }

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "kovdelayproxy: %s\n", what.c_str());
    std::exit(1);
}

std::string errnoText() { return std::strerror(errno); }

void setNoDelay(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one); // fails harmlessly on a Unix socket
}

struct Target {
    std::string text;
    bool unixSocket = false;
    sockaddr_storage addr{};
    socklen_t len = 0;
};

bool isLoopback(const sockaddr* a)
{
    if (a->sa_family == AF_INET) return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
    if (a->sa_family == AF_INET6) return IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr);
    return false;
}

Target parseTarget(const std::string& text)
{
    Target t;
    t.text = text;
    if (text.find('/') != std::string::npos) {
        sockaddr_un un{};
        if (text.size() >= sizeof un.sun_path) fail("--target: the socket path is too long: " + text);
        un.sun_family = AF_UNIX;
        std::memcpy(un.sun_path, text.c_str(), text.size() + 1);
        std::memcpy(&t.addr, &un, sizeof un);
        t.len = sizeof un;
        t.unixSocket = true;
        return t;
    }
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        fail("--target takes HOST:PORT or the path of a Unix socket, not \"" + text + "\"");
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int rc = getaddrinfo(host.c_str(), text.c_str() + colon + 1, &hints, &found); rc != 0)
        fail("--target " + text + ": " + gai_strerror(rc));
    for (addrinfo* a = found; a; a = a->ai_next) {
        if (isLoopback(a->ai_addr)) {
            std::memcpy(&t.addr, a->ai_addr, a->ai_addrlen);
            t.len = a->ai_addrlen;
            break;
        }
    }
    freeaddrinfo(found);
    if (t.len == 0) fail("--target " + text + ": not a loopback address (the proxy reaches only this machine)");
    return t;
}

// Connects to the target, waiting at most kConnectTimeoutMs; -1 when it cannot.
int connectTarget(const Target& t)
{
    const int fd = socket(t.addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&t.addr), t.len) < 0) {
        if (errno != EINPROGRESS && errno != EAGAIN) {
            close(fd);
            return -1;
        }
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        if (poll(&p, 1, kConnectTimeoutMs) != 1 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0 || err) {
            close(fd);
            return -1;
        }
    }
    setNoDelay(fd);
    return fd;
}

struct Chunk {
    Clock::time_point due;
    std::string bytes;
    std::size_t sent = 0;
};

// One direction of a connection: what was read from `from` and waits to go to `to`.
struct Direction {
    int from = -1, to = -1;
    std::deque<Chunk> queue;
    std::size_t queued = 0;
    bool eof = false; // the sender closed its side
    bool shut = false; // and that was passed on
    bool blocked = false; // the receiver took no more: wait until it can
    unsigned long long chunks = 0;

    bool done() const { return shut; }
    bool wantsRead() const { return !eof && queued < kQueueLimit; }
    bool due(Clock::time_point now) const { return !queue.empty() && queue.front().due <= now; }
};

struct Link {
    int client = -1, server = -1;
    Direction up, down; // client to server, server to client
    bool broken = false;
};

// Reads what the sender has; false when the connection failed.
bool readSide(Direction& d, Clock::time_point now, Clock::duration delay)
{
    char buf[kReadSize];
    while (d.wantsRead()) {
        const ssize_t n = recv(d.from, buf, sizeof buf, 0);
        if (n > 0) {
            for (ssize_t done = 0, w = 0; g_record >= 0 && done < n; done += w)
                if ((w = write(g_record, buf + done, static_cast<std::size_t>(n - done))) < 0)
                    fail("--record: " + errnoText());
            d.queue.push_back({now + delay, std::string(buf, static_cast<std::size_t>(n))});
            d.queued += static_cast<std::size_t>(n);
            ++d.chunks;
            if (static_cast<std::size_t>(n) < sizeof buf) return true;
        } else if (n == 0) {
            d.eof = true;
        } else {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }
    return true;
}

// Writes the chunks whose time has come; false when the connection failed.
bool writeSide(Direction& d, Clock::time_point now)
{
    d.blocked = false;
    while (d.due(now)) {
        Chunk& c = d.queue.front();
        const ssize_t n = send(d.to, c.bytes.data() + c.sent, c.bytes.size() - c.sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                d.blocked = true;
                return true;
            }
            return false;
        }
        c.sent += static_cast<std::size_t>(n);
        d.queued -= static_cast<std::size_t>(n);
        if (c.sent == c.bytes.size()) d.queue.pop_front();
    }
    if (d.eof && d.queue.empty() && !d.shut) {
        shutdown(d.to, SHUT_WR);
        d.shut = true;
    }
    return true;
}

struct Options {
    std::optional<Target> target;
    int port = 0;
    double delayMs = 0;
    double lifetime = 0;
};

double number(const char* option, const char* text)
{
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (!end || *end || end == text || !std::isfinite(v) || v < 0)
        fail(std::string(option) + " takes a number 0 or above, not \"" + text + "\"");
    return v;
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            fail("usage: kovdelayproxy --target HOST:PORT|SOCKET [--port N] [--delay-ms D] [--lifetime S] [--record "
                 "FILE]");
        const char* v = argv[++i];
        if (a == "--target") o.target = parseTarget(v);
        else if (a == "--port") {
            const double p = number("--port", v);
            if (p > 65535 || p != std::floor(p)) fail("--port takes a port number from 0 to 65535");
            o.port = static_cast<int>(p);
        } else if (a == "--delay-ms") {
            o.delayMs = number("--delay-ms", v);
            if (o.delayMs > 10000) fail("--delay-ms takes at most 10000");
        } else if (a == "--lifetime") o.lifetime = number("--lifetime", v);
        else if (a == "--record") {
            g_record = open(v, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
            if (g_record < 0) fail(std::string("--record ") + v + ": " + errnoText());
        } else fail("unknown option " + a);
    }
    if (!o.target)
        fail("usage: kovdelayproxy --target HOST:PORT|SOCKET [--port N] [--delay-ms D] [--lifetime S] [--record FILE]");
    return o;
}

int listenLoopback(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) fail("socket: " + errnoText());
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0)
        fail("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + errnoText());
    if (listen(fd, 128) < 0) fail("listen: " + errnoText());
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    std::printf("listening 127.0.0.1 %d\n", ntohs(a.sin_port));
    std::fflush(stdout);
    return fd;
}

timespec toTimespec(Clock::duration d)
{
    if (d < Clock::duration::zero()) d = Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

// SIGTERM and SIGINT arrive only while the loop waits in ppoll: they are blocked, and
// `waiting` is the mask that lets them in.
void blockStopSignals(sigset_t& waiting)
{
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, SIGTERM);
    sigdelset(&waiting, SIGINT);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// The links between the clients and the target, each chunk held for the delay.
class Proxy {
public:
    Proxy(const Options& opt, int listener, Clock::duration delay) : m_opt(opt), m_listener(listener), m_delay(delay) {}
    // Until a stop signal or `end`.
    void run(Clock::time_point end, const sigset_t& waiting);
    // Closes every link and the listener and says what went through.
    void finish();

private:
    Clock::time_point pollSet(Clock::time_point end);
    void acceptClients();
    void readReady(Clock::time_point now);
    void writeAndDrop(Clock::time_point now);
    void closeLink(Link& l);

    const Options& m_opt;
    int m_listener;
    Clock::duration m_delay;
    std::list<Link> m_links;
    unsigned long long m_accepted = 0, m_upChunks = 0, m_downChunks = 0;
    std::vector<pollfd> m_fds;
    std::vector<Link*> m_owners;
};

void Proxy::run(Clock::time_point end, const sigset_t& waiting)
{
    while (!g_stop) {
        const Clock::time_point now = Clock::now();
        if (now >= end) break;
        const Clock::time_point wake = pollSet(end);
        const timespec ts = toTimespec(wake - now);
        const bool forever = wake == Clock::time_point::max();
        const int n = ppoll(m_fds.data(), m_fds.size(), forever ? nullptr : &ts, &waiting);
        if (n < 0 && errno != EINTR) fail("poll: " + errnoText());
        if (g_stop) break;
        if (n > 0 && (m_fds[0].revents & POLLIN)) acceptClients();
        if (n > 0) readReady(Clock::now());
        writeAndDrop(Clock::now());
    }
}

// The sockets to wait for (the listener first, then each link's client and server) and
// the time the next held chunk is due.
Clock::time_point Proxy::pollSet(Clock::time_point end)
{
    m_fds.clear();
    m_owners.clear();
    m_fds.push_back({m_listener, POLLIN, 0});
    m_owners.push_back(nullptr);
    Clock::time_point wake = end;
    auto events = [](const Direction& in, const Direction& out) {
        short e = 0;
        if (in.wantsRead()) e |= POLLIN;
        if (out.blocked) e |= POLLOUT;
        return e;
    };
    for (Link& l : m_links) {
        // A socket with nothing to wait for stays out of the poll (a closed peer
        // would report itself on every turn).
        const short ce = events(l.up, l.down), se = events(l.down, l.up);
        m_fds.push_back({ce ? l.client : -1, ce, 0});
        m_owners.push_back(&l);
        m_fds.push_back({se ? l.server : -1, se, 0});
        m_owners.push_back(&l);
        for (const Direction* d : {&l.up, &l.down})
            if (!d->queue.empty() && !d->blocked && d->queue.front().due < wake) wake = d->queue.front().due;
    }
    return wake;
}

void Proxy::acceptClients()
{
    for (;;) {
        const int c = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c < 0) break;
        const int s = m_links.size() < kMaxLinks ? connectTarget(*m_opt.target) : -1;
        if (s < 0) {
            std::fprintf(stderr, "kovdelayproxy: cannot reach %s: the client is let go\n", m_opt.target->text.c_str());
            close(c);
            continue;
        }
        setNoDelay(c);
        Link& l = m_links.emplace_back();
        l.client = c;
        l.server = s;
        l.up.from = l.down.to = c;
        l.up.to = l.down.from = s;
        ++m_accepted;
    }
}

void Proxy::readReady(Clock::time_point now)
{
    for (std::size_t i = 1; i < m_fds.size(); ++i) {
        if (!m_fds[i].revents) continue;
        Link& l = *m_owners[i];
        Direction& in = i % 2 == 1 ? l.up : l.down; // the client's entry, then the server's
        if ((m_fds[i].revents & (POLLIN | POLLHUP | POLLERR)) && !readSide(in, now, m_delay)) l.broken = true;
    }
}

// Sends what is due; a broken link, or one done both ways, is closed.
void Proxy::writeAndDrop(Clock::time_point now)
{
    for (auto it = m_links.begin(); it != m_links.end();) {
        Link& l = *it;
        if (!l.broken && (!writeSide(l.up, now) || !writeSide(l.down, now))) l.broken = true;
        if (l.broken || (l.up.done() && l.down.done())) {
            closeLink(l);
            it = m_links.erase(it);
        } else {
            ++it;
        }
    }
}

void Proxy::closeLink(Link& l)
{
    m_upChunks += l.up.chunks;
    m_downChunks += l.down.chunks;
    close(l.client);
    close(l.server);
}

void Proxy::finish()
{
    for (Link& l : m_links) closeLink(l);
    m_links.clear();
    close(m_listener);
    std::fprintf(stderr, "kovdelayproxy: %llu connections, %llu chunks to %s, %llu back\n", m_accepted, m_upChunks,
                 m_opt.target->text.c_str(), m_downChunks);
}

} // namespace

int main(int argc, char** argv)
{
    const Options opt = parse(argc, argv);
    const auto delay =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(opt.delayMs));
    sigset_t waiting;
    blockStopSignals(waiting);
    const int listener = listenLoopback(opt.port);
    const Clock::time_point end =
        opt.lifetime > 0
            ? Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(opt.lifetime))
            : Clock::time_point::max();
    Proxy proxy(opt, listener, delay);
    proxy.run(end, waiting);
    proxy.finish();
    return 0;
}
