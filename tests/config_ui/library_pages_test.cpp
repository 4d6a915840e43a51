// The Share, Library and Info pages in the whole window, against a small library server on
// the loopback interface: what each button sends, what the pages show of the answers, the
// questions they ask, and that a server that hardly answers never holds the window.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config_ui/config_dialog.h"
#include "config_ui/library_pages.h"
#include "config_ui/preview_widget.h"
#include "library/library_account.h"
#include "library/library_protocol.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "tests/config_ui/modal_answer.h"
#include "tests/config_ui/page_rig.h"

namespace quovis {
namespace {

using testing::AnswerNextModal;
using testing::ScopedEnv;
using testing::ScriptedQuestions;
using testing::TempDir;

constexpr int32_t kAccount = 1234567;
constexpr const char* kKey = "00112233445566778899aabbccddeeff";

std::string Item(int id, const std::string& title, int owner, const std::string& version,
                 const std::string& author, int snatches) {
    return "<item><id>" + std::to_string(id) + "</id><title>" + title +
           "</title><keywords>sky</keywords><seq>" + std::to_string(owner) + "</seq><snatches>" +
           std::to_string(snatches) + "</snatches><version>" + version +
           "</version><date>2026-12-01 10:00</date><author>" + author +
           "</author><size>0x0</size><audio>0</audio><preset>" + title +
           ",1,3,40000,2000,600,8,1200,1,0,0,1,0,0,0,0,60,1,0,1000,0,0,0,150,1,0,0,35,500,0,0,"
           "0,1000,500,0,500,0," +
           author + ",Lisbon,0,500,1,0,0,20,0</preset><desc>Made at dawn.</desc></item>";
}

// A library server that answers from a script and records every request it gets.
class FakeLibrary {
  public:
    struct Request {
        std::string body;
        std::string key;
    };

    FakeLibrary() {
        m_server.Post("/ShareQV.aspx", [this](const httplib::Request& in, httplib::Response& out) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests.push_back({in.body, in.get_header_value("X-Quovis-Key")});
            }
            if (slow) {
                // One byte a second, until the client goes.
                out.set_chunked_content_provider(
                    "text/plain", [this](size_t, httplib::DataSink& sink) {
                        for (int i = 0; i < 20 && !m_stopping; ++i) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(50));
                        }
                        const bool open = !m_stopping && sink.write("<", 1);
                        if (!open) clientLeft = true;
                        return open;
                    });
                return;
            }
            out.status = 200;
            out.set_content(Answer(in.body, out.status), "text/plain; charset=utf-8");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~FakeLibrary() {
        m_stopping = true;
        m_server.stop();
        m_thread.join();
    }

    std::u16string Base() const {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_port).toStdU16String();
    }
    std::vector<Request> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    bool Received(const std::string& body) {
        for (const Request& r : Requests()) {
            if (r.body == body) return true;
        }
        return false;
    }

    bool slow = false;
    bool failUpdates = false;
    std::atomic<bool> clientLeft{false};

  private:
    std::string Answer(const std::string& body, int& status) {
        const std::string ok = "<status>OK</status>";
        const std::string own = Item(9, "My Own", kAccount, "2.2.0001", "Me", 3);
        const std::string other = Item(5, "Blue Sky", 2222222, "2.1.4051", "Ana", 12);
        if (body == "account=new") {
            return ok + "<seq>" + std::to_string(kAccount) + "</seq><key>" + kKey + "</key>";
        }
        if (body.rfind("list=0&", 0) == 0) return ok + own + other;
        if (body.rfind("list=" + std::to_string(kAccount), 0) == 0) return ok + own;
        if (body.rfind("find=", 0) == 0) return ok + other;
        if (body == "item=5") return ok + other;
        if (body == "item=9") return ok + own;
        if (body.rfind("title=My Own&", 0) == 0) return ok + "<id>9</id>";
        if (body.rfind("title=", 0) == 0) return "<status>Not shared.</status>";
        if (body.rfind("[Quovis Settings]", 0) == 0) {
            if (body.find("[ID]") == std::string::npos) return ok + "<id>77</id>";
            if (!failUpdates) return ok;
            status = 503;
            return "<status>Busy.</status>";
        }
        return ok;  // snatch, delete
    }

    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::vector<Request> m_requests;
};

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i) QTest::qWait(10);
    return done();
}

