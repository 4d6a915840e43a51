// The option pages: the monitor and resolution lines, each option's way from its control to
// the store on OK (and only then), the clock layers, the slideshow selection, the audio page
// without a sound server, and the About page's personal details.
#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config_ui/config_page.h"
#include "config_ui/option_pages.h"
#include "config_ui/pages.h"
#include "modal_answer.h"
#include "page_rig.h"
#include "settings/config_values.h"
#include "settings/favorites.h"
#include "settings/pattern_selection.h"

namespace quovis {
namespace {

using testing::PageRig;

template <typename T>
T* Find(QWidget& page, const char* name) {
    T* child = page.findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// ---- Lines ----------------------------------------------------------------------------------

TEST(OptionLinesTest, MonitorLinesNumberEachMonitorAndEndWithAll) {
    struct Case {
        std::vector<ScreenSize> monitors;
        ScreenSize all;
        QStringList lines;
    };
    const Case cases[] = {
        {{{1920, 1080}}, {1920, 1080}, {"[1]  (1920 x 1080)", "[ALL]  (1920 x 1080)"}},
        {{{2560, 1440}, {1080, 1920}},
         {3640, 1920},
         {"[1]  (2560 x 1440)", "[2]  (1080 x 1920)", "[ALL]  (3640 x 1920)"}},
        {{}, {0, 0}, {"[ALL]  (0 x 0)"}},
    };
    for (const Case& c : cases) EXPECT_EQ(MonitorLines(c.monitors, c.all), c.lines);
}

TEST(OptionLinesTest, ResolutionLinesShowEachScaleWithTheCanvasItRenders) {
    const QStringList expected = {"100% (1920 x 1080)", "80% (1536 x 864)", "75% (1440 x 810)",
                                  "67% (1280 x 720)",   "50% (960 x 540)",  "40% (768 x 432)",
                                  "33% (640 x 360)",    "25% (480 x 270)"};
    EXPECT_EQ(ResolutionLines({1920, 1080}), expected);
}

TEST(OptionLinesTest, MonitorLineAndStoredChoiceAgreeWithHowTheSaverReadsThem) {
    struct Case {
        int prefMonitor;
        bool single;
        int monitors;
        int line;
    };
    const Case cases[] = {
        {0, true, 2, 0}, {1, true, 2, 1}, {1, false, 2, 2},  // not single: all
        {2, true, 2, 2},                                     // one past the last: all
        {7, true, 2, 0},                                     // gone: the first
        {0, true, 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MonitorLineFor(c.prefMonitor, c.single, c.monitors), c.line)
            << c.prefMonitor << " " << c.single << " " << c.monitors;
    }
    // Every line stands for values that select it again.
    for (int monitors = 1; monitors <= 3; ++monitors) {
        for (int line = 0; line <= monitors; ++line) {
            const MonitorChoice choice = MonitorChoiceFor(line, monitors);
            EXPECT_EQ(MonitorLineFor(choice.prefMonitor, choice.single, monitors), line);
            EXPECT_EQ(choice.single, line < monitors);
        }
    }
}

TEST(OptionLinesTest, SelectivitySliderRunsAgainstTheStoredQ) {
    EXPECT_EQ(AudioSyncQForSlider(50), 600);  // "Broad": the widest bands
    EXPECT_EQ(AudioSyncQForSlider(600), 50);  // "Pinpoint"
    EXPECT_GT(AudioSyncQForSlider(100), AudioSyncQForSlider(200));
    for (const int slider : {50, 123, 350, 600}) {
        EXPECT_EQ(SliderForAudioSyncQ(AudioSyncQForSlider(slider)), slider);
    }
    EXPECT_EQ(SliderForAudioSyncQ(5000), 50);  // out of range: the nearest end
}

// ---- Options page ----------------------------------------------------------------------------

class OptionsPageTest : public ::testing::Test {
  protected:
    OptionsPageTest() : page(CreateOptionsPage(rig, nullptr)) { page->Load(); }

    PageRig rig;
    std::unique_ptr<ConfigPage> page;
};

TEST_F(OptionsPageTest, EachOptionReachesTheStoreOnOkAndNotBefore) {
    ConfigStore& store = rig.Store();
    struct Case {
        const char* what;
        std::function<void(QWidget&)> change;
        const IntValue* value;
        int expected;
    };
    const auto pick = [](const char* name, int index) {
        return [name, index](QWidget& p) { Find<QComboBox>(p, name)->setCurrentIndex(index); };
    };
    const auto click = [](const char* name) {
        return [name](QWidget& p) { Find<QCheckBox>(p, name)->click(); };
    };
    const auto type = [](const char* name, const char* text) {
        return [name, text](QWidget& p) { Find<QLineEdit>(p, name)->setText(text); };
    };
    const Case cases[] = {
        {"resolution", pick("list1104", 5), &kConfigResolution, 5},
        {"transition", pick("list3102", 3), &kConfigFadeType, 3},
        {"output", pick("list3103", 2), &kConfigUseGDI, 2},
        {"accurate preview", click("check3012"), &kConfigAccuratePreview, 1},
        {"frame rate", type("edit999", "30"), &kConfigTargetFPS, 30},
        {"frame rate above the limit", type("edit999", "5000"), &kConfigTargetFPS, 1000},
        {"frame rate below the limit", type("edit999", "1"), &kConfigTargetFPS, 3},
        {"clock", click("check1102"), &kConfigClock, 1},
        {"zodiac", click("check1103"), &kConfigStyle, 1},
        {"titles", click("check3104"), &kConfigShowTitles, 0},
        {"messages", click("check1101"), &kConfigMessages, 1},
        {"auto save", click("check3106"), &kConfigAutoSave, 1},
    };
    for (const Case& c : cases) {
        PageRig freshRig;
        std::unique_ptr<ConfigPage> fresh(CreateOptionsPage(freshRig, nullptr));
        fresh->Load();
        c.change(*fresh);
        EXPECT_FALSE(c.value->IsStored(freshRig.Store())) << c.what << ": stored before OK";
        fresh->StoreOptions();
        EXPECT_EQ(c.value->Read(freshRig.Store()), c.expected) << c.what;
    }
    // Untouched options stay as stored (or absent, so the program keeps choosing them).
    page->StoreOptions();
    for (const IntValue* value : {&kConfigResolution, &kConfigTargetFPS, &kConfigClock,
                                  &kConfigPrefMonitor, &kConfigSnapshots}) {
        EXPECT_FALSE(value->IsStored(store)) << std::string(value->name.begin(), value->name.end());
    }
}

TEST_F(OptionsPageTest, StoredOptionsShowWhenThePageLoads) {
    PageRig other;
    kConfigResolution.Write(other.Store(), 6);
    kConfigFadeType.Write(other.Store(), 2);
    kConfigUseGDI.Write(other.Store(), 0);
    kConfigTargetFPS.Write(other.Store(), 75);
    kConfigClock.Write(other.Store(), 1);
    kConfigStyle.Write(other.Store(), 1);
    kConfigShowTitles.Write(other.Store(), 0);
    std::unique_ptr<ConfigPage> loaded(CreateOptionsPage(other, nullptr));
    loaded->Load();
    EXPECT_EQ(Find<QComboBox>(*loaded, "list1104")->currentIndex(), 6);
    EXPECT_EQ(Find<QComboBox>(*loaded, "list3102")->currentIndex(), 2);
    EXPECT_EQ(Find<QComboBox>(*loaded, "list3103")->currentIndex(), 0);
    EXPECT_EQ(Find<QLineEdit>(*loaded, "edit999")->text(), "75");
    EXPECT_FALSE(Find<QCheckBox>(*loaded, "check1102")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(*loaded, "check1103")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(*loaded, "check3104")->isChecked());
}

TEST_F(OptionsPageTest, ClockAndZodiacAreOneLayerAndShowInThePreview) {
    auto* clock = Find<QCheckBox>(*page, "check1102");
    auto* zodiac = Find<QCheckBox>(*page, "check1103");
    clock->click();
    EXPECT_TRUE(rig.Engine().Clock().on);
    EXPECT_EQ(rig.Engine().Clock().face, kClockFaceClock);
    zodiac->click();
    EXPECT_FALSE(clock->isChecked());
    EXPECT_EQ(rig.Engine().Clock().face, kClockFaceZodiac);
    clock->click();
    EXPECT_FALSE(zodiac->isChecked());
    EXPECT_EQ(rig.Engine().Clock().face, kClockFaceClock);
    clock->click();
    EXPECT_FALSE(rig.Engine().Clock().on);
    page->StoreOptions();
    EXPECT_EQ(kConfigClock.Read(rig.Store()), 0);
}

TEST_F(OptionsPageTest, ALaterLoadKeepsWhatTheUserChanged) {
    Find<QComboBox>(*page, "list1104")->setCurrentIndex(7);
    page->Load();  // a favorite was chosen: the preset pages reload, the options stay
    EXPECT_EQ(Find<QComboBox>(*page, "list1104")->currentIndex(), 7);
}

TEST_F(OptionsPageTest, EditedMessagesReachThePreviewAtOnce) {
    testing::AnswerNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Pop-up Messages");
        dialog->findChild<QPlainTextEdit*>("edit1017")->setPlainText("Good night");
        dialog->accept();
    });
    Find<QPushButton>(*page, "button1106")->click();
    EXPECT_EQ(rig.Engine().GetMessageText(), u"Good night");
}

TEST_F(OptionsPageTest, TheSavePathFollowsTheChosenFolder) {
    const std::string folder = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                               "/quovis-option-pages-shots";
    testing::AnswerNextModal([&folder](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("editFolder")->setText(QString::fromStdString(folder));
        dialog->findChild<QLineEdit*>("editPrefix")->setText("Night-");
        dialog->accept();
    });
    Find<QPushButton>(*page, "button3108")->click();
    EXPECT_TRUE(Find<QLabel>(*page, "labelSavePath")
                    ->text()
                    .endsWith(QString::fromStdString(folder) + "/Night-0001.jpg"));
}

// ---- Audio page ------------------------------------------------------------------------------

class AudioPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // No sound server: the page must say so, not wait for one.
        const char* old = std::getenv("PULSE_SERVER");
        if (old != nullptr) m_oldServer = old;
        setenv("PULSE_SERVER", "unix:/nonexistent/quovis-test/native", 1);
        page.reset(CreateAudioPage(rig, nullptr));
    }
    void TearDown() override {
        page.reset();
        if (m_oldServer.empty()) {
            unsetenv("PULSE_SERVER");
        } else {
            setenv("PULSE_SERVER", m_oldServer.c_str(), 1);
        }
    }

    PageRig rig;
    std::unique_ptr<ConfigPage> page;
    std::string m_oldServer;
};

