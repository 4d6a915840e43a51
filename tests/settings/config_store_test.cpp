// The configuration store: key layout, typed values and their sizes, deletion, and what it
// promises to the several processes that share it.
#include "settings/config_store.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <clocale>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

using testing::TempDir;

ConfigKey UserKey(std::u16string path) {
    return {ConfigRoot::CurrentUser, std::move(path)};
}

TEST(ConfigSectionKeys, MapSectionNamesToKeyPaths) {
    EXPECT_EQ(SectionKeyForRead(u"Config"),
              UserKey(u"Software\\Ferrowick Software\\Quovis\\Config"));
    EXPECT_EQ(SectionKeyForRead(u"-Common"), UserKey(u"Software\\Ferrowick Software\\Common"));
    // A one-character section reads from the product key itself; "@" sections never exist.
    EXPECT_EQ(SectionKeyForRead(u"X"), UserKey(u"Software\\Ferrowick Software\\Quovis"));
    EXPECT_EQ(SectionKeyForRead(u"@htmlfile\\shell\\open\\ddeexec\\Application"), std::nullopt);
    // "*" is a write-only root; a read of the same name is an ordinary section.
    EXPECT_EQ(SectionKeyForRead(u"*Machine"),
              UserKey(u"Software\\Ferrowick Software\\Quovis\\*Machine"));

    const std::optional<WriteTarget> machine = SectionKeyForWrite(u"*Machine");
    ASSERT_TRUE(machine);
    EXPECT_EQ(machine->key, (ConfigKey{ConfigRoot::LocalMachine,
                                       u"SOFTWARE\\Ferrowick Software\\Quovis\\Machine"}));
    const std::optional<WriteTarget> common = SectionKeyForWrite(u"-Common");
    ASSERT_TRUE(common);
    EXPECT_EQ(common->base, UserKey(u"Software\\Ferrowick Software"));
    EXPECT_EQ(SectionKeyForWrite(u"X")->key, UserKey(u"Software\\Ferrowick Software\\Quovis\\X"));
    EXPECT_EQ(SectionKeyForWrite(u"")->key, UserKey(u"Software\\Ferrowick Software\\Quovis"));
    EXPECT_EQ(SectionKeyForWrite(u"A\\\\B"), std::nullopt);
    EXPECT_EQ(SectionKeyForWrite(u"A\\"), std::nullopt);
}

TEST(ConfigReals, FormatAsPercent18gInAnyLocale) {
    EXPECT_EQ(FormatConfigReal(0.1), u"0.100000000000000006");
    EXPECT_EQ(FormatConfigReal(0.5), u"0.5");
    EXPECT_EQ(FormatConfigReal(-1e300), u"-1.00000000000000005e+300");
    // A desktop locale with a decimal comma must not leak into the stored text.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        EXPECT_EQ(FormatConfigReal(0.25), u"0.25");
        EXPECT_EQ(ParseConfigReal(u"0.25"), 0.25);
        std::setlocale(LC_NUMERIC, "C");
    }
    std::mt19937_64 random(12345);
    for (int i = 0; i < 2000; ++i) {
        uint64_t bits = random();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof(value));
        if (!std::isfinite(value)) continue;
        ASSERT_EQ(ParseConfigReal(FormatConfigReal(value)), value) << "bits " << bits;
    }
}

TEST(ConfigReals, ParseLikeTheCLibraryReadsALeadingNumber) {
    EXPECT_EQ(ParseConfigReal(u"  1.5abc"), 1.5);
    EXPECT_EQ(ParseConfigReal(u"+2e1"), 20.0);
    EXPECT_EQ(ParseConfigReal(u"-0.75"), -0.75);
    EXPECT_EQ(ParseConfigReal(u"abc"), 0.0);
    EXPECT_EQ(ParseConfigReal(u""), 0.0);
    EXPECT_EQ(ParseConfigReal(u"nan"), std::nullopt);
    EXPECT_EQ(ParseConfigReal(u"inf"), std::nullopt);
    EXPECT_EQ(ParseConfigReal(u"1e999"), std::nullopt);
}

class ConfigStoreTest : public ::testing::Test {
  protected:
    TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
};

