#pragma once
// The program's own texts (captions, messages, the pieces of a picture's name)
// are written in the source as UTF-8; every Text the program handles is in the
// system code page. ownText converts one such literal, once: the first call
// converts and keeps it, later calls hand back the kept text. It must not run
// before the system code page is settled, so no namespace-scope constant holds
// one of these texts.

#include <string_view>

#include "services/values.h"

namespace sorvane {

const Text& ownText(std::string_view utf8);

}  // namespace sorvane
