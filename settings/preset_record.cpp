// The preset record's reader, writer and random generator.
//
// Sections: tokens and numbers | texts | style parameters | random record | reader | writer |
// engine settings
#include "settings/preset_record.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

#include "engine/random.h"
#include "engine/strokes.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

// ---------------------------------------------------------------------------------------------
// Tokens and numbers
// ---------------------------------------------------------------------------------------------

void AppendAscii(std::u16string& out, std::string_view text) {
    for (char c : text) out.push_back(static_cast<char16_t>(c));
}

void AppendInt(std::u16string& out, int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    AppendAscii(out, std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

// A style parameter as the writer prints it: rounded half away from zero. Values that do not
// fit an int32 (never produced by the reader) are held at its ends rather than overflowing.
int64_t RoundParam(float value) {
    if (std::isnan(value)) return 0;
    const double v = std::round(static_cast<double>(value));
    if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int64_t>(v);
}

// "0" below the smallest step the short form shows; otherwise up to nine decimals with
// trailing zeros (and a trailing point) removed.
void AppendShortDecimal(std::u16string& out, double value) {
    if (!std::isfinite(value) || std::fabs(value) < 2.3283419642175937e-10) {
        out.push_back(u'0');
        return;
    }
    char buffer[512];
    const int n = std::snprintf(buffer, sizeof buffer, "%.9f", value);
    if (n <= 0) {
        out.push_back(u'0');
        return;
    }
    std::string_view text(buffer,
                          std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
    if (text.find('.') != std::string_view::npos) {
        while (!text.empty() && text.back() == '0') text.remove_suffix(1);
        if (!text.empty() && text.back() == '.') text.remove_suffix(1);
    }
    if (text == "-0" || text.empty()) text = "0";
    AppendAscii(out, text);
}

// ---------------------------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------------------------

// A text token with U+00BB turned back into a comma, cut to `width` units. A cut never leaves
// the first half of a surrogate pair behind.
std::u16string ReadText(std::u16string_view token, std::size_t width) {
    if (token.size() > width) {
        token = token.substr(0, width);
        if (!token.empty() && token.back() >= 0xD800 && token.back() <= 0xDBFF) {
            token.remove_suffix(1);
        }
    }
    std::u16string text(token);
    std::replace(text.begin(), text.end(), kPresetCommaEscape, u',');
    return text;
}

// Appends the escaped text, whole characters only, while they fit in `budget` units; returns
// the units used. A comma escape, a ">>" pair and a surrogate pair are never split.
std::size_t AppendEscaped(std::u16string& out, const std::u16string& text,
                          std::size_t budget = std::u16string::npos) {
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        const std::size_t units = (c == kPresetCommaEscape || pair) ? 2 : 1;
        if (used + units > budget) break;
        if (c == u',') {
            out.push_back(kPresetCommaEscape);
        } else if (c == kPresetCommaEscape) {
            out.append(u">>");
        } else {
            out.push_back(c);
            if (pair) out.push_back(text[++i]);
        }
        used += units;
    }
    return used;
}

// ---------------------------------------------------------------------------------------------
// Style parameters
// ---------------------------------------------------------------------------------------------

void GetParams(const PresetRecord& r, float p[6]) {
    p[0] = r.Param1;
    p[1] = r.Param2;
    p[2] = r.Param3;
    p[3] = r.Param4;
    p[4] = r.Param5;
    p[5] = r.Param6;
}

void SetParams(PresetRecord& r, const float p[6]) {
    r.Param1 = p[0];
    r.Param2 = p[1];
    r.Param3 = p[2];
    r.Param4 = p[3];
    r.Param5 = p[4];
    r.Param6 = p[5];
}

// ---------------------------------------------------------------------------------------------
// Random record
// ---------------------------------------------------------------------------------------------

// The one process-wide generator behind randomised presets, seeded once from the clock.
struct SharedPresetRandom {
    std::mutex lock;
    EngineRandom rng;
    CLibraryRand crand;

    SharedPresetRandom() {
        using namespace std::chrono;
        const auto wall = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
        const auto tick = duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
        const auto clockMs = static_cast<uint32_t>(wall.count());
        const auto tickCount = static_cast<uint32_t>(tick.count());
        crand.Seed(clockMs ^ (tickCount * 2654435761u));
        rng.Seed(0, clockMs, tickCount);
    }
};

SharedPresetRandom& SharedRandom() {
    static SharedPresetRandom shared;
    return shared;
}

}  // namespace

std::u16string_view NextPresetToken(std::u16string_view& rest) {
    return TakeCommaToken(rest);
}

int32_t PresetTokenToInt(std::u16string_view token) {
    return ParseTokenInt(token);
}

void RandomPresetRecord(PresetRecord& r, EngineRandom& rng, CLibraryRand& crand) {
    // Every draw is a separate statement: the order of draws is part of the design.
    r.Motion = rng.RandomInteger() % 6;
    r.Style = rng.RandomInteger() % 30;

    const double u = rng.RandomSigned(0.5f) + 0.5;
    const double lnLow = std::log(50.0);
    const double lnHigh = std::log(100000.0);
    r.Grains = static_cast<int32_t>(
        std::trunc(std::exp(lnLow + (lnHigh - lnLow) * std::pow(std::max(u, 0.0), 0.65)) + 0.5));

    r.Activity = rng.RandomInteger() % 4900 + 100;
    r.Pace = rng.RandomInteger() % 1800 + 100;
    r.Viscosity = rng.RandomInteger() % 1200;

    const double a = rng.RandomUniform();
    const double b = rng.RandomUniform();
    const double c = rng.RandomUniform();
    r.Complexity = std::max(
        1, static_cast<int32_t>(std::trunc(1.0 + 6.0 * std::pow(a, 1.5) + 8.0 * std::pow(b, 1.5) +
                                           9.0 * std::pow(c, 1.5))));

    r.Reflections = static_cast<int32_t>(std::trunc(20.0 * std::pow(rng.RandomUniform(), 3.2) + 1));

    if (r.Reflections == 1) {
        r.Symmetric = rng.RandomInteger() % 100 > 75 ? 1 : 0;
    } else {
        r.Symmetric = rng.RandomInteger() % 100 > 30 ? 1 : 0;
    }
    r.ExtraTwist = rng.RandomInteger() % 100 > 80 ? 1 : 0;

    r.DotStyle = 0;
    if (rng.RandomInteger() % 4 == 0) r.DotStyle = rng.RandomInteger() % 6;

    r.TrailLength = rng.RandomInteger() % 100 + 1;

    const double pa = rng.RandomUniform();
    const double pb = rng.RandomUniform();
    const double p = (2.0 * pa - 1.0) * (2.0 * pb - 1.0);
    r.InfluenceRange =
        static_cast<int32_t>(p >= 0.0 ? std::trunc(30.0 + 70.0 * p) : std::trunc(30.0 + 30.0 * p));

    r.Turbulence = rng.RandomInteger() % 1000;
    r.Confinement = rng.RandomInteger() % 800 + 100;
    if (crand.Next() % 2 == 0) r.Confinement = -r.Confinement;

    r.MotionVariant = 0;
    if (rng.RandomInteger() % 10 > 5) r.MotionVariant = rng.RandomInteger() % 5;

    r.LeaveTrails = rng.RandomInteger() % 100 > 20 ? 1 : 0;

    float params[6];
    for (int i = 0; i < 6; ++i) params[i] = static_cast<float>(RandomStyleParam(r.Style, i, rng));
    const StyleInfo* info = GetStyle(r.Style);
    r.ParamCount = info != nullptr ? info->paramCount : 0;
    SetParams(r, params);

    r.ColorBright =
        static_cast<int32_t>(std::trunc(2500.0 * std::pow(rng.RandomUniform(), 0.6) + 1));
    r.Pastels = static_cast<int32_t>(std::trunc(1200.0 * std::pow(rng.RandomUniform(), 1.2) + 1));
    r.PointMagnitude =
        static_cast<int32_t>(std::trunc(1000.0 * std::pow(rng.RandomUniform(), 0.8) + 1));
    r.QuickDirty = 0;
    if (r.LeaveTrails != 0) r.PointMagnitude = rng.RandomInteger() % 700 + 200;

    r.ReflectionsOn = rng.RandomInteger() % 100 > 50 ? 1 : 0;
    r.Dither = (r.LeaveTrails != 0 && rng.RandomInteger() % 100 > 80) ? 1 : 0;
    r.FieldColor = rng.RandomInteger() % 100 > 65 ? 1 : 0;

    r.Fuzziness = 0;
    if (rng.RandomInteger() % 100 > 30) r.Fuzziness = rng.RandomInteger() % 100 + 1;
    if (r.LeaveTrails == 0 || r.Dither != 0) r.Fuzziness = 0;

    if (rng.RandomInteger() % 10 >= 4) {
        r.WrapFlags = 0;
    } else {
        r.WrapFlags = rng.RandomInteger() % 10 < 5 ? 2 : 1;
    }

    r.Gamma = PresetFieldAbsent("Gamma");
    r.Invert = rng.RandomInteger() % 100 > 64 ? 1 : 0;
    r.ShimmerBright = PresetFieldAbsent("ShimmerBright");
    r.ShimmerNarrow = PresetFieldAbsent("ShimmerNarrow");
    r.ShineGlitter = PresetFieldAbsent("ShineGlitter");
    if (rng.RandomInteger() % 10 < 3) {
        r.ShimmerBright = rng.RandomInteger() % 100;
        r.ShimmerNarrow = rng.RandomInteger() % 1000;
        r.ShineGlitter = rng.RandomInteger() % 2 == 0 ? 600 : 0;
        if (rng.RandomInteger() % 2 == 0) r.ShineGlitter = -r.ShineGlitter;
    }

    if (r.ReflectionsOn != 0 && r.Reflections > 2) r.WrapFlags = 0;
}

// ---------------------------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------------------------

namespace {

// Stores one field's token in the record.
void ReadField(const PresetField& f, std::u16string_view token, PresetRecord& r) {
    switch (f.kind) {
        case PresetFieldKind::Number:
        case PresetFieldKind::Flag:
        case PresetFieldKind::Bits:
        case PresetFieldKind::Reserved:
            r.*f.recordInt = PresetTokenToInt(token);
            return;
        case PresetFieldKind::Fixed:
            if (f.recordInt != nullptr) r.*f.recordInt = f.fixed;
            return;
        case PresetFieldKind::Real:
            r.*f.recordReal = f.fixed;
            return;
        case PresetFieldKind::Param: {
            int32_t value = PresetTokenToInt(token);
            if (f.startColourCodes) value = StartColourFromPreset(value);
            r.*f.recordParam = static_cast<float>(value);
            return;
        }
        case PresetFieldKind::Text:
            r.*f.recordText = ReadText(token, kPresetTextMax);
            return;
    }
}

// Gives a field the text stopped before its default.
void SetAbsent(const PresetField& f, PresetRecord& r) {
    if (f.recordInt != nullptr) r.*f.recordInt = f.AbsentValue(r.LeaveTrails != 0);
    if (f.recordParam != nullptr) r.*f.recordParam = static_cast<float>(f.absent);
    if (f.recordText != nullptr) (r.*f.recordText).clear();
}

}  // namespace

bool ReadPresetString(std::u16string_view text, PresetRecord& record) {
    record = PresetRecord{};
    PresetRecord& r = record;
    std::u16string_view rest = text;

    r.Name = ReadText(NextPresetToken(rest), kPresetNameMax);
    if (r.Name.empty()) return false;

    r.Motion = PresetTokenToInt(NextPresetToken(rest));
    if (r.Motion == -1) {
        SharedPresetRandom& shared = SharedRandom();
        {
            std::lock_guard<std::mutex> guard(shared.lock);
            RandomPresetRecord(r, shared.rng, shared.crand);
        }
        r.Valid = 1;
        return true;
    }
    if (r.Motion < -1 || r.Motion > 200) {
        record = PresetRecord{};
        return false;
    }

    // The other fields in order. A missing mandatory field reads as 0; from the first missing
    // optional field on, every field takes its default.
    for (const PresetField& f : kPresetFields) {
        if (f.recordInt == &PresetRecord::Motion) continue;
        if (f.Optional() && rest.empty()) {
            SetAbsent(f, r);
        } else {
            ReadField(f, NextPresetToken(rest), r);
        }
    }
    for (const PresetField& f : kPresetFields) {
        if (f.recordInt != nullptr) r.*f.recordInt = f.Decode(r.*f.recordInt);
    }

    float params[6];
    GetParams(r, params);
    if (r.ParamCount == 0) {
        StyleDefaultParams(r.Style, r.ParamCount, params);
    } else {
        StyleClampParams(r.Style, r.ParamCount, params);
    }
    SetParams(r, params);

    r.Valid = 1;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Writer
// ---------------------------------------------------------------------------------------------

namespace {

// Nearest multiple of `step`, halves upward. The division floors, so that a value far below
// the range still lands on the multiple a second trip through the text keeps. 64 bits so
// that no stored value can overflow.
int64_t NearestMultiple(int64_t value, int32_t step) {
    const int64_t shifted = value + step / 2;
    return (shifted >= 0 ? shifted / step : (shifted - (step - 1)) / step) * step;
}

// One field other than a text, as the writer stores it.
void AppendField(std::u16string& out, const PresetField& f, const PresetRecord& r) {
    switch (f.kind) {
        case PresetFieldKind::Fixed:
        case PresetFieldKind::Reserved:
            AppendInt(out, f.fixed);
            return;
        case PresetFieldKind::Real:
            AppendShortDecimal(out, r.*f.recordReal);
            return;
        case PresetFieldKind::Param:
            AppendInt(out, RoundParam(r.*f.recordParam));
            return;
        case PresetFieldKind::Text:
            return;
        case PresetFieldKind::Number:
        case PresetFieldKind::Flag:
        case PresetFieldKind::Bits: {
            int64_t value = r.*f.recordInt;
            if (f.onlyWithTrails && r.LeaveTrails == 0) value = 0;
            if (f.step > 1) value = NearestMultiple(value, f.step);
            AppendInt(out, value);
            return;
        }
    }
}

}  // namespace

bool WritePresetString(const PresetRecord& r, bool withTexts, std::u16string& out) {
    if (r.Valid == 0) return false;

    // The numbers first, so that when long texts would not fit, the texts are shortened
    // rather than the fields after them (the inversion, the shimmer) being lost.
    std::array<std::u16string, kPresetFieldCount> numbers;
    std::size_t fixed = kPresetFieldCount - 1 + (withTexts ? 1 : 0);  // the commas
    for (std::size_t i = 0; i < kPresetFields.size(); ++i) {
        AppendField(numbers[i], kPresetFields[i], r);
        fixed += numbers[i].size();
    }

    // Units left for the texts: the name keeps what it can first (at least one character, or
    // the string would not read back), then each text field in turn.
    std::size_t budget = kPresetStringMax > fixed ? kPresetStringMax - fixed : 0;

    std::u16string s;
    s.reserve(kPresetStringMax + 1);
    if (withTexts) {
        if (r.Name.empty()) {
            s.append(u"*");
            budget = budget > 0 ? budget - 1 : 0;
        } else {
            const std::size_t used = AppendEscaped(s, r.Name, std::max<std::size_t>(budget, 2));
            budget = budget > used ? budget - used : 0;
        }
        s.push_back(u',');
    }
    for (std::size_t i = 0; i < kPresetFields.size(); ++i) {
        const PresetField& f = kPresetFields[i];
        if (i > 0) s.push_back(u',');
        if (f.kind != PresetFieldKind::Text) {
            s.append(numbers[i]);
        } else if (withTexts) {
            budget -= AppendEscaped(s, r.*f.recordText, budget);
        }
    }

    // Only numbers far outside every range can still be too long; they are cut at the end.
    if (s.size() > kPresetStringMax) s.resize(kPresetStringMax);
    out = std::move(s);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Engine settings
// ---------------------------------------------------------------------------------------------

EngineSettings ToEngineSettings(const PresetRecord& r, int storedFields) {
    EngineSettings e;
    for (const PresetField& f : kPresetFields) {
        if (f.engine != nullptr) {
            const bool absent = f.number > storedFields && f.engineAbsent;
            e.*f.engine = absent ? *f.engineAbsent : r.*f.recordInt;
        } else if (f.recordParam != nullptr) {
            e.Param[f.paramSlot] = r.*f.recordParam;
        }
    }
    return e;
}

bool IsRandomisedPreset(std::u16string_view text) {
    NextPresetToken(text);
    return !text.empty() && PresetTokenToInt(NextPresetToken(text)) == -1;
}

bool ResolvePresetString(std::u16string_view text, std::u16string& out) {
    PresetRecord record;
    if (!ReadPresetString(text, record)) return false;
    if (!IsRandomisedPreset(text)) {
        out.assign(text);
        return true;
    }
    return WritePresetString(record, true, out);
}

}  // namespace quovis
