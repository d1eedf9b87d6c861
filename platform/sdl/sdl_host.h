// The SDL2 backend: a real window, presentation through a streaming texture, input mapped
// to virtual-key codes, message boxes.
#pragma once
#include <memory>
#include <string>

#include "platform/host.h"

namespace kest {

// The window, message boxes and the machine's clock through SDL, with the real machine
// services. Null (and the reason in *error) when SDL cannot open a display.
std::unique_ptr<THost> MakeSdlHost(std::string* error);

}  // namespace kest
