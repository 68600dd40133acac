#include "printing_helpers.h"

#include <QProcess>
#include <QRegularExpression>

#include "tests/platform/gui/qt_env.h"

namespace mv::pttest {
namespace {


QString run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000)) return QString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

QString pdf_text(const QString& pdf, int page) {
  QStringList args{QStringLiteral("-layout")};
  if (page > 0) args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
  args << pdf << QStringLiteral("-");
  return run(QStringLiteral("pdftotext"), args);
}

int pdf_pages(const QString& pdf) {
  const QString info = run(QStringLiteral("pdfinfo"), {pdf});
  const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QStringList text_lines(const QString& text) {
  QStringList out;
  for (const QString& l : text.split(QLatin1Char('\n'))) {
    const QString t = l.trimmed();
    if (!t.isEmpty() && t != QLatin1String("\f")) out << t;
  }
  return out;
}

std::vector<std::pair<int, int>> shaded_bands(const QImage& img, const std::function<bool(QRgb)>& shaded) {
  std::vector<std::pair<int, int>> out;
  bool in = false;
  for (int y = 0; y < img.height(); ++y) {
    int n = 0;
    for (int x = 0; x < img.width(); ++x) n += shaded(img.pixel(x, y)) ? 1 : 0;
    if (n >= 50 && !in) out.push_back({y, y});
    if (n >= 50) out.back().second = y;
    in = n >= 50;
  }
  return out;
}

}  // namespace mv::pttest
