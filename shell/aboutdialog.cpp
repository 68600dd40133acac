#include "shell/aboutdialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "platform/gui/palette.h"
#include "shell/pictures.h"
#include "shell/settings.h"

namespace mv {

ABOUTDIALOG::ABOUTDIALOG(QObject* owner, const QVariant& /*extra*/)
    : gui::DIALOGWINDOW(owner, true) {
  build(false);
  POSTINIT();
}

ABOUTDIALOG::ABOUTDIALOG(QObject* owner, bool version_line) : gui::DIALOGWINDOW(owner, true) {
  build(version_line);
  POSTINIT();
}

void ABOUTDIALOG::build(bool version_line) {
  setObjectName(version_line ? QStringLiteral("DLG_INFO") : QStringLiteral("ABOUTDIALOG"));
  set_caption(QStringLiteral("Programminfo"));
  setWindowIcon(MOLVANEICON());

  FIXEDICON1 = new QLabel(this);
  FIXEDICON1->setObjectName(QStringLiteral("FIXEDICON1"));
  FIXEDICON1->setPixmap(molvane_picture(32));
  FIXEDICON1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  FT_Z1 = new QLabel(QStringLiteral("Molvane"), this);
  FT_Z1->setObjectName(QStringLiteral("FT_Z1"));
  QFont name_font(QStringLiteral("MS Sans Serif"));
  name_font.setPointSize(14);
  name_font.setBold(true);
  FT_Z1->setFont(name_font);
  FT_Z1->setAlignment(Qt::AlignCenter);

  OKBUTTON = new QPushButton(QStringLiteral("O&K"), this);
  OKBUTTON->setObjectName(QStringLiteral("OKBUTTON"));
  OKBUTTON->setDefault(true);
  connect(OKBUTTON, &QPushButton::clicked, this, &ABOUTDIALOG::PB_OK);

  grid_ = new QGridLayout(this);
  grid_->setColumnMinimumWidth(0, 48);
  grid_->addWidget(FIXEDICON1, 0, 0, 2, 1);
  grid_->addWidget(FT_Z1, 0, 1, 1, 2);
  int row = 1;
  if (version_line) {
    auto* version = new QLabel(QStringLiteral("Version ") + QString::fromLatin1(kRuntimeVersion), this);
    version->setObjectName(QStringLiteral("FT_VERSION"));
    QFont vf(QStringLiteral("MS Sans Serif"));
    vf.setPointSize(10);
    vf.setBold(true);
    version->setFont(vf);
    version->setAlignment(Qt::AlignCenter);
    grid_->addWidget(version, row++, 1, 1, 2);
  }
  grid_->setRowMinimumHeight(row++, 12);
  link_row_ = row;
  grid_->setRowStretch(row + 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKBUTTON);
  buttons->addStretch(1);
  grid_->addLayout(buttons, row + 3, 0, 1, 3);
  grid_->setColumnStretch(2, 1);

  const QSize size = gui::dialog_units_to_pixels(this, 249, version_line ? 164 : 146);
  resize(size);
}

void ABOUTDIALOG::POSTINIT() {
  if (internet_) return;
  auto link_font = [] {
    QFont f(QStringLiteral("Microsoft Sans Serif"));
    f.setPointSize(8);
    f.setUnderline(true);
    return f;
  };
  auto make_link = [&](const QString& href, const QString& text, const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    const QString colour = gui::predefined_color(gui::kColorBlue).name();
    l->setText(QStringLiteral("<a href=\"%1\" style=\"color:%2\">%3</a>")
                   .arg(href.toHtmlEscaped(), colour, text.toHtmlEscaped()));
    l->setFont(link_font());
    l->setTextFormat(Qt::RichText);
    l->setTextInteractionFlags(Qt::TextBrowserInteraction);
    l->setOpenExternalLinks(true);
    l->setMinimumWidth(150);
    return l;
  };
  internet_caption_ = new QLabel(QStringLiteral("Internet:"), this);
  internet_ = make_link(QString::fromLatin1(kWebAddress), QString::fromLatin1(kWebAddress), "LINK_INTERNET");
  mail_caption_ = new QLabel(QStringLiteral("E-Mail:"), this);
  mail_ = make_link(QStringLiteral("mailto:") + QString::fromLatin1(kMailAddress),
                    QString::fromLatin1(kMailAddress), "LINK_MAIL");
  grid_->addWidget(internet_caption_, link_row_, 1);
  grid_->addWidget(internet_, link_row_, 2);
  grid_->addWidget(mail_caption_, link_row_ + 1, 1);
  grid_->addWidget(mail_, link_row_ + 1, 2);
}

DLG_INFO::DLG_INFO(QObject* owner, const QVariant& /*extra*/) : ABOUTDIALOG(owner, true) {}

}  // namespace mv
