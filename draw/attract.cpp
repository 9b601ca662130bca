#include "draw/attract.h"

#include <cstdio>

#include "draw/repaint.h"
#include "draw/text.h"
#include "world/world.h"

namespace {

constexpr int kPopupLifetime = 90;

void DrawTitle(DeviceContext& dc) {
  char text[96];
  DcSetTextColor(dc, RandomTextColor());
  const int length = std::snprintf(text, sizeof text, "   Last player's score : %d  Level : %lld ",
                                   World.score, static_cast<long long>(World.level) + 1);
  DcDrawTextCentered(dc, text, ClampedLength(length, sizeof text));

  DcSetTextColor(dc, RandomTextColor());
  DrawFormatted(dc, 220, 60, "TAVRO");

  const StockPen previousPen = DcSelectPen(dc, StockPen::White);
  DcMoveTo(dc, 180, 50);
  DcLineTo(dc, 305, 50);
  DcLineTo(dc, 305, 85);
  DcLineTo(dc, 180, 85);
  DcLineTo(dc, 180, 50);
  DcSelectPen(dc, previousPen);

  DcSetTextColor(dc, RandomTextColor());
  DrawFormatted(dc, 200, 120, "GAME OVER");
}

void DrawRankingRow(DeviceContext& dc, int place) {
  const RankingEntry& row = World.ranking[place - 1];
  const int y = 150 + 22 * (place - 1);
  DcSetTextColor(dc, World.rankJustAchieved == place ? RandomTextColor() : kWhite);
  DrawFormatted(dc, 80, y, "%2d", place);
  DrawFormatted(dc, 95, y, "...");
  DrawFormatted(dc, 140, y, "%lld", static_cast<long long>(row.level) + 1);
  DrawFormatted(dc, 160, y, "%s", row.rapid != 0 ? "RA" : "NM");
  DrawFormatted(dc, 200, y, "%9d", row.score);
  DcTextOut(dc, 290, y, row.name, NameLength(row));
}

}  // namespace

void DrawAttractScreen(DeviceContext& dc) {
  const BkMode previousMode = DcSetBkMode(dc, BkMode::Transparent);
  const Color previousBk = DcSetBkColor(dc, kBlack);
  const Color previousText = dc.textColor;
  DrawTitle(dc);
  for (int place = 1; place <= kRankingRows; ++place) DrawRankingRow(dc, place);
  DcSetTextColor(dc, previousText);
  DcSetBkColor(dc, previousBk);
  DcSetBkMode(dc, previousMode);
}

void UpdateScorePopups(DeviceContext& dc) {
  const BkMode previousMode = DcSetBkMode(dc, BkMode::Transparent);
  const Color previousBk = DcSetBkColor(dc, kBlack);
  for (ScorePopup& popup : World.popups) {
    if (popup.age == 0) continue;
    popup.age++;
    Color color;
    if (popup.age >= kPopupLifetime) {
      popup.age = 0;
      color = kBlack;
    } else {
      color = ColorCodeToRgb(NextRandom() & 7);
    }
    const Color previousText = DcSetTextColor(dc, color);
    DrawPopupText(dc, popup);
    DcSetTextColor(dc, previousText);
  }
  DcSetBkColor(dc, previousBk);
  DcSetBkMode(dc, previousMode);
}
