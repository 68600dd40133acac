#include <QAbstractButton>
#include <QAction>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/gui/dispatch.h"
#include "platform/gui/messagebox.h"
#include "platform/gui/palette.h"
#include "platform/gui/windows.h"
#include "tests/platform/gui/qt_env.h"

namespace mv::gui {
namespace {

class TestShell : public SHELLWINDOW {
  Q_OBJECT
 public:
  QStringList calls;
 public slots:
  void FILENEW() { calls << "shell:FILENEW"; }
  void GOTOP() { calls << "shell:GOTOP"; }
};

class TestDocument : public DATAWINDOW {
  Q_OBJECT
 public:
  explicit TestDocument(QObject* owner, QStringList* log) : DATAWINDOW(owner), log_(log) {}
 public slots:
  void GOTOP() { *log_ << windowTitle() + ":GOTOP"; }
  int GOTO(int recno) { *log_ << windowTitle() + ":GOTO " + QString::number(recno); return recno * 2; }

 private:
  QStringList* log_;
};

TEST(Dispatch, CommandReachesActiveWindowElseShell) {
  TestShell shell;
  shell.resize(800, 600);
  shell.show();
  QStringList log;
  auto* a = new TestDocument(&shell, &log);
  a->setWindowTitle("A");
  a->SHOW();
  auto* b = new TestDocument(&shell, &log);
  b->setWindowTitle("B");
  b->SHOW();
  shell.canvas()->setActiveSubWindow(a->mdi_frame());

  EXPECT_TRUE(shell.router()->dispatch("GOTOP"));
  shell.canvas()->setActiveSubWindow(b->mdi_frame());
  EXPECT_TRUE(shell.router()->dispatch("GOTOP"));
  EXPECT_EQ(log, QStringList({"A:GOTOP", "B:GOTOP"}));

  // The document has no FILENEW: the shell runs it.
  EXPECT_TRUE(shell.router()->dispatch("FILENEW"));
  EXPECT_EQ(shell.calls, QStringList({"shell:FILENEW"}));
  // Nobody has it: nothing runs, and the caller learns it.
  EXPECT_FALSE(shell.router()->dispatch("NOSUCHCOMMAND"));

  // Without any document window the shell's own operation runs.
  a->mdi_frame()->close();
  b->mdi_frame()->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(shell.router()->dispatch("GOTOP"));
  EXPECT_EQ(shell.calls.last(), "shell:GOTOP");
  EXPECT_EQ(log.size(), 2);
}

TEST(Dispatch, ActionsCarryTheCommandName) {
  TestShell shell;
  QAction* act = new QAction("&Neu...", &shell);
  act->setObjectName("FILENEW");
  QAction* unnamed = new QAction("x", &shell);
  shell.addAction(act);
  shell.addAction(unnamed);
  shell.router()->connect_actions(&shell);
  act->trigger();
  unnamed->trigger();
  EXPECT_EQ(shell.calls, QStringList({"shell:FILENEW"}));
}

TEST(Dispatch, OptionalOperationsByName) {
  QStringList log;
  TestDocument doc(nullptr, &log);
  doc.setWindowTitle("D");
  EXPECT_TRUE(has_operation(&doc, "GOTO"));
  EXPECT_TRUE(has_operation(&doc, "GOTO", 1));
  EXPECT_FALSE(has_operation(&doc, "GOTO", 0));
  EXPECT_FALSE(has_operation(&doc, "FILEREPORT"));
  EXPECT_FALSE(has_operation(nullptr, "GOTO"));

  // Arguments are converted to the parameter type; the return value comes back.
  auto r = call_operation(&doc, "GOTO", {QString("21")});
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->toInt(), 42);
  EXPECT_EQ(log.last(), "D:GOTO 21");
  // A missing operation is skipped without a call.
  EXPECT_FALSE(call_operation(&doc, "FILEREPORT", {true}).has_value());
  // An argument that does not fit is refused, never passed as garbage.
  EXPECT_FALSE(call_operation(&doc, "GOTO", {QVariant::fromValue(QStringList{"x"})}).has_value());
  EXPECT_EQ(log.size(), 1);
}

class TestDialog : public DIALOGWINDOW {
  Q_OBJECT
 public:
  TestDialog() {
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("PB_OK");
    auto* other = new QPushButton("?", this);
    other->setObjectName("PB_NOHANDLER");
    bind_controls();
  }
  void BUTTONCLICK(QAbstractButton* b) override { log << "BUTTONCLICK " + b->objectName(); }
  QStringList log;
 public slots:
  void PB_OK() { log << "PB_OK"; }
};

TEST(Dispatch, PushButtonRunsOperationOfItsName) {
  TestDialog dlg;
  dlg.findChild<QPushButton*>("PB_OK")->click();
  dlg.findChild<QPushButton*>("PB_NOHANDLER")->click();
  EXPECT_EQ(dlg.log, QStringList({"BUTTONCLICK PB_OK", "PB_OK", "BUTTONCLICK PB_NOHANDLER"}));
}

TEST(MessageBoxes, RecorderSeesEveryBoxAndAnswersFromScript) {
  RecordingMessageBoxes boxes;
  boxes.script(MsgAnswer::No);
  boxes.script(MsgAnswer::Yes);
  EXPECT_FALSE(yes_no_box(nullptr, "Achtung", "Wirklich?"));
  EXPECT_TRUE(yes_no_box(nullptr, "Achtung", "Wirklich?"));
  // Script used up: the default button answers.
  EXPECT_TRUE(yes_no_box(nullptr, "Achtung", "Wirklich?"));
  EXPECT_FALSE(yes_no_box(nullptr, "Achtung", "Wirklich?", MsgAnswer::No));
  warning_box(nullptr, "Achtung", "Zeile 1\r\nZeile 2");
  ASSERT_EQ(boxes.count(), 5);
  EXPECT_EQ(boxes.shown()[0].icon, MsgIcon::Question);
  EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(boxes.last().icon, MsgIcon::Warning);
  EXPECT_EQ(boxes.last().caption, "Achtung");
  EXPECT_EQ(message_display_text(boxes.last().text), "Zeile 1\nZeile 2");
}

TEST(MessageBoxes, RecorderRestoresPreviousService) {
  RecordingMessageBoxes outer;
  {
    RecordingMessageBoxes inner;
    info_box(nullptr, "a", "b");
    EXPECT_EQ(inner.count(), 1);
  }
  info_box(nullptr, "a", "b");
  EXPECT_EQ(outer.count(), 1);
}

// The real box: German buttons, the text with line breaks; only "Ja" answers yes.
TEST(MessageBoxes, RealBoxHasGermanButtons) {
  QStringList seen_buttons;
  QString seen_text;
  QString seen_title;
  auto press = [&](const QString& which) {
    QTimer::singleShot(0, [&, which] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      seen_title = box->windowTitle();
      seen_text = box->text();
      seen_buttons.clear();
      for (QAbstractButton* b : box->buttons()) seen_buttons << b->text();
      for (QAbstractButton* b : box->buttons())
        if (b->text() == which) b->click();
    });
  };
  press("&Nein");
  EXPECT_FALSE(yes_no_box(nullptr, "Frage", "Eins\r\nZwei"));
  EXPECT_EQ(seen_title, "Frage");
  EXPECT_EQ(seen_text, "Eins\nZwei");
  EXPECT_TRUE(seen_buttons.contains("&Ja"));
  EXPECT_TRUE(seen_buttons.contains("&Nein"));
  press("&Ja");
  EXPECT_TRUE(yes_no_box(nullptr, "Frage", "x"));
  press("Abbrechen");
  EXPECT_FALSE(ok_cancel_box(nullptr, "Frage", "x"));
  EXPECT_TRUE(seen_buttons.contains("OK"));
}

