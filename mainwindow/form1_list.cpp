#include "mainwindow/form1.h"

#include "app/general_date.h"
#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/pending_events.h"
#include "interfaces/error.h"
#include "platform/qt/qt_list_view.h"

#include <QLineEdit>

namespace tallyhive {
namespace {

// Subject ignores letter case; the other fields must match exactly, and the
// HTML body is never searched.
bool passesFilter(const MailListing& mail, const QString& filter)
{
    return mail.From.contains(filter) || mail.FromName.contains(filter) || mail.FromAddress.contains(filter)
        || mail.Subject.contains(filter, Qt::CaseInsensitive) || mail.ReceivedDate.contains(filter)
        || mail.PlainTextBody.contains(filter);
}

}  // namespace

void Form1::oChilkat_MailExtractListing(clsChilkatIMAP* sender, const MailListing& mail)
{
    if (sender != oChilkat.get())
        return;
    showRunPosition(*sender, mail.uID);
    NumberedHandler h(services_.boxes, locations::MailExtractListing);
    QString filter;
    // The same steps carry other numbers when the filter is active.
    int firstLine = 134;
    bool add = true;
    if (h.test(100, [&] {
            filter = txtSearch->text();
            return !filter.isEmpty();
        })) {
        firstLine = 104;
        h.step(102, [&] { add = passesFilter(mail, filter); });
    }
    if (add) {
        int line = firstLine;
        const auto next = [&line] { return (line += 2) - 2; };
        int n = 0;
        h.step(next(), [&] { ListView1->addRow(mail.From); });
        h.step(next(), [&] { n = ListView1->rowCount(); });
        const std::array<QString EmailRecord::*, 7> fields{&EmailRecord::s_From,         &EmailRecord::s_FromName,
                                                           &EmailRecord::s_FromAddress,  &EmailRecord::s_Subject,
                                                           &EmailRecord::s_ReceivedDate, &EmailRecord::s_PlainText,
                                                           &EmailRecord::s_HTMLText};
        const std::array<const QString*, 7> values{&mail.From,         &mail.FromName,      &mail.FromAddress,
                                                   &mail.Subject,      &mail.ReceivedDate,  &mail.PlainTextBody,
                                                   &mail.HTMLTextBody};
        for (std::size_t i = 0; i < fields.size(); ++i)
            h.step(next(), [&] { emailCollection.at(ListView1->rowCount()).*fields[i] = *values[i]; });
        h.step(next(), [&] { ListView1->setCellText(n, 2, mail.FromName); });
        h.step(next(), [&] { ListView1->setCellText(n, 3, mail.FromAddress); });
        h.step(next(), [&] { ListView1->setCellText(n, 4, mail.Subject); });
        h.step(next(), [&] { ListView1->setCellText(n, 5, mail.ReceivedDate); });
        h.step(next(), [&] {
            const auto day = general_date::dayNumber(mail.ReceivedDate);
            if (!day)
                throw AppError(QStringLiteral("Type mismatch"));
            ListView1->setCellText(n, 6, QString::number(*day));
        });
    }
    h.step(164, [] { letPendingEventsRun(); });
}

}  // namespace tallyhive
