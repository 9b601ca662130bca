// The program's two dialogs (about, name entry), laid out from their
// templates in dialog units, and the centring of a dialog over its owner.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QRect>
#include <QString>

class QFont;
class QLineEdit;
class QPushButton;

namespace tavro_qt {

// Dialog units of the dialogs' font: x in quarters of the average character
// width, y in eighths of the character height.
struct DialogUnits {
  int baseX;
  int baseY;
  int x(int units) const { return units * baseX / 4; }
  int y(int units) const { return units * baseY / 8; }
  QRect rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
  }
};
DialogUnits DialogUnitsOf(const QFont& font);
// The dialogs' font: a proportional Japanese Gothic at 9 points.
QFont DialogFont();

// Moves a top-level widget so that it is centred over its owner and kept on
// the owner's screen. Returns false, moving nothing, when it has no owner.
bool CenterWindow(QWidget* window);

// The name field's edit rule: `after` is the text an edit would make of
// `before`. When it is wider than maxColumns (records/name_width.h), only as
// much of the inserted part is kept as fits, whole characters only. *cursor
// (the cursor position in `after`) is moved to the end of what was kept.
QString FitNameEdit(const QString& before, const QString& after, int maxColumns, int* cursor);

// A confirmation box centred over its owner like the program's dialogs.
class CenteredMessageBox : public QMessageBox {
  Q_OBJECT
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override;
};

// Common behaviour of both dialogs: Escape does nothing, the close box
// closes as OK does, and the dialog centres itself over its owner.
class ProgramDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ProgramDialog(QWidget* owner);
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  QPushButton* AddOkButton(const QRect& rect);

  DialogUnits units_;
};

class AboutDialog : public ProgramDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* owner);
};

class NameEntryDialog : public ProgramDialog {
  Q_OBJECT
 public:
  explicit NameEntryDialog(QWidget* owner);
  QLineEdit* field() const { return field_; }
  // The typed text in UTF-8, at most 20 columns wide.
  QByteArray name() const;

 private:
  QLineEdit* field_ = nullptr;
};

}  // namespace tavro_qt
