// The UCI half of the command interpreter: identification and options,
// "position", "go" and the search control commands. It only stores limits
// and the search command; the main loop starts and reports the search.
#pragma once

// Executes one command line popped from the command queue.
void run_uci_command(char* line);

// Keeps the depth and node limits that the command line set (or the
// defaults) as the limits every UCI "go" starts from.
void remember_start_up_limits();

// "stop": ends the running search (or releases a finished one held for
// "stop") so that the main loop reports it; nothing when no search runs.
void stop_search_for_report();
