// The main window: the menu bar, the playfield showing the framebuffer, and
// the mapping of the window's events to the shared window procedure.
#pragma once

#include <QMainWindow>
#include <QWidget>

class QAction;
class QMenu;

namespace tavro_qt {

constexpr const char* kWindowTitle = "TAVRO Ver.1.5";

// The 512 x 512 playfield: shows the framebuffer pixel for pixel and turns
// the pointer into shots.
class Playfield : public QWidget {
  Q_OBJECT
 public:
  explicit Playfield(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
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

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenu();
  void UpdatePopup(int position);

  Playfield* playfield_ = nullptr;
  QMenu* popups_[3] = {};
  QAction* actions_[9] = {};  // by command id - 40001
  bool exposeFilterInstalled_ = false;
};

// The program's icon and the playfield's crosshair cursor.
QIcon ProgramIcon();
QCursor CrosshairCursor();

}  // namespace tavro_qt
