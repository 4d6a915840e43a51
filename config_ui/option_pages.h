// What the option pages (Options, Audio, Slideshow, About; built by the factories in
// config_ui/pages.h) compute without widgets: the lines of the monitor and resolution lists,
// the monitor choice they stand for, and the special entries of the slideshow list.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>

namespace quovis {

struct ScreenSize {
    int width = 0;  // device pixels
    int height = 0;
};

// "[1]  (1920 x 1080)" for each monitor, numbered from 1, then "[ALL]  (w x h)" for the
// whole virtual screen.
QStringList MonitorLines(std::span<const ScreenSize> monitors, ScreenSize virtualScreen);
// "100% (1920 x 1080)" and so on: one line per render scale, with the canvas the saver
// renders on a monitor of that size at that scale.
QStringList ResolutionLines(ScreenSize primary);

// The monitor list's line for the stored "PrefMonitor" and single-monitor flag ("Snapshots"),
// as the saver reads them: a numbered monitor only when single, else the ALL line
// (index monitorCount). A preferred monitor past the last one means the first.
int MonitorLineFor(int prefMonitor, bool single, int monitorCount);
// The stored values a line stands for.
struct MonitorChoice {
    int prefMonitor = 0;
    bool single = true;
};
MonitorChoice MonitorChoiceFor(int line, int monitorCount);

// The slideshow list's entries besides the favorites: item data and the source bit of
// "RanCur" each stands for.
struct SlideshowSource {
    int itemData;
    int32_t sourceBit;
    const char16_t* text;
};
std::span<const SlideshowSource> SlideshowSources();

// The "AudioSyncQ" a selectivity slider position stands for, and back: the slider runs from
// "Broad" to "Pinpoint", the stored value the other way.
int AudioSyncQForSlider(int slider);
int SliderForAudioSyncQ(int q);

}  // namespace quovis
