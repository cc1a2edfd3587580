// --replace: fixed-text replacement in the files named.
#pragma once
int replace_run();
