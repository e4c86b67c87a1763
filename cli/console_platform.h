// The operating-system specific part of the console front end.
#pragma once

// Sets up the process so that a closed or failing standard output cannot end
// it: writes then simply fail and the run goes on.
void prepare_console();

// Tells whether standard output is a terminal (on Windows, a console), where
// control bytes would be acted on rather than shown.
bool output_is_terminal();
