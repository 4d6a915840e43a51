// The program's version text: settings files carry it and the web requests send it.
#pragma once

#include <string_view>

namespace quovis {

inline constexpr std::u16string_view kVersionText = u"2.1.4051";

}  // namespace quovis
