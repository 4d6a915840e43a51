// Snapshots: brightness statistics, the capture under the engine lock, JPEG and clipboard,
// and TakeSnapshot with its bookkeeping.
//
// Index
//   Brightness      MeasureSnapshotBrightness
//   Capture         CaptureSnapshot
//   Saving          the image, the encoder, the exclusive file write, the clipboard
//   TakeSnapshot    folder, number, picture, "NextIndex", settings file, confirmation
#include "overlay/qt/snapshot.h"

#include <QBuffer>
#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "engine/draw_wnd.h"
#include "settings/config_values.h"
#include "settings/settings_file.h"
#include "settings/text_encoding.h"

namespace quovis {

// ============================================================================================
// Brightness
// ============================================================================================

namespace {

int Luma(uint32_t pixel, uint32_t flip) {
    pixel ^= flip;
    const int r = static_cast<int>((pixel >> 16) & 0xFF);
    const int g = static_cast<int>((pixel >> 8) & 0xFF);
    const int b = static_cast<int>(pixel & 0xFF);
    return (299 * r + 587 * g + 114 * b) / 1000;
}

bool IsWhole(const Picture& picture) {
    return picture.width > 0 && picture.height > 0 &&
           picture.pixels.size() ==
               static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
}

}  // namespace

SnapshotBrightness MeasureSnapshotBrightness(const Picture& picture, bool inverted) {
    SnapshotBrightness stats;
    if (!IsWhole(picture)) return stats;
    const uint32_t flip = inverted ? 0x00FFFFFFu : 0u;
    const int w = picture.width;
    const int h = picture.height;
    std::array<int64_t, 10> bins{};
    int64_t sum = 0;
    int64_t steps = 0;
    int64_t stepCount = 0;
    // One row of brightness values behind, for the step to the lower neighbour.
    std::vector<int> above(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = picture.pixels.data() + static_cast<size_t>(y) * w;
        int left = 0;
        for (int x = 0; x < w; ++x) {
            const int luma = Luma(row[x], flip);
            ++bins[static_cast<size_t>(luma * 10 / 256)];
            sum += luma;
            if (x > 0) {
                steps += std::abs(luma - left);
                ++stepCount;
            }
            if (y > 0) {
                steps += std::abs(luma - above[static_cast<size_t>(x)]);
                ++stepCount;
            }
            left = luma;
            above[static_cast<size_t>(x)] = luma;
        }
    }
    const double pixels = static_cast<double>(w) * h;
    for (size_t i = 0; i < bins.size(); ++i) stats.brights[i] = 100.0 * bins[i] / pixels;
    stats.avgBright = sum / pixels;
    stats.avgInterest = stepCount > 0 ? static_cast<double>(steps) / stepCount : 0.0;
    return stats;
}

// ============================================================================================
// Capture
// ============================================================================================

bool CaptureSnapshot(CDrawWnd& engine, SnapshotCapture* out) {
    if (out == nullptr) return false;
    std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
    // Whichever layer made the presenter, the picture on screen is the display image of a
    // CFlipperGDI32; an engine without one has nothing to give yet.
    const auto* flipper = dynamic_cast<const CFlipperGDI32*>(engine.Canvas());
    if (flipper == nullptr || !flipper->SnapshotPicture(&out->picture)) return false;
    out->inverted = flipper->IsInverted();
    out->presetText = engine.PresetText();
    out->strokes = engine.StrokeListText();
    return true;
}

// ============================================================================================
// Saving
// ============================================================================================

namespace {

QString PathText(const std::string& path) {
    return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
}

void SetReason(std::string* reason, const std::string& text) {
    if (reason != nullptr) *reason = text;
}

// Picture words are 0xFFRRGGBB, which is exactly what an RGB32 image holds per pixel: the
// image is opaque, so the clipboard never sees a transparent background.
QImage ToImage(const Picture& picture) {
    if (!IsWhole(picture)) return {};
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    if (image.isNull()) return image;
    const size_t rowBytes = static_cast<size_t>(picture.width) * sizeof(uint32_t);
    for (int y = 0; y < picture.height; ++y) {
        std::memcpy(image.scanLine(y),
                    picture.pixels.data() + static_cast<size_t>(y) * picture.width, rowBytes);
    }
    return image;
}

bool EncodeJpeg(const QImage& image, QByteArray* bytes, std::string* reason) {
    QBuffer buffer(bytes);
    if (!buffer.open(QIODevice::WriteOnly)) {
        SetReason(reason, "no memory for the JPEG");
        return false;
    }
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(100);
    if (!writer.write(image)) {
        SetReason(reason, "JPEG encoding failed: " + writer.errorString().toStdString());
        return false;
    }
    return true;
}

enum class NewFile { Written, Exists, Failed };

// Creates the file only if nothing has its name (O_EXCL), so a picture somebody else saved
// under the same number in the meantime is never replaced; a file that cannot be written
// whole is removed, so no broken picture is left behind.
NewFile WriteNewFile(const std::string& path, const QByteArray& bytes, std::string* reason) {
    QFile file(PathText(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (PathOrLinkExists(path)) return NewFile::Exists;
        SetReason(reason, "cannot create " + path + ": " + file.errorString().toStdString());
        return NewFile::Failed;
    }
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    const std::string error = file.errorString().toStdString();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        file.remove();
        SetReason(reason, "cannot write " + path + ": " + error);
        return NewFile::Failed;
    }
    return NewFile::Written;
}

// The clipboard lives on the GUI thread of a QGuiApplication; anywhere else there is none.
bool CopyToClipboard(const QImage& image) {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread()) return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) return false;
    clipboard->setImage(image);
    return true;
}

}  // namespace

