// The confirmations, the about dialog and the name-entry dialog, answered
// from the test as a player would.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QExposeEvent>
#include <QFile>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <cstring>

#include "app/window_proc.h"
#include "host/window.h"
#include "platform/qt/dialogs.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"
#include "platform/qt/tests/test_support.h"
#include "records/settings.h"
#include "surface/surface.h"
#include "world/world.h"

using namespace tavro_qt_test;

namespace {

class BoxTest : public HostTest {};

struct SeenBox {
  bool shown = false;
  QString text;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool okAndCancel = false;
  bool cancelIsDefault = false;
  int modalOpen = -1;
};

// Records the message box and answers it with the given button.
void AnswerBox(SeenBox* seen, QMessageBox::StandardButton answer) {
  WhenModalShown([seen, answer](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    seen->shown = true;
    seen->text = box->text();
    seen->title = box->windowTitle();
    seen->icon = box->icon();
    seen->okAndCancel = box->standardButtons() == (QMessageBox::Ok | QMessageBox::Cancel);
    seen->cancelIsDefault = box->defaultButton() == box->button(QMessageBox::Cancel);
    seen->modalOpen = World.modalOpen;
    box->button(answer)->click();
  });
}

TEST_F(BoxTest, CancelOnTheExitBoxKeepsTheProgramRunning) {
  SeenBox seen;
  AnswerBox(&seen, QMessageBox::Cancel);
  window->close();
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.text, QString("プログラムを終了してもいいですか ?"));
  EXPECT_EQ(seen.title, QString("TAVRO"));
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_TRUE(seen.okAndCancel);
  EXPECT_TRUE(seen.cancelIsDefault);
  EXPECT_EQ(seen.modalOpen, 1);
  EXPECT_EQ(World.modalOpen, 0);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(tavro_qt::QuitRequested());
}

TEST_F(BoxTest, OkOnTheExitBoxFromTheMenuSavesTheFileAndQuits) {
  EXPECT_SCENARIO_IN_CHILD([this]() -> std::string {
    QFile::remove(QString::fromStdString(SettingsFilePath()));
    SoundFlag = 1;
    SeenBox seen;
    AnswerBox(&seen, QMessageBox::Ok);
    ChooseMenuItem(0, ID_GAME_EXIT);
    if (seen.shown) return "the exit command asked at once instead of queuing a close";
    if (!SpinUntil([] { return tavro_qt::QuitRequested(); })) return "the program did not quit";
    if (!seen.shown) return "no confirmation was shown";
    if (tavro_qt::QuitExitCode() != 0) return "exit code not 0";
    if (window->isVisible()) return "the window is still shown";
    QFile ini(QString::fromStdString(SettingsFilePath()));
    if (!ini.open(QIODevice::ReadOnly)) return "no settings file at " + SettingsFilePath();
    if (ini.readAll().isEmpty()) return "empty settings file";
    return "";
  });
}

TEST_F(BoxTest, ClearRankingInPlayModeShowsNoBox) {
  World.demoMode = 0;
  World.ranking[0].score = 777;
  SeenBox seen;
  AnswerBox(&seen, QMessageBox::Ok);
  OnCommand(ID_GAME_CLEAR_RANKING);
  QTest::qWait(50);
  EXPECT_FALSE(seen.shown);
  EXPECT_EQ(World.ranking[0].score, 777);
  // The watcher is still waiting; let it find nothing and stop.
  World.demoMode = 1;
}

TEST_F(BoxTest, ClearRankingInDemoModeAsksFirst) {
  World.demoMode = 1;
  World.ranking[0].score = 555;
  SeenBox cancelled;
  AnswerBox(&cancelled, QMessageBox::Cancel);
  ChooseMenuItem(0, ID_GAME_CLEAR_RANKING);
  EXPECT_TRUE(cancelled.shown);
  EXPECT_EQ(World.ranking[0].score, 555);
  EXPECT_EQ(World.modalOpen, 0);

  SeenBox confirmed;
  AnswerBox(&confirmed, QMessageBox::Ok);
  ChooseMenuItem(0, ID_GAME_CLEAR_RANKING);
  EXPECT_TRUE(confirmed.shown);
  EXPECT_EQ(confirmed.text, QString("ランキングをクリアしてよろしいですか？"));
  EXPECT_EQ(confirmed.title, QString("TAVRO"));
  EXPECT_EQ(confirmed.icon, QMessageBox::Warning);
  EXPECT_TRUE(confirmed.cancelIsDefault);
  EXPECT_EQ(confirmed.modalOpen, 1);
  EXPECT_EQ(World.ranking[0].score, 0);
  EXPECT_STREQ(World.ranking[0].name, "[ -- No player -- ]");
}

