#include "platform/qt/replay_player.h"

#include <QString>

#include "app/texts.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"

namespace tavro_qt {
namespace {

void SetTitle(const char* state) {
  if (MainWindow* window = HostWindow()) {
    window->setWindowTitle(QString::fromUtf8(kWindowTitle) + QStringLiteral(" - ") +
                           QString::fromUtf8(state));
  }
}

void Follow(PlaybackState state) {
  switch (state) {
    case PlaybackState::Playing:
      SetTitle("replay");
      break;
    case PlaybackState::Jumping:
      SetTitle("replay (jumping)");
      break;
    case PlaybackState::Ended:
      SetTitle("replay ended");
      // the events delivered last (a repaint) may have drawn after the frame
      if (MainWindow* window = HostWindow()) window->playfield()->update();
      break;
  }
}

}  // namespace

void ShowPlaybackInWindow() {
  SetPlaybackStateListener(Follow);
}

}  // namespace tavro_qt
