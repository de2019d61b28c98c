#include "mainwindow/form1.h"

#include "app/settings_keys.h"
#include "app/texts.h"
#include "app/window/window_pointer.h"
#include "app/window/window_prep.h"
#include "mainwindow/email_counts.h"
#include "mainwindow/status_progress_bar.h"
#include "platform/qt/qt_list_view.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>

#include <cstdlib>

namespace tallyhive {
namespace {

// Focus on a sign-in box selects its whole text, so typing replaces it.
class SelectAllOnFocus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn) {
            auto* box = static_cast<QLineEdit*>(watched);
            QTimer::singleShot(0, box, [box] { box->setSelection(0, static_cast<int>(box->text().size())); });
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

Form1::Form1(Form1Services services, QWidget* parent) : QMainWindow(parent), services_(std::move(services))
{
    buildControls();
    pointer_ = new WindowPointer(*this);
    for (QWidget* control : findChildren<QWidget*>())
        pointer_->watch(control);
    pointer_->alwaysCustomOver(PushButton2);
    pointer_->alwaysCustomOver(PushButton3);
    connectHandlers();
    makeFolderOptionsOneGroup();
    updateOtherOption();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    auto* face = new QWidget(this);
    setCentralWidget(face);
    setFixedSize(twipsToPixels(8040), twipsToPixels(9300));

    Frame5 = new QGroupBox(QStringLiteral("Login"), face);
    Frame5->setGeometry(twipsRect(120, 60, 7800, 1560));
    lblLabels[0] = new QLabel(QStringLiteral("Live ID:"), Frame5);
    lblLabels[0]->setGeometry(twipsRect(240, 390, 960, 255));
    Text1 = new QLineEdit(Frame5);
    Text1->setGeometry(twipsRect(1200, 330, 2280, 345));
    Combo1 = new QComboBox(Frame5);
    Combo1->setGeometry(twipsRect(3540, 330, 1860, 345));
    lblLabels[1] = new QLabel(QStringLiteral("Password:"), Frame5);
    lblLabels[1]->setGeometry(twipsRect(240, 810, 960, 255));
    Text2 = new QLineEdit(Frame5);
    Text2->setEchoMode(QLineEdit::Password);
    Text2->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // shown as "*"
    Text2->setGeometry(twipsRect(1200, 750, 2280, 345));
    Check1 = new QCheckBox(QStringLiteral("Remember me"), Frame5);
    Check1->setGeometry(twipsRect(1200, 1170, 1740, 285));
    Check2 = new QCheckBox(QStringLiteral("Autoconnect when software loads"), Frame5);
    Check2->setGeometry(twipsRect(2940, 1170, 3600, 285));
    PushButton1 = new QPushButton(texts::ConnectCaption, Frame5);
    PushButton1->setGeometry(twipsRect(5520, 300, 2160, 405));
    PushButton11 = new QPushButton(QStringLiteral("Help"), Frame5);
    PushButton11->setGeometry(twipsRect(5520, 750, 2160, 405));

    Frame2 = new QGroupBox(QStringLiteral("Folder"), face);
    Frame2->setGeometry(twipsRect(120, 1680, 7800, 660));
    Option3 = new QRadioButton(QStringLiteral("Inbox"), Frame2);
    Option5 = new QRadioButton(QStringLiteral("Drafts"), Frame2);
    Option6 = new QRadioButton(QStringLiteral("Sent"), Frame2);
    Option7 = new QRadioButton(QStringLiteral("Junk"), Frame2);
    Option9 = new QRadioButton(QStringLiteral("Deleted"), Frame2);
    int left = 240;
    for (QRadioButton* option : {Option3, Option5, Option6, Option7, Option9}) {
        option->setGeometry(twipsRect(left, 300, 1320, 285));
        left += 1500;
    }
    // The sixth choice sits on the caption's line, right of "Folder", so
    // that nothing the window had before moves.
    Option10 = new QRadioButton(texts::OtherFolderCaption, Frame2);
    Option10->setGeometry(twipsRect(1740, 15, 900, 285));
    Combo2 = new QComboBox(Frame2);
    Combo2->setGeometry(twipsRect(2640, 0, 4920, 300));
    Combo2->setPlaceholderText(texts::OtherFoldersBeforeConnect);
    for (QRadioButton* option : folderOptions()) {
        // Exclusivity is the window's own: the options must also be able to
        // show no selection at all.
        option->setAutoExclusive(false);
    }
    Option3->setChecked(true);

    Frame4 = new QGroupBox(texts::FilterFrameCaption, face);
    Frame4->setGeometry(twipsRect(120, 2400, 7800, 780));
    txtSearch = new QLineEdit(Frame4);
    txtSearch->setGeometry(twipsRect(240, 330, 7320, 345));

    PushButton3 = new QPushButton(texts::GetAllCaption, face);
    PushButton3->setGeometry(twipsRect(120, 3300, 3840, 405));
    PushButton2 = new QPushButton(texts::GetSomeCaption, face);
    PushButton2->setGeometry(twipsRect(4080, 3300, 3840, 405));

    ProgressBar1 = new StatusProgressBar(face);
    ProgressBar1->setGeometry(twipsRect(120, 3810, 7800, 330));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setPosition(0);
    ProgressBar1->setStatus(texts::ProgressBarIdle);

    ListView1 = new platform::QtListView(face);
    ListView1->setGeometry(twipsRect(120, 4245, 7800, 2520));
    // The list is empty while a sign-in waits for the browser: what to do
    // about an error on Microsoft's page is said there, and nothing moves.
    lblSignInHelp = new QLabel(texts::SignInWaitHelp, face);
    lblSignInHelp->setGeometry(twipsRect(360, 4725, 7320, 1920));
    lblSignInHelp->setTextFormat(Qt::PlainText);
    lblSignInHelp->setWordWrap(true);
    lblSignInHelp->setAlignment(Qt::AlignCenter);
    lblSignInHelp->hide();

    Label1 = new QLabel(texts::TotalEmails, face);
    Label1->setGeometry(twipsRect(120, 6870, 3840, 255));
    Label2 = new QLabel(texts::SelectedEmails, face);
    Label2->setGeometry(twipsRect(4080, 6870, 3840, 255));

    PushButton5 = new QPushButton(QStringLiteral("Check All"), face);
    PushButton5->setGeometry(twipsRect(120, 7230, 3840, 405));
    PushButton6 = new QPushButton(QStringLiteral("Uncheck All"), face);
    PushButton6->setGeometry(twipsRect(4080, 7230, 3840, 405));
    PushButton9 = new QPushButton(QStringLiteral("Check Emails Containing..."), face);
    PushButton9->setGeometry(twipsRect(120, 7740, 3840, 405));
    PushButton10 = new QPushButton(QStringLiteral("Check Emails Not Containing..."), face);
    PushButton10->setGeometry(twipsRect(4080, 7740, 3840, 405));
    PushButton7 = new QPushButton(QStringLiteral("Clear List"), face);
    PushButton7->setGeometry(twipsRect(120, 8250, 3840, 405));
    PushButton8 = new QPushButton(QStringLiteral("Show List In Larger View"), face);
    PushButton8->setGeometry(twipsRect(4080, 8250, 3840, 405));
    PushButton4 = new QPushButton(texts::SendToExcelCaption, face);
    PushButton4->setGeometry(twipsRect(120, 8760, 7800, 405));

    auto* selectAll = new SelectAllOnFocus(this);
    Text1->installEventFilter(selectAll);
    Text2->installEventFilter(selectAll);
    setTabOrder(Text1, Text2);
}

void Form1::connectHandlers()
{
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(PushButton10, &QPushButton::clicked, this, &Form1::PushButton10_Click);
    connect(PushButton11, &QPushButton::clicked, this, &Form1::PushButton11_Click);

    connect(Check1, &QCheckBox::stateChanged, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::stateChanged, this, &Form1::Check2_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    for (QRadioButton* option : folderOptions())
        connect(option, &QRadioButton::clicked, this, [this, option] { setOption(option, true); });
    // Two long names may be shortened alike: the entry counts, not its text.
    connect(Combo2, &QComboBox::currentIndexChanged, this, &Form1::Combo2_Change);
    connect(Combo2, &QComboBox::activated, this, &Form1::Combo2_Activated);
    ListView1->setItemCheckHandler([this](int row) { ListView1_ItemCheck(row); });
}

std::array<QRadioButton*, 6> Form1::folderOptions() const { return {Option3, Option5, Option6, Option7, Option9, Option10}; }

bool Form1::isConnected() const { return PushButton1->text() != texts::ConnectCaption; }

QString Form1::statusText() const { return ProgressBar1->status(); }

void Form1::setStatus(const QString& text) { ProgressBar1->setStatus(text); }

void Form1::RefreshCounts(bool reset) { tallyhive::RefreshCounts(*ListView1, *Label1, *Label2, reset); }

void Form1::ListView1_ItemCheck(int) { RefreshCounts(false); }

void Form1::saveSetting(const QString& key, const QString& value)
{
    services_.settings.saveSetting(settings_keys::Application, settings_keys::Section, key, value);
}

void Form1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!connectWhenShown_)
        return;
    connectWhenShown_ = false;
    // Once the window is on screen, with its button to cancel from.
    QTimer::singleShot(0, this, [this] {
        if (!isConnected())
            PushButton1_Click();
    });
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Closing the window ends the program at once: no logout, no further
    // handler, nothing written (every setting was saved as it changed).
    event->accept();
    std::_Exit(0);
}

}  // namespace tallyhive
