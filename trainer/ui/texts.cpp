#include "trainer/ui/texts.h"

#include <QStringList>

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

QString keyboard::standInName(std::uint16_t evdevCode) {
    switch (evdevCode) {
        case evdev::kGrave: return u"半角/全角（`）キー"_s;
        case evdev::kIsoExtra: return u"＜＞キー（左 Shift の右）"_s;
        case evdev::kRightCtrl: return u"右 Ctrl キー"_s;
        case evdev::kMenu: return u"アプリケーションキー"_s;
        default: return kNoStandIn.toString();
    }
}

QString keyboard::judgingByPosition(std::uint16_t yenStandIn, std::uint16_t roStandIn) {
    QStringList standIns;
    if (yenStandIn != 0) standIns << u"「ー」は%1"_s.arg(standInName(yenStandIn));
    if (roStandIn != 0) standIns << u"「ろ」は%1"_s.arg(standInName(roStandIn));
    QString text = u"キーの位置で判定しています。"_s;
    if (!standIns.isEmpty()) text += standIns.join(u"、"_s) + u"でも打てます。"_s;
    return text;
}

}  // namespace tapmora::texts