TEST_F(AudioPageTest, SwitchAndSlidersReachTheStoreOnOk) {
    page->Load();
    EXPECT_TRUE(Find<QRadioButton>(*page, "radio1144")->isChecked());
    EXPECT_EQ(Find<QAbstractSlider>(*page, "slider1129")->value(),
              kAudioSyncSensitivityWindowDefault);
    Find<QRadioButton>(*page, "radio1143")->click();
    Find<QAbstractSlider>(*page, "slider1129")->setValue(900);
    Find<QAbstractSlider>(*page, "slider3130")->setValue(500);
    EXPECT_FALSE(kConfigAudioSync.IsStored(rig.Store()));
    page->StoreOptions();
    EXPECT_EQ(kConfigAudioSync.Read(rig.Store()), 1);
    EXPECT_EQ(kConfigAudioSyncSensitivity.Read(rig.Store()), 900);
    EXPECT_EQ(kConfigAudioSyncQ.Read(rig.Store()), AudioSyncQForSlider(500));
}

TEST_F(AudioPageTest, StoredQShowsOnTheSelectivitySlider) {
    kConfigAudioSyncQ.Write(rig.Store(), 150);
    kConfigAudioSyncSensitivity.Write(rig.Store(), 1100);
    page->Load();
    EXPECT_EQ(Find<QAbstractSlider>(*page, "slider3130")->value(), SliderForAudioSyncQ(150));
    EXPECT_EQ(Find<QAbstractSlider>(*page, "slider1129")->value(), 1100);
}

