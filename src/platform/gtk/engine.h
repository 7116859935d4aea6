#pragma once
// GTK 3 backend: the web engine's library, opened when its first view is made.
//
// Linked in, the loader would bring the engine and the hundred and more
// libraries it needs in before main, which cost the start-up about as much as
// all the rest; so every call into it goes through WK(name).

namespace sorvane::platform::gtk {

// Whether the engine's library could be opened; without it no view is made.
bool engineAvailable();

// The engine's function of that name (its own or one of the libraries it
// brings); a broken installation that lacks it ends the program.
void* engineSymbol(const char* name);

}  // namespace sorvane::platform::gtk

// A call into the engine's library, found by name on first use of the engine.
#define WK(name) (reinterpret_cast<decltype(&name)>(::sorvane::platform::gtk::engineSymbol(#name)))
