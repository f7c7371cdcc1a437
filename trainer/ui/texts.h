// Every text the trainer shows, one table per window.
#pragma once

#include <QString>

#include "trainer/model/course_tables.h"
#include "trainer/model/jis_keyboard.h"

namespace tapmora::texts {

inline constexpr QStringView kProgramName = u"Tapmora for かな打ち";

// Course captions in course order; the score window's rows repeat them.
inline constexpr QStringView kCourseCaptions[kCourseCount] = {
    u"ホームポジション",     u"ホームポジションの１つ上", u"キーボードの最上段",
    u"ホームポジションの下", u"シフトキーを使った文字",   u"全てのキー",
};

namespace form1 {
QString openingInstructions();  // Label1
QString courseInstruction();    // Label5
inline constexpr QStringView kStart = u"スタート(&R)";
inline constexpr QStringView kEnd = u"終了(&Q)";
inline constexpr QStringView kVersion = u"バージョン情報(&B)";
inline constexpr QStringView kShowScores = u"スコアの表示";
inline constexpr QStringView kMenuFile = u"ファイル(&F)";
inline constexpr QStringView kMenuHelp = u"ヘルプ(&H)";
inline constexpr QStringView kHelpPage = u"Tapmora のヘルプ(&H)";
inline constexpr QStringView kMute = u"音を消す(&M)";
inline constexpr QStringView kCounterAtLimit =
    u"このコースの回数が上限の 32767 に達したため、これ以上は数えられません。";
}  // namespace form1

namespace scores {
inline constexpr QStringView kCaption = u"スコア一覧";
inline constexpr QStringView kCourseHeading = u"タイプ位置";
inline constexpr QStringView kCorrectHeading = u"正解数";
inline constexpr QStringView kWrongHeading = u"間違い数";
inline constexpr QStringView kTotalHeading = u"総数";
inline constexpr QStringView kAllCourses = u"全タイプ位置統計";
inline constexpr QStringView kClose = u"閉じる";
inline constexpr QStringView kSumAtLimit =
    u"合計が上限の 32767 を超えたため、スコア一覧をこれ以上更新できません。";
}  // namespace scores

namespace statistics {
inline constexpr QStringView kCaption = u"統計";
inline constexpr QStringView kMenuView = u"表示(&V)";
inline constexpr QStringView kMenuItem = u"統計(&S)...";
inline constexpr QStringView kNoHistory =
    u"まだ記録がありません。コースを選んでタイプすると、ここに結果が表示されます。";
// %1 keys, %2 accuracy in percent, %3 sessions
inline constexpr QStringView kSummary = u"これまでに %1 キー（正解率 %2％）、セッション %3 回";
inline constexpr QStringView kChartTitle = u"セッションごとの速さと正解率（最近 %1 回）";
inline constexpr QStringView kChartEmpty = u"10 キー以上のセッションがまだありません";
inline constexpr QStringView kSpeedSeries = u"1分あたりのかな数";
inline constexpr QStringView kAccuracySeries = u"正解率（％）";
inline constexpr QStringView kSessionAxis = u"セッション（古い順）";
inline constexpr QStringView kConfusions = u"よく間違えるキー";
inline constexpr QStringView kShownKana = u"出たかな";
inline constexpr QStringView kPressedKey = u"押したキー";
inline constexpr QStringView kTimes = u"回数";
inline constexpr QStringView kCourseTotals = u"コース別の合計";
inline constexpr QStringView kCourse = u"コース";
inline constexpr QStringView kKeys = u"キー数";
inline constexpr QStringView kAccuracy = u"正解率";
inline constexpr QStringView kSpeed = u"かな/分";
inline constexpr QStringView kWeakKana = u"苦手なかな";
inline constexpr QStringView kKana = u"かな";
inline constexpr QStringView kMedianTime = u"中央値";
inline constexpr QStringView kPracticeCourse = u"練習するコース(&C):";
inline constexpr QStringView kPractice = u"苦手なキーを練習(&P)";
inline constexpr QStringView kExport = u"CSVに書き出す(&E)...";
inline constexpr QStringView kExportTitle = u"履歴をCSVに書き出す";
inline constexpr QStringView kExportFileName = u"tapmora-履歴.csv";
inline constexpr QStringView kExportFilter = u"CSV ファイル (*.csv)";
inline constexpr QStringView kExportFailed = u"CSV ファイルを書き出せませんでした。";
inline constexpr QStringView kClose = u"閉じる";
inline constexpr QStringView kWeakPracticeCourse = u"苦手なキーの練習";
// The heat map: each key coloured by its kana's accuracy or median time.
inline constexpr QStringView kHeatMap = u"キーごとの正解率と速さ";
inline constexpr QStringView kHeatAccuracy = u"正解率(&A)";
inline constexpr QStringView kHeatSpeed = u"速さ(&D)";
inline constexpr QStringView kHeatGood = u"得意";
inline constexpr QStringView kHeatWeak = u"苦手";
inline constexpr QStringView kHeatNoFigure = u"記録なし";
inline constexpr QStringView kHeatHint =
    u"右上の小さな色はシフトで打つかなの結果です。キーにマウスを重ねると数字が出ます。";
// %1 kana, %2 key, %3 accuracy, %4 median time, %5 times shown
inline constexpr QStringView kHeatFigures = u"%1（%2）　正解率 %3・中央値 %4・%5 回";
// %1 kana, %2 key
inline constexpr QStringView kHeatNotShown = u"%1（%2）　まだ記録がありません";
// %1 the key's legend
inline constexpr QStringView kHeatShifted = u"Shift+%1";
}  // namespace statistics

namespace practice {
inline constexpr QStringView kCaption = u"苦手なキーの練習";
// %1 the course caption
inline constexpr QStringView kCourse = u"コース：%1";
inline constexpr QStringView kInstruction =
    u"Enterキーを押すと始まります。\n間違いの多いかなや遅いかなほど、よく出ます。";
inline constexpr QStringView kClose = u"閉じる";
}  // namespace practice

// What the learner is told when the history cannot be written. The short
// form marks the main window's menu bar; the full one the statistics window.
namespace history {
// Short enough to sit beside the menus of the narrow main window.
inline constexpr QStringView kCannotSave = u"履歴未保存";
inline constexpr QStringView kStartedAfresh = u"履歴再作成";
inline constexpr QStringView kBusy =
    u"履歴のファイルを別の Tapmora が使っているため、今は保存できません。"
    u"タイプした結果はこのまま覚えておき、使えるようになりしだい保存します。";
inline constexpr QStringView kReadOnly =
    u"履歴のファイルに書き込めません（読み取り専用です）。"
    u"タイプした結果はこのまま覚えておき、書き込めるようになりしだい保存します。";
inline constexpr QStringView kDiskFull =
    u"ディスクがいっぱいのため、履歴を保存できません。"
    u"タイプした結果はこのまま覚えておき、空きができしだい保存します。";
inline constexpr QStringView kNewerVersion =
    u"履歴のファイルは新しい版の Tapmora で作られたため、この版では保存できません。"
    u"ファイルはそのまま残してあります。";
inline constexpr QStringView kUnavailable =
    u"履歴のファイルを開けません。"
    u"タイプした結果はこのまま覚えておき、開けるようになりしだい保存します。";
// %1 the name the damaged file was given
inline constexpr QStringView kKeptAside =
    u"履歴のファイルが壊れていたため「%1」という名前で残し、新しい履歴を始めました。";
}  // namespace history

namespace about {
inline constexpr QStringView kCaption = u"バージョン情報";
inline constexpr QStringView kVersion = u"Tapmora for かな打ち ： Ver 1.1.1";
QString description();  // lblDescription
inline constexpr QStringView kDisclaimer =
    u"本ソフトはフリーソフトです。使用により生じた損害について、作者は責任を負いません。";
inline constexpr QStringView kOk = u"OK";
inline constexpr QStringView kThanksButton = u"Special Thanks!!";
inline constexpr QStringView kThanksTitle = u"Special Thanks!!";
inline constexpr QStringView kThanks = u"森野　彩人様にアイコンを作成して頂きました。　Thanks!!";
}  // namespace about

namespace keyboard {
inline constexpr QStringView kCaption = u"キーボード";
inline constexpr QStringView kMenuItem = u"キーボード(&K)";
// Legend: the fingers, left and right alike, then the two marks.
inline constexpr QStringView kFingers[] = {u"小指", u"薬指", u"中指", u"人差し指", u"親指"};
inline constexpr QStringView kTargetLegend = u"次に打つキー";
inline constexpr QStringView kMissLegend = u"押し間違えたキー";

inline constexpr QStringView kSettings = u"設定";
inline constexpr QStringView kYenStandIn = u"「ー」（¥キー）の代わりに使うキー";
inline constexpr QStringView kRoStandIn = u"「ろ」（ろキー）の代わりに使うキー";
inline constexpr QStringView kNoStandIn = u"使わない";
// Names of the keys offered as stand-ins, by evdev code.
QString standInName(std::uint16_t evdevCode);

// The status line: how keys are judged, or what stops them from being
// judged as meant.
QString judgingByPosition(std::uint16_t yenStandIn, std::uint16_t roStandIn);
inline constexpr QStringView kJudgingByCharacter = u"入力された文字で判定しています。";
inline constexpr QStringView kInputMethod =
    u"入力メソッドの文字が届いています。入力メソッドをオフにして、半角英数で打ってください。";
inline constexpr QStringView kKanaInput =
    u"かな入力（カナロック）がオンです。半角英数に切り替えてください。";
inline constexpr QStringView kCapsLock =
    u"Caps Lock がオンです。英字が大文字になり、間違いと判定されます。Caps Lock "
    u"を解除してください。";
inline constexpr QStringView kUnplacedCharacter =
    u"JIS キーボードにない文字が届いています。キーボードの配列を日本語（JIS）にしてください。";
}  // namespace keyboard

}  // namespace tapmora::texts
