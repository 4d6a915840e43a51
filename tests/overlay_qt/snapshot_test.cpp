// Snapshots of a headless-rendered engine: the JPEG decodes to what was shown, the settings
// file beside it names the picture and reads back as a preset, the numbering and "NextIndex"
// hold on a real folder, the clipboard gets the picture only when asked, and a folder that
// cannot be written costs the file and nothing else.
#include "overlay/qt/snapshot.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QString>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "engine/draw_wnd.h"
#include "present/headless_renderer.h"
#include "settings/builtin_presets.h"
#include "settings/config_values.h"
#include "settings/preset_apply.h"
#include "settings/preset_record.h"
#include "settings/settings_file.h"
#include "settings/text_encoding.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

// The text window's info lines as the next frame shows them.
struct RecordingLines {
    TextWindow window;
    TextLines Lines() {
        window.OnFrame(-1.0, false);
        return window.Shown().lines;
    }
};

std::unique_ptr<HeadlessRenderer> RenderPreset(std::u16string_view name, int frames,
                                               bool invert = false) {
    RenderOptions options;
    options.width = 320;
    options.height = 180;
    options.bands = 1;
    options.seed = 5;
    const std::u16string text(BuiltinPreset(FindBuiltinPreset(name)));
    auto renderer = std::make_unique<HeadlessRenderer>(
        options,
        [&](CDrawWnd& engine) {
            if (!ApplyPresetString(engine, text)) return false;
            engine.SetInvert(invert);
            return true;
        },
        "preset not applied");
    EXPECT_TRUE(renderer->Ok()) << renderer->Error();
    for (int f = 0; f < frames && renderer->Ok(); ++f) EXPECT_TRUE(renderer->RenderFrame());
    return renderer;
}

double MeanLuma(const QImage& image) {
    double sum = 0.0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) sum += qGray(image.pixel(x, y));
    }
    return sum / (static_cast<double>(image.width()) * image.height());
}

double MeanLuma(const Picture& picture) {
    double sum = 0.0;
    for (uint32_t pixel : picture.pixels) sum += qGray(pixel);
    return picture.pixels.empty() ? 0.0 : sum / static_cast<double>(picture.pixels.size());
}

std::u16string FileText(const std::string& path) {
    return ReadTextFile(path).value_or(u"");
}

// The lines of a settings text, without their CR LF.
std::vector<std::u16string> Lines(std::u16string_view text) {
    std::vector<std::u16string> lines;
    while (!text.empty()) {
        std::u16string_view line;
        text = ReadLine(text, line);
        lines.emplace_back(line);
    }
    return lines;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SnapshotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        m_folder = m_dir / "snaps";
        std::filesystem::create_directory(m_folder);
        ASSERT_TRUE(kConfigAutoSaveDir.Write(m_store, Utf8ToUtf16(m_folder).value()));
    }
    void Touch(const std::string& name) { std::ofstream(m_folder + "/" + name) << "mine"; }

    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
    std::string m_folder;
    RecordingLines m_lines;
};

