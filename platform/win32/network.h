// The Windows program's side of the shared ranking's network: each request
// runs on a worker thread of its own, and its answer comes back to the main
// window as a message, to be handed to the session on the main thread.
#pragma once

#include <windows.h>

namespace tavro_win32 {

// Posted by a worker to the main window; lParam owns the answer.
constexpr UINT kHttpAnswerMessage = WM_APP + 2;
// The main window's timer that gives up requests past their time.
constexpr UINT_PTR kHttpDeadlineTimer = 2;

// The window procedure's part: an answer posted by a worker, and the
// deadline timer's tick.
void TakeHttpAnswer(LPARAM answer);
void CheckHttpDeadlines();
// At the exit: waits at most milliseconds for the workers still running,
// then leaves them to the end of the process (they touch nothing shared).
void WaitForHttpWorkers(DWORD milliseconds);

}  // namespace tavro_win32
