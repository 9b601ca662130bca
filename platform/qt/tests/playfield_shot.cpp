// playfield-shot WINDOW REFERENCE.png [SHOT.png]
// Takes a picture of the X window WINDOW (its id) as the screen shows it and
// looks in it for the 512 x 512 playfield of REFERENCE.png at any position.
// Prints the position with the fewest differing pixels; exits 0 when the
// playfield is shown exactly, 1 when not, 2 on a usage error. SHOT.png, when
// given, receives the part of the picture at that position.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

namespace {

// Pixels of `shot` at (left, top) that differ from `reference`; counting
// stops above `limit`.
long long Differences(const QImage& shot, const QImage& reference, int left, int top,
                      long long limit) {
  long long count = 0;
  for (int y = 0; y < reference.height() && count <= limit; y++) {
    const auto* want = reinterpret_cast<const QRgb*>(reference.constScanLine(y));
    const auto* seen = reinterpret_cast<const QRgb*>(shot.constScanLine(top + y)) + left;
    for (int x = 0; x < reference.width(); x++) count += ((want[x] ^ seen[x]) & 0xFFFFFF) != 0;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fputs("usage: playfield-shot WINDOW REFERENCE.png [SHOT.png]\n", stderr);
    return 2;
  }
  bool number = false;
  const WId window = QString::fromLocal8Bit(argv[1]).toULongLong(&number, 0);
  const QImage reference =
      QImage(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_RGB32);
  if (!number || reference.isNull()) {
    std::fputs("playfield-shot: bad window id or unreadable reference\n", stderr);
    return 2;
  }
  const QImage shot =
      QGuiApplication::primaryScreen()->grabWindow(window).toImage().convertToFormat(
          QImage::Format_RGB32);
  if (shot.width() < reference.width() || shot.height() < reference.height()) {
    std::fprintf(stderr, "playfield-shot: the window's picture is only %dx%d\n", shot.width(),
                 shot.height());
    return 1;
  }
  long long best = -1;
  int bestLeft = 0;
  int bestTop = 0;
  for (int top = 0; top <= shot.height() - reference.height(); top++) {
    for (int left = 0; left <= shot.width() - reference.width(); left++) {
      const long long limit = best < 0 ? reference.width() * 1ll * reference.height() : best - 1;
      const long long count = Differences(shot, reference, left, top, limit);
      if (best < 0 || count < best) {
        best = count;
        bestLeft = left;
        bestTop = top;
      }
    }
  }
  std::printf("playfield at %d,%d of the window: %lld pixel(s) differ\n", bestLeft, bestTop, best);
  if (argc > 3) {
    shot.copy(bestLeft, bestTop, reference.width(), reference.height())
        .save(QString::fromLocal8Bit(argv[3]));
  }
  return best == 0 ? 0 : 1;
}
