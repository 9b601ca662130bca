#include "platform/qt/main_window.h"

#include <QAction>
#include <QBitmap>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "app/session.h"
#include "app/texts.h"
#include "host/window.h"
#include "platform/qt/host.h"
#include "surface/dirty_region.h"
#include "surface/surface.h"
#include "world/world.h"

namespace tavro_qt {
namespace {

bool InsidePlayfield(const QPoint& p) {
  return p.x() >= 0 && p.y() >= 0 && p.x() < kSurfaceWidth && p.y() < kSurfaceHeight;
}

// A line of text cut with an ellipsis to its width: a long line never widens
// the window, whose size the playfield sets.
class ElidedLine : public QLabel {
 public:
  explicit ElidedLine(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setMinimumWidth(0);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
  }
};

}  // namespace

QIcon ProgramIcon() {
  return QIcon(QStringLiteral(":/tavro/tavro.png"));
}

QCursor CrosshairCursor() {
  // Bars two pixels wide (rows and columns 15 and 16) across the whole
  // 32 x 32 cursor, hot spot where they cross. The bars are the mask; a
  // clear picture bit under a set mask bit shows white, which stands out on
  // the black playfield.
  const QBitmap mask(QStringLiteral(":/tavro/tavro-cursor.xbm"));
  QBitmap picture(mask.size());
  picture.clear();
  return QCursor(picture, mask, 15, 15);
}

int PlayfieldLogicalSize(int scale, double devicePixelRatio) {
  // A small allowance keeps exact quotients (2048 / 1.25) from rounding up.
  return static_cast<int>(std::ceil(kSurfaceWidth * scale / devicePixelRatio - 1e-6));
}

int ChoosePlayfieldScale(double devicePixelRatio, QSize available, QSize chrome) {
  int scale = 1;
  for (; scale < 64; scale++) {
    const int side = PlayfieldLogicalSize(scale + 1, devicePixelRatio);
    if (side + chrome.width() > available.width() || side + chrome.height() > available.height()) {
      break;
    }
  }
  return scale;
}

void PaintPlayfield(QPainter& painter, const QRect& area, double devicePixelRatio, int scale,
                    const QImage& frame) {
  // Whatever the image leaves uncovered (the fraction of a logical pixel at
  // a fractional ratio, space given from outside) is black. The strips start
  // at the last whole logical pixel inside the image, which the image then
  // overdraws.
  const int inside = static_cast<int>(kSurfaceWidth * scale / devicePixelRatio);
  painter.fillRect(QRect(inside, 0, area.width() - inside, area.height()), Qt::black);
  painter.fillRect(QRect(0, inside, inside, area.height() - inside), Qt::black);
  // Replicated by a whole factor and drawn at the device's own ratio, the
  // image lands on device pixels one to one.
  QImage shown = scale == 1 ? frame
                            : frame.scaled(kSurfaceWidth * scale, kSurfaceHeight * scale,
                                           Qt::IgnoreAspectRatio, Qt::FastTransformation);
  shown.setDevicePixelRatio(devicePixelRatio);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QPointF(0, 0), shown);
}

void PaintPlayfieldRegion(QPainter& painter, const QRegion& region, double devicePixelRatio,
                          int scale, const QImage& frame) {
  const double perGamePixel = scale / devicePixelRatio;
  const int inside = static_cast<int>(kSurfaceWidth * perGamePixel);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  for (const QRect& area : region) {
    // the black beyond the image, where the area reaches it
    painter.fillRect(area.intersected(QRect(inside, 0, 1 << 20, 1 << 20)), Qt::black);
    painter.fillRect(area.intersected(QRect(0, inside, inside, 1 << 20)), Qt::black);
    // the game pixels under the area, replicated as the whole picture would be
    const int x0 =
        std::clamp(static_cast<int>(std::floor(area.left() / perGamePixel)), 0, kSurfaceWidth);
    const int y0 =
        std::clamp(static_cast<int>(std::floor(area.top() / perGamePixel)), 0, kSurfaceHeight);
    const int x1 = std::clamp(static_cast<int>(std::ceil((area.right() + 1) / perGamePixel)), 0,
                              kSurfaceWidth);
    const int y1 = std::clamp(static_cast<int>(std::ceil((area.bottom() + 1) / perGamePixel)), 0,
                              kSurfaceHeight);
    if (x0 >= x1 || y0 >= y1) continue;
    if (scale == 1 && devicePixelRatio == 1.0) {
      // one to one: straight from the surface's memory, no piece copied
      painter.drawImage(QPoint(x0, y0), frame, QRect(x0, y0, x1 - x0, y1 - y0));
      continue;
    }
    const QImage piece = frame.copy(x0, y0, x1 - x0, y1 - y0);
    QImage shown = scale == 1 ? piece
                              : piece.scaled(piece.width() * scale, piece.height() * scale,
                                             Qt::IgnoreAspectRatio, Qt::FastTransformation);
    shown.setDevicePixelRatio(devicePixelRatio);
    painter.drawImage(QPointF(x0 * perGamePixel, y0 * perGamePixel), shown);
  }
}

