#include "components/strings.h"

namespace mv {

QString TOKEN(const QString& cString, int nToken, const QString& cDelim) {
  const QChar delim = cDelim.isEmpty() ? QChar(u',') : cDelim[0];
  if (nToken < 1) nToken = 1;
  if (nToken > cString.count(delim) + 1) return QString();
  qsizetype start = 0;
  for (int i = 1; i < nToken; ++i) start = cString.indexOf(delim, start) + 1;
  qsizetype end = cString.indexOf(delim, start);
  return end < 0 ? cString.mid(start) : cString.mid(start, end - start);
}

void MYSPLITPATH(const QString& cPath, QString& cDrive, QString& cDir, QString& cName, QString& cExt) {
  constexpr qsizetype kDrive = 2, kDir = 255, kName = 255, kExt = 7;
  qsizetype pos = 0;
  cDrive.clear();
  if (cPath.size() >= 2 && cPath[1] == u':' && cPath[0].isLetter() && cPath[0].unicode() < 128) {
    cDrive = cPath.left(kDrive);
    pos = 2;
  }
  qsizetype last_sep = -1;
  for (qsizetype i = cPath.size() - 1; i >= pos; --i)
    if (cPath[i] == u'\\' || cPath[i] == u'/') {
      last_sep = i;
      break;
    }
  cDir = last_sep < 0 ? QString() : cPath.mid(pos, last_sep + 1 - pos).left(kDir);
  const QString rest = cPath.mid(last_sep < 0 ? pos : last_sep + 1);
  qsizetype dot = rest.lastIndexOf(u'.');
  if (dot < 0) {
    cName = rest.left(kName);
    cExt.clear();
  } else {
    cName = rest.left(dot).left(kName);
    cExt = rest.mid(dot).left(kExt);
  }
}

}  // namespace mv
