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

}  // namespace

MicrosoftSetupDialog::MicrosoftSetupDialog(const MicrosoftApplication& proposed, std::function<void(const QUrl&)> openPage,
                                           QWidget* owner)
    : QDialog(owner)
{
    setWindowTitle(texts::MicrosoftSetupTitle);
    auto* layout = new QVBoxLayout(this);
    auto* steps = new QLabel(texts::MicrosoftSetupSteps, this);
    steps->setTextFormat(Qt::PlainText);
    steps->setWordWrap(true);
    steps->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(steps);
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
    const std::array<QString, 3> captions{texts::PersonalAccounts, texts::WorkAccounts, texts::AllAccounts};
    for (size_t i = 0; i < accountTypes_.size(); ++i) {
        accountTypes_[i] = new QRadioButton(captions[i], this);
        accountTypes_[i]->setChecked(kTenants[i] == proposed.tenant);
        types->addWidget(accountTypes_[i]);
    }
    if (std::none_of(accountTypes_.begin(), accountTypes_.end(), [](const QRadioButton* b) { return b->isChecked(); }))
        accountTypes_.back()->setChecked(true);
    form->addRow(texts::MicrosoftSetupAccountsLabel, types);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    const auto check = [this] { ok_->setEnabled(isApplicationId(clientId_->text().trimmed())); };
    connect(clientId_, &QLineEdit::textChanged, this, check);
    check();
    clientId_->setFocus();
}

MicrosoftApplication MicrosoftSetupDialog::chosen() const
{
    MicrosoftApplication chosen{clientId_->text().trimmed(), AllAccountsTenant};
    for (size_t i = 0; i < accountTypes_.size(); ++i) {
        if (accountTypes_[i]->isChecked())
            chosen.tenant = kTenants[i];
    }
    return chosen;
}

}  // namespace tallyhive::platform
