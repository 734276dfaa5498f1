// TEMPORARY stand-in for the console interpreter, which another part of the
// engine provides. It is marked "replace" and goes away when the real one
// lands.
#pragma once

// Console interpreter (replace with the console commands).
void run_console_command(char* line);