TEST_F(SnapshotTest, WritesTheShownPictureAndItsSettingsAfterTheExistingFiles) {
    auto renderer = RenderPreset(u"Beads", 90);
    Touch("Q-0001.jpg");
    Touch("Q-0002.jpg");

    const SnapshotResult result = TakeSnapshot(renderer->Engine(), false, m_store, &m_lines.window);
    ASSERT_TRUE(result.saved) << result.reason;
    EXPECT_EQ(result.index, 3);
    EXPECT_EQ(result.jpegPath, m_folder + "/Q-0003.jpg");
    EXPECT_EQ(kConfigNextIndex.Read(m_store), 4);
    EXPECT_FALSE(result.copiedToClipboard);

    // The JPEG decodes to the shown picture: same size, the art's brightness.
    Picture shown;
    ASSERT_TRUE(renderer->Snapshot(&shown));
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(result.jpegPath), "JPG"));
    EXPECT_EQ(image.width(), shown.width);
    EXPECT_EQ(image.height(), shown.height);
    const double mean = MeanLuma(image);
    EXPECT_GT(mean, 1.0) << "the snapshot is black";
    const double shownMean = MeanLuma(shown);
    EXPECT_NEAR(mean, shownMean, 3.0);

    // The settings file: a preset line named after the picture, the statistics, no version.
    ASSERT_TRUE(result.settingsWritten) << result.reason;
    EXPECT_EQ(result.settingsPath, m_folder + "/Q-0003.oru");
    const std::vector<std::u16string> lines = Lines(FileText(result.settingsPath));
    ASSERT_GE(lines.size(), 6u);
    std::ifstream raw(result.settingsPath, std::ios::binary);
    char bom[2] = {};
    raw.read(bom, 2);
    EXPECT_EQ(static_cast<unsigned char>(bom[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bom[1]), 0xFE);
    EXPECT_EQ(lines[0], u"[Quovis Settings]");
    EXPECT_EQ(lines[1].rfind(u"Q-0003 (Beads),", 0), 0u) << Utf16ToUtf8(lines[1]);
    PresetRecord record;
    EXPECT_TRUE(ReadPresetString(lines[1], record));
    EXPECT_EQ(record.Name, u"Q-0003 (Beads)");
    EXPECT_EQ(lines[2], u"[Stats]");
    EXPECT_EQ(lines[3].rfind(u"Brights=", 0), 0u);
    EXPECT_EQ(lines[4].rfind(u"AvgBright=", 0), 0u);
    EXPECT_EQ(lines[5].rfind(u"AvgInterest=", 0), 0u);
    EXPECT_EQ(FileText(result.settingsPath).find(u"[Version]"), std::u16string::npos);

    const TextLines confirmation = m_lines.Lines();
    EXPECT_EQ(confirmation[1], u"Saved screenshot to");
    EXPECT_EQ(confirmation[2], Utf8ToUtf16(result.jpegPath).value());

    // The files that were there are untouched.
    EXPECT_EQ(std::filesystem::file_size(m_folder + "/Q-0001.jpg"), 4u);
}

TEST_F(SnapshotTest, AutoSaveTakesTheNextNumberAndWithoutAutoSaveOruOnlyThePicture) {
    auto renderer = RenderPreset(u"Beads", 30);
    ASSERT_TRUE(kConfigAutoSaveOru.Write(m_store, 0));
    ASSERT_TRUE(kConfigNextIndex.Write(m_store, 9999));
    Touch("Q-9999.oru");  // a settings file without its picture still holds its number

    SnapshotTaker taker(m_store, &m_lines.window);
    SnapshotSink& sink = taker;
    sink.AutoSaveSnapshot(renderer->Engine());
    ASSERT_TRUE(taker.LastResult().saved) << taker.LastResult().reason;
    EXPECT_EQ(taker.LastResult().jpegPath, m_folder + "/Q-10000.jpg");
    EXPECT_TRUE(taker.LastResult().settingsPath.empty());
    EXPECT_EQ(kConfigNextIndex.Read(m_store), 10001);
    EXPECT_EQ(FolderNames(m_folder), (std::vector<std::string>{"Q-10000.jpg", "Q-9999.oru"}));
}

TEST_F(SnapshotTest, ADrawingPresetRecordsTheEnginesStrokes) {
    auto renderer = RenderPreset(u"Valentine", 10);
    {
        std::lock_guard<std::recursive_mutex> guard(renderer->Engine().EngineLock());
        ASSERT_TRUE(renderer->Engine().LoadStrokeList(u"3,10000,20000,30000,40000,50000,60000,"));
    }
    const SnapshotResult result = TakeSnapshot(renderer->Engine(), false, m_store, nullptr);
    ASSERT_TRUE(result.settingsWritten) << result.reason;
    const std::u16string text = FileText(result.settingsPath);
    const std::u16string draw =
        u"[Draw]\r\nQ-0001 (Valentine)," + renderer->Engine().StrokeListText() + u"\r\n";
    EXPECT_NE(text.find(draw), std::u16string::npos) << Utf16ToUtf8(text);
}

