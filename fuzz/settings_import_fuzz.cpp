// Feeds arbitrary bytes to the settings import, once decoded as a file's bytes are (UTF-16
// with byte order mark, else UTF-8) and once taken directly as UTF-16 text. Whatever the
// input: every preset handed over is valid and marked as received, the report's counts
// match the calls, drawings are one line, and nothing happens after a Cancel.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

class RecordingHost : public quovis::SettingsImportHost {
  public:
    explicit RecordingHost(uint8_t seed) : m_seed(seed) {}

    void ShowPreset(const quovis::PresetRecord& record) override {
        Check(!m_finished);
        Check(record.Valid == 1 && record.Origin == 2);
        ++shown;
    }
    void LoadStrokes(std::u16string_view strokes) override {
        Check(!m_finished);
        Check(strokes.find_first_of(u"\r\n") == std::u16string_view::npos);
        lastStrokes = strokes;
        ++loads;
    }
    quovis::ImportOutcome AddImported(quovis::PresetRecord& record, std::u16string_view drawing,
                                      bool keepExisting) override {
        Check(!m_finished);
        Check(record.Valid == 1 && record.Origin == 2);
        Check(!record.Name.empty() && record.Name.size() <= quovis::kPresetNameMax);
        Check(shown == calls + 1);
        Check(drawing.empty() || drawing == lastStrokes);
        Check(keepExisting == expectKeep);
        lastStrokes.clear();
        ++calls;
        // Answers vary with the input so that every outcome, Cancel included, is seen.
        const auto outcome = static_cast<quovis::ImportOutcome>((m_seed + calls) % 4);
        if (outcome == quovis::ImportOutcome::Cancelled) m_finished = true;
        return outcome;
    }

    int shown = 0;
    int loads = 0;
    int calls = 0;
    bool expectKeep = false;
    std::u16string lastStrokes;

  private:
    uint8_t m_seed;
    bool m_finished = false;
};

void ImportAndCheck(std::u16string_view text, bool single, uint8_t seed) {
    RecordingHost host(seed);
    host.expectKeep = !single;
    const quovis::ImportReport report = quovis::ImportSettingsText(text, single, host);
    Check(report.added + report.replaced + report.kept + (report.cancelled ? 1 : 0) == host.calls);
    Check(host.shown == host.calls);
    Check(report.skippedLines >= 0);
    Check(report.skipped.size() ==
          std::min<size_t>(static_cast<size_t>(report.skippedLines), quovis::kSkippedLinesKept));
    for (const auto& line : report.skipped) Check(line.size() <= quovis::kSkippedLineChars);
    Check(!report.unreadable && !report.tooLarge);
    if (report.loadedStrokes) Check(host.calls == 0 && host.loads == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 2 * quovis::kSettingsFileLimit) return 0;  // a file is never larger
    const uint8_t seed = size > 0 ? data[0] : 0;
    const bool single = (seed & 0x80) == 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    ImportAndCheck(quovis::DecodeTextFileBytes(bytes), single, seed);

    std::u16string raw(size / 2, u'\0');
    if (!raw.empty()) std::memcpy(raw.data(), data, raw.size() * 2);
    ImportAndCheck(raw, !single, seed);
    return 0;
}
