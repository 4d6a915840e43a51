// Snapshots: the picture on screen saved as a numbered JPEG in the user's snapshot folder,
// with a settings file beside it from which the pattern can be recreated, and (for the Print
// key) a copy on the clipboard.
//
// Index
//   Brightness      SnapshotBrightness, MeasureSnapshotBrightness
//   Capture         SnapshotCapture, CaptureSnapshot
//   Saving          SaveSnapshotImage, EnsureSnapshotFolder, PicturesFolder
//   TakeSnapshot    SnapshotResult, TakeSnapshot, SnapshotTaker (the frame step's auto-save)
//
// Threads: the picture, the preset text and the strokes are copied under the engine lock, so
// a snapshot never sees half a frame; the JPEG is encoded after the lock is released, so the
// frame step waits only for the copy. The clipboard belongs to the GUI thread: from any
// other thread (or without a QGuiApplication) the copy is skipped.
//
// Failures cost the file, never the saver: nothing here throws, a folder that cannot be
// written gives a result with saved == false and a reason, and the text window says so.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/frame_hooks.h"
#include "overlay/snapshot_naming.h"
#include "present/flipper.h"
#include "settings/config_store.h"

namespace quovis {

class CDrawWnd;

// ============================================================================================
// Brightness
// ============================================================================================

// The "[Stats]" values of a snapshot's settings file, measured on the picture itself (the
// engine keeps no statistics of its own to offer). Brightness is the luma
// (299 R + 587 G + 114 B) / 1000 of each pixel, 0..255, of the art: on a white background
// (invert) the colours are turned back first, so the numbers describe the pattern, not the
// background.
//   brights[i]   percent of the pixels whose brightness lies in the i-th tenth of 0..255
//                (bin = brightness * 10 / 256), so the ten add up to 100
//   avgBright    mean brightness, 0..255
//   avgInterest  mean absolute brightness step to the right and lower neighbours, 0..255:
//                0 for an even picture, larger the more fine detail it holds
struct SnapshotBrightness {
    std::array<double, 10> brights{};
    double avgBright = 0.0;
    double avgInterest = 0.0;
};
SnapshotBrightness MeasureSnapshotBrightness(const Picture& picture, bool inverted);

// ============================================================================================
// Capture
// ============================================================================================

// What a snapshot takes from the engine, all of it from one moment.
struct SnapshotCapture {
    Picture picture;            // as shown: inverted already when invert is on
    bool inverted = false;      // ... which it was
    std::u16string presetText;  // the preset shown (the engine's own record of it)
    std::u16string strokes;     // the engine's stroke list
};

// Copies the engine's displayed picture, preset text and strokes under the engine lock.
// False when the engine has no presenter that can give a picture (not yet attached).
bool CaptureSnapshot(CDrawWnd& engine, SnapshotCapture* out);

// ============================================================================================
// Saving
// ============================================================================================

// The picture as a JPEG of quality 100 in a new file at `path` (empty: no file), and with
// `toClipboard` also on the clipboard as an opaque image. The file is created only when no
// file of that name exists (so nothing is overwritten) and is removed again when it cannot
// be written whole. False, with `reason` set when given, when the file could not be
// written; the clipboard is best effort and never makes the save fail (`copied` says
// whether it happened).
bool SaveSnapshotImage(const Picture& picture, const std::string& path, bool toClipboard,
                       std::string* reason = nullptr, bool* copied = nullptr);

// The picture as the bytes of a JPEG of quality 100, as a snapshot file holds them (for a
// picture sent elsewhere than a file). False, with `reason` set when given, when it cannot be
// encoded.
bool EncodeSnapshotJpeg(const Picture& picture, std::vector<uint8_t>* jpeg,
                        std::string* reason = nullptr);

// The user's pictures folder (QStandardPaths), empty when the system has none.
std::u16string PicturesFolder();

// What the snapshot keys do before a snapshot: an empty "AutoSaveDir" becomes the pictures
// folder followed by "/Quovis" (the current folder without a pictures folder) and is stored;
// then the folder is created when missing. False, with a reason, when it cannot be created.
bool EnsureSnapshotFolder(ConfigStore& store, std::u16string_view picturesFolder,
                          std::string* reason = nullptr);
bool EnsureSnapshotFolder(ConfigStore& store, std::string* reason = nullptr);

// ============================================================================================
// TakeSnapshot
// ============================================================================================

struct SnapshotResult {
    bool saved = false;  // the JPEG was written
    bool settingsWritten = false;
    bool copiedToClipboard = false;
    int index = 0;  // the sequence number used, 0 when none was found
    std::string jpegPath;
    std::string settingsPath;  // empty when no settings file was to be written
    std::string reason;        // what went wrong (the JPEG, or else the settings file)
};

// The whole snapshot: reads the folder, prefix, "NextIndex" and "AutoSaveOru" from `store`,
// takes the first number from "NextIndex" whose picture and settings file are both free,
// saves the picture there (and to the clipboard when asked), stores "NextIndex" as that
// number + 1, writes the settings file beside it when "AutoSaveOru" is on (preset shown,
// brightness statistics, strokes), and puts the confirmation into `lines` when given. When
// the picture cannot be saved, "NextIndex" stays, no settings file is written and the
// text window says the save failed. An empty "AutoSaveDir" means the default folder (the
// keys store and create it first with EnsureSnapshotFolder).
SnapshotResult TakeSnapshot(CDrawWnd& engine, bool toClipboard, ConfigStore& store,
                            TextWindow* lines = nullptr,
                            std::u16string_view picturesFolder = PicturesFolder());

// The frame step's auto-save of every finished slide: TakeSnapshot without the clipboard.
// The store and the text window must outlive it.
class SnapshotTaker final : public SnapshotSink {
  public:
    explicit SnapshotTaker(ConfigStore& store, TextWindow* lines = nullptr)
        : m_store(store), m_lines(lines) {}
    void AutoSaveSnapshot(CDrawWnd& engine) override;
    // The outcome of the last auto-save, for logs and tests.
    const SnapshotResult& LastResult() const { return m_last; }

  private:
    ConfigStore& m_store;
    TextWindow* m_lines;
    SnapshotResult m_last;
};

}  // namespace quovis