TEST_F(ConfigStoreTest, ValuesRoundTripWithTheirTypes) {
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"Min", INT32_MIN));
    const std::u16string text = u"caf\u00e9 \U0001F600 \xD800 end";  // lone surrogate kept too
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Text", text));
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Empty", u""));
    const std::vector<uint8_t> bytes = {0, 1, 255, 0};
    ASSERT_TRUE(m_store.WriteBinary(u"Config", u"Bytes", bytes));
    ASSERT_TRUE(m_store.WriteBinary(u"Config", u"None", {}));
    ASSERT_TRUE(m_store.WriteReal(u"Config", u"Real", 0.1));

    EXPECT_EQ(m_store.ReadInt(u"Config", u"Min", 7), INT32_MIN);
    EXPECT_EQ(m_store.ReadText(u"Config", u"Text"), text);
    EXPECT_EQ(m_store.ReadText(u"Config", u"Empty"), u"");
    EXPECT_EQ(m_store.ReadBinary(u"Config", u"Bytes"), bytes);
    EXPECT_EQ(m_store.ReadBinary(u"Config", u"None"), std::vector<uint8_t>());
    EXPECT_EQ(m_store.ReadReal(u"Config", u"Real", 9.0), 0.1);
    EXPECT_EQ(m_store.ReadText(u"Config", u"Real"), u"0.100000000000000006");

    // Another type under the same name replaces the value.
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"Text", 5));
    EXPECT_EQ(m_store.ReadText(u"Config", u"Text"), std::nullopt);
    EXPECT_EQ(m_store.ReadInt(u"Config", u"Text", 0), 5);
}

TEST_F(ConfigStoreTest, ReadOfAnotherTypeGivesTheDefault) {
    ASSERT_TRUE(m_store.WriteText(u"Config", u"ClockX", u"0.25"));
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"ClockY", 1));
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Count", u"12"));
    EXPECT_EQ(m_store.ReadReal(u"Config", u"ClockX", 0.5), 0.25);
    EXPECT_EQ(m_store.ReadReal(u"Config", u"ClockY", 0.5), 0.5);
    EXPECT_EQ(m_store.ReadInt(u"Config", u"Count", 3), 3);
    EXPECT_EQ(m_store.ReadBinary(u"Config", u"Count"), std::nullopt);
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Bad", u"nan"));
    EXPECT_EQ(m_store.ReadReal(u"Config", u"Bad", 0.5), 0.5);
    EXPECT_FALSE(m_store.WriteReal(u"Config", u"Bad", NAN));
}

TEST_F(ConfigStoreTest, RawReadReportsSizesAndRefusesSmallBuffers) {
    ASSERT_TRUE(m_store.WriteText(u"Config", u"Name", u"abc"));
    uint32_t size = 0;
    EXPECT_EQ(m_store.Read(u"Config", u"Name", nullptr, &size), kConfigText);
    EXPECT_EQ(size, 8u);  // three units and the terminator
    char16_t exact[4];
    size = sizeof(exact);
    ASSERT_EQ(m_store.Read(u"Config", u"Name", exact, &size), kConfigText);
    EXPECT_EQ(std::u16string(exact), u"abc");
    char16_t small[3] = {u'x', u'y', u'z'};
    size = sizeof(small);
    EXPECT_EQ(m_store.Read(u"Config", u"Name", small, &size), kConfigAbsent);
    EXPECT_EQ(size, 0u);

    // A preset reader's 512-byte buffer takes 255 characters, not 256.
    std::vector<char16_t> buffer(256);
    ASSERT_TRUE(m_store.WriteText(u"Favorites", u"Fav000", std::u16string(255, u'p')));
    ASSERT_TRUE(m_store.WriteText(u"Favorites", u"Fav001", std::u16string(256, u'p')));
    size = 512;
    EXPECT_EQ(m_store.Read(u"Favorites", u"Fav000", buffer.data(), &size), kConfigText);
    size = 512;
    EXPECT_EQ(m_store.Read(u"Favorites", u"Fav001", buffer.data(), &size), kConfigAbsent);
    EXPECT_EQ(m_store.ReadText(u"Favorites", u"Fav001", 255), std::nullopt);

    ASSERT_TRUE(m_store.WriteInt(u"Config", u"Int", -2));
    int32_t value = 0;
    size = sizeof(value);
    EXPECT_EQ(m_store.Read(u"Config", u"Int", &value, &size), kConfigInt);
    EXPECT_EQ(value, -2);
    EXPECT_EQ(m_store.Read(u"Config", u"Missing", &value, &size), kConfigAbsent);
    EXPECT_EQ(size, 0u);
}

