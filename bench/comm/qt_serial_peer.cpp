// SPDX-License-Identifier: MIT
// Qt's serial port on a pty slave, for bench_comm: blocking requests (write, then
// waitForReadyRead until the reply is whole) and a bulk transfer both ways. Qt needs a
// QCoreApplication, made on first use.
#include "qt_serial_peer.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <chrono>
#include <stdexcept>

namespace bench {
namespace {

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "bench_comm";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

struct OpenQtPort {
  QSerialPort port;
  explicit OpenQtPort(const std::string& path) {
    EnsureApplication();
    port.setPortName(QString::fromStdString(path));
    if (!port.open(QIODevice::ReadWrite))
      throw std::runtime_error("QSerialPort could not open the pty: " +
                               port.errorString().toStdString());
    port.setBaudRate(115200);
  }
};

}  // namespace

std::vector<double> QtRequests(const std::string& path, int exchanges) {
  using Clock = std::chrono::steady_clock;
  OpenQtPort qt(path);
  std::vector<double> ms;
  for (int i = 0; i < exchanges; ++i) {
    const auto start = Clock::now();
    qt.port.write("AB", 2);
    qt.port.waitForBytesWritten(1000);
    while (qt.port.bytesAvailable() < 5 && qt.port.waitForReadyRead(1000)) {
    }
    if (qt.port.read(5).size() != 5) throw std::runtime_error("QSerialPort: no reply");
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return ms;
}

void QtBulk(const std::string& path, std::size_t volume, const std::function<void()>& begin) {
  OpenQtPort qt(path);
  const QByteArray block(16384, 'q');
  std::size_t sent = 0, got = 0;
  begin();
  while (sent < volume || got < volume) {
    if (sent < volume && qt.port.bytesToWrite() < 65536)
      sent += static_cast<std::size_t>(qt.port.write(
          block.constData(), static_cast<qint64>(std::min<std::size_t>(
                                 static_cast<std::size_t>(block.size()), volume - sent))));
    qt.port.waitForReadyRead(10);  // also writes what is queued
    got += static_cast<std::size_t>(qt.port.readAll().size());
  }
}

}  // namespace bench
