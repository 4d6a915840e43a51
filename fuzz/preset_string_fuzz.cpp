// Feeds arbitrary UTF-16 text to the preset reader and writes back what it read. Whatever
// the text: the reader stays inside it, a record it accepts writes as a string the limit
// allows and that reads again, and from the second trip on nothing changes any more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/preset_record.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text(size / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);

    quovis::PresetRecord record;
    if (!quovis::ReadPresetString(text, record)) {
        Check(record.Valid == 0);
        return 0;
    }
    Check(record.Valid == 1);
    Check(!record.Name.empty() && record.Name.size() <= quovis::kPresetNameMax);
    Check(record.Author.size() <= quovis::kPresetTextMax);
    Check(record.Location.size() <= quovis::kPresetTextMax);

    for (bool withTexts : {true, false}) {
        std::u16string once;
        Check(quovis::WritePresetString(record, withTexts, once));
        Check(once.size() <= quovis::kPresetStringMax);
        if (!withTexts) once.insert(0, u"*,");
        quovis::PresetRecord first;
        Check(quovis::ReadPresetString(once, first));
        std::u16string twice;
        Check(quovis::WritePresetString(first, withTexts, twice));
        if (!withTexts) twice.insert(0, u"*,");
        quovis::PresetRecord second;
        Check(quovis::ReadPresetString(twice, second));
        std::u16string thrice;
        Check(quovis::WritePresetString(second, withTexts, thrice));
        if (!withTexts) thrice.insert(0, u"*,");
        Check(thrice == twice);
        // Every numeric field survives a trip once the record has been read once.
        Check(second.Invert == first.Invert && second.ShineGlitter == first.ShineGlitter &&
              second.Grains == first.Grains && second.Style == first.Style);
    }
    return 0;
}
