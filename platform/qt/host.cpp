#include "platform/qt/host.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QMetaObject>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/program.h"
#include "app/session.h"
#include "app/texts.h"
#include "host/files.h"
#include "host/window.h"
#include "platform/qt/dialogs.h"
#include "platform/qt/main_window.h"
#include "records/ranking.h"
#include "replay/replay_file.h"
#include "surface/surface.h"

// The icon and the cursor are compiled into the program.
static void InitProgramResources() {
  Q_INIT_RESOURCE(tavro);
}

namespace tavro_qt {
namespace {

MainWindow* mainWindow = nullptr;
QTimer* frameTimer = nullptr;
bool quitRequested = false;
int quitExitCode = 0;
bool shutdownRequested = false;
long long framesRun = 0;
// The frame log's clock and moments (measuring aid).
QElapsedTimer frameLogClock;
qint64 mainLoopStart = 0;  // on that clock, ns
std::vector<std::string> frameLogEvents;

// Set by the signal handler; the write to the pipe wakes the event loop.
volatile std::sig_atomic_t signalReceived = 0;
int signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  signalReceived = 1;
  if (signalPipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
  }
}

// Catches the toolkit's own quit request (the session manager's "die").
class QuitFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == qApp && event->type() == QEvent::Quit) {
      RequestShutdown();
      return true;
    }
    return false;
  }
};

void CloseOpenBoxes() {
  // Confirmations end as Cancel, the dialogs as OK: a name typed so far is
  // kept. At most one box is open at a time, but nothing depends on it.
  for (int guard = 0; guard < 8; guard++) {
    QWidget* modal = QApplication::activeModalWidget();
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (dialog == nullptr || !dialog->isVisible()) return;
    if (qobject_cast<ProgramDialog*>(dialog) != nullptr) {
      dialog->done(QDialog::Accepted);
    } else {
      dialog->done(QMessageBox::Cancel);
    }
  }
}

// Runs the destroy step once an orderly end was asked for from outside.
void HandleShutdownRequest() {
  if (signalReceived != 0) shutdownRequested = true;
  if (shutdownRequested && !quitRequested) EndProgramNow();
}

void WriteFrameLog(double seconds) {
  // Measuring aid: with TAVRO_FRAME_LOG set, the frame count and the run
  // time are written there at exit.
  const QByteArray path = qgetenv("TAVRO_FRAME_LOG");
  if (path.isEmpty()) return;
  if (FILE* f = std::fopen(path.constData(), "w")) {
    std::fprintf(f, "frames %lld\nseconds %.3f\n", framesRun, seconds);
    for (const std::string& line : frameLogEvents) std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

void SaveAtExit() {
  // The toolkit ends the process itself when the display connection breaks;
  // the settings and the ranking are still saved.
  if (!quitRequested) EndProgramNow();
}

}  // namespace

void EndProgramNow() {
  if (!quitRequested) SessionEnd();
}

void FrameTimerProc() {
  SessionTick();
}

void PrepareHost() {
  // The executable's folder is the current directory and the base of the
  // sound files (the sound engine also looks in the installed data folder).
  QString base = QCoreApplication::applicationDirPath();
  if (base.isEmpty() || !QDir::setCurrent(base)) base = QDir::currentPath();
  const QByteArray baseBytes = QFile::encodeName(base);
  if (baseBytes.size() < kMaxPath) {
    std::memcpy(BaseDirectory, baseBytes.constData(), static_cast<size_t>(baseBytes.size()));
    BaseDirectory[baseBytes.size()] = '\0';
  } else {
    // Too long for the buffer; the current directory stands for it.
    std::strcpy(BaseDirectory, ".");
  }
  InitSurfaceFont();
}

MainWindow* CreateHost() {
  InitProgramResources();
  ClearSurface();
  mainWindow = new MainWindow();
  frameTimer = new QTimer(mainWindow);
  frameTimer->setTimerType(Qt::PreciseTimer);
  frameTimer->setInterval(kFramePeriodMs);
  QObject::connect(frameTimer, &QTimer::timeout, [] { FrameTimerProc(); });
  qApp->installEventFilter(new QuitFilter(mainWindow));
  // The session manager asks for the data to be kept before the session
  // ends; the program may still be told to go on, so it only saves here.
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, mainWindow,
                   [](QSessionManager&) { SessionSaveNow(); });
  quitRequested = false;
  quitExitCode = 0;
  shutdownRequested = false;
  framesRun = 0;
  BeginPlaySession(true);
  return mainWindow;
}

