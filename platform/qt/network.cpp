#include "platform/qt/network.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcess>
#include <QUrl>
#include <cstdio>
#include <string>

#include "app/session.h"
#include "host/network.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
#include "platform/qt/shared_ranking_dialog.h"

namespace tavro_qt {
namespace {

QPointer<QNetworkAccessManager> manager;
QString watchProgram;
QStringList watchLeading;
int running = 0;

QNetworkAccessManager* Manager() {
  if (manager == nullptr) manager = new QNetworkAccessManager(qApp);
  return manager;
}

// The HTTP status of a finished reply, or 0 when no whole answer came: no
// connection, a name not resolved, the timeout, an answer cut short or one
// too large. An answer with an error status (4xx, 5xx) is an answer.
int StatusOf(QNetworkReply* reply) {
  const QNetworkReply::NetworkError error = reply->error();
  const bool answered = error == QNetworkReply::NoError ||
                        error >= QNetworkReply::ContentAccessDenied;  // content, protocol, server
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (!answered || !status.isValid()) return 0;
  return status.toInt();
}

}  // namespace

void SetWatchProgram(const QString& program, const QStringList& leading) {
  watchProgram = program;
  watchLeading = leading;
}

int HttpRequestsRunning() {
  return running;
}

}  // namespace tavro_qt

bool PlatformHttpStart(const HttpRequest& request) {
  if (qApp == nullptr || request.method == nullptr) return false;
  const QUrl url(QString::fromStdString(request.url), QUrl::StrictMode);
  if (!url.isValid() ||
      (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
    return false;
  }
  const bool post = std::string(request.method) == "POST";
  if (!post && std::string(request.method) != "GET") return false;
  QNetworkRequest http(url);
  http.setTransferTimeout(kHttpTimeoutSeconds * 1000);
  http.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("TAVRO"));
  QNetworkAccessManager* manager = tavro_qt::Manager();
  QNetworkReply* reply = nullptr;
  if (post) {
    http.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain; charset=utf-8"));
    reply = manager->post(http, QByteArray::fromStdString(request.body));
  } else {
    reply = manager->get(http);
  }
  tavro_qt::running++;
  tavro_qt::NoteFrameLogEvent(post ? "post" : "get", request.id, 0);
  // A body beyond the cap is not read to its end.
  QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                   [reply](qint64 received, qint64) {
                     if (received > tavro_qt::kHttpMaxAnswerBytes) reply->abort();
                   });
  const int id = request.id;
  QObject::connect(reply, &QNetworkReply::finished, reply, [reply, id] {
    tavro_qt::running--;
    reply->deleteLater();
    const int status = tavro_qt::StatusOf(reply);
    const QByteArray body = status != 0 ? reply->readAll() : QByteArray();
    tavro_qt::NoteFrameLogEvent("answer", id, status);
    // Queued by the session and taken up at its next step.
    SessionHttpAnswer(id, status, body.toStdString());
  });
  return true;
}

std::string PlatformDefaultServer() {
  return std::string();
}

void PlatformWatchReplay(const std::string& path, int fromGame) {
  const QString program = tavro_qt::watchProgram.isEmpty() ? QCoreApplication::applicationFilePath()
                                                           : tavro_qt::watchProgram;
  const QStringList arguments =
      tavro_qt::watchLeading +
      QStringList{QStringLiteral("--replay"), QFile::decodeName(QByteArray::fromStdString(path)),
                  QStringLiteral("--from-game"), QString::number(fromGame)};
  if (!QProcess::startDetached(program, arguments)) {
    std::fprintf(stderr, "tavro: %s could not be started to watch %s\n",
                 QFile::encodeName(program).constData(), path.c_str());
  }
}

void PlatformShowSharedRanking() {
  tavro_qt::ShowSharedRankingDialog();
}

void PlatformSharedRankingChanged() {
  tavro_qt::RefreshSharedRankingDialog();
}

void PlatformShowOnlineStatus(const char* text) {
  if (tavro_qt::MainWindow* window = tavro_qt::HostWindow()) {
    window->ShowStatusLine(QString::fromUtf8(text));
  }
}
