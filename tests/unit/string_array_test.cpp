#include "string_array.h"

#include <gtest/gtest.h>
TEST(StringArray, Placeholder) {}
