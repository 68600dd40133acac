#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include "components/dlgprogress.h"
#include "tests/platform/gui/qt_env.h"

namespace mv {
namespace {

TEST(Progress, TextsFollowTheBar) {
  DLGPROGRESS p;
  p.setWindowTitle("Kopie...");
  EXPECT_EQ(p.TXTPERCENT()->text(), "1 %");
  EXPECT_EQ(p.TXTFEEDBACK()->text(), "...");
  EXPECT_TRUE(p.TXTAVI()->isHidden());
  EXPECT_EQ(p.BARFEEDBACK()->toolTip(), "Laufbalken 1-100%");
  EXPECT_EQ(p.PSHCANCEL_BUTTON()->text(), "&Abbruch");
  EXPECT_EQ(p.PSHCANCEL_BUTTON()->toolTip(), "Abbruch des Prozesses [Esc]");
  EXPECT_EQ(p.COUNT(200), 200u);
  p.SHOW();
  EXPECT_TRUE(p.isVisible());
  EXPECT_EQ(p.windowModality(), Qt::ApplicationModal);
  EXPECT_TRUE(p.animation()->running());

  EXPECT_TRUE(p.UPDATE(1, "eins"));
  EXPECT_EQ(p.TXTPERCENT()->text(), "1 %");
  EXPECT_EQ(p.TXTFEEDBACK()->text(), "eins");
  EXPECT_TRUE(p.UPDATE(2, "zwei"));  // bar does not move: nothing changes
  EXPECT_EQ(p.TXTFEEDBACK()->text(), "eins");
  EXPECT_TRUE(p.UPDATETEXT("immer"));  // always sets the text
  EXPECT_EQ(p.TXTFEEDBACK()->text(), "immer");
  EXPECT_TRUE(p.UPDATEBAR(74));
  EXPECT_EQ(p.TXTPERCENT()->text(), "37 %");
  EXPECT_TRUE(p.grab().save(QString(MOLVANE_BINARY_DIR) + "/progress_screenshot.png"));
  EXPECT_TRUE(p.UPDATEBAR(200));
  EXPECT_EQ(p.TXTPERCENT()->text(), "100 %");
  EXPECT_TRUE(p.UPDATEBAR(5000));  // beyond the count: stays at the end
  EXPECT_EQ(p.TXTPERCENT()->text(), "100 %");
  EXPECT_EQ(p.BARFEEDBACK()->value(), 100);
  p.ENDDIALOG();
  p.ENDDIALOG();  // a second end does nothing
  EXPECT_TRUE(p.ended());
  EXPECT_EQ(p.RESULT(), 99);
  EXPECT_FALSE(p.isVisible());
}

TEST(Progress, ZeroStepsShowComplete) {
  DLGPROGRESS p;
  EXPECT_TRUE(p.UPDATEBAR(1));
  EXPECT_EQ(p.TXTPERCENT()->text(), "100 %");
  EXPECT_TRUE(p.UPDATE(0, "x"));
}

void press_escape(QWidget* w) {
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &esc);
}

TEST(Progress, ButtonAndEscCancelWhenAllowed) {
  for (bool by_button : {true, false}) {
    SCOPED_TRACE(by_button ? "button" : "Esc");
    DLGPROGRESS p;
    p.COUNT(10);
    p.SHOW();
    EXPECT_TRUE(p.UPDATE(1));
    if (by_button) p.PSHCANCEL_BUTTON()->click();
    else press_escape(&p);
    EXPECT_FALSE(p.UPDATE(2));
    EXPECT_FALSE(p.UPDATETEXT("x"));
    EXPECT_FALSE(p.UPDATEBAR(3));  // stays cancelled
    EXPECT_EQ(p.TXTPERCENT()->text(), "30 %");  // the display still follows
    EXPECT_TRUE(p.isVisible());  // the caller ends the window
    p.ENDDIALOG();
  }
}

TEST(Progress, OperationThatCannotStopIgnoresEscAndGreysButton) {
  DLGPROGRESS p;
  p.CANCEL(false);
  p.COUNT(4);
  p.SHOW();
  EXPECT_FALSE(p.PSHCANCEL_BUTTON()->isEnabled());
  press_escape(&p);
  p.close();
  EXPECT_TRUE(p.UPDATE(1));
  EXPECT_TRUE(p.isVisible());
  p.CANCEL(true);  // stored, but the button stays grey
  EXPECT_FALSE(p.PSHCANCEL_BUTTON()->isEnabled());
  p.ENDDIALOG();
}

// A window kept for the next operation starts again as a new one; ending it only hides it.
TEST(Progress, RestartedWindowStartsAsNew) {
  DLGPROGRESS p;
  p.COUNT(10);
  p.SHOW();
  EXPECT_TRUE(p.UPDATE(5, "halb"));
  p.PSHCANCEL_BUTTON()->click();
  EXPECT_FALSE(p.UPDATE(6));
  p.CANCEL(false);
  p.ENDDIALOG();
  EXPECT_FALSE(p.isVisible());
  EXPECT_EQ(p.RESULT(), 99);

  p.restart("Noch nichts");
  EXPECT_FALSE(p.cancelled());
  EXPECT_FALSE(p.ended());
  EXPECT_TRUE(p.cancel_allowed());
  EXPECT_TRUE(p.PSHCANCEL_BUTTON()->isEnabled());
  EXPECT_TRUE(p.animation()->running());
  EXPECT_EQ(p.BARFEEDBACK()->value(), 1);
  EXPECT_EQ(p.TXTPERCENT()->text(), "1 %");
  EXPECT_EQ(p.TXTFEEDBACK()->text(), "Noch nichts");
  EXPECT_EQ(p.RESULT(), 0);

  p.COUNT(4);
  p.SHOW();
  EXPECT_TRUE(p.isVisible());
  EXPECT_TRUE(p.UPDATE(1));  // the first step after a restart shows its percentage again
  EXPECT_EQ(p.TXTPERCENT()->text(), "25 %");
  EXPECT_TRUE(p.UPDATE(2, "zwei"));
  EXPECT_EQ(p.TXTPERCENT()->text(), "50 %");
  EXPECT_EQ(p.TXTFEEDBACK()->text(), "zwei");
  p.ENDDIALOG();
  EXPECT_TRUE(p.ended());
  EXPECT_FALSE(p.animation()->running());
  EXPECT_FALSE(p.isVisible());
}

// The bar fills the share of its range that the percentage beside it tells.
TEST(Progress, BarFillsItsShare) {
  ProgressBar bar;
  bar.setRange(1, 100);
  bar.resize(102, 12);  // 100 pixels inside the frame
  const QColor filled = bar.palette().color(QPalette::Highlight);
  const QColor empty = bar.palette().color(QPalette::Base);
  auto at = [&](int value, int x) {
    bar.setValue(value);
    QImage img(bar.size(), QImage::Format_ARGB32);
    img.fill(Qt::black);
    bar.render(&img);
    return img.pixelColor(x, 6);
  };
  EXPECT_EQ(at(1, 1), filled);
  EXPECT_EQ(at(1, 2), empty);
  EXPECT_EQ(at(50, 50), filled);
  EXPECT_EQ(at(50, 51), empty);
  EXPECT_EQ(at(100, 100), filled);
}

}  // namespace
}  // namespace mv