TEST_F(ConfigStoreTest, DesignedWriteCallTakesTypeCodes) {
    const int32_t number = 42;
    const uint8_t sixteen[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    EXPECT_TRUE(m_store.Write(u"Config", u"Text", u"hello", kConfigText, 999));
    EXPECT_TRUE(m_store.Write(u"Config", u"Int", &number, kConfigInt, 0));
    EXPECT_TRUE(m_store.Write(u"Config", u"Bin", sixteen, kConfigBinary, 3));
    EXPECT_TRUE(m_store.Write(u"Config", u"Bin16", sixteen, kConfigBinary16, 3));
    EXPECT_FALSE(m_store.Write(u"Config", u"Odd", &number, 7, 4));
    EXPECT_EQ(m_store.ReadText(u"Config", u"Text"), u"hello");
    EXPECT_EQ(m_store.ReadInt(u"Config", u"Int", 0), 42);
    EXPECT_EQ(m_store.ReadBinary(u"Config", u"Bin")->size(), 3u);
    EXPECT_EQ(m_store.ReadBinary(u"Config", u"Bin16"), std::vector<uint8_t>(sixteen, sixteen + 16));

    // Absent data deletes the value; an absent name deletes the section.
    EXPECT_TRUE(m_store.Write(u"Config", u"Text", nullptr, kConfigText, 0));
    EXPECT_EQ(m_store.ReadText(u"Config", u"Text"), std::nullopt);
    EXPECT_TRUE(m_store.Write(u"Config", std::nullopt, nullptr, 0, 0));
    EXPECT_FALSE(m_store.KeyExists(*SectionKeyForRead(u"Config")));
}

TEST_F(ConfigStoreTest, ReadsAndDeletesCreateNothing) {
    EXPECT_EQ(m_store.ReadInt(u"Config", u"TargetFPS", 60), 60);
    EXPECT_EQ(m_store.ReadText(u"Config", u"Author"), std::nullopt);
    EXPECT_TRUE(m_store.Keys().empty());
    EXPECT_FALSE(m_store.DeleteValue(u"Config", u"Author"));
    EXPECT_EQ(m_store.DeleteSection(u"Config"), DeleteSectionResult::NotFound);
    EXPECT_FALSE(m_store.DatabaseExists());

    ASSERT_TRUE(m_store.WriteInt(u"Other", u"A", 1));
    EXPECT_EQ(m_store.ReadInt(u"Never", u"A", 5), 5);
    EXPECT_FALSE(m_store.DeleteValue(u"Never", u"A"));
    EXPECT_FALSE(m_store.KeyExists(*SectionKeyForRead(u"Never")));
}

TEST_F(ConfigStoreTest, CommonSectionLivesBesideTheProductKey) {
    ASSERT_TRUE(m_store.WriteText(u"-Common", u"Oru01", u"Quovis"));
    std::vector<std::u16string> paths;
    for (const ConfigKey& key : m_store.Keys()) paths.push_back(key.path);
    EXPECT_EQ(paths, (std::vector<std::u16string>{u"Software", u"Software\\Ferrowick Software",
                                                  u"Software\\Ferrowick Software\\Common"}));

    ASSERT_TRUE(m_store.WriteInt(u"*Machine", u"A", 1));
    EXPECT_EQ(m_store.ReadInt(u"*Machine", u"A", 0), 0);  // nothing reads the machine root
    EXPECT_TRUE(m_store.KeyExists(
        {ConfigRoot::LocalMachine, u"SOFTWARE\\Ferrowick Software\\Quovis\\Machine"}));
}

TEST_F(ConfigStoreTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"TargetFPS", 30));
    ASSERT_TRUE(m_store.WriteInt(u"CONFIG", u"targetfps", 40));
    EXPECT_EQ(m_store.ReadInt(u"config", u"TARGETFPS", 0), 40);
    const std::vector<ConfigEntry> values = m_store.Values(*SectionKeyForRead(u"Config"));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, u"TargetFPS");
    EXPECT_EQ(m_store.Keys().back().path, u"Software\\Ferrowick Software\\Quovis\\Config");
}

TEST_F(ConfigStoreTest, DeletingSectionsKeepsKeysWithSubkeys) {
    ASSERT_TRUE(m_store.WriteInt(u"Backup", u"InUse", 1));
    ASSERT_TRUE(m_store.WriteInt(u"Backup", u"Random", 0));
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"Random", 1));
    EXPECT_EQ(m_store.DeleteSection(u""), DeleteSectionResult::HasSubkeys);
    EXPECT_EQ(m_store.DeleteSection(u"Backup"), DeleteSectionResult::Deleted);
    EXPECT_EQ(m_store.ReadInt(u"Backup", u"InUse", 0), 0);
    EXPECT_EQ(m_store.ReadInt(u"Config", u"Random", 0), 1);
    EXPECT_EQ(m_store.DeleteSection(u"Backup"), DeleteSectionResult::NotFound);
    // A sibling whose name extends the deleted one is not its subkey.
    ASSERT_TRUE(m_store.WriteInt(u"Conf", u"A", 1));
    EXPECT_EQ(m_store.DeleteSection(u"Conf"), DeleteSectionResult::Deleted);
    EXPECT_EQ(m_store.ReadInt(u"Config", u"Random", 0), 1);

    EXPECT_TRUE(m_store.DeleteValue(u"Config", u"Random"));
    EXPECT_FALSE(m_store.DeleteValue(u"Config", u"Random"));
}