// Presses `button` of the next message box and keeps its caption and text.
struct BoxAnswer {
    QString caption;
    QString text;
};
std::shared_ptr<BoxAnswer> AnswerBox(QMessageBox::StandardButton button) {
    auto seen = std::make_shared<BoxAnswer>();
    AnswerNextModal([seen, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seen->caption = box->windowTitle();
        seen->text = box->text();
        box->button(button)->click();
    });
    return seen;
}

class LibraryPagesTest : public ::testing::Test {
  protected:
    void Open(bool withAccount = true) {
        kConfigLibraryServer.Write(store, server.Base());
        if (withAccount) {
            const std::string base = ResolveLibraryBase(server.Base());
            ASSERT_TRUE(StoreLibraryAccount(store, base, {kAccount, kKey}));
        }
        ConfigDialogOptions options;
        options.listen = false;
        options.questions = &questions;
        dialog = std::make_unique<ConfigDialog>(store, options);
        dialog->show();
    }
    ConfigPage* Show(const char* pageName) {
        auto* page = dialog->findChild<ConfigPage*>(QLatin1String(pageName));
        EXPECT_NE(page, nullptr) << pageName;
        dialog->ShowPage(dialog->IndexOf(page));
        return page;
    }
    template <typename T>
    T* Find(const char* name) {
        T* widget = dialog->Page(dialog->CurrentPage())->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString Text(const char* label) { return Find<QLabel>(label)->text(); }
    int Rows() { return Find<QTreeWidget>("libraryList")->topLevelItemCount(); }
    void SelectRow(const QString& title) {
        auto* list = Find<QTreeWidget>("libraryList");
        const auto found = list->findItems(title, Qt::MatchExactly, 0);
        ASSERT_EQ(found.size(), 1);
        list->setCurrentItem(found.front());
    }
    // Opens the details of the row titled `title` and waits for them.
    void OpenDetails(const QString& title, const std::string& detailsBody) {
        Show("page2019");
        ASSERT_TRUE(WaitFor([&] { return Rows() == 2; }));
        SelectRow(title);
        Find<QPushButton>("showDetails")->click();
        ASSERT_EQ(dialog->Page(dialog->CurrentPage())->objectName(), QStringLiteral("page2020"));
        ASSERT_TRUE(WaitFor([&] {
            return server.Received(detailsBody) && Find<QPushButton>("addToFavorites")->isEnabled();
        }));
    }

    TempDir m_dir;
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path()};
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    ScopedEnv m_home{"HOME", m_dir.Path()};
    ConfigStore store{m_dir.DatabasePath()};
    ScriptedQuestions questions;
    FakeLibrary server;
    std::unique_ptr<ConfigDialog> dialog;
};

TEST_F(LibraryPagesTest, ListButtonsSendTheirQueriesAndFillTheList) {
    Open();
    Show("page2019");
    // The first visit lists everything, newest first.
    ASSERT_TRUE(WaitFor([&] { return Rows() == 2; }));
    EXPECT_TRUE(server.Received("list=0&sort=1"));
    EXPECT_TRUE(Find<QCheckBox>("allCheck")->isChecked());

    struct Step {
        std::function<void()> act;
        std::string body;
        int rows;
    };
    const Step steps[] = {
        {[&] {
             Find<QLineEdit>("searchEdit")->setText(QStringLiteral("blue sky"));
             Find<QPushButton>("searchButton")->click();
         },
         "find=blue sky&sort=1", 1},
        {[&] {
             Find<QComboBox>("sortChoice")->setCurrentIndex(1);
             Find<QPushButton>("mineButton")->click();
         },
         "list=1234567&sort=3", 1},
        {[&] {
             Find<QLineEdit>("searchEdit")->clear();
             Find<QPushButton>("searchButton")->click();
         },
         "list=0&sort=3", 2},
    };
    for (const Step& step : steps) {
        step.act();
        // Answered once the page takes requests again.
        EXPECT_TRUE(WaitFor([&] {
            return server.Received(step.body) && Rows() == step.rows &&
                   Find<QPushButton>("searchButton")->isEnabled();
        })) << step.body;
    }
    EXPECT_TRUE(Find<QCheckBox>("allCheck")->isChecked());

    // The user's own row offers the user's details; anyone else's, more details.
    SelectRow(QStringLiteral("My Own"));
    EXPECT_EQ(Find<QPushButton>("showDetails")->text(), DetailsButtonText(true));
    SelectRow(QStringLiteral("Blue Sky"));
    EXPECT_EQ(Find<QPushButton>("showDetails")->text(), DetailsButtonText(false));
    EXPECT_NE(DetailsButtonText(true), DetailsButtonText(false));
}

