#include "config_ui/option_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "overlay/qt/snapshot.h"
#include "overlay/snapshot_naming.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/preset_record.h"

namespace quovis {

namespace {

QString FromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The line that the preview font must fit across the message box.
constexpr const char* kFontSample = "The Quick Brown Fox Jumped Over The Lazy Dog. ABCD";
constexpr int kPreviewLargestSize = 32;

// A whole number typed into an edit; `fallback` when the edit holds none.
int EditNumber(const QLineEdit* edit, int fallback) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

QLineEdit* NumberEdit(const char* name, int min, int max, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(new QIntValidator(min, max, edit));
    edit->setMaximumWidth(70);
    return edit;
}

void StoreFailed(QWidget* parent) {
    QMessageBox::warning(parent, QStringLiteral("Quovis"),
                         QStringLiteral("The settings could not be stored. Check that the "
                                        "configuration folder can be written to."));
}

}  // namespace

// ============================================================================================
// Pop-up Messages
// ============================================================================================

void LimitSlideTimes(int& minTime, int& maxTime) {
    minTime = std::clamp(minTime, 1, INT_MAX - 1);
    maxTime = std::max(maxTime, minTime + 1);
}

MessagesSettings ReadMessagesSettings(ConfigStore& store) {
    MessagesSettings s;
    s.font = FromU16(kMessagesFont.Read(store));
    s.bold = kMessagesBold.Read(store) != 0;
    s.italic = kMessagesItalic.Read(store) != 0;
    s.minTime = kMessagesMinTime.ReadOr(store, kMessagesMinTimeDialogDefault);
    s.maxTime = kMessagesMaxTime.ReadOr(store, kMessagesMaxTimeDialogDefault);
    LimitSlideTimes(s.minTime, s.maxTime);
    for (const std::u16string& message : ReadMessages(store)) s.messages << FromU16(message);
    return s;
}

bool WriteMessagesSettings(ConfigStore& store, const MessagesSettings& settings) {
    int minTime = settings.minTime;
    int maxTime = settings.maxTime;
    LimitSlideTimes(minTime, maxTime);
    // The section is written afresh, so that messages removed from the list do not linger
    // under numbers past the new count.
    if (store.DeleteSection(kMessagesSection) == DeleteSectionResult::Failed) return false;
    bool ok = kMessagesFont.Write(store, settings.font.toStdU16String());
    ok = kMessagesMinTime.Write(store, minTime) && ok;
    ok = kMessagesMaxTime.Write(store, maxTime) && ok;
    ok = kMessagesItalic.Write(store, settings.italic ? 1 : 0) && ok;
    ok = kMessagesBold.Write(store, settings.bold ? 1 : 0) && ok;
    int count = 0;
    for (const QString& message : settings.messages) {
        if (message.trimmed().isEmpty()) continue;
        if (count == kMaxMessages) break;
        ++count;
        ok = kMessagesMessage.Write(store, count, message.toStdU16String()) && ok;
    }
    ok = kMessagesNum.Write(store, count) && ok;
    return ok;
}

MessagesDialog::MessagesDialog(ConfigStore& store, QWidget* parent)
    : QDialog(parent), m_store(store) {
    setWindowTitle(QStringLiteral("Pop-up Messages"));
    const MessagesSettings settings = ReadMessagesSettings(store);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Messages form out of the dots between slides, one message at a time. "
                       "Write one message per line; \\r inside a message starts a new line."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("edit1017"));
    m_text->setAccessibleName(QStringLiteral("Messages, one per line"));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setPlainText(settings.messages.join(QLatin1Char('\n')));
    m_text->setMinimumSize(460, 180);
    layout->addWidget(m_text, 1);

    auto* fontRow = new QHBoxLayout;
    auto* fontLabel = new QLabel(QStringLiteral("Font:"), this);
    fontRow->addWidget(fontLabel);
    m_font = new QComboBox(this);
    fontLabel->setBuddy(m_font);
    m_font->setObjectName(QStringLiteral("list1004"));
    QStringList families = QFontDatabase::families();
    // The stored face stays choosable even where this machine lacks it (a profile from
    // elsewhere): the saver then draws with the closest face the system finds.
    if (!families.contains(settings.font)) families.prepend(settings.font);
    m_font->addItems(families);
    m_font->setCurrentText(settings.font);
    fontRow->addWidget(m_font, 1);
    m_bold = new QCheckBox(QStringLiteral("Bold"), this);
    m_bold->setObjectName(QStringLiteral("check1013"));
    m_bold->setChecked(settings.bold);
    fontRow->addWidget(m_bold);
    m_italic = new QCheckBox(QStringLiteral("Italic"), this);
    m_italic->setObjectName(QStringLiteral("check1011"));
    m_italic->setChecked(settings.italic);
    fontRow->addWidget(m_italic);
    layout->addLayout(fontRow);

    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(new QLabel(QStringLiteral("Time between slides (seconds)"), this));
    m_minTime = NumberEdit("edit999", 1, INT_MAX - 1, this);
    m_minTime->setAccessibleName(QStringLiteral("Shortest time between slides (seconds)"));
    m_minTime->setText(QString::number(settings.minTime));
    timeRow->addWidget(m_minTime);
    timeRow->addWidget(new QLabel(QStringLiteral("to"), this));
    m_maxTime = NumberEdit("edit1002", 1, INT_MAX, this);
    m_maxTime->setAccessibleName(QStringLiteral("Longest time between slides (seconds)"));
    m_maxTime->setText(QString::number(settings.maxTime));
    timeRow->addWidget(m_maxTime);
    timeRow->addStretch(1);
    layout->addLayout(timeRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &MessagesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MessagesDialog::reject);
    layout->addWidget(buttons);

