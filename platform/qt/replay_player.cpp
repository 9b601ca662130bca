#include "platform/qt/replay_player.h"

#include <SDL_mixer.h>

#include <QString>

#include "platform/qt/host.h"
#include "platform/qt/main_window.h"

namespace tavro_qt {
namespace {

int savedVolume = -1;

// The jump is silent: the effects it requests play at volume 0 and are cut
// off when it ends.
void MuteMixer(bool muted) {
  int rate;
  Uint16 format;
  int channels;
  if (Mix_QuerySpec(&rate, &format, &channels) == 0) return;  // no device
  if (muted) {
    if (savedVolume < 0) savedVolume = Mix_Volume(-1, -1);
    Mix_Volume(-1, 0);
  } else if (savedVolume >= 0) {
    Mix_HaltChannel(-1);
    Mix_Volume(-1, savedVolume);
    savedVolume = -1;
  }
}

void SetTitle(const char* state) {
  if (MainWindow* window = HostWindow()) {
    window->setWindowTitle(QString::fromUtf8(kWindowTitle) + QStringLiteral(" - ") +
                           QString::fromUtf8(state));
  }
}

void Follow(PlaybackState state) {
  MuteMixer(state == PlaybackState::Jumping);
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