TEST_F(LibraryPagesTest, MineWithoutAnAccountAsksNobody) {
    Open(false);
    Show("page2019");
    ASSERT_TRUE(WaitFor([&] { return Rows() == 2; }));
    const std::size_t before = server.Requests().size();
    Find<QPushButton>("mineButton")->click();
    QTest::qWait(100);
    EXPECT_EQ(server.Requests().size(), before);
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(Text("libraryStatus").contains(QStringLiteral("not shared")));
}

TEST_F(LibraryPagesTest, AddingSomeoneElsesFavoriteAsksThenKeepsItAndCountsTheDownload) {
    Open();
    OpenDetails(QStringLiteral("Blue Sky"), "item=5");
    EXPECT_EQ(Text("infoSince"), QStringLiteral("Sharing since: 2026-12-01 10:00"));
    EXPECT_EQ(Text("infoDownloads"), QStringLiteral("Downloads: 12"));
    EXPECT_EQ(Text("infoNote"), QStringLiteral("\"Blue Sky\" was created by Ana (Lisbon).  If you "
                                               "like it, you may add this favorite to your "
                                               "collection."));
    EXPECT_FALSE(Find<QPushButton>("withdraw")->isVisible());

    const auto asked = AnswerBox(QMessageBox::Yes);
    Find<QPushButton>("addToFavorites")->click();
    EXPECT_EQ(asked->caption, QStringLiteral("Add a Favorite"));
    EXPECT_EQ(asked->text, QStringLiteral("Do you wish to add \"Blue Sky\" to your Favorites?"));
    bool kept = false;
    for (const FavoriteEntry& entry : ListFavorites(store)) {
        if (entry.record.Name == u"Blue Sky") kept = entry.record.Origin == 2;
    }
    EXPECT_TRUE(kept);
    EXPECT_TRUE(WaitFor([&] { return server.Received("snatch=5"); }));
    EXPECT_EQ(Text("infoNote"),
              QStringLiteral("You currently have \"Blue Sky\" by Ana (Lisbon) in your Favorites."));

    // Trying it in the preview makes it the library preset the saver names; OK stores that.
    Find<QPushButton>("tryInPreview")->click();
    EXPECT_EQ(dialog->Settings().Name, u"Blue Sky");
    if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
    dialog->accept();
    EXPECT_EQ(kConfigFromWeb.Read(store), u"Blue Sky");
    EXPECT_EQ(kConfigFromWebA.Read(store), u"Ana");
    EXPECT_EQ(kConfigFromWebL.Read(store), u"Lisbon");
}

TEST_F(LibraryPagesTest, OwnItemUpdateFailureSaysOopsAndWithdrawAsksReally) {
    Open();
    OpenDetails(QStringLiteral("My Own"), "item=9");
    EXPECT_EQ(Text("infoNote"), QStringLiteral("You are currently sharing this favorite!  You may "
                                               "also update information for it.  This pattern "
                                               "was created with a newer version of Quovis!"));

    server.failUpdates = true;
    const auto oops = AnswerBox(QMessageBox::Ok);
    Find<QPushButton>("updateInfo")->click();
    ASSERT_TRUE(WaitFor([&] { return !oops->caption.isEmpty(); }));
    EXPECT_EQ(oops->caption, QStringLiteral("Oops!"));
    EXPECT_EQ(oops->text, QStringLiteral("Problem updating Shared Library.  Check internet "
                                         "connection or try again later."));

    const auto really = AnswerBox(QMessageBox::Yes);
    Find<QPushButton>("withdraw")->click();
    EXPECT_EQ(really->caption, QStringLiteral("Really?"));
    EXPECT_EQ(really->text, QStringLiteral("Are you sure you want to remove this shared favorite "
                                           "from the Ravar Idizovu?"));
    ASSERT_TRUE(WaitFor([&] {
        return Text("infoNote") == QStringLiteral("This setting is no longer being shared.");
    }));
    bool keyed = false;
    for (const FakeLibrary::Request& r : server.Requests()) {
        if (r.body == "delete=9&u=1234567") keyed = r.key == kKey;
    }
    EXPECT_TRUE(keyed);
}

