#include "platform/qt/dialogs.h"

#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QValidator>

#include "app/texts.h"
#include "app/window_proc.h"
#include "platform/qt/main_window.h"
#include "records/name_width.h"

namespace tavro_qt {
namespace {

QLabel* AddLabel(QWidget* parent, const char* text, const QRect& rect,
                 Qt::Alignment alignment = Qt::AlignHCenter | Qt::AlignTop) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setAlignment(alignment);
  // The template's width was made for another font; a text that needs more
  // gets its measured width about the same centre, so nothing is cut.
  QRect placed = rect;
  const int needed = label->sizeHint().width();
  if (needed > placed.width()) {
    placed.setLeft(rect.left() - (needed - rect.width() + 1) / 2);
    placed.setWidth(needed);
  }
  label->setGeometry(placed);
  return label;
}

// A static control with the etched look (a sunken line or frame).
QFrame* AddEtched(QWidget* parent, QFrame::Shape shape, const QRect& rect) {
  auto* frame = new QFrame(parent);
  frame->setFrameShape(shape);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setGeometry(rect);
  return frame;
}

bool IsHighSurrogate(QChar c) {
  return c.isHighSurrogate();
}
bool IsLowSurrogate(QChar c) {
  return c.isLowSurrogate();
}

int Columns(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return NameColumns(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// Keeps the name field within its width while it is edited. The text
// before the edit is not available from the field during validation, so the
// validator remembers the last accepted text.
class NameValidator : public QValidator {
 public:
  NameValidator(QLineEdit* field, int maxColumns) : QValidator(field), maxColumns_(maxColumns) {
    connect(field, &QLineEdit::textChanged, this,
            [this](const QString& text) { accepted_ = text; });
  }
  State validate(QString& input, int& pos) const override {
    input = FitNameEdit(accepted_, input, maxColumns_, &pos);
    return Acceptable;
  }

 private:
  int maxColumns_;
  QString accepted_;
};

}  // namespace

DialogUnits DialogUnitsOf(const QFont& font) {
  // The average width of the Latin letters, rounded, and the line height.
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogUnits units{(letters / 26 + 1) / 2, metrics.height()};
  if (units.baseX < 1) units.baseX = 1;
  if (units.baseY < 1) units.baseY = 1;
  return units;
}

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), font.family()});
  font.setPointSize(9);
  return font;
}

bool CenterWindow(QWidget* window) {
  QWidget* owner = window->parentWidget();
  if (owner == nullptr) return false;
  owner = owner->window();
  // Before the dialog is first shown its frame is not known yet; the owner's
  // frame margins stand in for it.
  QRect outer = window->frameGeometry();
  if (!window->isVisible()) {
    const QRect ownerInner = owner->geometry();
    const QRect ownerOuter = owner->frameGeometry();
    outer =
        QRect(0, 0, window->width(), window->height())
            .adjusted(ownerOuter.left() - ownerInner.left(), ownerOuter.top() - ownerInner.top(),
                      ownerOuter.right() - ownerInner.right(),
                      ownerOuter.bottom() - ownerInner.bottom());
  }
  const QRect ref = owner->frameGeometry();
  // Kept on the owner's screen, in that screen's coordinates.
  QScreen* screen = owner->screen() != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
  const QPoint origin = screen != nullptr ? screen->geometry().topLeft() : QPoint();
  const QSize size = screen != nullptr ? screen->geometry().size() : QSize(1 << 20, 1 << 20);
  const WindowRect placed =
      CenterRect({outer.left() - origin.x(), outer.top() - origin.y(),
                  outer.right() + 1 - origin.x(), outer.bottom() + 1 - origin.y()},
                 {ref.left() - origin.x(), ref.top() - origin.y(), ref.right() + 1 - origin.x(),
                  ref.bottom() + 1 - origin.y()},
                 size.width(), size.height());
  window->move(placed.left + origin.x(), placed.top + origin.y());
  return true;
}

