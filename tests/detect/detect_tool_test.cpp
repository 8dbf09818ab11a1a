// placeholder
#include <gtest/gtest.h>
TEST(DetectTool, Placeholder) {}
