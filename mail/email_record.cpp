#include "mail/email_record.h"

#include "interfaces/error.h"

namespace tallyhive {

void EmailCollection::resize(int size)
{
    records_.clear();
    records_.resize(static_cast<std::size_t>(std::max(size, 0)));
}

EmailRecord& EmailCollection::at(int index)
{
    if (index < 1)
        throw AppError(QStringLiteral("Subscript out of range"));
    if (static_cast<std::size_t>(index) > records_.size())
        records_.resize(static_cast<std::size_t>(index));
    return records_[static_cast<std::size_t>(index) - 1];
}

const EmailRecord* EmailCollection::find(int index) const
{
    if (index < 1 || static_cast<std::size_t>(index) > records_.size())
        return nullptr;
    return &records_[static_cast<std::size_t>(index) - 1];
}

}  // namespace tallyhive
