#pragma once

#include <QString>

#include <vector>

namespace tallyhive {

// What the main window keeps per listed message.
struct EmailRecord {
    QString s_From;
    QString s_FromName;
    QString s_FromAddress;
    QString s_Subject;
    QString s_ReceivedDate;
    QString s_PlainText;
    QString s_HTMLText;
};

// One-based records, record k belonging to list row k.
class EmailCollection {
public:
    // Makes the collection 1 .. size, all records empty (earlier ones are dropped).
    void resize(int size);
    // Drops every record; the collection then grows with the rows that are listed.
    void clear() { records_.clear(); }
    int size() const { return static_cast<int>(records_.size()); }
    // Index beyond the end grows the collection: a listed message is never dropped.
    EmailRecord& at(int index);
    const EmailRecord* find(int index) const;

private:
    std::vector<EmailRecord> records_;
};

}  // namespace tallyhive
