#include "draw/repaint.h"

#include <cstdio>

#include "draw/attract.h"
#include "draw/text.h"
#include "game/explosions.h"
#include "game/frame.h"
#include "world/world.h"

Color RandomTextColor() {
  const int blue = NextRandom() & 255;
  const int green = NextRandom() & 255;
  const int red = NextRandom() & 255;
  return Rgb(red, green, blue);
}

void DrawStatusLine(DeviceContext& dc) {
  const BkMode previousMode = DcSetBkMode(dc, BkMode::Opaque);
  const Color previousBk = DcSetBkColor(dc, kBlack);
  const Color previousText = DcSetTextColor(dc, RandomTextColor());
  char text[64];
  const int length = std::snprintf(text, sizeof text, " SCORE:%10d  LEVEL:%2lld  ", World.score,
                                   static_cast<long long>(World.level) + 1);
  DcDrawTextCentered(dc, text, ClampedLength(length, sizeof text));
  DcSetTextColor(dc, previousText);
  DcSetBkColor(dc, previousBk);
  DcSetBkMode(dc, previousMode);
}

namespace {

void RepaintLines(DeviceContext& dc) {
  const StockPen previous = DcSelectPen(dc, StockPen::White);
  const int lines[3] = {World.groundY, 470, 200};
  const int count = World.demoMode == 0 ? 3 : 1;
  for (int i = 0; i < count; ++i) {
    DcMoveTo(dc, 0, lines[i]);
    DcLineTo(dc, 511, lines[i]);
  }
  DcSelectPen(dc, previous);
}

void RepaintPopups(DeviceContext& dc) {
  const BkMode previousMode = DcSetBkMode(dc, BkMode::Transparent);
  const Color previousBk = DcSetBkColor(dc, kBlack);
  for (const ScorePopup& popup : World.popups) {
    if (popup.age == 0) continue;
    const Color previousText = DcSetTextColor(dc, ColorCodeToRgb(NextRandom() & 7));
    DrawPopupText(dc, popup);
    DcSetTextColor(dc, previousText);
  }
  DcSetBkColor(dc, previousBk);
  DcSetBkMode(dc, previousMode);
}

}  // namespace

void RepaintAll() {
  DeviceContext dc = GetWindowDc();
  for (const Star& star : World.stars) {
    if (star.y < World.groundY) DcSetPixel(dc, star.x, star.y, star.color);
  }
  RepaintLines(dc);
  for (const Meteor& m : World.meteors) {
    if (m.state == 0) continue;
    const Color color = m.hits == 1 ? m.color : ColorCodeToRgb(NextRandom() & 7);
    DrawDisc(dc, m.x, m.y, m.radius, color);
  }
  if (World.ufo.active != 0) DrawUfoOutline(dc);
  for (const Explosion& e : World.explosions) {
    if (e.stage == 0) continue;
    const Color color = ColorCodeToRgb(FireColors[NextRandom() & 7]);
    DrawDisc(dc, e.x, e.y, ExplosionRadius[e.stage], color);
  }
  RepaintPopups(dc);
  if (World.demoMode == 0) {
    DrawStatusLine(dc);
  } else {
    DrawAttractScreen(dc);
  }
  ReleaseWindowDc(dc);
}
