#pragma once

#include <QString>

// The location texts that name each numbered handler in an error report.
// They are literals, dates and all.
namespace tallyhive::locations {

inline const QString Form1Load = QStringLiteral("in TallyhiveApp2/19/2015.Form1.Form_Load ");
inline const QString MailExtractListing = QStringLiteral("in TallyhiveApp2/19/2015.Form1.oChilkat_MailExtractListing ");
inline const QString ConnectDisconnect = QStringLiteral("in TallyhiveApp2/19/2015.Form1.PushButton1_Click ");
inline const QString GetSome = QStringLiteral("in TallyhiveApp2/19/2015.Form1.PushButton2_Click ");
inline const QString GetAll = QStringLiteral("in TallyhiveApp2/19/2015.Form1.PushButton3_Click ");
inline const QString SendToExcel = QStringLiteral("in TallyhiveApp2/19/20152/16/2015.Form1.PushButton4_Click ");
inline const QString CheckAll = QStringLiteral("in TallyhiveApp.Form1.PushButton5_Click ");
inline const QString UncheckAll = QStringLiteral("in TallyhiveApp2/19/2015.Form1.PushButton6_Click ");
inline const QString ClearList = QStringLiteral("in TallyhiveApp2/19/2015.Form1.PushButton7_Click ");
inline const QString ShowLargerView = QStringLiteral("in TallyhiveApp2/19/201512/29/2014.Form1.PushButton8_Click ");
inline const QString CheckContaining = QStringLiteral("in TallyhiveApp2/19/2015.Form1.PushButton9_Click ");
inline const QString CheckNotContaining = QStringLiteral("in TallyhiveApp2/19/2015.Form1.PushButton10_Click ");
inline const QString Help = QStringLiteral("in TallyhiveApp2/19/2015.Form1.PushButton11_Click ");
inline const QString RangeContinue = QStringLiteral("in TallyhiveApp2/19/2015.Form2.PushButton1_Click ");
inline const QString Form4Load = QStringLiteral("in TallyhiveApp2/19/2015.Form4.Form_Load ");
inline const QString Form4Back = QStringLiteral("in TallyhiveApp2/19/2015.Form4.PushButton4_Click ");
inline const QString Form4CheckAll = QStringLiteral("in TallyhiveApp2/19/2015.Form4.PushButton5_Click ");
inline const QString Form4UncheckAll = QStringLiteral("in TallyhiveApp2/19/2015.Form4.PushButton6_Click ");
inline const QString Form4ClearList = QStringLiteral("in TallyhiveApp2/19/2015.Form4.PushButton7_Click ");
inline const QString Form4CheckContaining = QStringLiteral("in TallyhiveApp2/19/2015.Form4.PushButton9_Click ");
inline const QString Form4CheckNotContaining = QStringLiteral("in TallyhiveApp2/19/2015.Form4.PushButton10_Click ");

}  // namespace tallyhive::locations