bool EncodeSnapshotJpeg(const Picture& picture, std::vector<uint8_t>* jpeg, std::string* reason) {
    if (jpeg == nullptr) return false;
    const QImage image = ToImage(picture);
    if (image.isNull()) {
        SetReason(reason, "no picture to encode");
        return false;
    }
    QByteArray bytes;
    if (!EncodeJpeg(image, &bytes, reason)) return false;
    jpeg->assign(bytes.begin(), bytes.end());
    return true;
}

bool SaveSnapshotImage(const Picture& picture, const std::string& path, bool toClipboard,
                       std::string* reason, bool* copied) {
    if (copied != nullptr) *copied = false;
    const QImage image = ToImage(picture);
    if (image.isNull()) {
        SetReason(reason, "no picture to save");
        return false;
    }
    if (toClipboard) {
        const bool done = CopyToClipboard(image);
        if (copied != nullptr) *copied = done;
    }
    if (path.empty()) return true;
    QByteArray bytes;
    if (!EncodeJpeg(image, &bytes, reason)) return false;
    switch (WriteNewFile(path, bytes, reason)) {
        case NewFile::Written:
            return true;
        case NewFile::Exists:
            SetReason(reason, path + " already exists");
            return false;
        case NewFile::Failed:
            break;
    }
    return false;
}

std::u16string PicturesFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdU16String();
}

bool EnsureSnapshotFolder(ConfigStore& store, std::u16string_view picturesFolder,
                          std::string* reason) {
    std::u16string folder = kConfigAutoSaveDir.Read(store);
    if (folder.empty()) {
        folder = SnapshotFolderOrDefault(u"", picturesFolder);
        // A folder too long to store is still used for this snapshot.
        kConfigAutoSaveDir.Write(store, folder);
    }
    const std::filesystem::path path(Utf16ToUtf8(folder));
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (std::filesystem::is_directory(path, ec)) return true;
    SetReason(reason, "cannot create the folder " + path.string() +
                          (ec ? ": " + ec.message() : std::string()));
    return false;
}

bool EnsureSnapshotFolder(ConfigStore& store, std::string* reason) {
    return EnsureSnapshotFolder(store, PicturesFolder(), reason);
}