TEST_F(SnapshotTest, InvertIsSavedAsShownAndMeasuredAsTheArt) {
    auto plain = RenderPreset(u"Beads", 60, false);
    auto inverted = RenderPreset(u"Beads", 60, true);
    Picture a, b;
    ASSERT_TRUE(plain->Snapshot(&a));
    ASSERT_TRUE(inverted->Snapshot(&b));

    const SnapshotResult result = TakeSnapshot(inverted->Engine(), false, m_store, nullptr);
    ASSERT_TRUE(result.saved) << result.reason;
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(result.jpegPath), "JPG"));
    // A white background: the saved picture is the inverted one, inverted once.
    EXPECT_NEAR(MeanLuma(image), 255.0 - MeanLuma(a), 3.0);

    // The statistics describe the art either way: the settings files of the plain and the
    // inverted engine (same seed, same frames) record the same brightness.
    const SnapshotResult plainResult = TakeSnapshot(plain->Engine(), false, m_store, nullptr);
    ASSERT_TRUE(plainResult.settingsWritten && result.settingsWritten);
    const std::vector<std::u16string> plainLines = Lines(FileText(plainResult.settingsPath));
    const std::vector<std::u16string> invertedLines = Lines(FileText(result.settingsPath));
    ASSERT_GE(plainLines.size(), 6u);
    ASSERT_GE(invertedLines.size(), 6u);
    EXPECT_EQ(plainLines[3], invertedLines[3]);  // Brights=
    EXPECT_EQ(plainLines[4], invertedLines[4]);  // AvgBright=
    EXPECT_NE(plainLines[3], u"Brights=100,0,0,0,0,0,0,0,0,0,");
    const SnapshotBrightness fromPlain = MeasureSnapshotBrightness(a, false);
    const SnapshotBrightness fromInverted = MeasureSnapshotBrightness(b, true);
    EXPECT_NEAR(fromPlain.avgBright, fromInverted.avgBright, 1e-9);
    for (size_t i = 0; i < 10; ++i)
        EXPECT_NEAR(fromPlain.brights[i], fromInverted.brights[i], 1e-9);
}

TEST_F(SnapshotTest, PrintKeyLeavesThePictureOnTheClipboardAndF12DoesNot) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    ASSERT_NE(clipboard, nullptr);
    clipboard->setText(QStringLiteral("before"));
    auto renderer = RenderPreset(u"Beads", 60);

    const SnapshotResult f12 = TakeSnapshot(renderer->Engine(), false, m_store, nullptr);
    ASSERT_TRUE(f12.saved);
    EXPECT_FALSE(f12.copiedToClipboard);
    EXPECT_EQ(clipboard->text(), QStringLiteral("before"));

    const SnapshotResult print = TakeSnapshot(renderer->Engine(), true, m_store, nullptr);
    ASSERT_TRUE(print.saved) << print.reason;
    EXPECT_TRUE(print.copiedToClipboard);
    EXPECT_EQ(print.index, f12.index + 1);
    const QImage copied = clipboard->image();
    Picture shown;
    ASSERT_TRUE(renderer->Snapshot(&shown));
    ASSERT_EQ(copied.width(), shown.width);
    ASSERT_EQ(copied.height(), shown.height);
    // The clipboard holds the exact pixels, opaque.
    const QImage rgb = copied.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < shown.height; y += 7) {
        for (int x = 0; x < shown.width; x += 5) {
            ASSERT_EQ(rgb.pixel(x, y), shown.pixels[static_cast<size_t>(y) * shown.width + x])
                << x << "," << y;
        }
    }
}

TEST_F(SnapshotTest, AFolderThatCannotBeWrittenCostsTheFileAndNothingElse) {
    auto renderer = RenderPreset(u"Beads", 20);
    ASSERT_TRUE(kConfigNextIndex.Write(m_store, 5));
    // A folder below a regular file can never be created or written, whoever runs the test.
    std::ofstream(m_dir / "plain-file") << "x";
    for (const std::string& folder : {m_dir / "plain-file/snaps", m_dir / "missing"}) {
        ASSERT_TRUE(kConfigAutoSaveDir.Write(m_store, Utf8ToUtf16(folder).value()));
        const SnapshotResult result =
            TakeSnapshot(renderer->Engine(), true, m_store, &m_lines.window);
        EXPECT_FALSE(result.saved) << folder;
        EXPECT_FALSE(result.settingsWritten);
        EXPECT_FALSE(result.reason.empty());
        EXPECT_EQ(kConfigNextIndex.Read(m_store), 5);
        EXPECT_EQ(m_lines.Lines()[1], u"Could not save screenshot to");
        EXPECT_FALSE(std::filesystem::exists(m_dir / "missing"));
        // The clipboard still gets the picture: it does not depend on the folder.
        EXPECT_TRUE(result.copiedToClipboard);
    }
    if (geteuid() != 0) {  // permissions do not stop the superuser
        std::filesystem::permissions(
            m_folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        ASSERT_TRUE(kConfigAutoSaveDir.Write(m_store, Utf8ToUtf16(m_folder).value()));
        const SnapshotResult result = TakeSnapshot(renderer->Engine(), false, m_store, nullptr);
        EXPECT_FALSE(result.saved);
        std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all);
        EXPECT_TRUE(FolderNames(m_folder).empty());
    }
}

