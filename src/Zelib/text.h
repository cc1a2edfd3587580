// Small in-place text helpers shared by the extractors. None allocates and
// none prints; all but declared_name accept a null text.
#pragma once

char *file_extension(char *path);
const char *file_extension(const char *path);
// The last blank-separated word before the first '(', '=' or '[', without
// leading '&' and '*'. Shortens text in place. REQUIRES: text is not null.
char *declared_name(char *text);
char *trim_left(char *text);
char *trim_right(char *text);
int tabs_to_spaces(char *text);