    connect(m_font, &QComboBox::currentTextChanged, this, [this] { UpdatePreviewFont(); });
    connect(m_bold, &QCheckBox::toggled, this, [this] { UpdatePreviewFont(); });
    connect(m_italic, &QCheckBox::toggled, this, [this] { UpdatePreviewFont(); });
    UpdatePreviewFont();
}

MessagesSettings MessagesDialog::Current() const {
    MessagesSettings s;
    s.font = m_font->currentText();
    s.bold = m_bold->isChecked();
    s.italic = m_italic->isChecked();
    s.minTime = EditNumber(m_minTime, kMessagesMinTimeDialogDefault);
    s.maxTime = EditNumber(m_maxTime, kMessagesMaxTimeDialogDefault);
    LimitSlideTimes(s.minTime, s.maxTime);
    for (QString line : m_text->toPlainText().split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (!line.trimmed().isEmpty()) s.messages << line;
    }
    return s;
}

void MessagesDialog::accept() {
    const MessagesSettings settings = Current();
    if (settings.messages.size() > kMaxMessages) {
        const auto answer = QMessageBox::question(
            this, windowTitle(),
            QStringLiteral("Quovis shows at most %1 messages. The %2 lines after the %1th "
                           "will not be kept. Store the first %1?")
                .arg(kMaxMessages)
                .arg(settings.messages.size() - kMaxMessages),
            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Ok) return;
    }
    if (!WriteMessagesSettings(m_store, settings)) {
        StoreFailed(this);
        return;
    }
    QDialog::accept();
}

void MessagesDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    UpdatePreviewFont();
}

void MessagesDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    UpdatePreviewFont();
}

// The messages show in their own face, as large as lets the sample line fit across the box.
void MessagesDialog::UpdatePreviewFont() {
    QFont font(m_font->currentText());
    font.setWeight(m_bold->isChecked() ? QFont::Bold : QFont::Normal);
    font.setItalic(m_italic->isChecked());
    const int width =
        m_text->viewport()->width() - static_cast<int>(2.0 * m_text->document()->documentMargin());
    int size = kPreviewLargestSize;
    for (; size > 6; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(QLatin1String(kFontSample)) <= width) break;
    }
    font.setPixelSize(size);
    m_text->setFont(font);
}

bool EditMessages(ConfigStore& store, QWidget* parent) {
    MessagesDialog dialog(store, parent);
    return dialog.exec() == QDialog::Accepted;
}

// ============================================================================================
// Choose Auto Save Folder and Filename Prefix
// ============================================================================================

AutoSaveDialog::AutoSaveDialog(ConfigStore& store, QString picturesFolder, QWidget* parent)
    : QDialog(parent), m_store(store) {
    setWindowTitle(QStringLiteral("Choose Auto Save Folder and Filename Prefix"));
    m_defaultFolder = FromU16(SnapshotFolderOrDefault(u"", picturesFolder.toStdU16String()));

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Hit F12 or 'P' to snap a picture of the current screen and save to "
                       "this folder.  File names will consist of the prefix you enter, "
                       "followed by a 4-digit sequence number."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QGridLayout;
    form->addWidget(new QLabel(QStringLiteral("Folder:"), this), 0, 0);
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QStringLiteral("editFolder"));
    m_folder->setAccessibleName(QStringLiteral("Folder"));
    m_folder->setMaxLength(static_cast<int>(kConfigAutoSaveDir.maxChars));
    m_folder->setPlaceholderText(m_defaultFolder);
    m_folder->setText(FromU16(kConfigAutoSaveDir.Read(store)));
    m_folder->setMinimumWidth(320);
    form->addWidget(m_folder, 0, 1);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    browse->setObjectName(QStringLiteral("buttonBrowse"));
    form->addWidget(browse, 0, 2);

    form->addWidget(new QLabel(QStringLiteral("Filename Prefix:"), this), 1, 0);
    m_prefix = new QLineEdit(this);
    m_prefix->setObjectName(QStringLiteral("editPrefix"));
    m_prefix->setAccessibleName(QStringLiteral("Filename Prefix"));
    m_prefix->setMaxLength(static_cast<int>(kConfigAutoSavePrefix.maxChars));
    // A prefix begins a file name in the folder: it cannot name another folder.
    m_prefix->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^/]*")), m_prefix));
    m_prefix->setText(FromU16(kConfigAutoSavePrefix.Read(store)));
    form->addWidget(m_prefix, 1, 1, 1, 2);
    layout->addLayout(form);

    m_settingsFile = new QCheckBox(
        QStringLiteral("Also save a settings file (.oru) that recreates the pattern"), this);
    m_settingsFile->setObjectName(QStringLiteral("checkSettingsFile"));
    m_settingsFile->setChecked(kConfigAutoSaveOru.Read(store) != 0);
    layout->addWidget(m_settingsFile);

    m_example = new QLabel(this);
    m_example->setObjectName(QStringLiteral("labelExample"));
    m_example->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_example);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AutoSaveDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AutoSaveDialog::reject);
    layout->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, &AutoSaveDialog::Browse);
    connect(m_folder, &QLineEdit::textChanged, this, &AutoSaveDialog::UpdateExample);
    connect(m_prefix, &QLineEdit::textChanged, this, &AutoSaveDialog::UpdateExample);
    UpdateExample();
}