TEST_F(LibraryPagesTest, SubmitSendsTheLibraryFormWithTheScreenshotAndTheKey) {
    Open(false);
    Show("page2010");
    ASSERT_TRUE(WaitFor([&] { return dialog->Preview().FrameCount() > 2; }));
    Find<QLineEdit>("titleEdit")->setText(QStringLiteral("Dawn Glow"));
    Find<QPushButton>("snapScreenshot")->click();
    EXPECT_FALSE(Find<QLabel>("screenshotThumb")->pixmap().isNull());
    Find<QPushButton>("submitNow")->click();
    ASSERT_TRUE(WaitFor([&] { return Text("shareStatus").contains(QStringLiteral("77")); }));

    // The account was asked for on the way; the share carries its number and key.
    const std::vector<FakeLibrary::Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body, "account=new");
    const FakeLibrary::Request& share = requests[1];
    EXPECT_EQ(share.body.rfind("[Quovis Settings]\r\n", 0), 0u);
    EXPECT_NE(share.body.find("[Title]\r\nDawn Glow\r\n"), std::string::npos);
    EXPECT_NE(share.body.find("[Seq]\r\n1234567\r\n"), std::string::npos);
    EXPECT_NE(share.body.find("[JPG]\r\n"), std::string::npos);
    EXPECT_EQ(share.key, kKey);
    // Shared now: its information can be updated.
    EXPECT_FALSE(Find<QPushButton>("submitNow")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("updateShared")->isEnabled());
}

TEST_F(LibraryPagesTest, ChoosingAFavoriteAlreadySharedOffersUpdateAndWithdraw) {
    PresetRecord mine;
    ASSERT_TRUE(
        ReadPresetString(u"My Own,1,3,40000,2000,600,8,1200,1,0,0,1,0,0,0,0,60,1,0,1000", mine));
    mine.Origin = 1;
    Open();  // seeds the built-in favorites first
    ASSERT_GE(AddFavorite(store, u"My Own", mine, nullptr, questions).slot, 0);
    Show("page2010");
    auto* favorite = Find<QComboBox>("shareFavorite");
    const int index = favorite->findText(QStringLiteral("My Own *"));
    ASSERT_GE(index, 0);
    favorite->setCurrentIndex(index);
    emit favorite->activated(index);
    ASSERT_TRUE(WaitFor([&] { return Find<QPushButton>("withdrawShared")->isEnabled(); }));
    EXPECT_TRUE(server.Received("title=My Own&u=1234567"));
    EXPECT_TRUE(server.Received("item=9"));
    EXPECT_FALSE(Find<QPushButton>("submitNow")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>("nicknameEdit")->text(), QStringLiteral("Me"));
}

TEST_F(LibraryPagesTest, AServerThatHardlyAnswersNeverHoldsTheWindow) {
    server.slow = true;
    Open();
    Show("page2019");
    int ticks = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] { ++ticks; });
    beat.start(20);
    QTest::qWait(1500);
    // The window went on handling events while the request waited.
    EXPECT_GT(ticks, 5);
    EXPECT_FALSE(Find<QPushButton>("searchButton")->isEnabled());
    EXPECT_EQ(Rows(), 0);
    // Closing the window gives up the request.
    dialog.reset();
    EXPECT_TRUE(WaitFor([&] { return server.clientLeft.load(); }));
}

TEST(ShareFieldsTest, FieldsComeFromTheLibraryOrFromMyQuovis) {
    TempDir dir;
    ConfigStore store(dir.DatabasePath());
    PresetRecord received;
    received.Name = u"*";
    received.Origin = 2;
    received.Author = u"Ana";
    received.Location = u"Lisbon";
    ShareFields fields = ShareFieldsFor(received, store);
    EXPECT_EQ(fields.title, QStringLiteral("Untitled"));
    EXPECT_EQ(fields.nickname, QStringLiteral("Ana"));
    EXPECT_EQ(fields.location, QStringLiteral("Lisbon"));
    EXPECT_TRUE(fields.keywords.isEmpty());

    PresetRecord made = received;
    made.Name = u"Sunrise";
    made.Origin = 1;
    fields = ShareFieldsFor(made, store);
    EXPECT_EQ(fields.title, QStringLiteral("Sunrise"));
    EXPECT_EQ(fields.nickname, QStringLiteral("A Ferrowick Original"));
    EXPECT_EQ(fields.keywords, QStringLiteral("Quovis Preset"));
    kConfigAuthor.Write(store, u"Zed");
    kConfigLocation.Write(store, u"Oslo");
    fields = ShareFieldsFor(made, store);
    EXPECT_EQ(fields.nickname, QStringLiteral("Zed"));
    EXPECT_EQ(fields.location, QStringLiteral("Oslo"));
}

}  // namespace
}  // namespace quovis