MainWindow* HostWindow() {
  return mainWindow;
}
QTimer* FrameTimer() {
  return frameTimer;
}

bool RunLoopOnce(bool waitIfIdle) {
  // Messages first.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  HandleShutdownRequest();
  if (quitRequested) return false;
  // An open menu holds the game as a modal menu loop would; a tick that
  // comes meanwhile stays pending in World.frameTick.
  if (mainWindow == nullptr || !mainWindow->MenuOpen()) {
    const StepOutcome step = SessionStep();
    if (step.frame) framesRun++;
    if (step.show && mainWindow != nullptr) mainWindow->playfield()->ShowDrawn();
    if (step.ran) return true;
  }
  if (waitIfIdle) {
    // Nothing is due: sleep until the next event (the tick included).
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    HandleShutdownRequest();
  }
  return false;
}

int RunMainLoop() {
  while (!quitRequested) RunLoopOnce(true);
  // Let the window's last events (its hiding) be handled.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return quitExitCode;
}

bool QuitRequested() {
  return quitRequested;
}
int QuitExitCode() {
  return quitExitCode;
}
long long FramesRun() {
  return framesRun;
}

void NoteFrameLogEvent(const char* what, int id, int status) {
  static const bool logging = !qEnvironmentVariableIsEmpty("TAVRO_FRAME_LOG");
  if (!logging || !frameLogClock.isValid()) return;
  char line[128];
  std::snprintf(line, sizeof line, "event %s %d %d %.3f %lld", what, id, status,
                static_cast<double>(frameLogClock.nsecsElapsed() - mainLoopStart) / 1e9, framesRun);
  frameLogEvents.emplace_back(line);
}

