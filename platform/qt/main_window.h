// The main window: the menu bar, the playfield showing the framebuffer, and
// the mapping of the window's events to the shared window procedure.
#pragma once

#include <QMainWindow>
#include <QSize>
#include <QWidget>

#include "app/texts.h"

class QAction;
class QImage;
class QLabel;
class QMenu;
class QPainter;
class QRegion;

namespace tavro_qt {

// The playfield's scale in device pixels per game pixel: the largest whole
// number (at least 1) with which the window fits the available area. The
// available area and the chrome (what the window adds to the playfield: menu
// bar, status bar, frame) are in logical pixels.
int ChoosePlayfieldScale(double devicePixelRatio, QSize available, QSize chrome);
// Logical pixels that 512 game pixels take at that scale, rounded up.
int PlayfieldLogicalSize(int scale, double devicePixelRatio);
// Paints the framebuffer at the top-left corner of a device with the given
// pixel ratio, each game pixel a scale x scale square of device pixels, and
// the rest of `area` (logical pixels) black.
void PaintPlayfield(QPainter& painter, const QRect& area, double devicePixelRatio, int scale,
                    const QImage& frame);
// The same for the part of the playfield within `region` (logical pixels):
// only the game pixels under it are scaled and drawn.
void PaintPlayfieldRegion(QPainter& painter, const QRegion& region, double devicePixelRatio,
                          int scale, const QImage& frame);

// The 512 x 512 playfield: shows the framebuffer at a whole number of device
// pixels per game pixel and turns the pointer into shots.
class Playfield : public QWidget {
  Q_OBJECT
 public:
  explicit Playfield(QWidget* parent = nullptr);

  int scale() const { return scale_; }
  void SetScale(int scale);
  QSize sizeHint() const override;
  // The game pixel under a point of the widget (logical pixels).
  QPoint GamePoint(const QPointF& position) const;
  // Shows what the frames drew since the last show: the region the surface
  // says they touched, painted later (or now) from the surface's memory.
  void ShowDrawn(bool now = false);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  int scale_ = 1;
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow();

  Playfield* playfield() const { return playfield_; }
  // The popup at position 0, 1 or 2 of the menu bar.
  QMenu* popup(int position) const;
  // The menu item of a command, or null.
  QAction* action(int commandId) const;
  // Whether a popup of the menu bar is open; no frames run meanwhile.
  bool MenuOpen() const;
  // Picks the playfield's scale for the window's screen and sizes the
  // window to it.
  void ApplyScale();
  // The status bar's standing line (the online status, or the keys of a
  // replay); cut to the window's width, whole in its tool tip.
  void ShowStatusLine(const QString& text);
  QString StatusLine() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildMenu();
  void UpdatePopup(int position);

  Playfield* playfield_ = nullptr;
  QMenu* popups_[3] = {};
  QAction* actions_[kCommandCount] = {};  // by command id - kFirstCommand
  QLabel* statusLine_ = nullptr;
  bool exposeFilterInstalled_ = false;
};

// The program's icon and the playfield's crosshair cursor.
QIcon ProgramIcon();
QCursor CrosshairCursor();

}  // namespace tavro_qt