// ============================================================================================
// TakeSnapshot
// ============================================================================================

namespace {

// A number that was free when looked at can be taken before the file is created (another
// saver instance); the search then goes on, a few times at most.
constexpr int kNumberAttempts = 16;

void WriteSettingsBeside(const SnapshotCapture& capture, const SnapshotConfig& config,
                         ConfigStore& store, SnapshotResult* result) {
    result->settingsPath = SnapshotFileName(config.folder, config.prefix, result->index, "oru");
    SnapshotSettings settings;
    // The engine's own record of what it shows; "LastPattern" only when it has none (a
    // preview engine shows other presets than the one the saver stored last).
    settings.lastPattern =
        capture.presetText.empty() ? kConfigLastPattern.Read(store) : capture.presetText;
    settings.jpegPath = result->jpegPath;
    const SnapshotBrightness brightness =
        MeasureSnapshotBrightness(capture.picture, capture.inverted);
    settings.brights = brightness.brights;
    settings.avgBright = brightness.avgBright;
    settings.avgInterest = brightness.avgInterest;
    settings.strokes = capture.strokes;
    result->settingsWritten = WriteSnapshotSettingsFile(result->settingsPath, settings);
    if (!result->settingsWritten) result->reason = "cannot write " + result->settingsPath;
}

// Finds a free number and writes the JPEG there.
void SaveNumbered(const QByteArray& jpeg, const SnapshotConfig& config, SnapshotResult* result) {
    int start = config.nextIndex;
    for (int attempt = 0; attempt < kNumberAttempts; ++attempt) {
        const std::optional<int> index =
            FirstFreeSnapshotIndex(config.folder, config.prefix, start, PathOrLinkExists);
        if (!index) {
            result->reason = "no free file number in " + config.folder;
            return;
        }
        result->index = *index;
        result->jpegPath = SnapshotFileName(config.folder, config.prefix, *index, "jpg");
        switch (WriteNewFile(result->jpegPath, jpeg, &result->reason)) {
            case NewFile::Written:
                result->saved = true;
                return;
            case NewFile::Failed:
                return;
            case NewFile::Exists:
                if (*index == INT32_MAX) {
                    result->reason = "no free file number in " + config.folder;
                    return;
                }
                start = *index + 1;
                break;
        }
    }
    result->reason = "every file number tried was taken meanwhile in " + config.folder;
}

void Confirm(TextWindow* lines, const SnapshotResult& result, const SnapshotConfig& config) {
    if (lines == nullptr) return;
    const std::string& shown = result.jpegPath.empty() ? config.folder : result.jpegPath;
    ShowSnapshotConfirmation(*lines, Utf8ToUtf16(shown).value_or(u""), result.saved);
}

}  // namespace

SnapshotResult TakeSnapshot(CDrawWnd& engine, bool toClipboard, ConfigStore& store,
                            TextWindow* lines, std::u16string_view picturesFolder) {
    SnapshotResult result;
    const SnapshotConfig config = ReadSnapshotConfig(store, picturesFolder);

    SnapshotCapture capture;
    const QImage image = CaptureSnapshot(engine, &capture) ? ToImage(capture.picture) : QImage();
    if (image.isNull()) {
        result.reason = "the engine has no picture to give";
        Confirm(lines, result, config);
        return result;
    }
    if (toClipboard) result.copiedToClipboard = CopyToClipboard(image);

    QByteArray jpeg;
    if (EncodeJpeg(image, &jpeg, &result.reason)) SaveNumbered(jpeg, config, &result);
    if (result.saved) {
        StoreNextSnapshotIndex(store, result.index);
        if (config.writeSettingsFile) WriteSettingsBeside(capture, config, store, &result);
    }
    Confirm(lines, result, config);
    return result;
}

void SnapshotTaker::AutoSaveSnapshot(CDrawWnd& engine) {
    m_last = TakeSnapshot(engine, false, m_store, m_lines);
}

}  // namespace quovis
