// The preset record's reader, writer and random generator.
//
// Sections: tokens and numbers | texts | style parameters | random record | reader | writer |
// engine settings
#include "settings/preset_record.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <initializer_list>
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

    r.Gamma = 500;
    r.Invert = rng.RandomInteger() % 100 > 64 ? 1 : 0;
    r.ShimmerBright = 0;
    r.ShimmerNarrow = 20;
    r.ShineGlitter = 0;
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

bool ReadPresetString(std::u16string_view text, PresetRecord& record) {
    record = PresetRecord{};
    PresetRecord& r = record;
    std::u16string_view rest = text;
    auto Int = [&rest] { return PresetTokenToInt(NextPresetToken(rest)); };
    auto Real = [&Int] { return static_cast<float>(Int()); };

    r.Name = ReadText(NextPresetToken(rest), kPresetNameMax);
    if (r.Name.empty()) return false;

    r.Motion = Int();
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

    r.Style = Int();
    r.Grains = Int();
    r.Activity = Int();
    r.Viscosity = Int();
    r.Complexity = Int();
    r.ColorBright = Int();
    r.Reflections = Int();
    r.Symmetric = Int();
    r.ExtraTwist = Int();
    r.Reserved11 = Int();
    NextPresetToken(rest);  // Reserved12
    r.Reserved11 = 1;
    r.Reserved12 = 0.0f;

    r.DotStyle = Int();
    r.Reserved14 = Int();
    NextPresetToken(rest);  // Reserved15
    r.Reserved15 = 0.0;

    r.TrailLength = Int();
    if (r.TrailLength == 0) r.TrailLength = 30;
    r.LeaveTrails = Int();
    r.ParamCount = Int();

    r.Param1 = static_cast<float>(StartColourFromPreset(Int()));
    r.Param2 = Real();
    r.Param3 = Real();
    r.Param4 = Real();

    r.Pastels = Int();
    r.ReflectionsOn = Int();
    r.Dither = Int();

    r.FieldColor = 0;
    r.InfluenceRange = 35;
    r.Turbulence = 500;
    r.Fuzziness = 0;
    r.Pace = 0;
    r.Confinement = 500;
    r.MotionVariant = 0;
    r.PointMagnitude = r.LeaveTrails != 0 ? 750 : 1000;
    r.QuickDirty = 0;
    r.WrapFlags = 0;
    r.Gamma = 500;
    r.Origin = 1;
    r.Invert = 0;
    r.ShimmerBright = 0;
    r.ShimmerNarrow = 20;
    r.ShineGlitter = 0;

    // Each optional group is read field by field, stopping at the first one missing.
    auto ReadInts = [&rest, &Int](std::initializer_list<int32_t*> fields) {
        for (int32_t* field : fields) {
            if (rest.empty()) return false;
            *field = Int();
        }
        return true;
    };
    auto ReadReal = [&rest, &Real](float& field) {
        if (rest.empty()) return false;
        field = Real();
        return true;
    };

    if (ReadInts({&r.FieldColor, &r.InfluenceRange, &r.Turbulence, &r.Fuzziness}) &&
        ReadReal(r.Param5) && ReadReal(r.Param6)) {
        ReadInts({&r.Pace});
    }
    if (r.Pace == 0) r.Pace = 1000;

    ReadInts({&r.Confinement, &r.MotionVariant, &r.PointMagnitude, &r.QuickDirty});

    r.Author.clear();
    r.Location.clear();
    if (!rest.empty()) {
        r.Author = ReadText(NextPresetToken(rest), kPresetTextMax);
        if (!rest.empty()) {
            r.Location = ReadText(NextPresetToken(rest), kPresetTextMax);
            ReadInts({&r.WrapFlags, &r.Gamma, &r.Origin, &r.Invert, &r.ShimmerBright,
                      &r.ShimmerNarrow, &r.ShineGlitter});
        }
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

bool WritePresetString(const PresetRecord& r, bool withTexts, std::u16string& out) {
    if (r.Valid == 0) return false;

    // The numbers first, so that when long texts would not fit, the texts are shortened
    // rather than the fields after them (the inversion, the shimmer) being lost.
    std::u16string numbers;
    numbers.reserve(kPresetStringMax + 1);
    auto Field = [&numbers](int64_t value) {
        AppendInt(numbers, value);
        numbers.push_back(u',');
    };
    for (int32_t v : {r.Motion, r.Style, r.Grains, r.Activity, r.Viscosity, r.Complexity,
                      r.ColorBright, r.Reflections, r.Symmetric, r.ExtraTwist}) {
        Field(v);
    }
    numbers.append(u"1,0,");
    Field(r.DotStyle);
    numbers.append(u"0,");
    AppendShortDecimal(numbers, r.Reserved15);

    const bool trails = r.LeaveTrails != 0;
    // Nearest multiple of 10, halves upward. The usual ((c + 10005) / 10 - 1000) * 10 is the
    // same inside the stored range but truncates the wrong way below -10005, where every
    // trip through the text would move the value by 10; so the division floors here. 64 bits
    // so that no stored value can overflow.
    const int64_t shifted = static_cast<int64_t>(r.Confinement) + 5;
    const int64_t confinement = (shifted >= 0 ? shifted / 10 : (shifted - 9) / 10) * 10;
    for (int64_t v : {int64_t{trails ? r.TrailLength : 0},
                      int64_t{r.LeaveTrails},
                      int64_t{r.ParamCount},
                      RoundParam(r.Param1),
                      RoundParam(r.Param2),
                      RoundParam(r.Param3),
                      RoundParam(r.Param4),
                      int64_t{r.Pastels},
                      int64_t{r.ReflectionsOn},
                      int64_t{trails ? r.Dither : 0},
                      int64_t{r.FieldColor},
                      int64_t{r.InfluenceRange},
                      int64_t{r.Turbulence},
                      int64_t{r.Fuzziness},
                      RoundParam(r.Param5),
                      RoundParam(r.Param6),
                      int64_t{r.Pace},
                      confinement,
                      int64_t{r.MotionVariant},
                      int64_t{r.PointMagnitude},
                      int64_t{r.QuickDirty}}) {
        numbers.push_back(u',');
        AppendInt(numbers, v);
    }
    std::u16string tail;
    for (int32_t v : {r.WrapFlags, r.Gamma, r.Origin, r.Invert, r.ShimmerBright, r.ShimmerNarrow,
                      r.ShineGlitter}) {
        tail.push_back(u',');
        AppendInt(tail, v);
    }

    // Units left for the three texts: the name keeps what it can first (at least one
    // character, or the string would not read back), then the author, then the location.
    const std::size_t fixed = numbers.size() + tail.size() + 2 + (withTexts ? 1 : 0);
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
    s.append(numbers);
    s.push_back(u',');
    if (withTexts) budget -= AppendEscaped(s, r.Author, budget);
    s.push_back(u',');
    if (withTexts) AppendEscaped(s, r.Location, budget);
    s.append(tail);

    // Only numbers far outside every range can still be too long; they are cut at the end.
    if (s.size() > kPresetStringMax) s.resize(kPresetStringMax);
    out = std::move(s);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Engine settings
// ---------------------------------------------------------------------------------------------

EngineSettings ToEngineSettings(const PresetRecord& r) {
    EngineSettings e;
    e.Motion = r.Motion;
    e.Style = r.Style;
    e.Grains = r.Grains;
    e.Activity = r.Activity;
    e.Viscosity = r.Viscosity;
    e.Complexity = r.Complexity;
    e.ColorBright = r.ColorBright;
    e.Reflections = r.Reflections;
    e.Symmetric = r.Symmetric;
    e.ExtraTwist = r.ExtraTwist;
    e.DotStyle = r.DotStyle;
    e.TrailLength = r.TrailLength == 0 ? 30 : r.TrailLength;
    e.LeaveTrails = r.LeaveTrails;
    e.ParamCount = r.ParamCount;
    GetParams(r, e.Param);
    e.Pastels = r.Pastels;
    e.ReflectionsOn = r.ReflectionsOn;
    e.Dither = r.Dither;
    e.FieldColor = r.FieldColor;
    e.InfluenceRange = r.InfluenceRange;
    e.Turbulence = r.Turbulence;
    e.Fuzziness = r.Fuzziness;
    e.Pace = r.Pace;
    e.Confinement = r.Confinement;
    e.MotionVariant = r.MotionVariant;
    e.PointMagnitude = r.PointMagnitude;
    e.QuickDirty = r.QuickDirty;
    e.WrapFlags = r.WrapFlags;
    e.Gamma = r.Gamma;
    e.Invert = r.Invert;
    e.ShimmerBright = r.ShimmerBright;
    e.ShimmerNarrow = r.ShimmerNarrow;
    e.ShineGlitter = r.ShineGlitter;
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
