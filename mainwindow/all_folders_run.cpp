#include "mainwindow/all_folders_run.h"

#include "app/texts.h"

namespace tallyhive {

AllFoldersRun::AllFoldersRun(clsChilkatIMAP& session, QStringList folders) : session_(session), folders_(std::move(folders)) {}

void AllFoldersRun::run()
{
    for (const QString& folder : folders_) {
        current_ = folder;
        const platform::MailReply<int> count = session_.CountMessages(folder);
        if (session_.AbortProcess) {
            results_.push_back({folder, RunShortfall{0, 0, {}, 0, true}, {}});
            break;
        }
        if (!count.ok()) {
            results_.push_back({folder, {}, count.text});
            continue;
        }
        if (count.value > 0)
            session_.StartMailExtraction(folder, 1, count.value);
        else
            session_.Shortfall = RunShortfall{};
        results_.push_back({folder, session_.Shortfall, {}});
        if (session_.Shortfall.stopped)
            break;
    }
    current_.clear();
}

QString AllFoldersRun::closingText(bool skipDone) const
{
    qint64 read = 0;
    qint64 asked = 0;
    bool stopped = false;
    QStringList lines;
    for (const FolderResult& result : results_) {
        const RunShortfall& shortfall = result.shortfall;
        read += shortfall.read;
        asked += shortfall.asked;
        stopped = stopped || shortfall.stopped;
        if (!result.notOpened.isEmpty())
            lines << texts::FolderNotOpened.arg(result.folder, result.notOpened);
        else if (shortfall.notRead > 0)
            lines << texts::FolderNotAllRead.arg(result.folder).arg(shortfall.notRead).arg(shortfall.asked).arg(shortfall.firstReason);
    }
    const QString perFolder = lines.join(QStringLiteral("\r\n"));
    if (stopped)
        return texts::RunStopped.arg(read).arg(asked) + (lines.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + perFolder);
    if (!lines.isEmpty())
        return texts::AllFoldersIncomplete.arg(perFolder);
    return skipDone ? QString() : texts::Done;
}

}  // namespace tallyhive