TEST(Palette, FocusShowsAndTheHollowBrushGivesTheBackgroundBack) {
  // A field with the focus must stand out from the others, and read-only from both.
  EXPECT_NE(FOKUSBRUSH().color(), NORMALBRUSH().color());
  EXPECT_NE(READONLYBRUSH().color(), NORMALBRUSH().color());
  EXPECT_NE(READONLYBRUSH().color(), FOKUSBRUSH().color());
  QWidget w;
  const QColor original = background_of(&w);
  set_background(&w, FOKUSBRUSH());
  EXPECT_EQ(background_of(&w), FOKUSBRUSH().color());
  set_background(&w, predefined_brush(kBrushHollow));
  EXPECT_EQ(background_of(&w), original);
}

TEST(Windows, ShellChildListAndOwnerChain) {
  SHELLWINDOW shell;
  QStringList log;
  auto* doc = new TestDocument(&shell, &log);
  shell.REGISTERCHILD(doc);
  shell.REGISTERCHILD(doc);
  EXPECT_EQ(shell.ANZAHLCHILD(), 1);
  EXPECT_EQ(shell_of(doc), &shell);
  auto* page = new DATAWINDOW(doc);
  EXPECT_EQ(shell_of(page), &shell);
  WINDOW lonely;
  EXPECT_EQ(shell_of(&lonely), nullptr);
  delete doc;
  EXPECT_EQ(shell.ANZAHLCHILD(), 0);
}

}  // namespace
}  // namespace mv::gui

#include "gui_test.moc"
