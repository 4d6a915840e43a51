// The pages of the configuration window, in tab order. Each factory builds one page with its
// controls and bindings (config_ui/config_page.h says how pages and the window meet).
#pragma once

#include <QWidget>

namespace quovis {

class ConfigContext;
class ConfigPage;

// The preset pages (config_ui/preset_pages.cpp).
ConfigPage* CreateHomePage(ConfigContext& context, QWidget* parent);
ConfigPage* CreatePatternPage(ConfigContext& context, QWidget* parent);
ConfigPage* CreateColorPage(ConfigContext& context, QWidget* parent);
ConfigPage* CreateDisplayPage(ConfigContext& context, QWidget* parent);

// The option pages (config_ui/option_pages.cpp).
ConfigPage* CreateOptionsPage(ConfigContext& context, QWidget* parent);
ConfigPage* CreateAudioPage(ConfigContext& context, QWidget* parent);
ConfigPage* CreateSlideshowPage(ConfigContext& context, QWidget* parent);
ConfigPage* CreateAboutPage(ConfigContext& context, QWidget* parent);

// The pages of the online preset library (config_ui/library_pages.cpp): sharing a favorite,
// the library's list, and one shared favorite's details (no tab; reached from the list).
ConfigPage* CreateSharePage(ConfigContext& context, QWidget* parent);
ConfigPage* CreateLibraryPage(ConfigContext& context, QWidget* parent);
ConfigPage* CreateInfoPage(ConfigContext& context, QWidget* parent);

}  // namespace quovis
