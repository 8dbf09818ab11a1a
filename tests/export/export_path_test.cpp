#include <gtest/gtest.h>
#include "export/view_path.h"
