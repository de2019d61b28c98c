#pragma once

#include "interfaces/settings_store.h"
#include "mainwindow/window_parts.h"

#include <QObject>
#include <QStringList>

#include <array>

class QComboBox;
class QGroupBox;
class QRadioButton;
class QWidget;

namespace tallyhive {

class NumberedHandler;

// The folder a fetch reads: five options for the usual folders, and "Other:"
// for the one its drop-down shows. Every choice is saved as it is made.
class FolderChoice : public QObject {
    Q_OBJECT
public:
    FolderChoice(QWidget* face, WindowParts& window, QObject* parent);

    // The folder name of the first selected option (for "Other:", the
    // folder its drop-down shows); empty when none is.
    QString SelectedFolderName() const;
    QString otherFolder() const;  // the full name of the folder "Other:" shows
    // "Other:" chosen with "(all folders)": Get All reads every folder.
    bool allFoldersChosen() const;
    // What such a run reads: the options' folders the server has, then the
    // ones it listed beside them, in its order.
    const QStringList& allFolders() const { return allFolders_; }
    // The folders the server offers beside the five, once connected, and
    // those of the five it has.
    void showOtherFolders(const QStringList& folders, const QStringList& optionsServed);
    // Without a connection only the chosen folder is shown, as at start.
    void showOnlyFolder(const QString& folder);

    // The start-up steps: the choice saved last time.
    void restore(NumberedHandler& h);

private:
    std::array<QRadioButton*, 6> folderOptions() const;
    void setOption(QRadioButton* option, bool selected);
    void Option_Click();
    void makeFolderOptionsOneGroup();
    void moveFolderChoice(QRadioButton* from, int step);
    void placeFolderTabStop();
    void Combo2_Change();
    void Combo2_Activated();
    void updateOtherOption();

    platform::SettingsStore& settings_;
    QGroupBox* Frame2;
    QRadioButton* Option3;
    QRadioButton* Option5;
    QRadioButton* Option6;
    QRadioButton* Option7;
    QRadioButton* Option9;
    QRadioButton* Option10;  // "Other:"
    QComboBox* Combo2;       // the folder "Other:" stands for
    QStringList allFolders_;
};

}  // namespace tallyhive
