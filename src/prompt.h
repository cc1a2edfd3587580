// The "Tag: " prompt, and the editors that show a run's output: the run goes
// on in a child whose standard output is a new file of its own (0600, name
// ending in ".cpp", in $TMPDIR or /tmp); the parent opens it in the editor.
#pragma once

// Prints the definitions of the names typed at the prompt until end of input.
void interactive_tags();
// True, with d_editor set, for "-g", "--gvim", "--emacs" and "--nano".
bool select_editor(const char *option);
// Returns only in the child; the parent ends with the status of the run or
// of the editor. Nested launches share the first launch's file.
void launch_editor();