TEST_F(ConfigStoreTest, EveryReadSeesOtherWritersAtOnce) {
    ConfigStore other(m_dir.DatabasePath());
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"TargetFPS", 50));
    EXPECT_EQ(other.ReadInt(u"Config", u"TargetFPS", 0), 50);
    ASSERT_TRUE(other.WriteInt(u"Config", u"TargetFPS", 70));
    EXPECT_EQ(m_store.ReadInt(u"Config", u"TargetFPS", 0), 70);

    // The file is removed behind the store's back: it follows the path, not the old file.
    std::filesystem::remove(m_dir.DatabasePath());
    EXPECT_EQ(m_store.ReadInt(u"Config", u"TargetFPS", 0), 0);
    ASSERT_TRUE(m_store.WriteInt(u"Config", u"TargetFPS", 80));
    EXPECT_EQ(other.ReadInt(u"Config", u"TargetFPS", 0), 80);
}

TEST(ConfigStoreFailures, UnusableFolderGivesDefaultsAndFailedWrites) {
    TempDir dir;
    // A plain file where the folder should be: refused even to root, unlike permissions.
    std::ofstream(dir / "file") << "x";
    ConfigStore store(dir / "file" + "/Ferrowick Software/registry.db");
    EXPECT_FALSE(store.WriteInt(u"Config", u"TargetFPS", 75));
    EXPECT_FALSE(store.WriteText(u"Config", u"Author", u"me"));
    EXPECT_EQ(store.ReadInt(u"Config", u"TargetFPS", 60), 60);
    EXPECT_EQ(store.DeleteSection(u"Config"), DeleteSectionResult::NotFound);
    EXPECT_TRUE(store.Keys().empty());
}

// ---- Damaged files -------------------------------------------------------------------------

void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ConfigStoreDamage, NotADatabaseIsMovedAsideAndAFreshStoreStarts) {
    TempDir dir;
    const std::string garbage(5000, 'g');
    WriteFile(dir.DatabasePath(), garbage);
    ConfigStore store(dir.DatabasePath());

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(store.ReadInt(u"Config", u"TargetFPS", 60), 60);
    const std::string message = ::testing::internal::GetCapturedStderr();

    const std::vector<std::string> aside = dir.FilesContaining("damaged");
    ASSERT_EQ(aside.size(), 1u) << message;
    const std::string moved = dir.Path() + "/Ferrowick Software/" + aside[0];
    EXPECT_EQ(ReadFile(moved), garbage);  // kept as it was, for the user or support
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find(dir.DatabasePath()), std::string::npos) << message;
    EXPECT_NE(message.find(moved), std::string::npos) << message;

    ASSERT_TRUE(store.WriteInt(u"Config", u"TargetFPS", 75));
    EXPECT_EQ(ConfigStore(dir.DatabasePath()).ReadInt(u"Config", u"TargetFPS", 0), 75);
}

TEST(ConfigStoreDamage, DamagedPageIsFoundOnOpen) {
    TempDir dir;
    {
        ConfigStore store(dir.DatabasePath());
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(store.WriteText(
                u"Favorites",
                u"Fav" + std::u16string(1, u'A' + i % 26) + std::u16string(i / 26 + 1, u'x'),
                std::u16string(200, u'p')));
        }
    }
    std::string bytes = ReadFile(dir.DatabasePath());
    ASSERT_GT(bytes.size(), 3 * 4096u);
    std::fill(bytes.begin() + 2 * 4096, bytes.begin() + 2 * 4096 + 16, '\xff');  // page header
    WriteFile(dir.DatabasePath(), bytes);

    ConfigStore store(dir.DatabasePath());
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(store.WriteInt(u"Config", u"TargetFPS", 75));
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("damaged"), std::string::npos);
    EXPECT_EQ(dir.FilesContaining("damaged").size(), 1u);
    EXPECT_EQ(store.ReadInt(u"Config", u"TargetFPS", 0), 75);
}

