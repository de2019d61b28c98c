#include "platform/qt/microsoft_setup_dialog.h"

#include "app/microsoft_application.h"
#include "app/texts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tallyhive::platform {
namespace {

const std::array<QString, 3> kTenants{PersonalAccountsTenant, WorkAccountsTenant, AllAccountsTenant};

QLabel* textLabel(const QString& text, QWidget* owner)
{
    auto* label = new QLabel(text, owner);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString sourceText(SettingSource source, const QString& builtIn, const QString& saved, const QString& environment)
{
    switch (source) {
    case SettingSource::BuiltIn: return builtIn;
    case SettingSource::Saved: return saved;
    case SettingSource::Environment: return environment;
    }
    return saved;
}

// What is in force and where it comes from, and what the environment overrides.
QString inForceText(const MicrosoftApplication& proposed)
{
    QString text = texts::MicrosoftSetupInForce.arg(
        proposed.clientId.isEmpty() ? texts::MicrosoftSetupNoId
                                    : sourceText(proposed.clientIdSource, texts::MicrosoftSetupIdBuiltIn, texts::MicrosoftSetupIdSaved,
                                                 texts::MicrosoftSetupIdFromEnvironment),
        sourceText(proposed.tenantSource, texts::MicrosoftSetupTypeBuiltIn, texts::MicrosoftSetupTypeSaved,
                   texts::MicrosoftSetupTypeFromEnvironment));
    if (proposed.clientIdSource == SettingSource::Environment)
        text += u' ' + texts::MicrosoftSetupIdOverridden;
    if (proposed.tenantSource == SettingSource::Environment)
        text += u' ' + texts::MicrosoftSetupTypeOverridden;
    return text;
}

}  // namespace

MicrosoftSetupDialog::MicrosoftSetupDialog(const MicrosoftApplication& proposed, std::function<void(const QUrl&)> openPage,
                                           QWidget* owner)
    : QDialog(owner)
{
    setWindowTitle(texts::MicrosoftSetupTitle);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(textLabel(texts::MicrosoftSetupSteps, this));
    auto* openButton = new QPushButton(texts::MicrosoftSetupOpenPage, this);
    // Return belongs to OK, wherever the focus is.
    openButton->setAutoDefault(false);
    connect(openButton, &QPushButton::clicked, this, [openPage] {
        if (openPage)
            openPage(QUrl(MicrosoftRegistrationPage));
    });
    layout->addWidget(openButton, 0, Qt::AlignLeft);

    auto* form = new QFormLayout;
    clientId_ = new QLineEdit(proposed.clientId, this);
    clientId_->setPlaceholderText(QStringLiteral("00000000-0000-0000-0000-000000000000"));
    clientId_->setMinimumWidth(clientId_->fontMetrics().horizontalAdvance(clientId_->placeholderText()) + 16);
    form->addRow(texts::MicrosoftSetupIdLabel, clientId_);
    auto* types = new QVBoxLayout;
    const std::array<QString, 4> captions{texts::PersonalAccounts, texts::WorkAccounts, texts::AllAccounts, texts::OneOrganisation};
    for (size_t i = 0; i < accountTypes_.size(); ++i) {
        accountTypes_[i] = new QRadioButton(captions[i], this);
        types->addWidget(accountTypes_[i]);
    }
    // A tenant of the package's or saved earlier stays chosen: OK must not
    // put a shared authority in its place.
    const auto shared = std::find(kTenants.begin(), kTenants.end(), proposed.tenant.toLower());
    const bool oneOrganisation = shared == kTenants.end() && isTenantName(proposed.tenant);
    organisation_ = new QLineEdit(oneOrganisation ? proposed.tenant : QString(), this);
    organisation_->setPlaceholderText(texts::OneOrganisationPlaceholder);
    types->addWidget(organisation_);
    accountTypes_[shared != kTenants.end() ? size_t(shared - kTenants.begin()) : oneOrganisation ? 3 : 2]->setChecked(true);
    form->addRow(texts::MicrosoftSetupAccountsLabel, types);
    layout->addLayout(form);
    layout->addWidget(textLabel(inForceText(proposed), this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(clientId_, &QLineEdit::textChanged, this, &MicrosoftSetupDialog::check);
    for (QRadioButton* type : accountTypes_)
        connect(type, &QRadioButton::toggled, this, &MicrosoftSetupDialog::check);
    connect(organisation_, &QLineEdit::textChanged, this, &MicrosoftSetupDialog::check);
    check();
    clientId_->setFocus();
}

void MicrosoftSetupDialog::check()
{
    const bool oneOrganisation = accountTypes_[3]->isChecked();
    organisation_->setEnabled(oneOrganisation);
    const bool tenantFits = !oneOrganisation || isTenantName(organisation_->text().trimmed());
    ok_->setEnabled(isApplicationId(clientId_->text().trimmed()) && tenantFits);
}

MicrosoftApplication MicrosoftSetupDialog::chosen() const
{
    MicrosoftApplication chosen{clientId_->text().trimmed(), organisation_->text().trimmed()};
    for (size_t i = 0; i < kTenants.size(); ++i) {
        if (accountTypes_[i]->isChecked())
            chosen.tenant = kTenants[i];
    }
    return chosen;
}

}  // namespace tallyhive::platform
