// kovdelayproxy as the benchmarks use it: the real program between a client and a
// server on a Unix socket of the test, every byte passed on in order both ways, each
// direction held at least the delay, a half-closed side passed on, the end on SIGTERM
// and after the lifetime, and no target off the loopback.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kProxy = std::string(KOV_BIN_DIR) + "/kovdelayproxy";

// Reads what `fd` has within `ms` milliseconds; empty at the end or on time-out.
std::string readSome(int fd, int ms = 10000)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) != 1) return {};
    char buf[65536];
    const ssize_t n = read(fd, buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// Everything that `fd` gives until its end (or a pause of `ms` milliseconds).
std::string readToEnd(int fd, int ms = 10000)
{
    std::string all, part;
    while (!(part = readSome(fd, ms)).empty()) all += part;
    return all;
}

void writeAll(int fd, const std::string& bytes)
{
    for (std::size_t off = 0; off < bytes.size();) {
        const ssize_t n = send(fd, bytes.data() + off, std::min<std::size_t>(bytes.size() - off, 7777), MSG_NOSIGNAL);
        ASSERT_GT(n, 0);
        off += static_cast<std::size_t>(n);
    }
}

// A server on a Unix socket that answers each connection with what it read, reversed
// chunk by chunk, once the client has closed its side (so that every byte must have
// come through, in order, and the half-close too).
class ReversingServer {
public:
    ReversingServer()
    {
        m_path = (m_dir / "s").string();
        m_fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        m_path.copy(a.sun_path, sizeof a.sun_path - 1);
        EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(listen(m_fd, 8), 0);
        m_thread = std::thread([this] {
            for (;;) {
                const int c = accept(m_fd, nullptr, nullptr);
                if (c < 0) return;
                const std::string all = readToEnd(c);
                writeAll(c, {all.rbegin(), all.rend()});
                close(c);
            }
        });
    }
    ~ReversingServer()
    {
        shutdown(m_fd, SHUT_RDWR);
        close(m_fd);
        m_thread.join();
    }
    const std::string& path() const { return m_path; }

private:
    kov::test::TempDir m_dir{"kovproxy"};
    std::string m_path;
    int m_fd = -1;
    std::thread m_thread;
};

// kovdelayproxy with args, its standard output and error read through pipes; port is
// the one that its first line names (0 when it named none).
struct Proxy {
    int out = -1, err = -1, port = 0;
    std::optional<kov::e2e::Process> process;

    explicit Proxy(std::vector<std::string> args)
    {
        int o[2], e[2];
        EXPECT_EQ(pipe(o), 0);
        EXPECT_EQ(pipe(e), 0);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, o[1], 1);
        posix_spawn_file_actions_adddup2(&fa, e[1], 2);
        args.insert(args.begin(), kProxy);
        process.emplace(args, kov::e2e::currentEnvironment(), &fa);
        posix_spawn_file_actions_destroy(&fa);
        close(o[1]);
        close(e[1]);
        out = o[0];
        err = e[0];
        const std::string first = readSome(out);
        if (first.rfind("listening 127.0.0.1 ", 0) == 0) port = std::atoi(first.c_str() + 20);
    }
    // Waits (bounded) for the end, after a SIGTERM when `terminate`; the exit status, with
    // standard error in *text.
    int wait(std::string* text, bool terminate = false)
    {
        if (terminate) process->stop();
        *text = readToEnd(err);
        return process->waitFor(std::chrono::seconds(10)).value_or(-1);
    }
    ~Proxy()
    {
        close(out);
        close(err);
    }
};

int connectTo(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

TEST(DelayProxy, PassesEveryByteInOrderHeldTheDelayEachWay)
{
    ReversingServer server;
    Proxy proxy({"--target", server.path(), "--delay-ms", "25"});
    ASSERT_GT(proxy.port, 0);
    // Two clients at once, one small message and one of several megabytes.
    struct Client {
        std::string sent;
        int fd;
    };
    std::vector<Client> clients;
    const auto start = Clock::now();
    for (const std::size_t size : {std::size_t{5}, std::size_t{3 * 1024 * 1024 + 17}}) {
        Client& c = clients.emplace_back(Client{std::string(size, ' '), connectTo(proxy.port)});
        for (std::size_t i = 0; i < size; ++i) c.sent[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    }
    for (Client& c : clients) {
        writeAll(c.fd, c.sent);
        shutdown(c.fd, SHUT_WR);
    }
    for (Client& c : clients) {
        EXPECT_EQ(readToEnd(c.fd), std::string(c.sent.rbegin(), c.sent.rend())) << c.sent.size() << " bytes";
        close(c.fd);
    }
    // The answer cannot come before the request went there and the answer came back.
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(50));
    std::string err;
    EXPECT_EQ(proxy.wait(&err, true), 0);
    EXPECT_NE(err.find("2 connections"), std::string::npos) << err;
}

TEST(DelayProxy, EndsAfterItsLifetimeAndRefusesWhatIsNotLocal)
{
    std::string err;
    Proxy timed({"--target", "127.0.0.1:9", "--lifetime", "0.2"});
    EXPECT_GT(timed.port, 0);
    EXPECT_EQ(timed.wait(&err), 0) << err;

    const std::vector<std::vector<std::string>> refused{
        {"--target", "192.0.2.1:5432"},
        {"--target", "127.0.0.1"},
        {"--target", "127.0.0.1:5432", "--delay-ms", "-1"},
        {"--delay-ms", "1"},
    };
    for (const auto& args : refused) {
        Proxy p(args);
        EXPECT_EQ(p.port, 0);
        EXPECT_EQ(p.wait(&err), 1) << args[1];
        EXPECT_NE(err.find("kovdelayproxy: "), std::string::npos) << err;
    }
}

} // namespace