Playfield::Playfield(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  setMouseTracking(true);
  setCursor(CrosshairCursor());
  SetScale(1);
}

void Playfield::SetScale(int scale) {
  scale_ = scale;
  const int side = PlayfieldLogicalSize(scale, devicePixelRatioF());
  setMinimumSize(side, side);
  updateGeometry();
  update();
}

QSize Playfield::sizeHint() const {
  return minimumSize();
}

QPoint Playfield::GamePoint(const QPointF& position) const {
  const double perGamePixel = scale_ / devicePixelRatioF();
  return QPoint(static_cast<int>(std::floor(position.x() / perGamePixel)),
                static_cast<int>(std::floor(position.y() / perGamePixel)));
}

void Playfield::paintEvent(QPaintEvent* event) {
  // The image lies over the surface's own memory: nothing is copied but the
  // pieces under the region to paint.
  const QImage frame(reinterpret_cast<const uchar*>(SurfacePixels()), kSurfaceWidth, kSurfaceHeight,
                     kSurfaceWidth * 4, QImage::Format_RGB32);
  QPainter painter(this);
  const double ratio = painter.device()->devicePixelRatioF();
  if (event->region().contains(rect())) {
    PaintPlayfield(painter, rect(), ratio, scale_, frame);
  } else {
    PaintPlayfieldRegion(painter, event->region(), ratio, scale_, frame);
  }
}

void Playfield::ShowDrawn(bool now) {
  // Each rectangle of an update costs the toolkit and the X server a good
  // deal of fixed work (measured: 280 small ones a frame cost three times
  // the whole picture, and 8 bands more than their bounding box), so the
  // region is shown as the one rectangle that bounds it.
  constexpr int kMostRectangles = 1;
  static DirtyRegion drawn;
  TakeDirtyRegion(&drawn, kMostRectangles);
  if (drawn.count == 0) return;
  const double perGamePixel = scale_ / devicePixelRatioF();
  QRegion region;
  if (drawn.whole) {
    region = QRegion(rect());
  } else {
    for (int i = 0; i < drawn.count; ++i) {
      const SurfaceRect& r = drawn.rects[i];
      region += QRectF(r.x * perGamePixel, r.y * perGamePixel, r.width * perGamePixel,
                       r.height * perGamePixel)
                    .toAlignedRect();
    }
  }
  if (now) {
    repaint(region);
  } else {
    update(region);
  }
}

void Playfield::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = GamePoint(event->position());
  if (!InsidePlayfield(p)) return;
  SessionClick(p.x(), p.y());
}

void Playfield::mouseMoveEvent(QMouseEvent* event) {
  // While a button is held the widget keeps receiving moves outside itself;
  // only the pointer over the playfield counts.
  const QPoint p = GamePoint(event->position());
  if (!InsidePlayfield(p)) return;
  SessionMove(p.x(), p.y());
}

MainWindow::MainWindow() {
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  setWindowIcon(ProgramIcon());
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  playfield_ = new Playfield(this);
  playfield_->setPalette(black);
  setCentralWidget(playfield_);
  BuildMenu();
  statusBar()->setSizeGripEnabled(false);
  // A standing widget, not a message: the menu's status tips pass over it
  // and leave it in place.
  statusLine_ = new ElidedLine(statusBar());
  statusBar()->addWidget(statusLine_, 1);
  // The window keeps the size that shows the whole playfield; the user
  // cannot resize it.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  ApplyScale();
}