TEST_F(AudioPageTest, WithoutASoundServerThePageSaysWhyAndDoesNotBlock) {
    kConfigAudioSync.Write(rig.Store(), 1);
    page->Load();
    auto* status = Find<QLabel>(*page, "label3093");
    QElapsedTimer shown;
    shown.start();
    page->show();
    EXPECT_LT(shown.elapsed(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("Audio is not available:"), 15000);
    EXPECT_GT(status->text().size(), QString("Audio is not available: ").size());

    Find<QRadioButton>(*page, "radio1144")->click();
    EXPECT_EQ(status->text(), "Audio Sync is off.");
}

// ---- Slideshow page --------------------------------------------------------------------------

class SlideshowPageTest : public ::testing::Test {
  protected:
    SlideshowPageTest() {
        WriteFavorite(0, u"Zeta");
        WriteFavorite(1, u"alpha");
        kFavoritesSlot.Write(rig.Store(), 2, u"Empty");  // removed: not listed
        WriteFavorite(3, u"Mid");
        page.reset(CreateSlideshowPage(rig, nullptr));
    }

    void WriteFavorite(int slot, std::u16string_view name) {
        std::u16string text(name);
        text +=
            u",1,3,40000,2000,600,8,1200,1,0,0,1,0,0,0,0,60,1,0,1000,0,0,0,150,1,"
            u"0,0,35,500,0,0,0,1000,500,0,500,0,-,-,0,500,1,0,0,20,0";
        ASSERT_TRUE(kFavoritesSlot.Write(rig.Store(), slot, text));
    }

    QListWidget* List() { return Find<QListWidget>(*page, "list1075"); }

    QStringList Texts() {
        QStringList texts;
        for (int i = 0; i < List()->count(); ++i) texts << List()->item(i)->text();
        return texts;
    }

    void Select(const QStringList& texts) {
        List()->clearSelection();
        for (int i = 0; i < List()->count(); ++i) {
            if (texts.contains(List()->item(i)->text())) List()->item(i)->setSelected(true);
        }
    }

    QStringList Selected() {
        QStringList texts;
        for (int i = 0; i < List()->count(); ++i) {
            if (List()->item(i)->isSelected()) texts << List()->item(i)->text();
        }
        return texts;
    }

    PageRig rig;
    std::unique_ptr<ConfigPage> page;
};

TEST_F(SlideshowPageTest, ListsTheSourcesThenTheFavoritesByNameAllSelectedAtFirst) {
    page->Load();
    const QStringList expected = {"( Current Settings )",
                                  "( Ravar Idizovu - Newest )",
                                  "( Ravar Idizovu - Popular )",
                                  "( Ravar Idizovu - Random )",
                                  "alpha *",
                                  "Mid *",
                                  "Zeta *"};
    EXPECT_EQ(Texts(), expected);
    EXPECT_EQ(Selected(), expected);  // nothing stored means everything
    EXPECT_EQ(List()->selectionMode(), QAbstractItemView::MultiSelection);
}

TEST_F(SlideshowPageTest, SelectionIsStoredOnOkAndRestoredNextTime) {
    struct Case {
        QStringList selected;
        std::vector<int> favoriteSlots;
        int32_t bits;
    };
    const Case cases[] = {
        {{"( Current Settings )", "Mid *"}, {3}, kSourceCurrentSettings},
        {{"alpha *", "Zeta *", "( Ravar Idizovu - Popular )"}, {0, 1}, kSourceLibraryPopular},
        {{"( Ravar Idizovu - Newest )", "( Ravar Idizovu - Random )"},
         {},
         kSourceLibraryNewest | kSourceLibraryRandom},
    };
    for (const Case& c : cases) {
        page.reset(CreateSlideshowPage(rig, nullptr));
        page->Load();
        Select(c.selected);
        page->StoreOptions();
        const SlideshowSelection stored =
            RestoreSlideshowSelection(rig.Store(), CountFavorites(rig.Store()));
        EXPECT_EQ(stored.favoriteSlots, c.favoriteSlots) << c.selected.join(", ").toStdString();
        EXPECT_EQ(stored.sourceBits, c.bits) << c.selected.join(", ").toStdString();

        std::unique_ptr<ConfigPage> again(CreateSlideshowPage(rig, nullptr));
        again->Load();
        QStringList shown;
        auto* list = Find<QListWidget>(*again, "list1075");
        for (const QListWidgetItem* item : list->selectedItems()) shown << item->text();
        EXPECT_EQ(QSet<QString>(shown.begin(), shown.end()),
                  QSet<QString>(c.selected.begin(), c.selected.end()));
    }
}

TEST_F(SlideshowPageTest, AllSelectsEveryEntry) {
    page->Load();
    Select({"Mid *"});
    Find<QPushButton>(*page, "button1106")->click();
    EXPECT_EQ(Selected(), Texts());
    page->StoreOptions();
    const SlideshowSelection stored =
        RestoreSlideshowSelection(rig.Store(), CountFavorites(rig.Store()));
    EXPECT_EQ(stored.favoriteSlots, (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(stored.sourceBits, kSourceCurrentSettings | kSourceLibraryNewest |
                                     kSourceLibraryPopular | kSourceLibraryRandom);
}

TEST_F(SlideshowPageTest, SwitchVariationAndTimesReachTheStoreWithinTheirLimits) {
    struct Case {
        const char *deviations, *minTime, *maxTime;
        int storedDeviations, storedMin, storedMax;
    };
    const Case cases[] = {
        {"5", "20", "40", 5, 20, 40},
        {"150", "0", "0", 99, 1, 2},
        {"0", "90", "30", 0, 90, 91},
    };
    for (const Case& c : cases) {
        page.reset(CreateSlideshowPage(rig, nullptr));
        page->Load();
        Find<QRadioButton>(*page, "radio1021")->click();
        Find<QLineEdit>(*page, "edit3092")->setText(c.deviations);
        Find<QLineEdit>(*page, "edit1076")->setText(c.minTime);
        Find<QLineEdit>(*page, "edit1077")->setText(c.maxTime);
        page->StoreOptions();
        EXPECT_EQ(kConfigRandom.Read(rig.Store()), 0);
        EXPECT_EQ(kConfigDeviations.Read(rig.Store()), c.storedDeviations) << c.deviations;
        EXPECT_EQ(kMessagesMinTime.Read(rig.Store()), c.storedMin) << c.minTime;
        EXPECT_EQ(kMessagesMaxTime.Read(rig.Store()), c.storedMax) << c.maxTime;
        EXPECT_EQ(Find<QLineEdit>(*page, "edit1077")->text().toInt(), c.storedMax);
    }
}

TEST_F(SlideshowPageTest, EnterShowsTheNumbersThatWillBeKept) {
    page->Load();
    auto* deviations = Find<QLineEdit>(*page, "edit3092");
    auto* minTime = Find<QLineEdit>(*page, "edit1076");
    auto* maxTime = Find<QLineEdit>(*page, "edit1077");
    deviations->setText("500");
    page->EnterPressed(deviations);
    EXPECT_EQ(deviations->text(), "99");
    minTime->setText("40");
    maxTime->setText("10");
    page->EnterPressed(maxTime);
    EXPECT_EQ(minTime->text(), "40");
    EXPECT_EQ(maxTime->text(), "41");
}

TEST_F(SlideshowPageTest, TimesShowTheSaversDefaultsAndFollowTheMessagesDialog) {
    page->Load();
    EXPECT_EQ(Find<QLineEdit>(*page, "edit1076")->text().toInt(),
              kMessagesMinTime.Read(rig.Store()));
    // The messages dialog stored other times meanwhile; the page was not edited.
    kMessagesMinTime.Write(rig.Store(), 11);
    kMessagesMaxTime.Write(rig.Store(), 22);
    page->Activated(0);
    EXPECT_EQ(Find<QLineEdit>(*page, "edit1076")->text(), "11");
    EXPECT_EQ(Find<QLineEdit>(*page, "edit1077")->text(), "22");
    page->StoreOptions();
    EXPECT_EQ(kMessagesMinTime.Read(rig.Store()), 11);
}

TEST_F(SlideshowPageTest, TheListFollowsTheFavoritesAndKeepsTheSelection) {
    // Either way back to the page: the window loads a new preset, or the user picks the tab.
    const std::function<void(ConfigPage&)> refreshes[] = {
        [](ConfigPage& p) { p.Load(); },
        [](ConfigPage& p) { p.Activated(0); },
    };
    for (const auto& refresh : refreshes) {
        WriteFavorite(0, u"Zeta");
        kFavoritesSlot.Write(rig.Store(), 4, u"Empty");
        page.reset(CreateSlideshowPage(rig, nullptr));
        page->Load();
        Select({"Mid *"});
        WriteFavorite(4, u"Beta");
        kFavoritesSlot.Write(rig.Store(), 0, u"Empty");  // Zeta removed
        refresh(*page);
        EXPECT_TRUE(Texts().contains("Beta *"));
        EXPECT_FALSE(Texts().contains("Zeta *"));
        EXPECT_EQ(Selected(), QStringList{"Mid *"});
    }
}

// ---- About page ------------------------------------------------------------------------------

TEST(AboutPageTest, MyQuovisStoresThePersonalDetails) {
    PageRig rig;
    std::unique_ptr<ConfigPage> page(CreateAboutPage(rig, nullptr));
    EXPECT_EQ(page->Flags(), ConfigPage::kNoTab | ConfigPage::kTallArea);
    page->Load();
    testing::AnswerNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("edit3000")->setText("Glowworm");
        dialog->findChild<QLineEdit*>("edit3001")->setText("Porto");
        dialog->accept();
    });
    Find<QPushButton>(*page, "button1108")->click();
    EXPECT_EQ(kConfigAuthor.Read(rig.Store()), u"Glowworm");
    EXPECT_EQ(kConfigLocation.Read(rig.Store()), u"Porto");
}

}  // namespace
}  // namespace quovis
