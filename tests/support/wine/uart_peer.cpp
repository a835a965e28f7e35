// SPDX-License-Identifier: MIT
// The far end of the COM ports a Windows test opens under Wine, played on the Linux side.
//
//   uart_peer --port <n> [--port <m> ...] [--echo <n>] [--preload <lib>] [--board <program>]
//             -- <command...>
//
// For each COM number it makes a pseudo-terminal pair, links $WINEPREFIX/dosdevices/com<n> to the
// slave (~/.wine without WINEPREFIX) and holds the master (and a descriptor on the slave, which
// keeps the pair up while no port is open). The far end of an --echo port sends back what it
// receives. It then runs the command (wine and the test program) with ZELVANE_PEER set to
// the TCP address where it takes orders, and LD_PRELOAD set to <lib> (wine_uart.cpp), and exits
// with the command's status. Orders, one line each, answered by one line ("ok ...", "error ..."):
//   write <n> <hex>           the bytes, from the master
//   read <n> <count> <ms>     up to count bytes from the master, waiting up to ms: "ok <hex>"
//   lines <n>                 the slave's modes: "ok <baud> <bits> <parity N|O|E> <stop> <raw 0|1>"
//   hangup <n>                closes the master and the slave descriptor: the port sees a hang-up
//   reconnect <n>             a new pair under the same COM number
//   busy <n> <0|1>            holds (1) or lets go (0) the slave as another program would
//   board <n> <hex>           the board simulator (--board) takes the port over: the pair is
//                             closed, and the simulator serves a pty of its own, linked as
//                             com<n>, with the options in <hex> (newline-separated):
//                             "ok <its byte log>"
//   unboard <n>               stops that simulator (its link goes with it)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../peer_wire.h"

namespace {

namespace fs = std::filesystem;

struct Pty {
  int master = -1;
  int slave = -1;
  int holder = -1;  // "busy": a descriptor holding the slave's lock
  std::string slavePath;
};

std::string prefix;
std::map<int, Pty> ports;
std::mutex portsMutex;  // the orders and the echo take turns

// The board simulators serving ports, by COM number.
struct Board {
  pid_t pid = -1;
  std::string log;
};
std::string boardProgram;
std::map<int, Board> boards;
std::vector<std::string> boardLogs;  // removed when the peer exits

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "uart_peer: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(125);
}

void Connect(int number) {
  Pty pty;
  pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) Die("posix_openpt");
  pty.slavePath = ptsname(pty.master);
  termios raw{};
  tcgetattr(pty.master, &raw);
  cfmakeraw(&raw);
  tcsetattr(pty.master, TCSANOW, &raw);
  pty.slave = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.slave < 0) Die("open " + pty.slavePath);
  const fs::path link = fs::path(prefix) / "dosdevices" / ("com" + std::to_string(number));
  std::error_code ignored;
  fs::remove(link, ignored);
  fs::create_symlink(pty.slavePath, link);
  ports[number] = pty;
}

