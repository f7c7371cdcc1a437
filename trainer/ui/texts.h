// Every text the trainer shows, one table per window.
#pragma once

#include <QString>

#include "trainer/model/course_tables.h"
#include "trainer/model/jis_keyboard.h"

namespace tapmora::texts {

inline constexpr QStringView kProgramName = u"Tapmora for かな打ち";

// Course captions in course order; the score window's rows repeat them.
inline constexpr QStringView kCourseCaptions[kCourseCount] = {
    u"ホームポジション",      u"ホームポジションの１つ上", u"キーボードの最上段",
    u"ホームポジションの下",  u"シフトキーを使った文字",   u"全てのキー",
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
inline constexpr QStringView kMenuView = u"表示(&V)";
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
    u"Caps Lock がオンです。英字が大文字になり、間違いと判定されます。Caps Lock を解除してください。";
inline constexpr QStringView kUnplacedCharacter =
    u"JIS キーボードにない文字が届いています。キーボードの配列を日本語（JIS）にしてください。";
}  // namespace keyboard

}  // namespace tapmora::texts
