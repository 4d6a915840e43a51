// quovis-tool song and render --audio, run as separate processes: the demo song is a WAV of
// the length asked for, and a song steers the rendered pattern.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/wav_file.h"
#include "tests/tools/tool_runner.h"

namespace quovis {
namespace {

class SongCommandTest : public ::testing::Test {
  protected:
    testing::TempDir m_dir;
    ToolResult Tool(std::vector<std::string> args) { return RunTool(m_dir, m_dir.Path(), args); }
};

TEST_F(SongCommandTest, WritesASongOfTheLengthAskedFor) {
    const std::string path = m_dir / "song.wav";
    const ToolResult r = Tool({"song", "--out", path, "--seconds", "3", "--bpm", "90"});
    ASSERT_EQ(r.status, 0) << r.err;
    StereoSound sound;
    std::string error;
    ASSERT_TRUE(ReadWavFile(path, sound, error)) << error;
    EXPECT_EQ(sound.Frames(), 3u * kAnalysisRate);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"song"},
                                                {"song", "--out", path, "--bpm", "9"},
                                                {"song", "--out", path, "--seconds", "1000"},
                                                {"song", "--out", path, "--loud", "1"}}) {
        const ToolResult b = Tool(bad);
        EXPECT_EQ(b.status, 2) << bad.back();
        EXPECT_NE(b.err.find("usage: quovis-tool song"), std::string::npos) << b.err;
    }
    const ToolResult unwritable = Tool({"song", "--out", "/nonexistent/dir/song.wav"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot create the file"), std::string::npos) << unwritable.err;
}

TEST_F(SongCommandTest, ASongSteersTheRenderedPattern) {
    const std::string song = m_dir / "song.wav";
    ASSERT_EQ(Tool({"song", "--out", song, "--seconds", "4"}).status, 0);
    const std::vector<std::string> common = {"render", "--builtin", "Into The Light",
                                             "--size", "96x64",     "--bands",
                                             "1",      "--frames",  "200"};
    std::vector<std::string> plain = common, steered = common;
    plain.insert(plain.end(), {"--out", m_dir / "plain.png"});
    steered.insert(steered.end(), {"--audio", song, "--out", m_dir / "steered.png"});
    const ToolResult p = Tool(plain);
    if (p.status != 0 && p.err.find("no image writer") != std::string::npos) {
        GTEST_SKIP() << "this build renders no pictures";
    }
    ASSERT_EQ(p.status, 0) << p.err;
    const ToolResult s = Tool(steered);
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_NE(Slurp(m_dir / "plain.png"), Slurp(m_dir / "steered.png"))
        << "the music changed nothing";
    // The same song gives the same pictures.
    std::vector<std::string> again = steered;
    again.back() = m_dir / "again.png";
    ASSERT_EQ(Tool(again).status, 0);
    EXPECT_EQ(Slurp(m_dir / "steered.png"), Slurp(m_dir / "again.png"));

    const ToolResult missing =
        Tool({"render", "--style", "3", "--audio", m_dir / "none.wav", "--out", m_dir / "x.png"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open the file"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace quovis
