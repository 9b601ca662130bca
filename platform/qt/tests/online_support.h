// The pieces of the shared ranking's tests that run outside the program: a
// real tavro-board, a plain HTTP client, a listener that only counts, and the
// program's runs, each a fresh process of this test binary.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <map>
#include <string>

namespace tavro_qt_test {

// tavro-board on 127.0.0.1 with its SQLite file in a folder of its own,
// stopped (SIGTERM) and its folder removed when it goes.
class BoardServer {
 public:
  BoardServer() = default;
  ~BoardServer();
  BoardServer(const BoardServer&) = delete;
  BoardServer& operator=(const BoardServer&) = delete;

  // Starts it on the port (0: any free one) and waits for it to listen.
  // False, with error() saying why, when it does not.
  bool Start(int port = 0);
  void Stop();
  int port() const { return port_; }
  QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
  const std::string& error() const { return error_; }
  // Its log (a line a request), for a failure's message.
  std::string log() const;

 private:
  QProcess process_;
  QTemporaryDir* data_ = nullptr;
  int port_ = 0;
  std::string error_;
};

// A GET with a fresh client; the status (0: no answer) and the body.
int HttpGet(const QString& url, std::string* body);

// A loopback port that nothing listens on (taken and let go at once).
int ClosedPort();

// A loopback listener that takes nothing but the connections: Count()
// accepts those waiting and says how many there have been.
class ConnectionCounter {
 public:
  ConnectionCounter();
  ~ConnectionCounter();
  int port() const { return port_; }
  int Count();

 private:
  int fd_ = -1;
  int port_ = 0;
  int count_ = 0;
};

// A run of the program: this binary again, running the named scenario
// (online_scenarios.cpp) with the settings and replays under `home` and the
// given variables. Its status, standard output and error.
struct ChildRun {
  int code = -1;
  std::string out;
  std::string err;
  // A "key value" line of its standard output.
  std::string Value(const std::string& key) const;
};
ChildRun RunChild(const char* scenario, const QString& home,
                  const std::map<QString, QString>& variables = {});

// The scenario a child process runs (set by RunChild), or empty.
QString ChildScenario();
// Runs it; the process's exit status. Needs the QApplication.
int RunChildScenario(const QString& name);

// The settings file and the replays folder of a home folder.
QString SettingsFileIn(const QString& home);
QString ReplaysFolderIn(const QString& home);
// Writes the settings file with its "Online" section (nothing more).
void WriteOnlineSettings(const QString& home, const std::string& onlineSection);

}  // namespace tavro_qt_test
