// The desktop program's side of the shared ranking: HTTP by QtNetwork on
// the main thread (its transfers run in the toolkit's own thread and never
// hold a frame), a replay watched in a second copy of the program, the
// online status in the main window's status bar, and the modeless dialog.
#pragma once

#include <QString>
#include <QStringList>

namespace tavro_qt {

// The largest answer taken; a longer one is given up as no answer.
constexpr qint64 kHttpMaxAnswerBytes = 16 << 20;

// The program started to watch a replay, with `--replay PATH --from-game N`
// after `leading`: this executable by default; tests put a stand-in.
void SetWatchProgram(const QString& program, const QStringList& leading = {});

// Requests started and not yet answered.
int HttpRequestsRunning();

}  // namespace tavro_qt
