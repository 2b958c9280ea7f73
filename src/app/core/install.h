#pragma once
// The one list of plugged-in subsystems.  The desktop program, the batch tool and the tests that drive
// the whole program call it once on a fresh App; the shell itself names none of them.
namespace trazel {

struct App;

// Registers every subsystem's commands and state with the App (after its constructor, before start-up).
void install_subsystems(App& app);

} // namespace trazel
