// The "Tag: " prompt and the editors that show a run's output.
#pragma once
void interactive_tags();
bool select_editor(const char *option);
void launch_editor();