void MainWindow::ApplyScale() {
  QScreen* screen = this->screen();
  const QSize available =
      screen != nullptr ? screen->availableGeometry().size() : QSize(kSurfaceWidth, kSurfaceHeight);
  // The frame is known only once the window is shown.
  const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
  const QSize chrome(frame.width(), frame.height() + menuBar()->sizeHint().height() +
                                        statusBar()->sizeHint().height());
  playfield_->SetScale(ChoosePlayfieldScale(devicePixelRatioF(), available, chrome));
  layout()->activate();
}

void MainWindow::ShowStatusLine(const QString& text) {
  statusLine_->setText(text);
  statusLine_->setToolTip(text);
}

QString MainWindow::StatusLine() const {
  return statusLine_->text();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // During a replay its keys: pause, one frame, the speed, the next game.
  const QString text = event->text();
  if (text.size() == 1 && SessionPlaybackKey(text.at(0).unicode())) {
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

bool MainWindow::MenuOpen() const {
  for (QMenu* menu : popups_) {
    if (menu != nullptr && menu->isVisible()) return true;
  }
  return false;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // A size given from outside (a tiling window manager, a resize request of
  // another program) is put back, as the window's own size rule says.
  if (isVisible() && minimumSize() == maximumSize() && size() != minimumSize()) {
    QTimer::singleShot(0, this, [this] {
      if (size() != minimumSize()) resize(minimumSize());
    });
  }
}

void MainWindow::BuildMenu() {
  for (int p = 0; p < 3; p++) {
    const PopupEntry& entry = kMainMenu[p];
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(entry.title));
    popups_[p] = menu;
    for (int i = 0; i < entry.count; i++) {
      const MenuEntry& item = entry.items[i];
      if (item.id == 0) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(QString::fromUtf8(item.text));
      const QString hint = QString::fromUtf8(CommandHint(item.id));
      action->setStatusTip(hint.section(QLatin1Char('\n'), 0, 0));
      action->setToolTip(hint.section(QLatin1Char('\n'), 1, 1));
      if (item.checkable) {
        action->setCheckable(true);
        action->setChecked(true);
      }
      const int id = item.id;
      connect(action, &QAction::triggered, this, [id] { SessionMenuCommand(id); });
      actions_[id - kFirstCommand] = action;
    }
    connect(menu, &QMenu::aboutToShow, this, [this, p] { UpdatePopup(p); });
  }
}

void MainWindow::UpdatePopup(int position) {
  MenuItemState items[kMaxPopupItems];
  const int count = SessionMenuState(position, items);
  for (int i = 0; i < count; i++) {
    if (QAction* a = action(items[i].id)) {
      a->setEnabled(items[i].enabled);
      if (a->isCheckable()) a->setChecked(items[i].checked);
    }
  }
}

QMenu* MainWindow::popup(int position) const {
  return position >= 0 && position < 3 ? popups_[position] : nullptr;
}

QAction* MainWindow::action(int commandId) const {
  const int index = commandId - kFirstCommand;
  return index >= 0 && index < kCommandCount ? actions_[index] : nullptr;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The close box, the window manager's close (Alt+F4) and the exit command
  // all arrive here and ask first; a playback ends at once.
  if (SessionCloseRequest()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!exposeFilterInstalled_ && windowHandle() != nullptr) {
    windowHandle()->installEventFilter(this);
    exposeFilterInstalled_ = true;
    // On another screen the ratio and the room may differ.
    connect(windowHandle(), &QWindow::screenChanged, this, [this] { ApplyScale(); });
  }
  ApplyScale();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The toolkit keeps the window's last picture and would only copy it back
  // when the window is uncovered; while one of the program's boxes is open
  // the playfield is redrawn whole from the world instead.
  // A playback's world changes only by its record: no repaint draws its
  // random colours then.
  if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed() &&
      World.modalOpen != 0) {
    SessionPaint();
    playfield_->update();
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace tavro_qt
