#pragma once
// The application shell: its state and the declarations of all its parts.  Rooms outside the shell
// include this; the shell's own files include the parts they use.
#include "shell/commands.h"      // current function, dispatch, group table, sound cues, editor hooks
#include "shell/file_group.h"    // File group, save, templates
#include "shell/help_group.h"    // Help group and help text sections
#include "shell/modes.h"         // TRAZEL mode, menu bar lending, modal dialogs
#include "shell/mouse.h"         // click actions, popup menu
#include "shell/startup.h"       // command line, start-up phases, window placement, opening files
#include "shell/state.h"         // Shell, Options, EditHooks, Surface, constants
#include "shell/status.h"        // status messages and the status bar
#include "shell/surfaces.h"      // pixel surfaces, presentation, monitors
#include "shell/window_events.h" // visible rectangles, redraw, scrolling
#include "shell/zoom_group.h"    // Zoom group
