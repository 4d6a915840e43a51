#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/pulse_capture.h"

namespace quovis {
namespace {

// A laptop with speakers, a Bluetooth headset in its telephone profile (so it has a
// microphone), a USB line input and the monitors of both outputs.
const std::vector<CaptureSource> kSources = {
    {"alsa_input.pci-0000_00_1f.3.analog-stereo", ""},
    {"alsa_output.pci-0000_00_1f.3.analog-stereo.monitor",
     "alsa_output.pci-0000_00_1f.3.analog-stereo"},
    {"bluez_input.00_1B_66_AA_BB_CC.0", ""},
    {"bluez_output.00_1B_66_AA_BB_CC.1.monitor", "bluez_output.00_1B_66_AA_BB_CC.1"},
    {"alsa_input.usb-Line_In-00.analog-stereo", ""},
};

TEST(ChooseCaptureSource, PicksByDefaultOutputAndByName) {
    struct Case {
        const char* what;
        std::string defaultSink;
        std::string chosen;
        std::string expected;
    };
    const Case cases[] = {
        {"default: the monitor of the default output", "alsa_output.pci-0000_00_1f.3.analog-stereo",
         "", "alsa_output.pci-0000_00_1f.3.analog-stereo.monitor"},
        {"default follows the output to the headset (its monitor, not its microphone)",
         "bluez_output.00_1B_66_AA_BB_CC.1", "", "bluez_output.00_1B_66_AA_BB_CC.1.monitor"},
        {"default output unknown to the list: the server's own default monitor", "null_sink", "",
         "@DEFAULT_MONITOR@"},
        {"no default output: the server's own default monitor", "", "", "@DEFAULT_MONITOR@"},
        {"a chosen line input", "alsa_output.pci-0000_00_1f.3.analog-stereo",
         "alsa_input.usb-Line_In-00.analog-stereo", "alsa_input.usb-Line_In-00.analog-stereo"},
        {"a chosen monitor of another output", "bluez_output.00_1B_66_AA_BB_CC.1",
         "alsa_output.pci-0000_00_1f.3.analog-stereo.monitor",
         "alsa_output.pci-0000_00_1f.3.analog-stereo.monitor"},
        {"the headset microphone, chosen by name", "alsa_output.pci-0000_00_1f.3.analog-stereo",
         "bluez_input.00_1B_66_AA_BB_CC.0", "bluez_input.00_1B_66_AA_BB_CC.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SourceChoice choice = ChooseCaptureSource(kSources, c.defaultSink, c.chosen);
        EXPECT_EQ(choice.name, c.expected);
        EXPECT_EQ(choice.error, "");
    }
}

TEST(ChooseCaptureSource, NeverTakesAMicrophoneNobodyChose) {
    // Whatever the default output is called, even the name of a microphone or of nothing
    // listed, the choice is a monitor.
    std::vector<std::string> defaults = {"", "bluez_input.00_1B_66_AA_BB_CC.0", "gone"};
    for (const CaptureSource& source : kSources) defaults.push_back(source.name);
    for (const std::string& defaultSink : defaults) {
        SCOPED_TRACE(defaultSink);
        const SourceChoice choice = ChooseCaptureSource(kSources, defaultSink, "");
        ASSERT_FALSE(choice.name.empty());
        bool isMonitor = choice.name == kDefaultMonitorSource;
        for (const CaptureSource& source : kSources) {
            if (source.name == choice.name) isMonitor = !source.monitorOfSink.empty();
        }
        EXPECT_TRUE(isMonitor) << choice.name;
    }
    // Only microphones listed, the headset's first: still not taken.
    const std::vector<CaptureSource> microphones = {kSources[2], kSources[0]};
    EXPECT_EQ(
        ChooseCaptureSource(microphones, "alsa_output.pci-0000_00_1f.3.analog-stereo", "").name,
        "@DEFAULT_MONITOR@");
}

TEST(ChooseCaptureSource, AnUnknownChosenNameFailsWithTheName) {
    for (const std::string& chosen :
         {std::string("alsa_input.usb-Gone"), std::string("bluez_input"),
          std::string("@DEFAULT_MONITOR@")}) {
        SCOPED_TRACE(chosen);
        const SourceChoice choice =
            ChooseCaptureSource(kSources, "alsa_output.pci-0000_00_1f.3.analog-stereo", chosen);
        EXPECT_EQ(choice.name, "");
        EXPECT_EQ(choice.error, "no recording source is called \"" + chosen + "\"");
    }
    EXPECT_EQ(ChooseCaptureSource({}, "", "mic").error, "no recording source is called \"mic\"");
}

}  // namespace
}  // namespace quovis
