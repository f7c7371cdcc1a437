// The history as CSV, one row per judged key, for spreadsheets and scripts.
#pragma once

#include <QStringList>

class QIODevice;
class QSqlDatabase;
class QTextStream;

namespace tapmora::history {

// One CSV line (RFC 4180): fields holding a comma, a quote or a line break
// are quoted, quotes inside doubled; the line ends in CR LF.
void writeCsvLine(QTextStream &out, const QStringList &fields);

// Writes a heading line and every recorded key, oldest first, as UTF-8 with
// a byte-order mark so spreadsheets read the kana right. Times are local.
// False when the file cannot be read or `device` not written.
bool exportCsv(const QSqlDatabase &db, QIODevice &device);

}  // namespace tapmora::history