QString FitNameEdit(const QString& before, const QString& after, int maxColumns, int* cursor) {
  if (Columns(after) <= maxColumns) return after;
  // The edit replaced before[prefix, before.size() - suffix) with the
  // inserted part after[prefix, after.size() - suffix).
  const qsizetype shorter = std::min(before.size(), after.size());
  qsizetype prefix = 0;
  while (prefix < shorter && before[prefix] == after[prefix]) prefix++;
  if (prefix > 0 && prefix < after.size() && IsHighSurrogate(after[prefix - 1])) prefix--;
  qsizetype suffix = 0;
  while (suffix < shorter - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    suffix++;
  }
  if (suffix > 0 && IsLowSurrogate(after[after.size() - suffix])) suffix--;
  const QString head = after.left(prefix);
  const QString tail = after.right(suffix);
  const QString inserted = after.mid(prefix, after.size() - prefix - suffix);
  const int budget = maxColumns - Columns(head) - Columns(tail);
  if (budget < 0) {
    // Even without the inserted part the text is too wide (it was set from
    // outside): the whole text is cut.
    const QByteArray bytes = after.toUtf8();
    const std::size_t keep = NamePrefixWithinColumns(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), maxColumns);
    const QString cut = QString::fromUtf8(bytes.left(static_cast<qsizetype>(keep)));
    if (cursor != nullptr) *cursor = static_cast<int>(cut.size());
    return cut;
  }
  const QByteArray insertedBytes = inserted.toUtf8();
  const std::size_t keepBytes = NamePrefixWithinColumns(
      std::string_view(insertedBytes.constData(), static_cast<std::size_t>(insertedBytes.size())),
      budget);
  const QString kept = QString::fromUtf8(insertedBytes.left(static_cast<qsizetype>(keepBytes)));
  if (cursor != nullptr) *cursor = static_cast<int>(prefix + kept.size());
  return head + kept + tail;
}

void CenteredMessageBox::showEvent(QShowEvent* event) {
  // The box takes its final size here; it is centred after that.
  QMessageBox::showEvent(event);
  CenterWindow(this);
}

ProgramDialog::ProgramDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setFont(DialogFont());
  units_ = DialogUnitsOf(font());
  setWindowModality(Qt::ApplicationModal);
}

void ProgramDialog::closeEvent(QCloseEvent* event) {
  // The close box (and Alt+F4) end the dialog as OK does.
  accept();
  event->accept();
}

void ProgramDialog::showEvent(QShowEvent* event) {
  CenterWindow(this);
  QDialog::showEvent(event);
}

QPushButton* ProgramDialog::AddOkButton(const QRect& rect) {
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(rect);
  ok->setDefault(true);
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  return ok;
}

AboutDialog::AboutDialog(QWidget* owner) : ProgramDialog(owner) {
  setWindowTitle(QString::fromUtf8(kAboutCaption));
  setFixedSize(units_.x(186), units_.y(95));
  AddLabel(this, kAboutProgramLine, units_.rect(57, 14, 78, 10));
  AddLabel(this, kAboutVersionLine, units_.rect(136, 19, 41, 9));
  QRect line = units_.rect(4, 30, 178, 1);
  line.setHeight(2);  // an etched line is two pixels: shadow and light
  AddEtched(this, QFrame::HLine, line)->setLineWidth(1);
  AddLabel(this, kAboutSystemsLine, units_.rect(17, 42, 151, 8), Qt::AlignCenter);
  AddLabel(this, kAboutNoticeLine, units_.rect(15, 54, 154, 9));
  QPushButton* ok = AddOkButton(units_.rect(69, 74, 50, 14));
  // The icon control takes the icon's own size at its position.
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  icon->setGeometry(units_.x(16), units_.y(6), 32, 32);
  ok->setFocus();
}

NameEntryDialog::NameEntryDialog(QWidget* owner) : ProgramDialog(owner) {
  setWindowTitle(QString::fromUtf8(kNameEntryCaption));
  setFixedSize(units_.x(185), units_.y(91));
  AddEtched(this, QFrame::Box, units_.rect(25, 8, 136, 18));
  AddLabel(this, kNameEntryBanner, units_.rect(29, 13, 128, 8));
  AddLabel(this, kNameEntryPrompt, units_.rect(14, 34, 156, 8));
  field_ = new QLineEdit(this);
  field_->setGeometry(units_.rect(33, 53, 122, 12));
  field_->setValidator(new NameValidator(field_, kNameMaxColumns));
  AddOkButton(units_.rect(70, 71, 50, 14));
  field_->setFocus();
}

QByteArray NameEntryDialog::name() const {
  // The field keeps the width; the caller cleans and cuts the name itself.
  return field_->text().toUtf8();
}

}  // namespace tavro_qt
