#include "platform/qt/tests/online_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
#include <sstream>

namespace tavro_qt_test {
namespace {

constexpr char kScenarioVariable[] = "TAVRO_ONLINE_SCENARIO";

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// A socket bound to a free loopback port; -1 on failure.
int BindFree(int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

BoardServer::~BoardServer() {
  Stop();
}

bool BoardServer::Start(int port) {
  Stop();
  data_ = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/tavro-board-test-XXXXXX"));
  if (!data_->isValid()) {
    error_ = "no folder for the server";
    return false;
  }
  process_.setStandardErrorFile(data_->filePath(QStringLiteral("board.log")));
  process_.setStandardOutputFile(QProcess::nullDevice());
  process_.start(QStringLiteral(TAVRO_BOARD_PATH),
                 {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                  QStringLiteral("--data"), data_->path(), QStringLiteral("--sim"),
                  QStringLiteral(TAVRO_SIM_PATH), QStringLiteral("--rate"), QStringLiteral("0")});
  if (!process_.waitForStarted(10000)) {
    error_ = "tavro-board did not start";
    return false;
  }
  // It names its address on standard error once it listens.
  const QRegularExpression listening(QStringLiteral("listening on http://127\\.0\\.0\\.1:(\\d+)/"));
  const QDeadlineTimer deadline(30000);
  while (!deadline.hasExpired()) {
    const QRegularExpressionMatch match = listening.match(QString::fromStdString(log()));
    if (match.hasMatch()) {
      port_ = match.captured(1).toInt();
      return true;
    }
    if (process_.waitForFinished(20)) break;
  }
  error_ = "tavro-board did not listen: " + log();
  return false;
}

void BoardServer::Stop() {
  if (process_.state() != QProcess::NotRunning) {
    process_.terminate();
    if (!process_.waitForFinished(30000)) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  delete data_;  // the folder goes with it
  data_ = nullptr;
  port_ = 0;
}

std::string BoardServer::log() const {
  if (data_ == nullptr) return "";
  QFile file(data_->filePath(QStringLiteral("board.log")));
  if (!file.open(QIODevice::ReadOnly)) return "";
  return file.readAll().toStdString();
}

int HttpGet(const QString& url, std::string* body) {
  QNetworkAccessManager client;
  QNetworkRequest request{QUrl(url)};
  request.setTransferTimeout(30000);
  QNetworkReply* reply = client.get(request);
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  loop.exec();
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  *body = reply->readAll().toStdString();
  reply->deleteLater();
  return status.isValid() ? status.toInt() : 0;
}

int ClosedPort() {
  int port = 0;
  const int fd = BindFree(&port);
  if (fd >= 0) close(fd);
  return port;
}

ConnectionCounter::ConnectionCounter() {
  fd_ = BindFree(&port_);
  if (fd_ >= 0 && listen(fd_, 64) != 0) {
    close(fd_);
    fd_ = -1;
  }
  if (fd_ >= 0) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

ConnectionCounter::~ConnectionCounter() {
  if (fd_ >= 0) close(fd_);
}

int ConnectionCounter::Count() {
  // A connection the kernel completed waits in the backlog until accepted,
  // even when its client has gone.
  while (fd_ >= 0) {
    const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) break;
    close(client);
    count_++;
  }
  return count_;
}

std::string ChildRun::Value(const std::string& key) const {
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(key + " ", 0) == 0) return line.substr(key.size() + 1);
  }
  return "";
}

ChildRun RunChild(const char* scenario, const QString& home,
                  const std::map<QString, QString>& variables) {
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(kScenarioVariable), QString::fromLatin1(scenario));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
  environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
  for (const auto& [name, value] : variables) environment.insert(name, value);
  child.setProcessEnvironment(environment);
  child.start(QCoreApplication::applicationFilePath(), {});
  ChildRun run;
  if (!child.waitForStarted(10000)) {
    run.err = "the child did not start";
    return run;
  }
  // The event loop goes on meanwhile (the children's picture files, a
  // server's log are not read from here, but nothing here blocks it).
  const QDeadlineTimer deadline(240000);
  while (!child.waitForFinished(50)) {
    QCoreApplication::processEvents();
    if (deadline.hasExpired()) {
      child.kill();
      child.waitForFinished(5000);
      run.err = "the child ran for four minutes and was killed\n";
      break;
    }
  }
  run.out += child.readAllStandardOutput().toStdString();
  run.err += child.readAllStandardError().toStdString();
  if (child.exitStatus() == QProcess::NormalExit) run.code = child.exitCode();
  return run;
}

QString ChildScenario() {
  return qEnvironmentVariable(kScenarioVariable);
}

QString SettingsFileIn(const QString& home) {
  return home + QStringLiteral("/config/tavro/TAVRO.INI");
}

QString ReplaysFolderIn(const QString& home) {
  return home + QStringLiteral("/data/tavro/replays");
}

void WriteOnlineSettings(const QString& home, const std::string& onlineSection) {
  QDir().mkpath(home + QStringLiteral("/config/tavro"));
  QFile file(SettingsFileIn(home));
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    file.write(QByteArray::fromStdString("[Online]\n" + onlineSection));
  }
}

}  // namespace tavro_qt_test
