// The small dialogs the option pages open: the pop-up messages, the snapshot folder and
// prefix, and the user's own name and place.
//
// Each dialog reads the store when it is built and writes it when the user presses OK, so the
// page that opened it sees the new values at once. A test builds the dialog directly, fills
// its controls (found by object name) and calls accept(); the Edit... functions are what the
// pages call to show one modally.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace quovis {

class ConfigStore;

// ---- Pop-up Messages ------------------------------------------------------------------------

// What the "Pop-up Messages" dialog edits: the "Messages" section.
struct MessagesSettings {
    QString font;
    bool bold = false;
    bool italic = false;
    int minTime = 0;  // seconds between slides (and messages)
    int maxTime = 0;
    QStringList messages;  // one per line; "\r" inside a message (two characters) breaks it
};

// The section as the dialog shows it: its own defaults for the times, MinTime at least 1,
// MaxTime at least MinTime + 1, at most kMaxMessages messages.
MessagesSettings ReadMessagesSettings(ConfigStore& store);
// Replaces the whole section: the times with the same limits, every non-blank message (at
// most kMaxMessages) numbered from 1, and their count. False when the store refused a write.
bool WriteMessagesSettings(ConfigStore& store, const MessagesSettings& settings);
// The times as they are stored: MinTime at least 1, MaxTime at least MinTime + 1.
void LimitSlideTimes(int& minTime, int& maxTime);

class MessagesDialog : public QDialog {
    Q_OBJECT

  public:
    MessagesDialog(ConfigStore& store, QWidget* parent = nullptr);

    // The controls as they stand.
    MessagesSettings Current() const;
    // Stores Current(); on success the dialog closes with Accepted. More lines than the
    // saver keeps are refused with a message first, so nothing is dropped unseen.
    void accept() override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void UpdatePreviewFont();

    ConfigStore& m_store;
    QComboBox* m_font = nullptr;
    QCheckBox* m_italic = nullptr;
    QCheckBox* m_bold = nullptr;
    QLineEdit* m_minTime = nullptr;
    QLineEdit* m_maxTime = nullptr;
    QPlainTextEdit* m_text = nullptr;
};

// Shows the dialog; true when the user stored the messages.
bool EditMessages(ConfigStore& store, QWidget* parent);

// ---- Choose Auto Save Folder and Filename Prefix ----------------------------------------------

class AutoSaveDialog : public QDialog {
    Q_OBJECT

  public:
    // picturesFolder: the user's pictures folder, whose "Quovis" folder is the default.
    AutoSaveDialog(ConfigStore& store, QString picturesFolder, QWidget* parent = nullptr);

    // Stores the folder (the default when left empty), the prefix and the settings-file
    // option, then closes with Accepted. A prefix that cannot begin a file name is refused.
    void accept() override;

  private:
    void Browse();
    void UpdateExample();

    ConfigStore& m_store;
    QString m_defaultFolder;
    QLineEdit* m_folder = nullptr;
    QLineEdit* m_prefix = nullptr;
    QCheckBox* m_settingsFile = nullptr;
    QLabel* m_example = nullptr;
};

bool ChooseAutoSaveFolder(ConfigStore& store, QWidget* parent);

// The path the next snapshot would be written to, as the options page shows it.
QString NextSnapshotPath(ConfigStore& store, const QString& picturesFolder);

// ---- My Quovis (personal details) --------------------------------------------------------------

class PersonalDetailsDialog : public QDialog {
    Q_OBJECT

  public:
    PersonalDetailsDialog(ConfigStore& store, QWidget* parent = nullptr);
    // Stores "Author" and "Location", then closes with Accepted.
    void accept() override;

  private:
    ConfigStore& m_store;
    QLineEdit* m_handle = nullptr;
    QLineEdit* m_location = nullptr;
};

bool EditPersonalDetails(ConfigStore& store, QWidget* parent);

}  // namespace quovis
