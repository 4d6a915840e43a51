// The Share, Library and Info pages of the configuration window: the client side of the
// online preset library. The protocol itself (requests, answers, items, account, texts) is
// library/library_protocol.h; these pages only decide when to ask and what to show.
#include "config_ui/library_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/version.h"
#include "config_ui/config_page.h"
#include "config_ui/pages.h"
#include "engine/draw_wnd.h"
#include "engine/vocabulary.h"
#include "library/http_post.h"
#include "library/library_account.h"
#include "library/library_protocol.h"
#include "overlay/qt/snapshot.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/pattern_slot.h"
#include "settings/preset_record.h"

namespace quovis {

namespace {

// The share list's entry for the settings being edited, before the user's favorites.
constexpr int kCurrentSettingsEntry = -100;
// The server refuses pictures larger than this; a screenshot is made smaller until it fits.
constexpr std::size_t kPictureLimit = 512 * 1024;
constexpr int kThumbWidth = 144;
constexpr int kThumbHeight = 96;
constexpr int kInfoPictureWidth = 288;
constexpr int kInfoPictureHeight = 180;

const QString kBusyNote = QStringLiteral("Talking to the Ravar Idizovu...");
const QString kNoAnswerNote = QStringLiteral(
    "The Ravar Idizovu could not be reached.  Check internet connection or try "
    "again later.");

QString FromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton* PageButton(const QString& text, const char* name, const QString& tip,
                        QWidget* parent) {
    auto* button = Named(new QPushButton(text, parent), name);
    button->setAutoDefault(false);
    button->setToolTip(tip);
    return button;
}

QLabel* NoteLabel(const char* name, QWidget* parent) {
    auto* label = Named(new QLabel(parent), name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// The preset without its texts, to tell whether the window still shows a given preset.
std::u16string BareText(const PresetRecord& record) {
    std::u16string text;
    if (!WritePresetString(record, false, text)) text.clear();
    return text;
}

bool AskYesNo(QWidget* parent, std::u16string_view caption, const QString& question) {
    return QMessageBox::question(parent, FromU16(caption), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void ShowOops(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, FromU16(kUpdateFailedCaption), text);
}

// A client for the server the store names now (tests and users may change it while the
// window is open).
LibraryClient Client(ConfigStore& store) {
    return LibraryClient(store);
}

// Runs `work` with a copy of `client` on a thread of `requests` and hands its result to
// `done` on the thread of `receiver`, through the event queue. The runner must be owned by
// the receiver (so it is cancelled and joined before the receiver goes); a receiver that is
// being torn down gets nothing.
template <typename Result>
void RunLibraryWork(HttpRequests& requests, QObject* receiver, const LibraryClient& client,
                    std::function<Result(const LibraryClient&)> work,
                    std::function<void(Result)> done) {
    auto result = std::make_shared<std::optional<Result>>();
    const QPointer<QObject> guard(receiver);
    requests.Start(
        [client, work = std::move(work), result](std::atomic<bool>* cancel) {
            LibraryClient cancellable = client;
            HttpOptions options = client.Options();
            options.cancel = cancel;
            cancellable.SetOptions(std::move(options));
            result->emplace(work(cancellable));
            return std::optional<std::u16string>(std::u16string());
        },
        [receiver, guard, result, done = std::move(done)](std::optional<std::u16string>) {
            QMetaObject::invokeMethod(
                receiver,
                [guard, result, done] {
                    if (guard.isNull() || !result->has_value()) return;
                    done(std::move(**result));
                },
                Qt::QueuedConnection);
        });
}

// A JPEG of the preview's picture that the server takes: quality 100, made smaller while it
// would be too large.
bool SnapPreview(CDrawWnd& engine, std::vector<uint8_t>* jpeg, QSize* size) {
    SnapshotCapture capture;
    if (!CaptureSnapshot(engine, &capture)) return false;
    Picture picture = std::move(capture.picture);
    while (EncodeSnapshotJpeg(picture, jpeg)) {
        if (jpeg->size() <= kPictureLimit || picture.width < 64) {
            *size = QSize(picture.width, picture.height);
            return jpeg->size() <= kPictureLimit;
        }
        // Three quarters of each side, by picking pixels: plenty for a library thumbnail.
        Picture smaller;
        smaller.width = picture.width * 3 / 4;
        smaller.height = picture.height * 3 / 4;
        smaller.pixels.resize(static_cast<std::size_t>(smaller.width) * smaller.height);
        for (int y = 0; y < smaller.height; ++y) {
            for (int x = 0; x < smaller.width; ++x) {
                smaller.pixels[static_cast<std::size_t>(y) * smaller.width + x] =
                    picture.pixels[static_cast<std::size_t>(y * 4 / 3) * picture.width + x * 4 / 3];
            }
        }
        picture = std::move(smaller);
    }
    return false;
}

QPixmap ScaledPicture(const std::vector<uint8_t>& jpeg, int width, int height) {
    QImage image;
    if (!image.loadFromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPEG")) return {};
    return QPixmap::fromImage(
        image.scaled(width, height, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

// The other library pages share the window's page stack with this one.
template <typename Page>
Page* Sibling(QWidget* page) {
    QWidget* parent = page->parentWidget();
    if (parent == nullptr) return nullptr;
    for (QObject* child : parent->children()) {
        if (auto* found = dynamic_cast<Page*>(child)) return found;
    }
    return nullptr;
}

class LibraryPage;

// ============================================================================================
// Info
// ============================================================================================

class InfoPage final : public ConfigPage {
  public:
    InfoPage(ConfigContext& context, QWidget* parent)
        : ConfigPage(context, QStringLiteral("Info"), kNoTab | kTallArea, parent) {
        setObjectName(QStringLiteral("page2020"));
        Build();
    }

    void Load() override {
        // The block the window opened with: while it still shows, the stored library titles
        // stay as they are.
        if (!m_loaded) m_openedWith = BareText(Context().Settings());
        m_loaded = true;
    }

    void Activated(int previous) override {
        if (previous >= 0 && previous != Context().IndexOf(this)) m_back = previous;
        if (m_item) ShowTexts();
    }

    // The saver shows a library preset's title, author and location while it runs that
    // preset: stored when the preview shows the item picked here, emptied when it shows
    // anything else.
    void StoreOptions() override {
        ConfigStore& store = Context().Store();
        const std::u16string shown = BareText(Context().Settings());
        if (m_picked && !shown.empty() && shown == m_picked->preset) {
            kConfigFromWeb.Write(store, m_picked->title);
            kConfigFromWebA.Write(store, m_picked->author);
            kConfigFromWebL.Write(store, m_picked->location);
            return;
        }
        if (!m_picked && shown == m_openedWith) return;
        for (const auto* value : {&kConfigFromWeb, &kConfigFromWebA, &kConfigFromWebL}) {
            if (!value->Read(store).empty()) value->Write(store, u"");
        }
    }

    void ShowItem(const LibraryItemRef& item) {
        m_item = item;
        ++m_serial;
        m_picture->clear();
        m_picture->setText(QStringLiteral("(no picture)"));
        ShowTexts();
        if (!m_detailed.contains(item->id) || ItemNeedsDetails(*item)) FetchDetails();
        // Asked for even when the item names no picture size: the size is only what the sharer
        // said, the server knows whether it holds a picture.
        FetchPicture();
    }

  private:
    struct Picked {
        std::u16string preset;
        std::u16string title;
        std::u16string author;
        std::u16string location;
    };

    void Build() {
        auto* layout = new QVBoxLayout(this);
        auto* group =
            Named(new QGroupBox(QStringLiteral("Shared Favorite Details"), this), "groupInfo");
        layout->addWidget(group);
        auto* column = new QVBoxLayout(group);

        m_title = NoteLabel("infoTitle", group);
        QFont big = m_title->font();
        big.setPointSizeF(big.pointSizeF() * 1.5);
        big.setBold(true);
        m_title->setFont(big);
        m_byline = NoteLabel("infoAuthor", group);
        m_backButton = PageButton(QStringLiteral("&Back to Library"), "backToLibrary",
                                  QStringLiteral("Return to the list of shared favorites"), group);
        auto* titleRow = new QHBoxLayout;
        titleRow->addWidget(m_title, 1);
        titleRow->addWidget(m_backButton, 0, Qt::AlignTop);
        column->addLayout(titleRow);
        column->addWidget(m_byline);
        m_picture = Named(new QLabel(group), "infoPicture");
        m_picture->setFixedSize(kInfoPictureWidth, kInfoPictureHeight);
        m_picture->setAlignment(Qt::AlignCenter);
        m_picture->setStyleSheet(
            QStringLiteral("QLabel { background: rgba(0, 0, 0, 60); border-radius: 4px; }"));
        column->addWidget(m_picture, 0, Qt::AlignHCenter);
        auto* counts = new QHBoxLayout;
        m_since = NoteLabel("infoSince", group);
        m_downloads = NoteLabel("infoDownloads", group);
        m_downloads->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        counts->addWidget(m_since, 1);
        counts->addWidget(m_downloads, 1);
        column->addLayout(counts);

        m_note = NoteLabel("infoNote", group);
        column->addWidget(m_note);

        auto* form = new QFormLayout;
        m_form = form;
        m_keywords = Named(new QLineEdit(group), "infoKeywords");
        m_keywords->setMaxLength(4000);
        m_description = Named(new QPlainTextEdit(group), "infoDescription");
        m_description->setMinimumHeight(60);
        auto* keywordsLabel = new QLabel(QStringLiteral("&Keywords:"), group);
        keywordsLabel->setBuddy(m_keywords);
        auto* descriptionLabel = new QLabel(QStringLiteral("&Description:"), group);
        descriptionLabel->setBuddy(m_description);
        form->addRow(keywordsLabel, m_keywords);
        form->addRow(descriptionLabel, m_description);
        column->addLayout(form, 3);
        column->addStretch(1);

        m_status = NoteLabel("infoStatus", group);
        column->addWidget(m_status);

        auto* buttons = new QHBoxLayout;
        m_add =
            PageButton(QStringLiteral("&Add to Favorites"), "addToFavorites",
                       QStringLiteral("Keep this shared favorite among your own favorites"), group);
        m_try = PageButton(QStringLiteral("&Try in Preview"), "tryInPreview",
                           QStringLiteral("Show this shared favorite in the preview"), group);
        m_update = PageButton(QStringLiteral("&Update Information"), "updateInfo",
                              QStringLiteral("Send the keywords and description above to the "
                                             "Ravar Idizovu"),
                              group);
        m_withdraw = PageButton(QStringLiteral("&Withdraw"), "withdraw",
                                QStringLiteral("Stop sharing this favorite"), group);
        buttons->addWidget(m_add);
        buttons->addWidget(m_try);
        buttons->addStretch(1);
        buttons->addWidget(m_update);
        buttons->addWidget(m_withdraw);
        column->addLayout(buttons);

        connect(m_add, &QPushButton::clicked, this, [this] { AddClicked(); });
        connect(m_try, &QPushButton::clicked, this, [this] { TryClicked(); });
        connect(m_update, &QPushButton::clicked, this, [this] { UpdateClicked(); });
        connect(m_withdraw, &QPushButton::clicked, this, [this] { WithdrawClicked(); });
        connect(m_backButton, &QPushButton::clicked, this, [this] { BackClicked(); });
        ShowTexts();
    }

    bool Own() {
        if (!m_item || m_withdrawn.contains(m_item->id)) return false;
        const std::optional<LibraryAccount> account = Client(Context().Store()).KnownAccount();
        return account && account->number > 0 && m_item->owner == account->number;
    }

    bool Usable() const {
        return m_item && m_item->slot.record.Valid != 0 && !ItemNeedsDetails(*m_item);
    }

    void ShowTexts() {
        const bool have = m_item != nullptr;
        m_title->setText(have ? FromU16(m_item->title) : QString());
        if (have) {
            const QString location = FromU16(m_item->slot.record.Location);
            m_byline->setText(
                location.isEmpty()
                    ? QStringLiteral("by %1").arg(FromU16(m_item->author))
                    : QStringLiteral("by %1 (%2)").arg(FromU16(m_item->author), location));
            m_since->setText(FromU16(SharingSinceText(*m_item)));
            m_downloads->setText(FromU16(DownloadsText(*m_item)));
            if (m_withdrawn.contains(m_item->id)) {
                m_note->setText(FromU16(kWithdrawnText));
            } else if (m_updated.contains(m_item->id)) {
                m_note->setText(FromU16(kUpdatedText));
            } else {
                const std::optional<LibraryAccount> account =
                    Client(Context().Store()).KnownAccount();
                const ItemRelation relation =
                    RelateItem(Context().Store(), *m_item,
                               account ? std::optional(account->number) : std::nullopt);
                m_note->setText(FromU16(ItemNoteText(*m_item, relation, kVersionText)));
            }
            if (!m_keywords->isModified()) m_keywords->setText(FromU16(m_item->slot.keywords));
            const QString description =
                m_item->slot.description ? FromU16(*m_item->slot.description) : QString();
            if (m_description->toPlainText() != description &&
                !m_description->document()->isModified()) {
                m_description->setPlainText(description);
            }
        } else {
            m_byline->clear();
            m_since->clear();
            m_downloads->clear();
            m_note->setText(QStringLiteral("Choose a shared favorite on the Library page."));
            m_keywords->clear();
            m_description->clear();
        }
        UpdateButtons();
    }

    void UpdateButtons() {
        const bool idle = m_busy == 0;
        const bool own = Own();
        m_add->setEnabled(idle && Usable());
        m_try->setEnabled(Usable());
        m_update->setVisible(own);
        m_withdraw->setVisible(own);
        m_update->setEnabled(idle && own);
        m_withdraw->setEnabled(idle && own);
        m_keywords->setReadOnly(!own);
        m_description->setReadOnly(!own);
        // Someone else's empty texts are not worth a box; the owner may fill them in.
        m_form->setRowVisible(m_keywords, own || !m_keywords->text().isEmpty());
        m_form->setRowVisible(m_description, own || !m_description->toPlainText().isEmpty());
    }

    void Busy(int change, const QString& note) {
        m_busy += change;
        m_status->setText(note);
        UpdateButtons();
    }

    void FetchDetails() {
        const LibraryItemRef item = m_item;
        const uint64_t serial = m_serial;
        Busy(+1, kBusyNote);
        const int32_t id = item->id;
        RunLibraryWork<std::optional<std::u16string>>(
            m_requests, this, Client(Context().Store()),
            [id](const LibraryClient& client) { return client.Post(ItemQuery(id)); },
            [this, item, serial](std::optional<std::u16string> answer) {
                const bool applied = ApplyItemDetails(*item, answer);
                if (applied) m_detailed.insert(item->id);
                --m_busy;
                if (serial != m_serial) {
                    UpdateButtons();
                    return;
                }
                m_status->setText(applied ? QString()
                                          : QStringLiteral("The details of this favorite could "
                                                           "not be fetched.  Check internet "
                                                           "connection or try again later."));
                ShowTexts();
            });
    }

    void FetchPicture() {
        const uint64_t serial = m_serial;
        const int32_t id = m_item->id;
        RunLibraryWork<std::optional<std::vector<uint8_t>>>(
            m_requests, this, Client(Context().Store()),
            [id](const LibraryClient& client) { return FetchLibraryPicture(id, client); },
            [this, serial](std::optional<std::vector<uint8_t>> jpeg) {
                if (serial != m_serial || !jpeg) return;
                const QPixmap picture = ScaledPicture(*jpeg, kInfoPictureWidth, kInfoPictureHeight);
                if (!picture.isNull()) m_picture->setPixmap(picture);
            });
    }

    void AddClicked() {
        if (!Usable()) return;
        const LibraryItemRef item = m_item;
        if (!AskYesNo(Context().Window(), kAddCaption, FromU16(AddQuestionText(*item)))) return;
        PresetRecord record = item->slot.record;
        record.Origin = 2;
        const std::u16string name = item->title.empty() ? record.Name : item->title;
        const std::u16string* drawing =
            record.Style == kStyleDraw && item->slot.drawing ? &*item->slot.drawing : nullptr;
        const AddFavoriteResult added =
            AddFavorite(Context().Store(), name, record, drawing, Context().Questions());
        if (added.outcome == AddOutcome::NoRoom) {
            QMessageBox::warning(Context().Window(), FromU16(kAddCaption),
                                 QStringLiteral("There is no room for another favorite."));
            return;
        }
        if (added.outcome == AddOutcome::WriteFailed) {
            QMessageBox::warning(Context().Window(), FromU16(kAddCaption),
                                 QStringLiteral("The favorite could not be stored."));
            return;
        }
        if (added.outcome != AddOutcome::Added && added.outcome != AddOutcome::Replaced) return;
        Context().FavoritesChanged();
        ShowTexts();
        // The download counts once the favorite is kept; nothing to tell the user either way.
        const int32_t id = item->id;
        RunLibraryWork<bool>(
            m_requests, this, Client(Context().Store()),
            [id](const LibraryClient& client) {
                LibraryItem counted;
                counted.id = id;
                return CountDownload(counted, client);
            },
            [](bool) {});
    }

    void TryClicked() {
        if (!Usable()) return;
        const PatternSlot& slot = m_item->slot;
        m_picked =
            Picked{BareText(slot.record), m_item->title, m_item->author, slot.record.Location};
        Context().ShowPreset(slot.record, slot.record.Style == kStyleDraw
                                              ? slot.drawing
                                              : std::optional<std::u16string>());
    }

    void UpdateClicked() {
        if (!Own() || !Usable()) return;
        const LibraryItemRef item = m_item;
        PatternSlot slot = item->slot;
        slot.record.Name = item->title;
        slot.record.Author = item->author;
        slot.keywords = m_keywords->text().toStdU16String();
        slot.description = m_description->toPlainText().toStdU16String();
        Busy(+1, kBusyNote);
        RunLibraryWork<LibraryResult>(
            m_requests, this, Client(Context().Store()),
            [slot, id = item->id](const LibraryClient& client) {
                return UpdateSharedSlot(slot, id, client);
            },
            [this, item, slot](LibraryResult result) {
                Busy(-1, QString());
                if (!result.ok) {
                    ShowOops(Context().Window(), FromU16(kUpdateFailedText));
                    return;
                }
                item->slot.keywords = slot.keywords;
                item->slot.description = slot.description;
                m_updated.insert(item->id);
                m_keywords->setModified(false);
                m_description->document()->setModified(false);
                if (item == m_item) ShowTexts();
            });
    }

    void WithdrawClicked();

    void BackClicked();

    QLabel* m_title = nullptr;
    QLabel* m_byline = nullptr;
    QLabel* m_since = nullptr;
    QLabel* m_downloads = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_note = nullptr;
    QFormLayout* m_form = nullptr;
    QLabel* m_status = nullptr;
    QLineEdit* m_keywords = nullptr;
    QPlainTextEdit* m_description = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_try = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_withdraw = nullptr;
    QPushButton* m_backButton = nullptr;

    LibraryItemRef m_item;
    uint64_t m_serial = 0;  // which ShowItem an answer belongs to
    int m_busy = 0;         // requests of this page that change something, in flight
    int m_back = -1;
    bool m_loaded = false;
    std::u16string m_openedWith;
    std::optional<Picked> m_picked;
    std::set<int32_t> m_detailed;   // items whose details came
    std::set<int32_t> m_updated;    // the user's items updated in this window
    std::set<int32_t> m_withdrawn;  // ... and withdrawn
    // Last: its requests are cancelled and joined before anything above goes.
    HttpRequests m_requests;
};

// ============================================================================================
// Library
// ============================================================================================

class LibraryPage final : public ConfigPage {
  public:
    LibraryPage(ConfigContext& context, QWidget* parent)
        : ConfigPage(context, QStringLiteral("Library"), kTallArea | kNoCollectOnPreview, parent) {
        setObjectName(QStringLiteral("page2019"));
        Build();
    }

    void Load() override {}

    // The first visit lists everything, newest first; later ones keep the list.
    void Activated(int) override {
        if (m_listedOnce) return;
        m_listedOnce = true;
        AllClicked();
    }

    void EnterPressed(QLineEdit* edit) override {
        if (edit == m_search) SearchClicked();
    }

    void ItemWithdrawn(int32_t id) {
        for (std::size_t i = 0; i < m_list.items.size(); ++i) {
            if (m_list.items[i]->id != id) continue;
            m_list.items.erase(m_list.items.begin() + static_cast<std::ptrdiff_t>(i));
            FillRows();
            return;
        }
    }

  private:
    enum class Kind { All, Find, Mine };

    void Build() {
        auto* layout = new QVBoxLayout(this);
        auto* group = Named(new QGroupBox(QStringLiteral("Ravar Idizovu"), this), "groupLibrary");
        layout->addWidget(group);
        auto* column = new QVBoxLayout(group);

        auto* searchRow = new QHBoxLayout;
        m_search = Named(new QLineEdit(group), "searchEdit");
        m_search->setMaxLength(static_cast<int>(kFindTextMax));
        m_search->setPlaceholderText(QStringLiteral("title or keywords"));
        m_search->setClearButtonEnabled(true);
        auto* findLabel = new QLabel(QStringLiteral("&Find:"), group);
        findLabel->setBuddy(m_search);
        m_searchButton =
            PageButton(QStringLiteral("&Search"), "searchButton",
                       QStringLiteral("List the shared favorites whose title or keywords hold "
                                      "this text (all of them when it is empty)"),
                       group);
        searchRow->addWidget(findLabel);
        searchRow->addWidget(m_search, 1);
        searchRow->addWidget(m_searchButton);
        column->addLayout(searchRow);

        auto* choiceRow = new QHBoxLayout;
        m_all = Named(new QCheckBox(QStringLiteral("&All"), group), "allCheck");
        m_all->setToolTip(QStringLiteral("List every shared favorite"));
        m_mine = PageButton(QStringLiteral("&Mine!"), "mineButton",
                            QStringLiteral("List the favorites you share"), group);
        m_sort = Named(new QComboBox(group), "sortChoice");
        m_sort->addItem(QStringLiteral("Newest"), kSortNewest);
        m_sort->addItem(QStringLiteral("Most popular"), kSortPopular);
        m_sort->setToolTip(QStringLiteral("The order of the list"));
        auto* sortLabel = new QLabel(QStringLiteral("So&rt:"), group);
        sortLabel->setBuddy(m_sort);
        choiceRow->addWidget(m_all);
        choiceRow->addWidget(m_mine);
        choiceRow->addStretch(1);
        choiceRow->addWidget(sortLabel);
        choiceRow->addWidget(m_sort);
        column->addLayout(choiceRow);

        m_rows = Named(new QTreeWidget(group), "libraryList");
        m_rows->setAccessibleName(QStringLiteral("Shared favorites"));
        m_rows->setColumnCount(4);
        m_rows->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Author"),
                                 QStringLiteral("Downloads"), QStringLiteral("Date")});
        m_rows->setRootIsDecorated(false);
        m_rows->setUniformRowHeights(true);
        m_rows->setAlternatingRowColors(true);
        m_rows->setSelectionMode(QAbstractItemView::SingleSelection);
        m_rows->setMinimumHeight(160);
        QHeaderView* header = m_rows->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
        header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
        header->setSectionResizeMode(3, QHeaderView::ResizeToContents);
        column->addWidget(m_rows, 1);

        auto* bottom = new QHBoxLayout;
        m_status = NoteLabel("libraryStatus", group);
        m_details =
            PageButton(DetailsButtonText(false), "showDetails",
                       QStringLiteral("Show everything about the selected favorite"), group);
        bottom->addWidget(m_status, 1);
        bottom->addWidget(m_details, 0, Qt::AlignTop);
        column->addLayout(bottom);

        connect(m_searchButton, &QPushButton::clicked, this, [this] { SearchClicked(); });
        connect(m_all, &QCheckBox::clicked, this, [this](bool on) {
            if (on) AllClicked();
        });
        connect(m_mine, &QPushButton::clicked, this, [this] { MineClicked(); });
        connect(m_sort, &QComboBox::activated, this, [this] { Send(); });
        connect(m_rows, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
        connect(m_rows, &QTreeWidget::itemDoubleClicked, this, [this] { DetailsClicked(); });
        connect(m_details, &QPushButton::clicked, this, [this] { DetailsClicked(); });
        UpdateButtons();
    }

    std::optional<int32_t> AccountNumber() {
        const std::optional<LibraryAccount> account = Client(Context().Store()).KnownAccount();
        if (!account) return std::nullopt;
        return account->number;
    }

    void SearchClicked() {
        const QString text = m_search->text().trimmed();
        if (text.isEmpty()) {
            AllClicked();
            return;
        }
        m_kind = Kind::Find;
        m_findText = text.toStdU16String();
        m_all->setChecked(false);
        Send();
    }

    void AllClicked() {
        m_kind = Kind::All;
        m_all->setChecked(true);
        Send();
    }

    void MineClicked() {
        m_kind = Kind::Mine;
        m_all->setChecked(false);
        Send();
    }

    void Send() {
        const int sort = m_sort->currentData().toInt();
        std::u16string query;
        switch (m_kind) {
            case Kind::All:
                query = ListQuery(0, sort);
                break;
            case Kind::Find:
                query = FindQuery(m_findText, sort);
                break;
            case Kind::Mine: {
                const std::optional<int32_t> account = AccountNumber();
                if (!account) {
                    // Without an account nothing can have been shared: no need to ask.
                    ++m_serial;
                    SetBusy(false);
                    m_list.items.clear();
                    FillRows();
                    m_status->setText(
                        QStringLiteral("You have not shared any favorites yet.  Share one on "
                                       "the Share page."));
                    return;
                }
                query = ListQuery(*account, sort);
                break;
            }
        }
        const uint64_t serial = ++m_serial;
        SetBusy(true);
        RunLibraryWork<std::optional<LibraryList>>(
            m_requests, this, Client(Context().Store()),
            [query](const LibraryClient& client) -> std::optional<LibraryList> {
                LibraryList list;
                if (!FetchLibraryList(list, query, client)) return std::nullopt;
                return list;
            },
            [this, serial](std::optional<LibraryList> list) {
                if (serial != m_serial) return;  // a newer request replaced this one
                SetBusy(false);
                m_list.items.clear();
                if (list) m_list = std::move(*list);
                FillRows();
                if (!list) {
                    m_status->setText(kNoAnswerNote);
                } else if (m_list.items.empty()) {
                    m_status->setText(m_kind == Kind::Mine
                                          ? QStringLiteral("You have not shared any favorites "
                                                           "yet.")
                                          : QStringLiteral("Nothing found."));
                } else {
                    m_status->setText(
                        m_list.items.size() == 1
                            ? QStringLiteral("1 shared favorite.")
                            : QStringLiteral("%1 shared favorites.").arg(m_list.items.size()));
                }
            });
    }

    void SetBusy(bool busy) {
        m_busy = busy;
        if (busy) m_status->setText(kBusyNote);
        m_searchButton->setEnabled(!busy);
        m_all->setEnabled(!busy);
        m_mine->setEnabled(!busy);
        m_sort->setEnabled(!busy);
        m_rows->setEnabled(!busy);
        UpdateButtons();
    }

    void FillRows() {
        const std::optional<int32_t> account = AccountNumber();
        m_rows->clear();
        for (std::size_t i = 0; i < m_list.items.size(); ++i) {
            LibraryItem& item = *m_list.items[i];
            // The user's own items are theirs to update and withdraw.
            if (account && item.owner == *account) item.slot.record.Origin = 1;
            item.listRow = static_cast<int32_t>(i);
            auto* row = new QTreeWidgetItem(m_rows);
            row->setText(0, FromU16(item.title));
            row->setText(1, FromU16(item.author));
            row->setData(2, Qt::DisplayRole, item.downloads);
            row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
            row->setText(3, FromU16(item.date));
            row->setData(0, Qt::UserRole, static_cast<int>(i));
        }
        // The first row is ready for its details.
        if (m_rows->topLevelItemCount() > 0) m_rows->setCurrentItem(m_rows->topLevelItem(0));
        UpdateButtons();
    }

    LibraryItemRef Selected() const {
        const QList<QTreeWidgetItem*> rows = m_rows->selectedItems();
        if (rows.isEmpty()) return nullptr;
        const int index = rows.front()->data(0, Qt::UserRole).toInt();
        if (index < 0 || static_cast<std::size_t>(index) >= m_list.items.size()) return nullptr;
        return m_list.items[static_cast<std::size_t>(index)];
    }

    void UpdateButtons() {
        const LibraryItemRef item = Selected();
        const std::optional<int32_t> account = AccountNumber();
        m_details->setText(DetailsButtonText(item && account && item->owner == *account));
        m_details->setEnabled(!m_busy && item != nullptr);
    }

    void DetailsClicked() {
        const LibraryItemRef item = Selected();
        InfoPage* info = Sibling<InfoPage>(this);
        if (!item || info == nullptr || m_busy) return;
        info->ShowItem(item);
        const int index = Context().IndexOf(info);
        if (index >= 0) Context().ShowPage(index);
    }

    QLineEdit* m_search = nullptr;
    QPushButton* m_searchButton = nullptr;
    QCheckBox* m_all = nullptr;
    QPushButton* m_mine = nullptr;
    QComboBox* m_sort = nullptr;
    QTreeWidget* m_rows = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_details = nullptr;

    LibraryList m_list;
    Kind m_kind = Kind::All;
    std::u16string m_findText;
    uint64_t m_serial = 0;
    bool m_busy = false;
    bool m_listedOnce = false;
    HttpRequests m_requests;  // last: cancelled and joined first
};

void InfoPage::BackClicked() {
    const int back = m_back >= 0 ? m_back : Context().IndexOf(Sibling<LibraryPage>(this));
    if (back >= 0) Context().ShowPage(back);
}

void InfoPage::WithdrawClicked() {
    if (!Own()) return;
    if (!AskYesNo(Context().Window(), kWithdrawCaption, FromU16(kWithdrawQuestion))) return;
    const LibraryItemRef item = m_item;
    Busy(+1, kBusyNote);
    RunLibraryWork<LibraryResult>(
        m_requests, this, Client(Context().Store()),
        [id = item->id](const LibraryClient& client) { return WithdrawItem(id, client); },
        [this, item](LibraryResult result) {
            Busy(-1, QString());
            if (!result.ok) {
                ShowOops(Context().Window(), FromU16(kUpdateFailedText));
                return;
            }
            m_withdrawn.insert(item->id);
            if (LibraryPage* library = Sibling<LibraryPage>(this)) library->ItemWithdrawn(item->id);
            if (item == m_item) ShowTexts();
        });
}

// ============================================================================================
// Share
// ============================================================================================

class SharePage final : public ConfigPage {
  public:
    SharePage(ConfigContext& context, QWidget* parent)
        : ConfigPage(context, QStringLiteral("Share"), kTallArea | kNoCollectOnPreview, parent) {
        setObjectName(QStringLiteral("page2010"));
        Build();
    }

    // The window shows another preset: the list follows the favorites, and the fields follow
    // when they showed the current settings.
    void Load() override {
        if (!m_filled) return;
        FillFavorites();
        if (m_chosen == kCurrentSettingsEntry) Choose(kCurrentSettingsEntry);
    }

    void Activated(int) override {
        FillFavorites();
        if (!m_filled || m_favorite->currentData().toInt() != m_chosen) {
            Choose(m_favorite->currentData().toInt());
        }
    }

  private:
    void Build() {
        auto* layout = new QVBoxLayout(this);
        auto* group =
            Named(new QGroupBox(QStringLiteral("Share Your Creation"), this), "groupShare");
        layout->addWidget(group);
        auto* column = new QVBoxLayout(group);
        auto* intro = NoteLabel("shareIntro", group);
        intro->setText(
            QStringLiteral("Share one of your favorites with everyone in the Ravar "
                           "Idizovu, with a screenshot of the preview."));
        column->addWidget(intro);

        auto* form = new QFormLayout;
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        m_favorite = Named(new QComboBox(group), "shareFavorite");
        m_favorite->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        m_favorite->setMinimumContentsLength(20);
        m_title = Named(new QLineEdit(group), "titleEdit");
        m_title->setMaxLength(static_cast<int>(kItemTitleMax));
        m_keywords = Named(new QLineEdit(group), "keywordsEdit");
        m_keywords->setMaxLength(4000);
        m_nickname = Named(new QLineEdit(group), "nicknameEdit");
        m_nickname->setMaxLength(static_cast<int>(kItemAuthorMax));
        m_location = Named(new QLineEdit(group), "locationEdit");
        m_location->setMaxLength(static_cast<int>(kPresetTextMax));
        m_description = Named(new QPlainTextEdit(group), "descriptionEdit");
        m_description->setMinimumHeight(56);
        m_description->setTabChangesFocus(true);
        const auto row = [&](const QString& text, QWidget* field) {
            auto* label = new QLabel(text, group);
            label->setBuddy(field);
            form->addRow(label, field);
        };
        row(QStringLiteral("&Favorite:"), m_favorite);
        row(QStringLiteral("&Title:"), m_title);
        row(QStringLiteral("&Keywords:"), m_keywords);
        row(QStringLiteral("&Nickname:"), m_nickname);
        row(QStringLiteral("&Location:"), m_location);
        row(QStringLiteral("&Description:"), m_description);
        column->addLayout(form, 1);

        auto* pictureRow = new QHBoxLayout;
        m_thumb = Named(new QLabel(group), "screenshotThumb");
        m_thumb->setFixedSize(kThumbWidth, kThumbHeight);
        m_thumb->setAlignment(Qt::AlignCenter);
        m_thumb->setStyleSheet(
            QStringLiteral("QLabel { background: rgba(0, 0, 0, 60); border-radius: 4px; }"));
        m_thumb->setText(QStringLiteral("(no screenshot)"));
        m_snap = PageButton(QStringLiteral("Sna&p Screenshot"), "snapScreenshot",
                            QStringLiteral("Take the preview's picture as the screenshot that "
                                           "goes with this favorite"),
                            group);
        m_submit = PageButton(QStringLiteral("S&ubmit Now"), "submitNow",
                              QStringLiteral("Share this favorite in the Ravar Idizovu"), group);
        m_update =
            PageButton(QStringLiteral("Update &Information"), "updateShared",
                       QStringLiteral("Send the texts above for the favorite you share"), group);
        m_withdraw = PageButton(QStringLiteral("&Withdraw"), "withdrawShared",
                                QStringLiteral("Stop sharing this favorite"), group);
        auto* actions = new QGridLayout;
        actions->addWidget(m_snap, 0, 0, 1, 2);
        actions->addWidget(m_submit, 1, 0, 1, 2);
        actions->addWidget(m_update, 2, 0);
        actions->addWidget(m_withdraw, 2, 1);
        actions->setRowStretch(3, 1);
        pictureRow->addWidget(m_thumb, 0, Qt::AlignTop);
        pictureRow->addLayout(actions, 1);
        column->addLayout(pictureRow);

        m_status = NoteLabel("shareStatus", group);
        column->addWidget(m_status);

        connect(m_favorite, &QComboBox::activated, this,
                [this](int index) { Choose(m_favorite->itemData(index).toInt()); });
        connect(m_snap, &QPushButton::clicked, this, [this] { SnapClicked(); });
        connect(m_submit, &QPushButton::clicked, this, [this] { SubmitClicked(); });
        connect(m_update, &QPushButton::clicked, this, [this] { UpdateClicked(); });
        connect(m_withdraw, &QPushButton::clicked, this, [this] { WithdrawClicked(); });
        UpdateButtons();
    }

    // "[ Current Settings ]" and the favorites the user made; the one the window shows is
    // chosen the first time, the user's choice kept afterwards.
    void FillFavorites() {
        const QSignalBlocker blocker(m_favorite);
        const int keep = m_filled ? m_favorite->currentData().toInt() : INT32_MIN;
        m_favorite->clear();
        m_favorite->addItem(QStringLiteral("[ Current Settings ]"), kCurrentSettingsEntry);
        for (const FavoriteEntry& entry : ListFavorites(Context().Store())) {
            if (entry.record.Origin != 1) continue;
            m_favorite->addItem(FromU16(FavoriteDisplayName(entry.record)), entry.slot);
        }
        int index = m_favorite->findData(keep);
        if (index < 0) {
            std::u16string text;
            if (WritePresetString(Context().Settings(), true, text)) {
                index = m_favorite->findData(FindFavorite(Context().Store(), text));
            }
        }
        m_favorite->setCurrentIndex(index >= 0 ? index : 0);
    }

    void Choose(int entry) {
        m_filled = true;
        m_chosen = entry;
        ++m_serial;
        m_sharedId = -1;
        m_lookingUp = false;
        m_drawing.reset();
        if (entry == kCurrentSettingsEntry) {
            m_record = Context().Settings();
            m_drawing = Context().SettingsDrawing();
        } else {
            PatternSlot slot;
            if (!slot.LoadFromFavorite(Context().Store(), entry) || slot.record.Valid == 0) {
                m_record = Context().Settings();
            } else {
                m_record = slot.record;
                m_drawing = slot.drawing;
            }
        }
        const ShareFields fields = ShareFieldsFor(m_record, Context().Store());
        m_title->setText(fields.title);
        m_keywords->setText(fields.keywords);
        m_nickname->setText(fields.nickname);
        m_location->setText(fields.location);
        m_description->clear();
        m_status->clear();
        if (entry != kCurrentSettingsEntry) LookUpShared(fields.title);
        UpdateButtons();
    }

    // Does the user share a favorite of this title already? Asked only of an account that
    // exists: without one nothing is shared yet.
    void LookUpShared(const QString& title) {
        LibraryClient client = Client(Context().Store());
        if (!client.KnownAccount()) return;
        m_lookingUp = true;
        const uint64_t serial = m_serial;
        struct Found {
            LibraryResult result;
            std::optional<std::u16string> details;
        };
        RunLibraryWork<Found>(
            m_requests, this, client,
            [title = title.toStdU16String()](const LibraryClient& c) {
                Found found;
                found.result = FindSharedTitle(title, c);
                if (found.result.ok && found.result.id > 0) {
                    found.details = c.Post(ItemQuery(found.result.id));
                }
                return found;
            },
            [this, serial](Found found) {
                if (serial != m_serial) return;
                m_lookingUp = false;
                if (found.result.ok && found.result.id > 0) {
                    LibraryItem item;
                    item.id = found.result.id;
                    m_sharedId = found.result.id;
                    if (ApplyItemDetails(item, found.details)) {
                        // What the library holds is what the user sees and may update.
                        m_keywords->setText(FromU16(item.slot.keywords));
                        if (item.slot.description) {
                            m_description->setPlainText(FromU16(*item.slot.description));
                        }
                        if (!item.author.empty()) m_nickname->setText(FromU16(item.author));
                        if (!item.slot.record.Location.empty()) {
                            m_location->setText(FromU16(item.slot.record.Location));
                        }
                    }
                    m_status->setText(FromU16(ItemNoteText(item, ItemRelation::Own, kVersionText)));
                }
                UpdateButtons();
            });
        UpdateButtons();
    }

    void UpdateButtons() {
        const bool idle = m_busy == 0 && !m_lookingUp;
        const bool shared = m_sharedId > 0;
        m_submit->setEnabled(idle && m_filled && !shared);
        m_update->setEnabled(idle && shared);
        m_withdraw->setEnabled(idle && shared);
        m_favorite->setEnabled(m_busy == 0);
    }

    void Busy(int change, const QString& note) {
        m_busy += change;
        m_status->setText(note);
        UpdateButtons();
    }

    void SnapClicked() {
        std::vector<uint8_t> jpeg;
        QSize size;
        if (!SnapPreview(Context().Engine(), &jpeg, &size)) {
            m_status->setText(QStringLiteral("The preview has no picture to take yet."));
            return;
        }
        m_jpeg = std::move(jpeg);
        m_pictureSize = size;
        m_thumb->setPixmap(ScaledPicture(m_jpeg, kThumbWidth, kThumbHeight));
        m_status->setText(
            QStringLiteral("Screenshot taken (%1 x %2).").arg(size.width()).arg(size.height()));
    }

    PatternSlot SlotToSend() const {
        PatternSlot slot;
        slot.record = m_record;
        slot.record.Name = m_title->text().trimmed().toStdU16String();
        slot.record.Author = m_nickname->text().trimmed().toStdU16String();
        slot.record.Location = m_location->text().trimmed().toStdU16String();
        if (m_record.Style == kStyleDraw) slot.drawing = m_drawing;
        slot.keywords = m_keywords->text().trimmed().toStdU16String();
        const QString description = m_description->toPlainText().trimmed();
        if (!description.isEmpty()) slot.description = description.toStdU16String();
        if (!m_jpeg.empty()) {
            slot.pictureWidth = m_pictureSize.width();
            slot.pictureHeight = m_pictureSize.height();
        }
        return slot;
    }

    void SubmitClicked() {
        if (m_title->text().trimmed().isEmpty()) {
            m_status->setText(QStringLiteral("Please give your creation a title."));
            m_title->setFocus();
            return;
        }
        const PatternSlot slot = SlotToSend();
        const uint64_t serial = m_serial;
        Busy(+1, kBusyNote);
        RunLibraryWork<LibraryResult>(
            m_requests, this, Client(Context().Store()),
            [slot, jpeg = m_jpeg](const LibraryClient& client) {
                return ShareSlot(slot, jpeg, client);
            },
            [this, serial, title = m_title->text().trimmed()](LibraryResult result) {
                Busy(-1, QString());
                if (!result.ok || result.id <= 0) {
                    QString text = QStringLiteral(
                        "Problem sharing this favorite.  Check internet connection or try "
                        "again later.");
                    if (!result.status.empty()) {
                        text +=
                            QStringLiteral("\n\nThe Ravar Idizovu says: ") + FromU16(result.status);
                    }
                    ShowOops(Context().Window(), text);
                    return;
                }
                if (serial == m_serial) m_sharedId = result.id;
                m_status->setText(QStringLiteral("Thank you!  \"%1\" is shared in the Ravar "
                                                 "Idizovu now, as number %2.")
                                      .arg(title)
                                      .arg(result.id));
                UpdateButtons();
            });
    }

    void UpdateClicked() {
        if (m_sharedId <= 0) return;
        Busy(+1, kBusyNote);
        RunLibraryWork<LibraryResult>(
            m_requests, this, Client(Context().Store()),
            [slot = SlotToSend(), id = m_sharedId](const LibraryClient& client) {
                return UpdateSharedSlot(slot, id, client);
            },
            [this](LibraryResult result) {
                Busy(-1, result.ok ? FromU16(kUpdatedText) : QString());
                if (!result.ok) ShowOops(Context().Window(), FromU16(kUpdateFailedText));
            });
    }

    void WithdrawClicked() {
        if (m_sharedId <= 0) return;
        if (!AskYesNo(Context().Window(), kWithdrawCaption, FromU16(kWithdrawQuestion))) return;
        const uint64_t serial = m_serial;
        Busy(+1, kBusyNote);
        RunLibraryWork<LibraryResult>(
            m_requests, this, Client(Context().Store()),
            [id = m_sharedId](const LibraryClient& client) { return WithdrawItem(id, client); },
            [this, serial](LibraryResult result) {
                if (!result.ok) {
                    Busy(-1, QString());
                    ShowOops(Context().Window(), FromU16(kUpdateFailedText));
                    return;
                }
                if (serial == m_serial) m_sharedId = -1;
                Busy(-1, FromU16(kWithdrawnText));
            });
    }

    QComboBox* m_favorite = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_keywords = nullptr;
    QLineEdit* m_nickname = nullptr;
    QLineEdit* m_location = nullptr;
    QPlainTextEdit* m_description = nullptr;
    QLabel* m_thumb = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_snap = nullptr;
    QPushButton* m_submit = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_withdraw = nullptr;

    bool m_filled = false;
    int m_chosen = kCurrentSettingsEntry;
    PresetRecord m_record;
    std::optional<std::u16string> m_drawing;
    std::vector<uint8_t> m_jpeg;  // the screenshot, kept until the next one
    QSize m_pictureSize;
    int32_t m_sharedId = -1;  // the library's item of the chosen favorite, when shared
    uint64_t m_serial = 0;    // which choice an answer belongs to
    int m_busy = 0;
    bool m_lookingUp = false;
    HttpRequests m_requests;  // last: cancelled and joined first
};

}  // namespace

ShareFields ShareFieldsFor(const PresetRecord& record, ConfigStore& store) {
    ShareFields fields;
    const QString name = FromU16(record.Name).trimmed();
    fields.title =
        name.isEmpty() || name == QStringLiteral("*") ? QStringLiteral("Untitled") : name;
    if (record.Origin == 2) {
        fields.nickname = FromU16(record.Author);
        fields.location = FromU16(record.Location);
        return fields;
    }
    fields.keywords = QStringLiteral("Quovis Preset");
    const std::u16string author = kConfigAuthor.Read(store);
    const std::u16string location = kConfigLocation.Read(store);
    fields.nickname = FromU16(author.empty() ? kMakerAuthor : std::u16string_view(author));
    fields.location = FromU16(location.empty() ? kMakerLocation : std::u16string_view(location));
    return fields;
}

QString DetailsButtonText(bool own) {
    return own ? QStringLiteral("Show My &Details...") : QStringLiteral("Show More &Details...");
}

ConfigPage* CreateSharePage(ConfigContext& context, QWidget* parent) {
    return new SharePage(context, parent);
}

ConfigPage* CreateLibraryPage(ConfigContext& context, QWidget* parent) {
    return new LibraryPage(context, parent);
}

ConfigPage* CreateInfoPage(ConfigContext& context, QWidget* parent) {
    return new InfoPage(context, parent);
}

}  // namespace quovis