TEST_F(SnapshotTest, AnEngineWithoutAPictureWritesNothing) {
    SimulatedClock clock(60.0);
    PresentedDrawWnd engine(clock);  // no output created
    const SnapshotResult result = TakeSnapshot(engine, true, m_store, &m_lines.window);
    EXPECT_FALSE(result.saved);
    EXPECT_FALSE(result.copiedToClipboard);
    EXPECT_TRUE(FolderNames(m_folder).empty());
    EXPECT_EQ(kConfigNextIndex.Read(m_store), 1);
    EXPECT_EQ(m_lines.Lines()[1], u"Could not save screenshot to");
}

TEST_F(SnapshotTest, EnsureSnapshotFolderStoresAndCreatesTheDefault) {
    ASSERT_TRUE(kConfigAutoSaveDir.Write(m_store, u""));
    const std::u16string pictures = Utf8ToUtf16(m_dir / "Pictures").value();
    std::string reason;
    ASSERT_TRUE(EnsureSnapshotFolder(m_store, pictures, &reason)) << reason;
    EXPECT_EQ(kConfigAutoSaveDir.Read(m_store), pictures + u"/Quovis");
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "Pictures/Quovis"));

    std::ofstream(m_dir / "plain-file") << "x";
    ASSERT_TRUE(kConfigAutoSaveDir.Write(m_store, Utf8ToUtf16(m_dir / "plain-file/x").value()));
    EXPECT_FALSE(EnsureSnapshotFolder(m_store, pictures, &reason));
    EXPECT_FALSE(reason.empty());
}

TEST(MeasureSnapshotBrightness, CountsTenthsAveragesAndDetail) {
    Picture black{4, 2, std::vector<uint32_t>(8, 0xFF000000u)};
    const SnapshotBrightness dark = MeasureSnapshotBrightness(black, false);
    EXPECT_DOUBLE_EQ(dark.brights[0], 100.0);
    EXPECT_DOUBLE_EQ(dark.avgBright, 0.0);
    EXPECT_DOUBLE_EQ(dark.avgInterest, 0.0);
    // Inverted, a black picture shows white: the art is still black.
    EXPECT_DOUBLE_EQ(MeasureSnapshotBrightness(black, true).avgBright, 255.0);

    // Left half white, right half black: two tenths of 50 %, one edge in every row.
    Picture halves{4,
                   2,
                   {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFF000000u, 0xFF000000u, 0xFFFFFFFFu, 0xFFFFFFFFu,
                    0xFF000000u, 0xFF000000u}};
    const SnapshotBrightness h = MeasureSnapshotBrightness(halves, false);
    EXPECT_DOUBLE_EQ(h.brights[0], 50.0);
    EXPECT_DOUBLE_EQ(h.brights[9], 50.0);
    EXPECT_DOUBLE_EQ(h.avgBright, 127.5);
    // 6 horizontal steps (2 of 255) and 4 vertical steps (all 0).
    EXPECT_DOUBLE_EQ(h.avgInterest, 2 * 255.0 / 10.0);

    // A damaged picture (size and pixels disagree) measures as nothing, without reading
    // past its pixels.
    Picture damaged{100, 100, std::vector<uint32_t>(10, 0xFFFFFFFFu)};
    EXPECT_DOUBLE_EQ(MeasureSnapshotBrightness(damaged, false).avgBright, 0.0);
    EXPECT_FALSE(SaveSnapshotImage(damaged, "", false));
}

}  // namespace
}  // namespace quovis
