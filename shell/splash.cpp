#include "shell/splash.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/gui/application.h"
#include "shell/pictures.h"

namespace mv {

SPLASHSCREEN::SPLASHSCREEN(QObject* owner) : gui::DIALOGWINDOW(nullptr, false) {
  Q_UNUSED(owner);
  setObjectName(QStringLiteral("SplashScreen"));
  setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setAttribute(Qt::WA_DeleteOnClose);
  picture_ = new QLabel(this);
  picture_->setObjectName(QStringLiteral("SPLASH_BMP"));
  picture_->setPixmap(splash_picture());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(picture_);
  setFixedSize(picture_->pixmap().size());
}

void SPLASHSCREEN::show_for(int timer_ms, int sleep_ms) {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect g = screen->geometry();
    move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
  }
  show();
  raise();
  QTimer::singleShot(timer_ms, this, &SPLASHSCREEN::TIMER);
  gui::process_pending_events();
  if (sleep_ms > 0) QThread::msleep(static_cast<unsigned long>(sleep_ms));
}

void SPLASHSCREEN::TIMER() { close(); }

}  // namespace mv
