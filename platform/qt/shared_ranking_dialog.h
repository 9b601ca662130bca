// The shared ranking dialog: modeless, one for the program. It shows
// SharedRankingView() (online/shared_ranking.h) with the core's texts and
// turns the player's actions into the session's calls.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableWidget;

namespace tavro_qt {

class SharedRankingDialog : public QDialog {
  Q_OBJECT
 public:
  explicit SharedRankingDialog(QWidget* owner);

  // Shows the view anew; a server address being typed is kept.
  void ShowView();

  QCheckBox* enableBox() const { return enable_; }
  QLineEdit* serverField() const { return server_; }
  QCheckBox* autoSendBox() const { return autoSend_; }
  QTabWidget* tabs() const { return tabs_; }
  // The table of a period (0 week, 1 month, 2 all) and the line shown
  // instead of it.
  QTableWidget* table(int period) const { return tables_[period]; }
  QLabel* stateLine(int period) const { return stateLines_[period]; }
  QPushButton* watchButton() const { return watch_; }
  QPushButton* refreshButton() const { return refresh_; }
  QLabel* statusLine() const { return status_; }

 private:
  // The choices as the widgets hold them, handed to the session.
  void ApplyChoices();
  void Watch();
  void UpdateWatchButton();

  QCheckBox* enable_ = nullptr;
  QLineEdit* server_ = nullptr;
  QCheckBox* autoSend_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QStackedWidget* pages_[3] = {};
  QTableWidget* tables_[3] = {};
  QLabel* stateLines_[3] = {};
  QPushButton* watch_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QLabel* status_ = nullptr;
};

// Opens the dialog over the main window, or brings it to the front.
void ShowSharedRankingDialog();
// An open dialog shows the view anew.
void RefreshSharedRankingDialog();
// The dialog, once it was opened (it lives as long as the main window).
SharedRankingDialog* SharedRankingDialogIfAny();

}  // namespace tavro_qt
