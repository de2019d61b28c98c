#pragma once

#include "mail/imap_session.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tallyhive {

// Get All over every folder in turn, into one list: what each folder gave
// and what it could not, for the closing box.
class AllFoldersRun {
public:
    AllFoldersRun(clsChilkatIMAP& session, QStringList folders);

    // Reads folder after folder until each is read or the user stops.
    void run();
    // The folder being read; empty before the first and after the last.
    const QString& folder() const { return current_; }
    // The closing box's text: "Done." (or nothing when skipDone) when every
    // message of every folder was read.
    QString closingText(bool skipDone) const;

private:
    struct FolderResult {
        QString folder;
        RunShortfall shortfall;
        QString notOpened;  // why the folder could not be opened; empty when it was
    };

    clsChilkatIMAP& session_;
    QStringList folders_;
    std::vector<FolderResult> results_;
    QString current_;
};

}  // namespace tallyhive
