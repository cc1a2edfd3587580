// The command line: every option is one row of one table, applied to Env
// left to right. Also the usage, the version, the language ids and the
// check of the code-grep expression.
#pragma once

struct StringArray;

// 0 when recognised (index then on the option's last argument), -1 when not.
// Options that end the run do not return.
int parse_option(StringArray *args, int *index);
void print_usage();
void list_plugin_options();
bool is_plugin_option(const char *option);
int language_id();
int language_id_of(const char *language);
// Returns only when d_cgrep_expr is set and holds no blank or tab.
void check_cgrep_expr();
// The names of every recognised option, in table order.
const char *const *option_names(int *count);
