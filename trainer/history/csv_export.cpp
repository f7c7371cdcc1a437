#include "trainer/history/csv_export.h"

#include <QDateTime>
#include <QIODevice>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>
#include <QVariant>

#include "trainer/model/key_names.h"

namespace tapmora::history {
namespace {

QString keyText(const QVariant &code) {
    return QString::fromStdU16String(keyCharacter(static_cast<std::int16_t>(code.toInt())));
}

}  // namespace

void writeCsvLine(QTextStream &out, const QStringList &fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        QString field = fields[i];
        if (field.contains(u',') || field.contains(u'"') || field.contains(u'\n') ||
            field.contains(u'\r'))
            field = u'"' + field.replace(u'"', QStringLiteral("\"\"")) + u'"';
        out << (i ? QStringLiteral(",") : QString()) << field;
    }
    out << "\r\n";
}

bool exportCsv(const QSqlDatabase &db, QIODevice &device) {
    QSqlQuery keys(db);
    keys.setForwardOnly(true);
    if (!db.isOpen() ||
        !keys.exec(QStringLiteral("SELECT at, session, course, kana, expected, pressed, correct,"
                                  " since_previous_ms FROM keys ORDER BY id")))
        return false;
    QTextStream out(&device);
    out.setEncoding(QStringConverter::Utf8);
    out.setGenerateByteOrderMark(true);
    writeCsvLine(
        out, {QStringLiteral("時刻"), QStringLiteral("セッション"), QStringLiteral("コース"),
              QStringLiteral("かな"), QStringLiteral("正しいキー"), QStringLiteral("押したキー"),
              QStringLiteral("正解"), QStringLiteral("前のキーからのミリ秒")});
    while (keys.next()) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(keys.value(0).toLongLong());
        writeCsvLine(
            out, {at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), keys.value(1).toString(),
                  keys.value(2).toString(), keys.value(3).toString(), keyText(keys.value(4)),
                  keyText(keys.value(5)), keys.value(6).toString(),
                  keys.value(7).isNull() ? QString() : keys.value(7).toString()});
    }
    out.flush();
    return out.status() == QTextStream::Ok;
}

}  // namespace tapmora::history