void HangUp(Pty& pty) {
  for (int* fd : {&pty.master, &pty.slave, &pty.holder}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

using peer_wire::Hex;
using peer_wire::Unhex;

std::string Read(int fd, std::size_t count, int ms) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (got.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

bool Write(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 100);
      continue;
    }
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void StopBoard(int number) {
  const auto board = boards.find(number);
  if (board == boards.end()) return;
  kill(board->second.pid, SIGTERM);
  while (waitpid(board->second.pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  boards.erase(board);
}

// Starts the simulator on its own pty linked as com<number>; returns its log, or "" on failure.
std::string StartBoard(int number, const std::vector<std::string>& options) {
  StopBoard(number);
  const std::string log =
      (fs::temp_directory_path() / ("uart_peer-" + std::to_string(getpid()) + "-board-" +
                                    std::to_string(boardLogs.size() + 1) + ".log"))
          .string();
  boardLogs.push_back(log);
  const std::string link = (fs::path(prefix) / "dosdevices" / ("com" + std::to_string(number)));
  std::vector<std::string> args = {boardProgram, "--pty", "--link", link, "--log", log};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return "";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // Its first line, the pty slave, says that it serves the line and has made the link.
  std::string first;
  while (first.find('\n') == std::string::npos) {
    const std::string more = Read(out[0], 1, 10000);
    if (more.empty()) break;
    first += more;
  }
  close(out[0]);
  if (pid < 0 || first.empty()) {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    return "";
  }
  boards[number] = {pid, log};
  return log;
}

std::string Lines(const Pty& pty) {
  termios t{};
  if (tcgetattr(pty.slave, &t) != 0) return "error tcgetattr";
  static const std::map<speed_t, int> speeds = {
      {B300, 300},     {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},
      {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
  const auto speed = speeds.find(cfgetospeed(&t));
  const int bits = (t.c_cflag & CSIZE) == CS8   ? 8
                   : (t.c_cflag & CSIZE) == CS7 ? 7
                   : (t.c_cflag & CSIZE) == CS6 ? 6
                                                : 5;
  const char parity = (t.c_cflag & PARENB) == 0 ? 'N' : (t.c_cflag & PARODD) != 0 ? 'O' : 'E';
  const bool raw = (t.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (t.c_oflag & OPOST) == 0 &&
                   (t.c_iflag & (ICRNL | INLCR | IXON)) == 0;
  std::ostringstream out;
  out << "ok " << (speed != speeds.end() ? speed->second : 0) << ' ' << bits << ' ' << parity << ' '
      << ((t.c_cflag & CSTOPB) != 0 ? 2 : 1) << ' ' << (raw ? 1 : 0);
  return out.str();
}

std::string Handle(const std::string& line) {
  std::lock_guard lock(portsMutex);
  std::istringstream in(line);
  std::string order;
  int number = 0;
  in >> order >> number;
  const auto port = ports.find(number);
  if (port == ports.end()) return "error no port " + std::to_string(number);
  Pty& pty = port->second;
  if (order == "write") {
    std::string hex;
    in >> hex;
    return Write(pty.master, Unhex(hex)) ? "ok" : "error write";
  }
  if (order == "read") {
    std::size_t count = 0;
    int ms = 0;
    in >> count >> ms;
    return "ok " + Hex(Read(pty.master, count, ms));
  }
  if (order == "lines") return Lines(pty);
  if (order == "hangup") {
    HangUp(pty);
    return "ok";
  }
  if (order == "reconnect") {
    HangUp(pty);
    Connect(number);
    return "ok";
  }
  if (order == "board") {
    std::string hex;
    in >> hex;
    std::vector<std::string> options;
    std::istringstream lines(Unhex(hex));
    for (std::string option; std::getline(lines, option);) options.push_back(option);
    if (boardProgram.empty()) return "error no --board program";
    HangUp(pty);
    const std::string log = StartBoard(number, options);
    return log.empty() ? "error the board did not start" : "ok " + log;
  }
  if (order == "unboard") {
    StopBoard(number);
    return "ok";
  }
  if (order == "busy") {
    int on = 0;
    in >> on;
    if (pty.holder >= 0) close(pty.holder);
    pty.holder = -1;
    if (on == 0) return "ok";
    pty.holder = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return pty.holder >= 0 && flock(pty.holder, LOCK_EX | LOCK_NB) == 0 ? "ok" : "error busy";
  }
  return "error unknown order " + order;
}

void Serve(int listener) {
  for (;;) {
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::string pending;
    char buffer[65536];
    for (;;) {
      const ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pending.erase(0, end + 1);
        const std::string reply = Handle(line) + "\n";
        send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
    }
    close(client);
  }
}

// Sends back whatever arrives on the port's master, for as long as the peer runs.
void Echo(int number) {
  for (;;) {
    int master = -1;
    {
      std::lock_guard lock(portsMutex);
      master = ports[number].master;
    }
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0 || (p.revents & POLLIN) == 0) {
      if (p.revents & POLLHUP) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    std::lock_guard lock(portsMutex);
    char buffer[4096];
    const ssize_t n = read(ports[number].master, buffer, sizeof buffer);
    if (n > 0) Write(ports[number].master, std::string(buffer, static_cast<std::size_t>(n)));
  }
}

int Listen() {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 4) != 0)
    Die("listen");
  return listener;
}

int PortOf(int listener) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
  std::string preload;
  std::vector<int> echoes;
  int first = argc;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      first = i + 1;
      break;
    }
    if (i + 1 >= argc) break;
    if (arg == "--port") ports[std::atoi(argv[++i])] = {};
    if (arg == "--echo") echoes.push_back(std::atoi(argv[++i]));
    if (arg == "--preload") preload = argv[++i];
    if (arg == "--board") boardProgram = argv[++i];
  }
  if (ports.empty() || first >= argc) {
    std::fprintf(stderr, "usage: uart_peer --port N... [--echo N] [--preload LIB] -- COMMAND\n");
    return 2;
  }
  const char* winePrefix = std::getenv("WINEPREFIX");
  const char* home = std::getenv("HOME");
  prefix = winePrefix != nullptr && *winePrefix != '\0' ? std::string(winePrefix)
                                                        : std::string(home ? home : ".") + "/.wine";
  for (auto& [number, pty] : std::map<int, Pty>(ports)) Connect(number);

  const int listener = Listen();
  setenv("ZELVANE_PEER", ("127.0.0.1:" + std::to_string(PortOf(listener))).c_str(), 1);
  if (!preload.empty()) setenv("LD_PRELOAD", preload.c_str(), 1);
  std::thread(Serve, listener).detach();
  for (int number : echoes) std::thread(Echo, number).detach();

  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[first], argv + first);
    Die(std::string("exec ") + argv[first]);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::lock_guard lock(portsMutex);
  for (auto& [number, pty] : ports) HangUp(pty);
  while (!boards.empty()) StopBoard(boards.begin()->first);
  std::error_code ignored;
  for (const std::string& log : boardLogs) fs::remove(log, ignored);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