void AutoSaveDialog::Browse() {
    const QString start = m_folder->text().isEmpty() ? m_defaultFolder : m_folder->text();
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Choose Auto Save Folder"), start, QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty()) m_folder->setText(chosen);
}

void AutoSaveDialog::UpdateExample() {
    const QString folder = m_folder->text().isEmpty() ? m_defaultFolder : m_folder->text();
    m_example->setText(QStringLiteral("Pictures are saved as: ") +
                       QString::fromStdString(SnapshotFileName(
                           folder.toStdString(), m_prefix->text().toStdString(), 1, "jpg")));
}

void AutoSaveDialog::accept() {
    const QString folder = m_folder->text().trimmed();
    bool ok = folder.isEmpty() ? kConfigAutoSaveDir.Delete(m_store) ||
                                     !kConfigAutoSaveDir.ReadStored(m_store).has_value()
                               : kConfigAutoSaveDir.Write(m_store, folder.toStdU16String());
    ok = kConfigAutoSavePrefix.Write(m_store, m_prefix->text().toStdU16String()) && ok;
    ok = kConfigAutoSaveOru.Write(m_store, m_settingsFile->isChecked() ? 1 : 0) && ok;
    if (!ok) {
        StoreFailed(this);
        return;
    }
    QDialog::accept();
}

bool ChooseAutoSaveFolder(ConfigStore& store, QWidget* parent) {
    AutoSaveDialog dialog(store, QString::fromStdU16String(PicturesFolder()), parent);
    return dialog.exec() == QDialog::Accepted;
}

QString NextSnapshotPath(ConfigStore& store, const QString& picturesFolder) {
    const SnapshotConfig config = ReadSnapshotConfig(store, picturesFolder.toStdU16String());
    const int index =
        FirstFreeSnapshotIndex(config.folder, config.prefix, config.nextIndex, PathOrLinkExists)
            .value_or(config.nextIndex);
    return QString::fromStdString(SnapshotFileName(config.folder, config.prefix, index, "jpg"));
}

// ============================================================================================
// My Quovis
// ============================================================================================

PersonalDetailsDialog::PersonalDetailsDialog(ConfigStore& store, QWidget* parent)
    : QDialog(parent), m_store(store) {
    setWindowTitle(QStringLiteral("My Quovis"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Your handle and location go with every favorite you make and every "
                       "preset you share, so that others know whose work it is."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    m_handle = new QLineEdit(this);
    m_handle->setObjectName(QStringLiteral("edit3000"));
    m_handle->setMaxLength(static_cast<int>(kPresetTextMax));
    m_handle->setText(FromU16(kConfigAuthor.Read(store)));
    m_handle->setMinimumWidth(280);
    form->addRow(QStringLiteral("Handle (Nickname)"), m_handle);
    m_location = new QLineEdit(this);
    m_location->setObjectName(QStringLiteral("edit3001"));
    m_location->setMaxLength(static_cast<int>(kPresetTextMax));
    m_location->setText(FromU16(kConfigLocation.Read(store)));
    form->addRow(QStringLiteral("Location/Website"), m_location);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PersonalDetailsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PersonalDetailsDialog::reject);
    layout->addWidget(buttons);
}

void PersonalDetailsDialog::accept() {
    bool ok = kConfigAuthor.Write(m_store, m_handle->text().trimmed().toStdU16String());
    ok = kConfigLocation.Write(m_store, m_location->text().trimmed().toStdU16String()) && ok;
    if (!ok) {
        StoreFailed(this);
        return;
    }
    QDialog::accept();
}

bool EditPersonalDetails(ConfigStore& store, QWidget* parent) {
    PersonalDetailsDialog dialog(store, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace quovis
