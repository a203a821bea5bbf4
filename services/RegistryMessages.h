// The messages that registry failures show the user, and the hook through which callers show
// them (the framework's message box by default; tests capture the texts).
#pragma once

#include <functional>

inline constexpr char kMsgCannotOpenRegistry[] = "Error: cannot open registry";
// Spelled as the product has always shown it.
inline constexpr char kMsgCannotReadRegistry[] = "Error: cannot read regitry";

// Shows one message text; an empty sink shows nothing.
using RegistryMessageSink = std::function<void(const char* text)>;