QStringList LabelTexts(QWidget* dialog) {
  QStringList texts;
  for (QLabel* label : dialog->findChildren<QLabel*>()) {
    if (!label->text().isEmpty()) texts << label->text();
  }
  return texts;
}

TEST_F(BoxTest, AboutDialogStaysOpenOnEscapeAndClosesOnEnter) {
  bool sawDialog = false;
  bool openAfterEscape = false;
  int modalOpen = -1;
  QString title;
  QStringList texts;
  bool hasIcon = false;
  QPoint offset;
  WhenModalShown([&](QWidget* dialog) {
    sawDialog = true;
    title = dialog->windowTitle();
    texts = LabelTexts(dialog);
    for (QLabel* label : dialog->findChildren<QLabel*>()) hasIcon |= !label->pixmap().isNull();
    modalOpen = World.modalOpen;
    offset = dialog->frameGeometry().center() - window->frameGeometry().center();
    QTest::keyClick(dialog, Qt::Key_Escape);
    openAfterEscape = dialog->isVisible();
    QTest::keyClick(dialog, Qt::Key_Return);
  });
  ChooseMenuItem(2, ID_HELP_ABOUT);
  ASSERT_TRUE(sawDialog);
  EXPECT_TRUE(openAfterEscape);
  EXPECT_EQ(title, QString("TAVROのバージョン情報"));
  EXPECT_TRUE(texts.contains("隕石撃ちゲーム \"TAVRO\""));
  EXPECT_TRUE(texts.contains("Version 1.5"));
  EXPECT_TRUE(texts.contains("for Windows 2000/XP/Vista/7/8/8.1かそれ以降"));
  EXPECT_EQ(texts.size(), 4);  // and the legal notice
  EXPECT_TRUE(hasIcon);
  EXPECT_EQ(modalOpen, 1);
  EXPECT_EQ(World.modalOpen, 0);
  EXPECT_LE(offset.manhattanLength(), 2);
}

// Opens the about dialog and returns the texts of its labels that do not
// fit in them or stick out of the dialog.
std::string CutAboutTexts() {
  std::string cut;
  bool sawDialog = false;
  WhenModalShown([&](QWidget* dialog) {
    sawDialog = true;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->text().isEmpty()) continue;
      const int width = QFontMetrics(label->font()).horizontalAdvance(label->text());
      if (width > label->contentsRect().width() || !dialog->rect().contains(label->geometry())) {
        cut += label->text().toStdString() + "; ";
      }
    }
    dialog->close();
  });
  PlatformAboutDialog();
  return sawDialog ? cut : "no dialog";
}

TEST_F(BoxTest, AboutDialogTextsAreWhole) {
  EXPECT_EQ(CutAboutTexts(), "");
  EXPECT_SCENARIO_AT_SCALE("2", [] { return CutAboutTexts(); });
}

TEST_F(BoxTest, AboutDialogClosesOnOkAndOnTheCloseBox) {
  for (int way = 0; way < 2; way++) {
    bool sawDialog = false;
    WhenModalShown([&](QWidget* dialog) {
      sawDialog = true;
      auto* ok = dialog->findChild<QPushButton*>();
      if (way == 0) {
        ASSERT_TRUE(ok->isDefault());
        ok->click();
      } else {
        dialog->close();
      }
    });
    PlatformAboutDialog();
    EXPECT_TRUE(sawDialog) << way;
  }
}

TEST_F(BoxTest, ExposedPlayfieldIsRepaintedOnlyWhileABoxIsOpen) {
  tavro_qt::FrameTimer()->stop();
  ClearSurface();
  QExposeEvent outside{QRegion(0, 0, 512, 512)};
  QApplication::sendEvent(window->windowHandle(), &outside);
  EXPECT_FALSE(SurfaceHasPicture());

  bool repainted = false;
  WhenModalShown([&](QWidget* dialog) {
    ClearSurface();
    QExposeEvent during{QRegion(0, 0, 512, 512)};
    QApplication::sendEvent(window->windowHandle(), &during);
    repainted = SurfaceHasPicture();
    dialog->close();
  });
  ChooseMenuItem(2, ID_HELP_ABOUT);
  EXPECT_TRUE(repainted);
  tavro_qt::FrameTimer()->start();
}

// Runs the name-entry dialog with the given player; returns what it gave.
std::string EnterName(const std::function<void(tavro_qt::NameEntryDialog*)>& player) {
  bool sawDialog = false;
  WhenModalShown([&](QWidget* modal) {
    sawDialog = true;
    auto* dialog = qobject_cast<tavro_qt::NameEntryDialog*>(modal);
    if (dialog == nullptr) {
      modal->close();
      return;
    }
    player(dialog);
  });
  char text[64];
  std::memset(text, 'x', sizeof text);
  EXPECT_TRUE(PlatformNameEntry(text, sizeof text));
  EXPECT_TRUE(sawDialog);
  return text;
}

