#include "mainwindow/fetch_panel.h"

#include "app/general_date.h"
#include "app/locations.h"
#include "app/numbered_handler.h"
#include "app/pending_events.h"
#include "interfaces/error.h"
#include "mainwindow/chosen_columns.h"
#include "mainwindow/email_list.h"

#include <QLineEdit>

#include <algorithm>

namespace tallyhive {
namespace {

// Subject ignores letter case; the other fields must match exactly, and the
// HTML body is never searched. A column the user chose is searched too.
bool passesFilter(const EmailRecord& mail, const QString& filter, const std::vector<RecordField>& chosen)
{
    if (mail.s_From.contains(filter) || mail.s_FromName.contains(filter) || mail.s_FromAddress.contains(filter)
        || mail.s_Subject.contains(filter, Qt::CaseInsensitive) || mail.s_ReceivedDate.contains(filter)
        || mail.s_PlainText.text().contains(filter))
        return true;
    return std::any_of(chosen.begin(), chosen.end(), [&](RecordField field) { return mail.fieldText(field).contains(filter); });
}

}  // namespace

void FetchPanel::oChilkat_MailExtractListing(clsChilkatIMAP* sender, EmailRecord&& mail, int uID)
{
    if (sender != window_.session.current.get())
        return;
    showRunPosition(*sender, uID);
    NumberedHandler h(window_.services.boxes, locations::MailExtractListing);
    QString filter;
    // The same steps carry other numbers when the filter is active.
    int dayLine = 160;
    bool add = true;
    if (h.test(100, [&] {
            filter = txtSearch->text();
            return !filter.isEmpty();
        })) {
        dayLine = 130;
        h.step(102, [&] { add = passesFilter(mail, filter, shownExtraFields(window_.list->view())); });
    }
    if (add) {
        // The record is the row: the list shows its texts and keeps it for
        // the larger view, the check commands and the sheet.
        const QDateTime receivedAt = mail.receivedAt;
        h.step(dayLine - 26, [&] { window_.list->view().addRow(std::move(mail)); });
        h.step(dayLine, [&] {
            if (!general_date::dayNumber(receivedAt))
                throw AppError(QStringLiteral("Type mismatch"));
        });
    }
    h.step(164, [] { letPendingEventsRun(); });
}

}  // namespace tallyhive