void InstallTerminationHandlers() {
  if (signalPipe[0] >= 0) return;  // installed already
  if (pipe(signalPipe) != 0) return;
  for (int fd : signalPipe) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    char buffer[16];
    while (read(signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    RequestShutdown();
  });
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

void RequestShutdown() {
  shutdownRequested = true;
  CloseOpenBoxes();
}

bool ShutdownRequested() {
  return shutdownRequested || signalReceived != 0;
}

void ReportReplayError(const std::string& message) {
  std::fprintf(stderr, "tavro: %s\n", message.c_str());
  QMessageBox box(QMessageBox::Critical, QStringLiteral("TAVRO"),
                  QString::fromUtf8(kReplayErrorIntro) + QString::fromStdString(message),
                  QMessageBox::Ok);
  box.exec();
}

int RunProgram(const QStringList& arguments) {
  std::vector<std::string> words;
  for (qsizetype i = 1; i < arguments.size(); i++) {
    words.push_back(QFile::encodeName(arguments[i]).toStdString());
  }
  ProgramOptions options;
  std::string error;
  if (!ParseProgramArguments(words, &options, &error)) {
    std::fprintf(stderr, "tavro: %s\n%s", error.c_str(), ProgramUsage("tavro").c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(ProgramUsage("tavro").c_str(), stdout);
    return 0;
  }
  // Read before the current directory moves to the executable's folder.
  const bool replay = !options.replayPath.empty();
  ReplaySession session;
  if (replay && !LoadReplayFile(options.replayPath, options.fromGame, &session, &error)) {
    ReportReplayError(options.replayPath + ": " + error);
    return 2;
  }
  InstallTerminationHandlers();
  PrepareHost();
  MainWindow* window = CreateHost();
  if (replay) {
    BeginReplaySession(session);
    window->ShowStatusLine(QString::fromUtf8(kPlaybackKeysHint));
  }
  window->show();
  // The first requests may start with the session, before the main loop.
  frameLogClock.start();
  frameLogEvents.clear();
  StartSession();
  frameTimer->start();
  static bool saveAtExitInstalled = false;
  if (!saveAtExitInstalled) saveAtExitInstalled = std::atexit(SaveAtExit) == 0;
  mainLoopStart = frameLogClock.nsecsElapsed();
  const int code = RunMainLoop();
  WriteFrameLog(static_cast<double>(frameLogClock.nsecsElapsed() - mainLoopStart) / 1e9);
  delete window;
  mainWindow = nullptr;
  frameTimer = nullptr;
  return code;
}

int RunDesktopProgram(int argc, char** argv) {
  // The screen's own ratio, fractional ones included: menus and dialogs
  // take their true size, and the playfield draws whole device pixels per
  // game pixel by itself.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tavro"));
  QGuiApplication::setDesktopFileName(QStringLiteral("tavro"));
  QApplication::setQuitOnLastWindowClosed(false);
  return RunProgram(QCoreApplication::arguments());
}

}  // namespace tavro_qt

using tavro_qt::HostWindow;
using tavro_qt::ShutdownRequested;

bool PlatformConfirm(ConfirmBox box) {
  if (qApp == nullptr || ShutdownRequested()) return false;
  tavro_qt::CenteredMessageBox message(QMessageBox::Warning, QString::fromUtf8(kBoxCaption),
                                       QString::fromUtf8(ConfirmText(box)),
                                       QMessageBox::Ok | QMessageBox::Cancel, HostWindow());
  message.setDefaultButton(QMessageBox::Cancel);
  message.setEscapeButton(QMessageBox::Cancel);
  message.setWindowModality(Qt::ApplicationModal);
  return message.exec() == QMessageBox::Ok;
}

void PlatformAboutDialog() {
  if (qApp == nullptr || ShutdownRequested()) return;
  tavro_qt::AboutDialog dialog(HostWindow());
  dialog.exec();
}

bool PlatformNameEntry(char* text, std::size_t capacity) {
  if (qApp == nullptr || capacity == 0) return false;
  QByteArray name;
  if (!ShutdownRequested()) {
    tavro_qt::NameEntryDialog dialog(HostWindow());
    dialog.exec();
    name = dialog.name();
  }
  CopyTypedName(name.constData(), static_cast<std::size_t>(name.size()), text, capacity);
  return true;
}

void PlatformSleep(int milliseconds) {
  if (tavro_qt::MainWindow* window = HostWindow()) window->playfield()->ShowDrawn(true);
  // An orderly end is waiting: the show pieces are not drawn out.
  if (ShutdownRequested() || milliseconds <= 0) return;
  QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void PlatformPostClose() {
  if (tavro_qt::MainWindow* window = HostWindow()) {
    QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
  }
}

void PlatformQuit(int exitCode) {
  tavro_qt::quitRequested = true;
  tavro_qt::quitExitCode = exitCode;
}

void PlatformSetTitle(const char* title) {
  if (tavro_qt::MainWindow* window = HostWindow()) {
    window->setWindowTitle(QString::fromUtf8(title));
  }
}

void PlatformShowNotice(const char* text) {
  if (qApp == nullptr || ShutdownRequested()) return;
  tavro_qt::CenteredMessageBox message(QMessageBox::Warning, QString::fromUtf8(kBoxCaption),
                                       QString::fromUtf8(text), QMessageBox::Ok, HostWindow());
  message.setWindowModality(Qt::ApplicationModal);
  message.exec();
}