TEST_F(BoxTest, NameEntryKeepsTheFirst20ColumnsAndIgnoresEscape) {
  bool openAfterEscape = false;
  bool fieldHasFocus = false;
  QString title;
  QStringList texts;
  const std::string name = EnterName([&](tavro_qt::NameEntryDialog* dialog) {
    title = dialog->windowTitle();
    texts = LabelTexts(dialog);
    fieldHasFocus = dialog->focusWidget() == dialog->field();
    QTest::keyClicks(dialog->field(), "ABCDEFGHIJKLMNOPQRSTUVWXY");
    QTest::keyClick(dialog->field(), Qt::Key_Escape);
    openAfterEscape = dialog->isVisible();
    QTest::keyClick(dialog->field(), Qt::Key_Return);
  });
  EXPECT_EQ(name, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_TRUE(openAfterEscape);
  EXPECT_TRUE(fieldHasFocus);
  EXPECT_EQ(title, QString("Name Entry"));
  EXPECT_EQ(texts,
            QStringList({"CONGRASTULATIONS TOP 10 !!", "名前を入力してください (20文字以内)"}));
  EXPECT_EQ(World.modalOpen, 0);
}

TEST_F(BoxTest, NameEntryClosesOnTheCloseBoxAndOnOk) {
  EXPECT_EQ(EnterName([](tavro_qt::NameEntryDialog* dialog) {
              QTest::keyClicks(dialog->field(), "Ann");
              dialog->close();
            }),
            "Ann");
  EXPECT_EQ(EnterName([](tavro_qt::NameEntryDialog* dialog) {
              QTest::keyClicks(dialog->field(), "Bo");
              dialog->findChild<QPushButton*>()->click();
            }),
            "Bo");
  EXPECT_EQ(EnterName([](tavro_qt::NameEntryDialog* dialog) { dialog->close(); }), "");
}

TEST_F(BoxTest, NameEntryTakesInputMethodTextUpToTheColumnLimit) {
  QString shown;
  const std::string name = EnterName([&](tavro_qt::NameEntryDialog* dialog) {
    QLineEdit* field = dialog->field();
    QInputMethodEvent preedit(QString("にほんご"), {});
    QApplication::sendEvent(field, &preedit);
    // Nine wide characters (18 columns) and a narrow half-width katakana
    // take 19 columns; the last wide one does not fit, nor does "BC".
    QInputMethodEvent commit;
    commit.setCommitString(QString("あいうえおかきくけｱこ"));
    QApplication::sendEvent(field, &commit);
    QTest::keyClicks(field, "ABC");
    shown = field->text();
    QTest::keyClick(field, Qt::Key_Enter);
  });
  EXPECT_EQ(shown, QString("あいうえおかきくけｱA"));
  EXPECT_EQ(name, "あいうえおかきくけｱA");
}

TEST(NameFieldRule, InsertionKeepsWhatFollowsTheCursor) {
  int cursor = 0;
  const QString before = "ABCDEFGHIJKLMNOPQRS";  // 19 columns
  EXPECT_EQ(tavro_qt::FitNameEdit(before, "ABCxyzDEFGHIJKLMNOPQRS", 20, &cursor),
            QString("ABCxDEFGHIJKLMNOPQRS"));
  EXPECT_EQ(cursor, 4);
  // A wide character takes two columns, a half-width katakana one.
  EXPECT_EQ(tavro_qt::FitNameEdit(before, before + "あ", 20, &cursor), before);
  EXPECT_EQ(tavro_qt::FitNameEdit(before, before + "ｱｲ", 20, &cursor), before + "ｱ");
  EXPECT_EQ(tavro_qt::FitNameEdit("あいうえおかきく", "あいうえおかきくけこさ", 20, &cursor),
            QString("あいうえおかきくけこ"));
  EXPECT_EQ(cursor, 10);
  // A wide character outside the basic plane (a surrogate pair) is kept or
  // left out whole.
  const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
  EXPECT_EQ(
      tavro_qt::FitNameEdit("ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOPQ" + emoji + emoji, 20, &cursor),
      "ABCDEFGHIJKLMNOPQ" + emoji);
  EXPECT_EQ(cursor, 19);
  EXPECT_EQ(tavro_qt::FitNameEdit(before, before + emoji, 20, &cursor), before);
  // A text too wide already (set from outside) is cut as a whole.
  const QString wide = "ああああああああああああ";  // 24 columns
  EXPECT_EQ(tavro_qt::FitNameEdit(wide, wide + "B", 20, &cursor), QString("ああああああああああ"));
  EXPECT_EQ(cursor, 10);
  EXPECT_EQ(tavro_qt::FitNameEdit("short", "short!", 20, &cursor), QString("short!"));
}

}  // namespace
