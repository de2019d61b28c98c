#pragma once

#include <QString>

namespace tallyhive {

// The lines an export's error report adds while a row is exported: the
// email's subject and the part of its body not yet written.
QString exportErrorExtension(const QString& subject, const QString& body);

}  // namespace tallyhive
