#pragma once
// Text and path helpers of the main program: the n-th field of a delimited text and the
// four parts of a path.
#include <QString>

namespace mv {

// The nToken-th field of cString, fields separated by the one character cDelim. Empty
// fields count, nothing is trimmed, quotes mean nothing; nToken below 1 gives the first
// field, one past the last field gives an empty text.
QString TOKEN(const QString& cString, int nToken, const QString& cDelim = QStringLiteral(","));

// Splits cPath into drive ("C:" when the path begins with a letter and a colon), folder
// (up to and including the last "\" or "/"), name (up to the last period after the
// folder) and extension (that period and the rest). Joined again they give the path
// back as long as no part exceeds its limit (2, 255, 255 and 7 characters); a longer
// part is cut to its limit.
void MYSPLITPATH(const QString& cPath, QString& cDrive, QString& cDir, QString& cName, QString& cExt);

}  // namespace mv