TEST(ConfigStoreDamage, ProcessesFindingTheSameDamageMoveItOnce) {
    TempDir dir;
    WriteFile(dir.DatabasePath(), std::string(8192, 'g'));
    constexpr int kChildren = 4;
    std::vector<pid_t> children;
    for (int i = 0; i < kChildren; ++i) {
        children.push_back(testing::StartChild([&dir, i] {
            ConfigStore store(dir.DatabasePath());
            return store.WriteInt(u"Config", u"Child" + std::u16string(1, u'0' + i), i) ? 0 : 1;
        }));
    }
    for (const pid_t child : children) EXPECT_EQ(testing::WaitChild(child), 0);

    // One move, and no child moved aside the fresh store another had already written to.
    EXPECT_EQ(dir.FilesContaining("damaged").size(), 1u);
    ConfigStore store(dir.DatabasePath());
    for (int i = 0; i < kChildren; ++i) {
        EXPECT_EQ(store.ReadInt(u"Config", u"Child" + std::u16string(1, u'0' + i), -1), i);
    }
}

// ---- Several processes -----------------------------------------------------------------------

TEST(ConfigStoreProcesses, KillMidWriteLeavesThePreviousValue) {
    TempDir dir;
    ASSERT_TRUE(ConfigStore(dir.DatabasePath()).WriteInt(u"Config", u"TargetFPS", 75));

    const int status = testing::RunInChild([&dir] {
        ConfigStore store(dir.DatabasePath());
        store.SetBeforeCommitHookForTesting([] { raise(SIGKILL); });
        store.WriteText(u"Config", u"Author", u"half");
        store.WriteInt(u"Config", u"TargetFPS", 99);
        return 0;
    });
    ASSERT_EQ(status, -SIGKILL);

    ConfigStore store(dir.DatabasePath());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(store.ReadInt(u"Config", u"TargetFPS", 0), 75);
    EXPECT_EQ(store.ReadText(u"Config", u"Author"), std::nullopt);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // nothing found damaged
    EXPECT_TRUE(store.WriteInt(u"Config", u"TargetFPS", 80));
    EXPECT_EQ(store.ReadInt(u"Config", u"TargetFPS", 0), 80);
}

TEST(ConfigStoreProcesses, ConcurrentWritersLoseNothingAndReadersSeeWholeValues) {
    TempDir dir;
    constexpr int kWrites = 150;
    const std::u16string patterns[2] = {std::u16string(4000, u'a'), std::u16string(4000, u'b')};
    ASSERT_TRUE(ConfigStore(dir.DatabasePath()).WriteText(u"Config", u"Shared", patterns[0]));

    auto writer = [&](int id) {
        return [&, id] {
            ConfigStore store(dir.DatabasePath());
            for (int i = 0; i < kWrites; ++i) {
                const std::u16string name = u"W" + std::u16string(1, u'0' + id) + u"_" +
                                            std::u16string(1, u'A' + i % 26) +
                                            std::u16string(i / 26 + 1, u'x');
                if (!store.WriteInt(u"Config", name, i)) return 10;
                if (!store.WriteText(u"Config", u"Shared", patterns[i % 2])) return 11;
            }
            return 0;
        };
    };
    auto reader = [&] {
        ConfigStore store(dir.DatabasePath());
        for (int i = 0; i < 2 * kWrites; ++i) {
            const std::optional<std::u16string> text = store.ReadText(u"Config", u"Shared");
            if (!text || (*text != patterns[0] && *text != patterns[1])) return 20;
        }
        return 0;
    };
    const pid_t children[] = {testing::StartChild(writer(1)), testing::StartChild(writer(2)),
                              testing::StartChild(reader)};
    for (const pid_t child : children) EXPECT_EQ(testing::WaitChild(child), 0);

    ConfigStore store(dir.DatabasePath());
    const std::vector<ConfigEntry> values = store.Values(*SectionKeyForRead(u"Config"));
    EXPECT_EQ(values.size(), 2u * kWrites + 1);
}

TEST(ConfigStoreThreads, OneStoreServesManyThreads) {
    TempDir dir;
    ConfigStore shared(dir.DatabasePath());
    ConfigStore second(dir.DatabasePath());  // another connection to the same file
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            ConfigStore& store = t % 2 == 0 ? shared : second;
            const std::u16string section = u"Thread" + std::u16string(1, u'0' + t);
            for (int i = 0; i < 40; ++i) {
                if (!store.WriteInt(section, u"N", i)) ++failures;
                if (store.ReadInt(section, u"N", -1) != i) ++failures;
                if (t == 0 && i == 20) shared.SetPath(dir.DatabasePath());  // reopen mid-run
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(shared.Keys().size(), 3u + 4u);
}

}  // namespace
}  // namespace quovis
