// Settings files: the exact bytes the writers produce, the text reader, and the import walk
// with a recording host -- including damaged and hostile files.
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "base/version.h"
#include "settings/builtin_presets.h"
#include "settings/text_encoding.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

// "Into The Light" as written back with texts: its 42 fields and the three shimmer defaults.
constexpr std::u16string_view kIntoTheLightLine =
    u"Into The Light,1,18,18999,4191,1112,11,163,7,1,1,1,0,0,0,0,98,1,6,1100,35,65,2,144,1,0,0,"
    u"55,313,73,100,100,1000,500,0,886,0,-,-,0,500,0,0,0,20,0";

std::string Narrow(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

PresetRecord Builtin(std::u16string_view name) {
    PresetRecord record;
    EXPECT_TRUE(ReadPresetString(BuiltinPreset(FindBuiltinPreset(name)), record)) << Narrow(name);
    return record;
}

// A preset line with every field, under another name and style.
std::u16string PresetLine(std::u16string_view name, int style = 18) {
    PresetRecord record = Builtin(u"Into The Light");
    record.Name = name;
    record.Style = style;
    std::u16string line;
    EXPECT_TRUE(WritePresetString(record, true, line));
    return line;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string Utf16File(std::u16string_view text) {
    const std::vector<uint8_t> bytes = Utf16LeBytes(text);
    return std::string("\xFF\xFE") + std::string(bytes.begin(), bytes.end());
}

class RecordingHost : public SettingsImportHost {
  public:
    struct Added {
        PresetRecord record;
        std::u16string drawing;
        bool keepExisting;
    };

    void ShowPreset(const PresetRecord& record) override { shown.push_back(record.Name); }
    void LoadStrokes(std::u16string_view strokes) override { loaded.emplace_back(strokes); }
    ImportOutcome AddImported(PresetRecord& record, std::u16string_view drawing,
                              bool keepExisting) override {
        added.push_back({record, std::u16string(drawing), keepExisting});
        if (added.size() <= answers.size()) return answers[added.size() - 1];
        return ImportOutcome::Added;
    }

    std::vector<ImportOutcome> answers;  // per call; Added when not given
    std::vector<std::u16string> shown;
    std::vector<std::u16string> loaded;
    std::vector<Added> added;
};

class SettingsFileTest : public ::testing::Test {
  protected:
    testing::TempDir m_dir;
    RecordingHost m_host;
};

// ---------------------------------------------------------------------------------------------
// Writers
// ---------------------------------------------------------------------------------------------

TEST_F(SettingsFileTest, ExportGivesExactlyTheDesignedBytes) {
    PatternSlot slot;
    slot.record = Builtin(u"Into The Light");
    const std::string path = m_dir / "light.oru";
    ASSERT_TRUE(SaveSettingsFile(slot, path));

    const std::u16string expected = u"[Quovis Settings]\r\n" + std::u16string(kIntoTheLightLine) +
                                    u"\r\n[Version]\r\n2.1.4051\r\n";
    EXPECT_EQ(ReadBytes(path), Utf16File(expected));
    EXPECT_EQ(kVersionText, u"2.1.4051");
    // Written through a temporary file that is gone afterwards.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 1);
}

TEST_F(SettingsFileTest, SaveFailsForAnInvalidRecordOrAnUnwritablePlace) {
    PatternSlot invalid;
    EXPECT_FALSE(SaveSettingsFile(invalid, m_dir / "none.oru"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "none.oru"));

    PatternSlot slot;
    slot.record = Builtin(u"Beads");
    EXPECT_FALSE(SaveSettingsFile(slot, m_dir / "missing-folder/beads.oru"));

    // Replacing a file keeps nothing of the old one.
    WriteBytes(m_dir / "beads.oru", std::string(5000, 'x'));
    ASSERT_TRUE(SaveSettingsFile(slot, m_dir / "beads.oru"));
    EXPECT_TRUE(ReadBytes(m_dir / "beads.oru").starts_with("\xFF\xFE[\0Q\0"));
    EXPECT_LT(ReadBytes(m_dir / "beads.oru").size(), 1000u);
}

TEST_F(SettingsFileTest, DrawingPresetCarriesItsStrokesUnderItsEscapedName) {
    PatternSlot slot;
    slot.record = Builtin(u"Valentine");
    slot.record.Name = u"Val, entine";
    slot.drawing = u"3,100,200,\r\n300,400,500,600,";
    const std::u16string text = BuildSettingsText(slot, false, 0, {}, 0);
    // The line break inside the list would end the line; a comma means the same to its reader.
    EXPECT_NE(
        text.find(u"\r\n[Draw]\r\nVal\u00BB entine,3,100,200,,,300,400,500,600,\r\n[Version]"),
        std::u16string::npos)
        << Narrow(text);

    slot.record.Style = 18;  // not a drawing style: the drawing stays home
    EXPECT_EQ(BuildSettingsText(slot, false, 0, {}, 0).find(u"[Draw]"), std::u16string::npos);
}

TEST_F(SettingsFileTest, LibraryFormAddsItsSectionsInOrder) {
    PatternSlot slot;
    slot.record = Builtin(u"Valentine");
    slot.record.Author = u"Ann";
    slot.record.Location = u"";
    slot.drawing = u"1,5,6,";
    slot.keywords = u"red heart";
    slot.description = u"two lines\r\n[JPG]\r\n3";  // must not become a section
    slot.pictureWidth = 640;
    slot.pictureHeight = 480;
    slot.audio = 1;
    const std::vector<uint8_t> jpeg = {'f', 'o', 'o', 'b'};

    std::u16string preset;
    ASSERT_TRUE(WritePresetString(slot.record, true, preset));
    const std::u16string expected =
        u"[Quovis Settings]\r\n" + preset +
        u"\r\n[Draw]\r\n1,5,6,\r\n[Version]\r\n2.1.4051\r\n[ID]\r\n77\r\n[Title]\r\nValentine\r\n"
        u"[Nickname]\r\nAnn\r\n[Keywords]\r\nred heart\r\n[SettingsVer]\r\n1\r\n[Seq]\r\n12\r\n"
        u"[Description]\r\ntwo lines  [JPG]  3\r\n[XSize]\r\n640\r\n[YSize]\r\n480\r\n"
        u"[Audio]\r\n1\r\n[JPG]\r\n4\r\nZm9vYg==\r\n";
    EXPECT_EQ(BuildSettingsText(slot, true, 12, jpeg, 77), expected);

    // Optional sections stay out; an id of -1 (not a library item) is not an id.
    PatternSlot plain;
    plain.record = Builtin(u"Beads");
    plain.record.Author.clear();
    plain.record.Location.clear();
    const std::u16string text = BuildSettingsText(plain, true, 0, {}, -1);
    for (std::u16string_view absent :
         {u"[ID]", u"[Nickname]", u"[Location]", u"[Description]", u"[XSize]", u"[YSize]",
          u"[Audio]", u"[JPG]", u"[Draw]", u"\uFEFF"}) {
        EXPECT_EQ(text.find(absent), std::u16string::npos) << Narrow(absent);
    }
    EXPECT_NE(text.find(u"[Keywords]\r\n\r\n[SettingsVer]\r\n1\r\n[Seq]\r\n0\r\n"),
              std::u16string::npos);
}

TEST_F(SettingsFileTest, SnapshotFileNamesThePresetAfterThePicture) {
    SnapshotSettings snapshot;
    snapshot.lastPattern = std::u16string(BuiltinPreset(FindBuiltinPreset(u"Beads")));
    snapshot.jpegPath = "/home/ann/Pictures/Quovis/Q-0012.jpg";
    snapshot.brights = {0.0, 0.49, 0.5, 1.5, 2.5, -0.5, -1.5, 254.5, 1e12, 7};
    snapshot.avgBright = 0.5;
    snapshot.avgInterest = 1234567.0;
    const std::u16string text = BuildSnapshotSettingsText(snapshot);

    const std::u16string rest = snapshot.lastPattern.substr(snapshot.lastPattern.find(u','));
    EXPECT_EQ(text, u"\uFEFF[Quovis Settings]\r\nQ-0012 (Beads)" + rest +
                        u"\r\n[Stats]\r\nBrights=0,0,1,2,3,0,-1,255,2147483647,7,\r\n"
                        u"AvgBright=0.5\r\nAvgInterest=1.23457e+06\r\n");

    snapshot.lastPattern = u"*" + rest;  // the current settings: the picture's name alone
    snapshot.jpegPath = "Q-0013.jpg";
    EXPECT_TRUE(
        BuildSnapshotSettingsText(snapshot).starts_with(u"\uFEFF[Quovis Settings]\r\nQ-0013,"));

    snapshot.lastPattern = u"no comma";
    EXPECT_TRUE(BuildSnapshotSettingsText(snapshot).starts_with(
        u"\uFEFF[Quovis Settings]\r\n\r\n[Stats]\r\n"));
}

TEST_F(SettingsFileTest, SnapshotOfADrawingImportsWithItsStrokes) {
    SnapshotSettings snapshot;
    snapshot.lastPattern = std::u16string(BuiltinPreset(FindBuiltinPreset(u"Valentine")));
    snapshot.jpegPath = m_dir / "Q,0001.jpg";  // a comma in the name must not split the line
    snapshot.strokes = std::u16string(BuiltinDrawing(u"Valentine"));
    const std::string path = m_dir / "Q,0001.oru";
    ASSERT_TRUE(WriteSnapshotSettingsFile(path, snapshot));

    const ImportReport report = ImportSettingsFile(path, true, m_host);
    ASSERT_EQ(m_host.added.size(), 1u);
    EXPECT_EQ(m_host.added[0].record.Name, u"Q,0001 (Valentine)");
    EXPECT_EQ(m_host.added[0].record.Style, 26);
    EXPECT_EQ(m_host.added[0].drawing, BuiltinDrawing(u"Valentine"));
    EXPECT_EQ(report.skippedLines, 0);  // Stats is a section of its own
    EXPECT_EQ(ReadBytes(path).find(std::string("[\0V\0e\0r", 6)), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Reading text
// ---------------------------------------------------------------------------------------------

TEST_F(SettingsFileTest, ReadLineSkipsEveryLineEndSoNoLineIsEmpty) {
    std::u16string_view cursor = u"a\r\n\r\nb\n\rc\rd";
    std::vector<std::u16string> lines;
    while (!cursor.empty()) {
        std::u16string_view line;
        cursor = ReadLine(cursor, line);
        lines.emplace_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::u16string>{u"a", u"b", u"c", u"d"}));
}

TEST_F(SettingsFileTest, TextFilesDecodeWhateverTheBytes) {
    WriteBytes(m_dir / "u16.oru", Utf16File(u"A\u00E9\U0001F600"));
    EXPECT_EQ(ReadTextFile(m_dir / "u16.oru"), u"A\u00E9\U0001F600");

    // Bad bytes become U+FFFD one by one; the valid text around them stays.
    WriteBytes(m_dir / "bad.oru", "a\xC3\xA9\xFF\xC3[\xE2\x82\r\n\xED\xA0\x80z\xF0\x9F\x98");
    EXPECT_EQ(ReadTextFile(m_dir / "bad.oru"),
              u"a\u00E9\uFFFD\uFFFD[\uFFFD\uFFFD\r\n\uFFFD\uFFFD\uFFFDz\uFFFD\uFFFD\uFFFD");

    WriteBytes(m_dir / "bom8.oru", "\xEF\xBB\xBF[x]");
    EXPECT_EQ(ReadTextFile(m_dir / "bom8.oru"), u"[x]");
    WriteBytes(m_dir / "odd.oru", std::string("\xFF\xFE"
                                              "a\0b",
                                              5));
    EXPECT_EQ(ReadTextFile(m_dir / "odd.oru"), u"a");  // half a character is dropped

    EXPECT_EQ(ReadTextFile(m_dir / "missing.oru"), std::nullopt);
    EXPECT_EQ(ReadTextFile(m_dir.Path()), std::nullopt);  // a folder
}

TEST_F(SettingsFileTest, FilesOfTheLimitOrLargerAreRefused) {
    const std::string head = "[Quovis Settings]\r\n" + Narrow(PresetLine(u"Big")) + "\r\n";
    for (size_t size : {65535u, 65536u, 200000u}) {
        const std::string path = m_dir / ("size" + std::to_string(size) + ".oru");
        WriteBytes(path, head + std::string(size - head.size(), ' '));
        RecordingHost host;
        const ImportReport report = ImportSettingsFile(path, true, host);
        const bool accepted = size < kSettingsFileLimit;
        EXPECT_EQ(report.unreadable, !accepted) << size;
        EXPECT_EQ(report.tooLarge, !accepted) << size;
        EXPECT_EQ(host.added.size(), accepted ? 1u : 0u) << size;
        EXPECT_EQ(IsSettingsFile(path), accepted) << size;
    }
    bool tooLarge = false;
    WriteBytes(m_dir / "small.txt", "12345");
    EXPECT_EQ(ReadTextFile(m_dir / "small.txt", 5, &tooLarge), std::nullopt);
    EXPECT_TRUE(tooLarge);
    EXPECT_EQ(ReadTextFile(m_dir / "small.txt", 6, &tooLarge), u"12345");
    EXPECT_FALSE(tooLarge);
}

TEST_F(SettingsFileTest, SettingsFilesAreKnownByTheirHeaderAnywhere) {
    WriteBytes(m_dir / "a.oru", Utf16File(u"junk\r\nmore [Quovis Settings] here"));
    WriteBytes(m_dir / "b.oru", "x\n[Kellavar Settings]\n");
    WriteBytes(m_dir / "c.oru", "[Quovis settings]\n[Draw]\n");  // case matters
    EXPECT_TRUE(IsSettingsFile(m_dir / "a.oru"));
    EXPECT_TRUE(IsSettingsFile(m_dir / "b.oru"));
    EXPECT_FALSE(IsSettingsFile(m_dir / "c.oru"));
    EXPECT_FALSE(IsSettingsFile(m_dir / "none.oru"));
}

// ---------------------------------------------------------------------------------------------
// Import
// ---------------------------------------------------------------------------------------------

TEST_F(SettingsFileTest, Utf8FileWithoutByteOrderMarkImportsLikeTheUtf16One) {
    const std::u16string text = u"[Quovis Settings]\r\n" + PresetLine(u"Caf\u00E9, Nuit") +
                                u"\r\n" + PresetLine(u"Z\u00FCrich") +
                                u"\r\n[Version]\r\n2.1.4051\r\n";
    WriteBytes(m_dir / "u16.oru", Utf16File(text));
    WriteBytes(m_dir / "u8.oru", Narrow(text));
    RecordingHost utf8;
    ImportSettingsFile(m_dir / "u16.oru", true, m_host);
    ImportSettingsFile(m_dir / "u8.oru", true, utf8);
    ASSERT_EQ(m_host.added.size(), 2u);
    ASSERT_EQ(utf8.added.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(utf8.added[i].record, m_host.added[i].record);
    }
    EXPECT_EQ(m_host.added[0].record.Name, u"Caf\u00E9, Nuit");
    EXPECT_EQ(m_host.added[1].record.Name, u"Z\u00FCrich");
}

TEST_F(SettingsFileTest, EveryPresetOfAFileIsAddedAsReceived) {
    const std::u16string text = u"\uFEFF[Quovis Settings]\r\n" + PresetLine(u"One") + u"\r\n" +
                                PresetLine(u"Two") + u"\r\n" + PresetLine(u"Three") +
                                u"\r\n[Version]\r\n2.1.4051\r\n";
    m_host.answers = {ImportOutcome::Added, ImportOutcome::Kept, ImportOutcome::Replaced};
    const ImportReport report = ImportSettingsText(text, true, m_host);
    ASSERT_EQ(m_host.added.size(), 3u);
    EXPECT_EQ(m_host.shown, (std::vector<std::u16string>{u"One", u"Two", u"Three"}));
    for (const auto& added : m_host.added) {
        EXPECT_TRUE(added.record.Valid);
        EXPECT_EQ(added.record.Origin, 2);
        EXPECT_FALSE(added.keepExisting);
        EXPECT_TRUE(added.drawing.empty());
    }
    EXPECT_EQ(report.added, 1);
    EXPECT_EQ(report.kept, 1);
    EXPECT_EQ(report.replaced, 1);
    EXPECT_EQ(report.skippedLines, 0);
    EXPECT_FALSE(report.cancelled);

    // One of several files: existing favorites of the same name are kept.
    RecordingHost multi;
    ImportSettingsText(text, false, multi);
    ASSERT_EQ(multi.added.size(), 3u);
    for (const auto& added : multi.added) EXPECT_TRUE(added.keepExisting);
}

TEST_F(SettingsFileTest, CancelEndsTheImport) {
    const std::u16string text = u"[Quovis Settings]\r\n" + PresetLine(u"One") + u"\r\n" +
                                PresetLine(u"Two") + u"\r\n" + PresetLine(u"Three") + u"\r\n";
    m_host.answers = {ImportOutcome::Added, ImportOutcome::Cancelled};
    const ImportReport report = ImportSettingsText(text, true, m_host);
    EXPECT_EQ(m_host.added.size(), 2u);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.added, 1);
}

TEST_F(SettingsFileTest, DrawingPresetRoundTripsThroughAFile) {
    PatternSlot slot;
    slot.record = Builtin(u"Valentine");
    slot.drawing = std::u16string(BuiltinDrawing(u"Valentine"));
    ASSERT_FALSE(slot.drawing->empty());
    ASSERT_TRUE(SaveSettingsFile(slot, m_dir / "valentine.oru"));

    const ImportReport report = ImportSettingsFile(m_dir / "valentine.oru", true, m_host);
    EXPECT_EQ(report.added, 1);
    EXPECT_EQ(m_host.loaded, (std::vector<std::u16string>{*slot.drawing}));
    ASSERT_EQ(m_host.added.size(), 1u);
    EXPECT_EQ(m_host.added[0].drawing, *slot.drawing);
    PresetRecord expected = slot.record;
    expected.Origin = 2;
    EXPECT_EQ(m_host.added[0].record, expected);
}

TEST_F(SettingsFileTest, EachPresetFindsTheDrawingOfExactlyItsName) {
    // "Light" is part of "Into The Light": a containment test would give it the wrong one.
    const std::u16string text = u"[Quovis Settings]\r\n" + PresetLine(u"Light", 26) + u"\r\n" +
                                PresetLine(u"Into The Light", 26) + u"\r\n" +
                                PresetLine(u"A, B", 26) + u"\r\n" + PresetLine(u"Plain", 26) +
                                u"\r\n[Draw]\r\nInto The Light,1,10,10,\r\nLight,1,20,20,\r\n"
                                u"A\u00BB B,1,30,30,\r\n[Version]\r\n2.1.4051\r\n";
    ImportSettingsText(text, true, m_host);
    ASSERT_EQ(m_host.added.size(), 4u);
    EXPECT_EQ(m_host.added[0].drawing, u"1,20,20,");
    EXPECT_EQ(m_host.added[1].drawing, u"1,10,10,");
    EXPECT_EQ(m_host.added[2].drawing, u"1,30,30,");
    EXPECT_EQ(m_host.added[3].drawing, u"");
    EXPECT_EQ(m_host.loaded.size(), 3u);  // draw lines after presets are not loaded again
}

TEST_F(SettingsFileTest, DrawingWithoutPresetLoadsIntoTheEngineAndEndsTheWalk) {
    ImportReport report = ImportSettingsText(
        u"[Quovis Settings]\r\n[Draw]\r\nValentine,2,1,2,3,4,\r\n[Quovis Settings]\r\n" +
            PresetLine(u"After"),
        true, m_host);
    EXPECT_EQ(m_host.loaded, (std::vector<std::u16string>{u"2,1,2,3,4,"}));
    EXPECT_TRUE(m_host.added.empty());
    EXPECT_TRUE(report.loadedStrokes);
}

TEST_F(SettingsFileTest, KellavarFilesCarryABareStrokeList) {
    const std::u16string text = u"[Kellavar Settings]\r\n" + PresetLine(u"Old", 26) +
                                u"\r\n[Draw]\r\n2,100,200,300,400,\r\n";
    WriteBytes(m_dir / "old.oru", Narrow(text));
    ImportSettingsFile(m_dir / "old.oru", true, m_host);
    ASSERT_EQ(m_host.added.size(), 1u);
    EXPECT_EQ(m_host.added[0].drawing, u"2,100,200,300,400,");
    EXPECT_EQ(m_host.added[0].record.Origin, 2);

    RecordingHost drawingOnly;
    const ImportReport report =
        ImportSettingsText(u"[Kellavar Settings]\r\n[Draw]\r\n1,5,5,\r\n", true, drawingOnly);
    EXPECT_EQ(drawingOnly.loaded, (std::vector<std::u16string>{u"1,5,5,"}));
    EXPECT_TRUE(report.loadedStrokes);
}

TEST_F(SettingsFileTest, LinesThatAreNotPresetsAreSkippedAndReported) {
    const std::u16string longJunk(200, u'j');
    const std::u16string text = u"before any header\r\n[Quovis Settings]\r\nhello world\r\n" +
                                PresetLine(u"Good") + u"\r\n,1,18\r\nShort,1,18,5000\r\n" +
                                longJunk + u"\r\n[Version]\r\n2.1.4051\r\n";
    const ImportReport report = ImportSettingsText(text, true, m_host);
    EXPECT_EQ(m_host.added.size(), 1u);
    EXPECT_EQ(report.added, 1);
    EXPECT_EQ(report.skippedLines, 4);
    ASSERT_EQ(report.skipped.size(), 4u);
    EXPECT_EQ(report.skipped[0], u"hello world");
    EXPECT_EQ(report.skipped[3], longJunk.substr(0, kSkippedLineChars));
    EXPECT_FALSE(report.noSettings);

    RecordingHost none;
    EXPECT_TRUE(ImportSettingsText(u"just text\r\n" + PresetLine(u"X"), true, none).noSettings);
    EXPECT_TRUE(none.added.empty());
}

// ---------------------------------------------------------------------------------------------
// Hostile files
// ---------------------------------------------------------------------------------------------

TEST_F(SettingsFileTest, DamagedFilesImportWhatIsValid) {
    const std::u16string one = PresetLine(u"One");
    const std::u16string two = PresetLine(u"Two");
    // Truncated in the middle of the second preset and of a character.
    std::string cut = Utf16File(u"[Quovis Settings]\r\n" + one + u"\r\n" + two);
    cut.resize(cut.size() - 2 * (two.size() - 10) - 1);
    WriteBytes(m_dir / "cut.oru", cut);
    ImportReport report = ImportSettingsFile(m_dir / "cut.oru", true, m_host);
    EXPECT_EQ(report.added, 1);
    EXPECT_EQ(report.skippedLines, 1);

    // NUL bytes and every kind of line end.
    RecordingHost mixed;
    const std::string text = "[Quovis Settings]\r" + Narrow(one) + "\n\n" + std::string(1, '\0') +
                             Narrow(two) + "\n\r\r\n" + Narrow(PresetLine(u"Three")) + "\r";
    WriteBytes(m_dir / "mixed.oru", text);
    report = ImportSettingsFile(m_dir / "mixed.oru", true, mixed);
    ASSERT_EQ(mixed.added.size(), 3u);
    EXPECT_EQ(mixed.added[1].record.Name, u"Two");
    EXPECT_EQ(report.skippedLines, 0);
}

TEST_F(SettingsFileTest, OversizedFieldsAndCountsAreHarmless) {
    // A 10,000-character name and a last field of 10,000 digits.
    std::u16string huge = std::u16string(10000, u'N') + PresetLine(u"x").substr(1);
    huge += std::u16string(10000, u'9');
    const std::u16string text = u"[Quovis Settings]\r\n" + huge + u"\r\n" + PresetLine(u"Pic", 26) +
                                u"\r\n[Draw]\r\nPic,1000000000,1,2,\r\n";
    const ImportReport report = ImportSettingsText(text, true, m_host);
    ASSERT_EQ(m_host.added.size(), 2u);
    EXPECT_EQ(m_host.added[0].record.Name.size(), kPresetNameMax);
    EXPECT_EQ(m_host.added[1].drawing, u"1000000000,1,2,");  // the engine limits the count
    EXPECT_EQ(report.skippedLines, 0);
}

TEST_F(SettingsFileTest, GarbageNeverYieldsAnInvalidPreset) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 20; ++round) {
        std::string bytes(65535, '\0');
        for (auto& b : bytes) b = static_cast<char>(rng());
        if (round % 2 == 1) bytes.insert(0, "[Quovis Settings]\n");  // garbage under a header
        bytes.resize(65535);
        if (round % 4 == 3) bytes.replace(0, 2, "\xFF\xFE");
        WriteBytes(m_dir / "garbage.oru", bytes);
        RecordingHost host;
        const ImportReport report = ImportSettingsFile(m_dir / "garbage.oru", round % 3 == 0, host);
        EXPECT_FALSE(report.unreadable) << "round " << round;
        EXPECT_EQ(report.added, int(host.added.size())) << "round " << round;
        EXPECT_LE(report.skipped.size(), kSkippedLinesKept);
        for (const auto& added : host.added) {
            EXPECT_TRUE(added.record.Valid) << "round " << round;
            EXPECT_EQ(added.record.Origin, 2) << "round " << round;
        }
    }
}

TEST_F(SettingsFileTest, EveryPresetFindsItsOwnDrawingWhenAllDrawingsComeLast) {
    // Names that contain one another ("P1" in "P12") must not take each other's drawing.
    std::u16string text = u"[Quovis Settings]\r\n";
    std::u16string draws = u"[Draw]\r\n";
    for (int i = 0; i < 40; ++i) {
        const std::u16string name = u"P" + Utf8ToUtf16(std::to_string(i)).value();
        text +=
            name + u",1,26,18999,4191,1112,11,163,7,1,1,1,0,0,0,0,98,1,6,1100,35,65,2,144,1,0\r\n";
        draws += name + u"," + Utf8ToUtf16(std::to_string(i)).value() + u",5,5,\r\n";
    }
    RecordingHost host;
    ImportSettingsText(text + draws, true, host);
    ASSERT_EQ(host.added.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(host.added[static_cast<std::size_t>(i)].drawing,
                  Utf8ToUtf16(std::to_string(i)).value() + u",5,5,")
            << i;
    }
}

}  // namespace
}  // namespace quovis
