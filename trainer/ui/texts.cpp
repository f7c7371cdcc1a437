#include "trainer/ui/texts.h"

using namespace Qt::Literals::StringLiterals;

namespace tapmora::texts {
namespace {

// The long captions push their sentences onto separate lines with runs of
// blanks; spelling the runs out as counts keeps them checkable.
QString ideographicSpaces(int count) { return QString(count, QChar(0x3000)); }
QString asciiSpaces(int count) { return QString(count, QChar(u' ')); }

}  // namespace

QString form1::openingInstructions() {
    return u"タイピング練習を始めるには「スタート」をクリック。"_s + ideographicSpaces(4) +
           u"終わるには「終わる」をクリック。"_s + ideographicSpaces(16) + asciiSpaces(26) +
           ideographicSpaces(23) + u"タイプするときは半角英数の設定にしてタイプしてください"_s +
           asciiSpaces(1);
}

QString form1::courseInstruction() {
    return u"下のボタンで練習したい位置を選択してEnterキーを押して下さい。"_s +
           ideographicSpaces(29);
}

QString about::description() {
    return u"タイピング練習ソフト「Tapmora」のかな打ち版ですタイピング練習に是非お役立てください。"_s +
           ideographicSpaces(7) + u"ローマ字入力版や英文字入力版も近日中に公開予定です。"_s +
           ideographicSpaces(27) + u"これからも「Tapmora」をよろしくお願いします。"_s;
}

}  // namespace tapmora::texts
