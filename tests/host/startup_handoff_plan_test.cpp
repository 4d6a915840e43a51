// The settings-file hand-off decisions, with the program list in a real store so that the
// "/i" chain between family programs is followed end to end through our own parser.
#include "host/handoff_plan.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "settings/config_values.h"
#include "tests/settings/config_test_support.h"

namespace quovis {
namespace {

class FakePorts : public HandoffPorts {
  public:
    explicit FakePorts(ConfigStore& store) : m_store(store) {}

    std::set<std::string> ownFiles;  // files holding a settings header
    ConfigWindowDelivery window = ConfigWindowDelivery::NoWindow;
    bool startWorks = true;
    std::vector<std::string> sentToWindow;
    std::vector<std::pair<std::u16string, std::vector<std::string>>> started;

    bool IsSettingsFile(const std::string& path) override { return ownFiles.count(path) > 0; }
    ConfigWindowDelivery SendToConfigWindow(const std::string& path) override {
        if (window == ConfigWindowDelivery::Delivered) sentToWindow.push_back(path);
        return window;
    }
    std::optional<ProgramSlot> FindOtherProgram(int startSlot) override {
        return FindProgramForSettingsFile(m_store, startSlot);
    }
    bool StartProgram(const std::u16string& program,
                      const std::vector<std::string>& arguments) override {
        started.emplace_back(program, arguments);
        return startWorks;
    }

  private:
    ConfigStore& m_store;
};

class StartupHandoff : public ::testing::Test {
  protected:
    testing::TempDir m_dir;
    ConfigStore m_store{m_dir.DatabasePath()};
    FakePorts m_ports{m_store};

    void Register(int slot, std::u16string_view name, std::u16string_view path) {
        ASSERT_TRUE(kCommonProgramName.Write(m_store, slot, name));
        ASSERT_TRUE(kCommonProgramPath.Write(m_store, slot, path));
    }
    HandoffResult HandOff(const std::vector<std::string>& args) {
        return HandOffSettingsFiles(ParseCommandLine(args, {}).settingsFiles, "/work", m_ports);
    }
};

TEST_F(StartupHandoff, OwnFileGoesToTheOpenConfigurationWindow) {
    m_ports.ownFiles = {"/work/a.oru"};
    m_ports.window = ConfigWindowDelivery::Delivered;
    const HandoffResult result = HandOff({"a.oru"});
    EXPECT_EQ(result.outcome, HandoffOutcome::SentToConfigWindow);
    EXPECT_TRUE(result.EndsProgram());
    EXPECT_EQ(result.ExitCode(), 0);
    // Made absolute: the window runs in a folder of its own.
    EXPECT_EQ(m_ports.sentToWindow, std::vector<std::string>{"/work/a.oru"});
}

TEST_F(StartupHandoff, OwnFilesWithoutAWindowAreKeptAndTheLastOneOpens) {
    m_ports.ownFiles = {"/x/one.oru", "/x/two.oru"};
    const HandoffResult result = HandOff({"/x/one.oru", "/x/two.oru"});
    EXPECT_EQ(result.outcome, HandoffOutcome::Continue);
    EXPECT_FALSE(result.EndsProgram());
    EXPECT_EQ(result.fileToOpen, "/x/two.oru");
    EXPECT_TRUE(m_ports.started.empty());
}

TEST_F(StartupHandoff, AWindowThatCannotTakeTheFileIsAFailure) {
    m_ports.ownFiles = {"/x/a.oru"};
    m_ports.window = ConfigWindowDelivery::Failed;
    const HandoffResult result = HandOff({"/x/a.oru"});
    EXPECT_EQ(result.outcome, HandoffOutcome::Failed);
    EXPECT_EQ(result.ExitCode(), 1);
    EXPECT_NE(result.message.find("/x/a.oru"), std::string::npos);
}

TEST_F(StartupHandoff, ForeignFileWithNoOtherProgramStartsNothing) {
    Register(1, kProductName, u"/usr/bin/quovis");
    const HandoffResult result = HandOff({"/x/OTHER.ORU"});
    EXPECT_EQ(result.outcome, HandoffOutcome::NoProgramForFile);
    EXPECT_EQ(result.ExitCode(), 0);
    EXPECT_TRUE(m_ports.started.empty());
    EXPECT_NE(result.message.find("/x/OTHER.ORU"), std::string::npos);
}

TEST_F(StartupHandoff, ForeignFilesTravelAlongTheChainWithoutLooping) {
    Register(1, u"Kellavar", u"/opt/kellavar");
    Register(2, kProductName, u"/usr/bin/quovis");
    Register(3, u"Other", u"/opt/other dir/other");

    // A user opens the file: the first family program that is not us gets it.
    HandoffResult result = HandOff({"/x/k.oru"});
    EXPECT_EQ(result.outcome, HandoffOutcome::StartedOtherProgram);
    ASSERT_EQ(m_ports.started.size(), 1u);
    EXPECT_EQ(m_ports.started[0].first, u"/opt/kellavar");
    const std::vector<std::string> sent = m_ports.started[0].second;
    EXPECT_EQ(sent, (std::vector<std::string>{"/i", "1", "/x/k.oru"}));

    // Kellavar passes it back to us with its slot: we look only after slot 1, skip
    // ourselves, and hand it to slot 3 -- whose path has a space and stays one argument.
    result = HandOff(sent);
    ASSERT_EQ(m_ports.started.size(), 2u);
    EXPECT_EQ(m_ports.started[1].first, u"/opt/other dir/other");
    EXPECT_EQ(m_ports.started[1].second, (std::vector<std::string>{"/i", "3", "/x/k.oru"}));

    // Sent back to us from the last slot: nothing is left to try.
    const std::vector<std::string> last = m_ports.started[1].second;
    result = HandOff(last);
    EXPECT_EQ(result.outcome, HandoffOutcome::NoProgramForFile);
    EXPECT_EQ(m_ports.started.size(), 2u);
}

TEST_F(StartupHandoff, AProgramThatWillNotStartIsReported) {
    Register(1, u"Other", u"/missing/program");
    m_ports.startWorks = false;
    const HandoffResult result = HandOff({"/x/a.oru"});
    EXPECT_EQ(result.outcome, HandoffOutcome::Failed);
    EXPECT_NE(result.message.find("/missing/program"), std::string::npos);
}

TEST_F(StartupHandoff, TheFirstFileThatEndsTheProgramStopsTheRest) {
    Register(1, u"Other", u"/opt/other");
    m_ports.ownFiles = {"/x/b.oru"};
    m_ports.window = ConfigWindowDelivery::Delivered;
    const HandoffResult result = HandOff({"/x/a.oru", "/x/b.oru"});
    EXPECT_EQ(result.outcome, HandoffOutcome::StartedOtherProgram);
    EXPECT_TRUE(m_ports.sentToWindow.empty());
}

TEST(StartupHandoffPaths, RelativePathsAreTakenAgainstTheWorkingDirectory) {
    EXPECT_EQ(AbsoluteHandoffPath("a.oru", "/home/u"), "/home/u/a.oru");
    EXPECT_EQ(AbsoluteHandoffPath("../a.oru", "/home/u"), "/home/u/../a.oru");
    EXPECT_EQ(AbsoluteHandoffPath("/tmp/a.oru", "/home/u"), "/tmp/a.oru");
    EXPECT_EQ(AbsoluteHandoffPath("a.oru", ""), "a.oru");
}

}  // namespace
}  // namespace quovis
