// Every text the trainer shows, one table per window.
#pragma once

#include <QString>

#include "trainer/model/course_tables.h"

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

}  // namespace tapmora::texts
